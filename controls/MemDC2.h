// An off-screen drawing context: drawing goes into a bitmap compatible with the target and reaches
// the target in one copy when the object is destroyed.
#pragma once

#include "framework/DC.h"

class CMemDC2 : public CDC {
public:
    // Covers rc of the target; drawing uses the target's coordinates.
    CMemDC2(HDC target, const RECT& rc);
    ~CMemDC2() override;

    const RECT& GetRect() const { return m_rect; }

private:
    HBITMAP m_hBitmap = nullptr;
    HGDIOBJ m_hOldBitmap = nullptr;
    HDC m_hTarget;
    RECT m_rect;
};
