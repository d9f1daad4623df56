// One picture held as a DIB section made from a bitmap resource; frames of a strip are copied out
// by callers through the lent memory context.
#pragma once

#include "controls/logic/DpiScale.h"
#include "framework/DC.h"
#include "framework/GdiObjects.h"

#include <memory>
#include <optional>

class CDIBSectionLite {
public:
    CDIBSectionLite();
    virtual ~CDIBSectionLite();
    CDIBSectionLite(const CDIBSectionLite&) = delete;
    CDIBSectionLite& operator=(const CDIBSectionLite&) = delete;

    // Loads a bitmap resource of the program; on failure the current picture stays.
    BOOL LoadResourceBitmap(UINT id);
    BOOL LoadResourceBitmap(const wchar_t* name);
    // Loads a bitmap resource at the scale: the resource itself at the layout's DPI, otherwise its
    // double-size twin (id + kDoubleSizeIdOffset, the resource when there is none) boxed down.
    // layoutFrameWidth: the pitch at which the program copies frames out of a strip, so that each
    // frame is scaled on its own and lies at the scaled pitch (0: one frame).
    BOOL LoadResourceBitmap(UINT id, const DpiScale& scale, int layoutFrameWidth = 0);
    static constexpr UINT kDoubleSizeIdOffset = 1000;
    // Replaces the picture by a DIB-section copy of the bitmap; on failure the object is empty.
    BOOL AssignBitmap(HBITMAP bitmap);
    void Clear();

    int Width() const { return m_info.header.biWidth; }
    int Height() const { return m_info.header.biHeight; }
    SIZE Size() const { return SIZE{Width(), Height()}; }
    int BitCount() const { return m_info.header.biBitCount; }
    // Bytes of one pixel row, padded to a multiple of four.
    int BytesPerRow() const { return ((Width() * BitCount() + 31) >> 5) * 4; }
    int ColorEntries() const { return static_cast<int>(m_nColorEntries); }
    bool IsEmpty() const { return m_hSection.IsNull(); }
    HBITMAP GetSafeHandle() const { return m_hSection; }
    const void* GetBits() const { return m_pBits; }

    // Copies the whole picture at its natural size to dc at pt.
    BOOL DrawAt(HDC dc, POINT pt);
    // Lends a memory context (compatible with dc, or the screen when dc is null) with the
    // picture selected; only one is lent at a time. Give it back with FreeMemoryDC.
    HDC AcquireMemoryDC(HDC dc);
    BOOL FreeMemoryDC();
    // Stretches the source rectangle of the picture into dest (lends and frees the memory context).
    BOOL StretchTo(HDC dc, const RECT& dest, const RECT& source, DWORD rop = SRCCOPY);

    // Colour-table entries for a bit count and compression; a non-zero smaller limit wins.
    static UINT ColorTableEntries(int bitCount, DWORD compression, UINT limit = 0);

private:
    struct DibInfo {
        BITMAPINFOHEADER header;
        RGBQUAD colors[256];
    };
    void FailAssignment();

    CBitmap m_hSection;
    DibInfo m_info{};
    void* m_pBits = nullptr;
    UINT m_nColorUsage = DIB_RGB_COLORS;
    UINT m_nColorEntries = 0;
    // The lent memory context and the section's selection into it (undone before the context goes).
    std::unique_ptr<CMemoryDC> m_dcMem;
    std::optional<CSelectObject> m_selection;
};
