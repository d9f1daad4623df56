// An off-screen drawing context: drawing goes into a bitmap compatible with the target and reaches
// the target in one copy when the object is destroyed.
#pragma once

#include "framework/DC.h"
#include "framework/GdiObjects.h"

#include <optional>

class CMemDC2 : public CMemoryDC {
public:
    // Covers rc of the target; drawing uses the target's coordinates.
    CMemDC2(HDC target, const RECT& rc);
    ~CMemDC2() override;

private:
    CBitmap m_bitmap;
    std::optional<CSelectObject> m_selection;
    HDC m_hTarget;
    RECT m_rect;
};
