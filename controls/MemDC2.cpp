// The off-screen drawing context for flicker-free painting.
#include "controls/MemDC2.h"

CMemDC2::CMemDC2(HDC target, const RECT& rc) : m_hTarget(target), m_rect(rc) {
    m_hDC = ::CreateCompatibleDC(target);
    if (!m_hDC) return;
    m_hBitmap = ::CreateCompatibleBitmap(target, rc.right - rc.left, rc.bottom - rc.top);
    if (m_hBitmap) m_hOldBitmap = ::SelectObject(m_hDC, m_hBitmap);
    // The bitmap starts at the rectangle's corner, so callers draw in the target's coordinates.
    ::SetWindowOrgEx(m_hDC, rc.left, rc.top, nullptr);
}

CMemDC2::~CMemDC2() {
    if (!m_hDC) return;
    if (m_hOldBitmap) {
        ::BitBlt(m_hTarget, m_rect.left, m_rect.top, m_rect.right - m_rect.left, m_rect.bottom - m_rect.top, m_hDC,
                 m_rect.left, m_rect.top, SRCCOPY);
        ::SelectObject(m_hDC, m_hOldBitmap);
    }
    if (m_hBitmap) ::DeleteObject(m_hBitmap);
    ::DeleteDC(m_hDC);
}
