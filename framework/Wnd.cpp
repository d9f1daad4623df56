// The window base. Binding uses SetWindowSubclass with the object as reference data and a window
// property, so any window (template control, system control, dialog) can be bound the same way.
#include "framework/Wnd.h"

namespace {
const wchar_t kObjectProp[] = L"QuorvelDownloader.CWnd";
const UINT_PTR kSubclassId = 1;
}  // namespace

CWnd::~CWnd() {
    if (m_hWnd && ::IsWindow(m_hWnd)) {
        // A window outliving its object would call into freed memory: detach, then destroy it.
        HWND wnd = UnsubclassWindow();
        ::DestroyWindow(wnd);
    }
}

CWnd* CWnd::FromHandlePermanent(HWND wnd) { return wnd ? static_cast<CWnd*>(::GetPropW(wnd, kObjectProp)) : nullptr; }

bool CWnd::Bind(HWND wnd) {
    if (!wnd || m_hWnd) return false;
    if (!::SetWindowSubclass(wnd, SubclassProc, kSubclassId, reinterpret_cast<DWORD_PTR>(this))) return false;
    ::SetPropW(wnd, kObjectProp, this);
    m_hWnd = wnd;
    return true;
}

BOOL CWnd::CreateEx(DWORD exStyle, const wchar_t* className, const wchar_t* text, DWORD style, const RECT& rc,
                    CWnd* parent, UINT id) {
    HWND parentWnd = parent ? parent->m_hWnd : nullptr;
    HMENU menu = (style & WS_CHILD) ? reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)) : nullptr;
    HWND wnd = ::CreateWindowExW(exStyle, className, text, style, rc.left, rc.top, rc.right - rc.left,
                                 rc.bottom - rc.top, parentWnd, menu, ::GetModuleHandleW(nullptr), nullptr);
    if (!wnd) return FALSE;
    if (!Bind(wnd)) {
        ::DestroyWindow(wnd);
        return FALSE;
    }
    PreSubclassWindow();
    return TRUE;
}

BOOL CWnd::SubclassWindow(HWND wnd) {
    if (!Bind(wnd)) return FALSE;
    PreSubclassWindow();
    return TRUE;
}

BOOL CWnd::SubclassDlgItem(UINT id, CWnd* parent) {
    return parent ? SubclassWindow(::GetDlgItem(parent->m_hWnd, static_cast<int>(id))) : FALSE;
}

HWND CWnd::UnsubclassWindow() {
    HWND wnd = m_hWnd;
    if (wnd) {
        ::RemoveWindowSubclass(wnd, SubclassProc, kSubclassId);
        ::RemovePropW(wnd, kObjectProp);
    }
    m_hWnd = nullptr;
    return wnd;
}

BOOL CWnd::DestroyWindow() { return m_hWnd ? ::DestroyWindow(m_hWnd) : FALSE; }

CWnd* CWnd::GetParent() const { return FromHandlePermanent(::GetParent(m_hWnd)); }

RECT CWnd::GetClientRect() const {
    RECT rc{};
    ::GetClientRect(m_hWnd, &rc);
    return rc;
}

RECT CWnd::GetWindowRect() const {
    RECT rc{};
    ::GetWindowRect(m_hWnd, &rc);
    return rc;
}

void CWnd::ModifyStyle(DWORD remove, DWORD add) const {
    LONG style = GetStyle();
    ::SetWindowLongW(m_hWnd, GWL_STYLE, static_cast<LONG>((static_cast<DWORD>(style) & ~remove) | add));
}

std::wstring CWnd::GetWindowText() const {
    int n = ::GetWindowTextLengthW(m_hWnd);
    std::wstring text(static_cast<size_t>(n) + 1, L'\0');
    n = ::GetWindowTextW(m_hWnd, &text[0], n + 1);
    text.resize(static_cast<size_t>(n > 0 ? n : 0));
    return text;
}

// Centres on the owner when there is one, otherwise on the work area of the screen.
void CWnd::CenterWindow() const {
    RECT rc = GetWindowRect();
    RECT area{};
    HWND owner = ::GetWindow(m_hWnd, GW_OWNER);
    if (owner && ::IsWindowVisible(owner)) {
        ::GetWindowRect(owner, &area);
    } else {
        HMONITOR monitor = ::MonitorFromWindow(m_hWnd, MONITOR_DEFAULTTOPRIMARY);
        MONITORINFO mi{};
        mi.cbSize = sizeof mi;
        ::GetMonitorInfoW(monitor, &mi);
        area = mi.rcWork;
    }
    const int cx = rc.right - rc.left, cy = rc.bottom - rc.top;
    const int x = area.left + ((area.right - area.left) - cx) / 2;
    const int y = area.top + ((area.bottom - area.top) - cy) / 2;
    ::SetWindowPos(m_hWnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

LRESULT CWnd::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) { return Default(); }

LRESULT CWnd::Default() { return ::DefSubclassProc(m_hWnd, m_current.msg, m_current.wParam, m_current.lParam); }

LRESULT CALLBACK CWnd::SubclassProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR refData) {
    CWnd* self = reinterpret_cast<CWnd*>(refData);
    if (msg == WM_NCDESTROY) {
        LRESULT result = ::DefSubclassProc(wnd, msg, wParam, lParam);
        self->UnsubclassWindow();
        self->PostNcDestroy();
        return result;
    }
    // Handlers may re-enter (a nested message loop); each level keeps its own message for Default().
    const CurrentMessage saved = self->m_current;
    self->m_current = {msg, wParam, lParam};
    LRESULT result = 0;
    try {
        result = self->WindowProc(msg, wParam, lParam);
    } catch (...) {
        // No exception may cross into the system's dispatch code.
        result = 0;
    }
    self->m_current = saved;
    return result;
}
