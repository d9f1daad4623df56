// Device-context classes: a non-owning base and the owning paint, client, window and memory contexts.
#pragma once

#include "framework/Win32.h"

class CDC {
public:
    CDC() = default;
    explicit CDC(HDC dc) : m_hDC(dc) {}
    virtual ~CDC() = default;
    CDC(const CDC&) = delete;
    CDC& operator=(const CDC&) = delete;

    operator HDC() const { return m_hDC; }
    HDC GetSafeHdc() const { return m_hDC; }

    void FillSolidRect(const RECT& rc, COLORREF colour) const;
    // Vertical or horizontal two-colour gradient over a rectangle (GradientFill).
    void GradientRect(const RECT& rc, COLORREF from, COLORREF to, bool vertical) const;
    void Line(int x1, int y1, int x2, int y2) const;

protected:
    HDC m_hDC = nullptr;
};

// BeginPaint / EndPaint for one WM_PAINT.
class CPaintDC : public CDC {
public:
    explicit CPaintDC(HWND wnd);
    ~CPaintDC() override;
    PAINTSTRUCT m_ps{};

private:
    HWND m_wnd;
};

// GetDC / ReleaseDC of a window's client area (or the screen when the window is null).
class CClientDC : public CDC {
public:
    explicit CClientDC(HWND wnd);
    ~CClientDC() override;

private:
    HWND m_wnd;
};

// GetWindowDC / ReleaseDC: the whole window, non-client area included.
class CWindowDC : public CDC {
public:
    explicit CWindowDC(HWND wnd);
    ~CWindowDC() override;

private:
    HWND m_wnd;
};

// A memory context compatible with another; deleted with the object.
class CMemoryDC : public CDC {
public:
    explicit CMemoryDC(HDC compatibleWith);
    ~CMemoryDC() override;
};
