// The off-screen drawing context for flicker-free painting.
#include "controls/MemDC2.h"

CMemDC2::CMemDC2(HDC target, const RECT& rc) : CMemoryDC(target), m_hTarget(target), m_rect(rc) {
    if (!m_hDC) return;
    if (m_bitmap.CreateCompatible(target, rc.right - rc.left, rc.bottom - rc.top)) m_selection.emplace(m_hDC, m_bitmap);
    // The bitmap starts at the rectangle's corner, so callers draw in the target's coordinates.
    ::SetWindowOrgEx(m_hDC, rc.left, rc.top, nullptr);
}

// The selection, the bitmap and the context are released after the copy, in that order.
CMemDC2::~CMemDC2() {
    if (m_selection)
        ::BitBlt(m_hTarget, m_rect.left, m_rect.top, m_rect.right - m_rect.left, m_rect.bottom - m_rect.top, m_hDC,
                 m_rect.left, m_rect.top, SRCCOPY);
}
