// The window base: an object bound to one window handle, with a virtual window procedure.
#pragma once

#include "framework/Win32.h"

#include <string>

class CWnd {
public:
    CWnd() = default;
    virtual ~CWnd();
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    HWND m_hWnd = nullptr;
    operator HWND() const { return m_hWnd; }
    HWND GetSafeHwnd() const { return m_hWnd; }

    // The object bound to a window by this framework, or null.
    static CWnd* FromHandlePermanent(HWND wnd);

    // Creates a window of a registered class and binds it to this object.
    BOOL CreateEx(DWORD exStyle, const wchar_t* className, const wchar_t* text, DWORD style, const RECT& rc,
                  CWnd* parent, UINT id);
    // Binds an existing window (a template control, a created control) to this object.
    BOOL SubclassWindow(HWND wnd);
    BOOL SubclassDlgItem(UINT id, CWnd* parent);
    HWND UnsubclassWindow();
    BOOL DestroyWindow();

    // Per-message hook of the message loop before translation and dispatch; true consumes it.
    virtual BOOL PreTranslateMessage(MSG* msg) { return FALSE; }

    // Thin wrappers of what the program uses.
    CWnd* GetParent() const;
    HWND GetParentHwnd() const { return ::GetParent(m_hWnd); }
    int GetDlgCtrlID() const { return ::GetDlgCtrlID(m_hWnd); }
    void Invalidate(BOOL erase = TRUE) const { ::InvalidateRect(m_hWnd, nullptr, erase); }
    void UpdateWindow() const { ::UpdateWindow(m_hWnd); }
    BOOL ShowWindow(int cmd) const { return ::ShowWindow(m_hWnd, cmd); }
    BOOL IsWindowVisible() const { return ::IsWindowVisible(m_hWnd); }
    BOOL EnableWindow(BOOL enable) const { return ::EnableWindow(m_hWnd, enable); }
    BOOL IsWindowEnabled() const { return ::IsWindowEnabled(m_hWnd); }
    void MoveWindow(int x, int y, int cx, int cy, BOOL repaint = TRUE) const {
        ::MoveWindow(m_hWnd, x, y, cx, cy, repaint);
    }
    void MoveWindow(const RECT& rc, BOOL repaint = TRUE) const {
        ::MoveWindow(m_hWnd, rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top, repaint);
    }
    BOOL SetWindowPos(HWND after, int x, int y, int cx, int cy, UINT flags) const {
        return ::SetWindowPos(m_hWnd, after, x, y, cx, cy, flags);
    }
    RECT GetClientRect() const;
    RECT GetWindowRect() const;
    LONG GetStyle() const { return ::GetWindowLongW(m_hWnd, GWL_STYLE); }
    void ModifyStyle(DWORD remove, DWORD add) const;
    void SetWindowText(const std::wstring& text) const { ::SetWindowTextW(m_hWnd, text.c_str()); }
    std::wstring GetWindowText() const;
    UINT_PTR SetTimer(UINT_PTR id, UINT elapse) const { return ::SetTimer(m_hWnd, id, elapse, nullptr); }
    BOOL KillTimer(UINT_PTR id) const { return ::KillTimer(m_hWnd, id); }
    BOOL PostMessage(UINT msg, WPARAM wp = 0, LPARAM lp = 0) const { return ::PostMessageW(m_hWnd, msg, wp, lp); }
    LRESULT SendMessage(UINT msg, WPARAM wp = 0, LPARAM lp = 0) const { return ::SendMessageW(m_hWnd, msg, wp, lp); }
    void CenterWindow() const;

protected:
    // Every message of the window arrives here first; unhandled ones go to Default().
    virtual LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam);
    // The window's original handling of the message being processed.
    LRESULT Default();
    // Runs once the window is bound to the object (a control's set-up step).
    virtual void PreSubclassWindow() {}
    // Runs after the window is gone (the last message); the object may be reused or deleted.
    virtual void PostNcDestroy() {}

private:
    struct CurrentMessage {
        UINT msg;
        WPARAM wParam;
        LPARAM lParam;
    };
    static LRESULT CALLBACK SubclassProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                         DWORD_PTR refData);
    bool Bind(HWND wnd);
    CurrentMessage m_current{};
};
