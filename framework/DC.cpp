// Device-context classes.
#include "framework/DC.h"

void CDC::FillSolidRect(const RECT& rc, COLORREF colour) const {
    COLORREF old = ::SetBkColor(m_hDC, colour);
    ::ExtTextOutW(m_hDC, 0, 0, ETO_OPAQUE, &rc, nullptr, 0, nullptr);
    ::SetBkColor(m_hDC, old);
}

void CDC::GradientRect(const RECT& rc, COLORREF from, COLORREF to, bool vertical) const {
    TRIVERTEX v[2] = {};
    v[0].x = rc.left;
    v[0].y = rc.top;
    v[0].Red = static_cast<COLOR16>(GetRValue(from) << 8);
    v[0].Green = static_cast<COLOR16>(GetGValue(from) << 8);
    v[0].Blue = static_cast<COLOR16>(GetBValue(from) << 8);
    v[1].x = rc.right;
    v[1].y = rc.bottom;
    v[1].Red = static_cast<COLOR16>(GetRValue(to) << 8);
    v[1].Green = static_cast<COLOR16>(GetGValue(to) << 8);
    v[1].Blue = static_cast<COLOR16>(GetBValue(to) << 8);
    GRADIENT_RECT r = {0, 1};
    ::GradientFill(m_hDC, v, 2, &r, 1, vertical ? GRADIENT_FILL_RECT_V : GRADIENT_FILL_RECT_H);
}

void CDC::Line(int x1, int y1, int x2, int y2) const {
    ::MoveToEx(m_hDC, x1, y1, nullptr);
    ::LineTo(m_hDC, x2, y2);
}

CPaintDC::CPaintDC(HWND wnd) : m_wnd(wnd) { m_hDC = ::BeginPaint(wnd, &m_ps); }
CPaintDC::~CPaintDC() { ::EndPaint(m_wnd, &m_ps); }

CClientDC::CClientDC(HWND wnd) : m_wnd(wnd) { m_hDC = ::GetDC(wnd); }
CClientDC::~CClientDC() {
    if (m_hDC) ::ReleaseDC(m_wnd, m_hDC);
}

CWindowDC::CWindowDC(HWND wnd) : m_wnd(wnd) { m_hDC = ::GetWindowDC(wnd); }
CWindowDC::~CWindowDC() {
    if (m_hDC) ::ReleaseDC(m_wnd, m_hDC);
}

CMemoryDC::CMemoryDC(HDC compatibleWith) { m_hDC = ::CreateCompatibleDC(compatibleWith); }
CMemoryDC::~CMemoryDC() {
    if (m_hDC) ::DeleteDC(m_hDC);
}
