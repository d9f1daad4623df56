// The DIB-section picture: conversion of a loaded bitmap into an addressable section, and a lent
// memory context for copying frames out of it.
#include "controls/DIBSectionLite.h"

#include "controls/logic/PictureScale.h"
#include "framework/Diagnostics.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

// The pixels of a bitmap as 32-bit values, rows top to bottom.
bool ReadPixels(HBITMAP bitmap, int& width, int& height, std::vector<std::uint32_t>& pixels) {
    BITMAP bm{};
    if (!bitmap || !::GetObjectW(bitmap, sizeof bm, &bm) || bm.bmWidth <= 0 || bm.bmHeight == 0) return false;
    width = bm.bmWidth;
    height = bm.bmHeight < 0 ? -bm.bmHeight : bm.bmHeight;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    pixels.assign(static_cast<size_t>(width) * static_cast<size_t>(height), 0);
    CClientDC screen(nullptr);
    return screen.GetSafeHdc() &&
           ::GetDIBits(screen, bitmap, 0, static_cast<UINT>(height), pixels.data(), &info, DIB_RGB_COLORS) == height;
}

// Widens a strip whose last frame is clipped to a whole number of frames, repeating its last column.
std::vector<std::uint32_t> PadToFrames(const std::vector<std::uint32_t>& pixels, int width, int height,
                                       int paddedWidth) {
    std::vector<std::uint32_t> padded(static_cast<size_t>(paddedWidth) * static_cast<size_t>(height));
    for (size_t y = 0; y < static_cast<size_t>(height); ++y)
        for (size_t x = 0; x < static_cast<size_t>(paddedWidth); ++x)
            padded[y * static_cast<size_t>(paddedWidth) + x] =
                pixels[y * static_cast<size_t>(width) + std::min<size_t>(x, static_cast<size_t>(width) - 1)];
    return padded;
}

}  // namespace

CDIBSectionLite::CDIBSectionLite() = default;

CDIBSectionLite::~CDIBSectionLite() { Clear(); }

UINT CDIBSectionLite::ColorTableEntries(int bitCount, DWORD compression, UINT limit) {
    UINT entries = 0;
    switch (bitCount) {
    case 1: entries = 2; break;
    case 4: entries = 16; break;
    case 8: entries = 256; break;
    case 16:
    case 32: entries = compression == BI_BITFIELDS ? 3 : 0; break;
    case 24: entries = 0; break;
    default:
        QV_ASSERT(!"unexpected bit count");
        entries = 0;
        break;
    }
    if (limit != 0 && limit < entries) entries = limit;
    return entries;
}

BOOL CDIBSectionLite::LoadResourceBitmap(UINT id) { return LoadResourceBitmap(MAKEINTRESOURCEW(id)); }

BOOL CDIBSectionLite::LoadResourceBitmap(const wchar_t* name) {
    HBITMAP loaded =
        static_cast<HBITMAP>(::LoadImageW(::GetModuleHandleW(nullptr), name, IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    if (!loaded) return FALSE;
    BOOL result = AssignBitmap(loaded);
    ::DeleteObject(loaded);
    return result;
}

BOOL CDIBSectionLite::LoadResourceBitmap(UINT id, const DpiScale& scale, int layoutFrameWidth) {
    if (scale.IsLayoutDpi()) return LoadResourceBitmap(id);
    // Without LR_CREATEDIBSECTION the loader also takes the run-length encoded double-size set.
    const HINSTANCE module = ::GetModuleHandleW(nullptr);
    int sourcePerLayout = 2;
    CBitmap source;
    source.Attach(
        static_cast<HBITMAP>(::LoadImageW(module, MAKEINTRESOURCEW(id + kDoubleSizeIdOffset), IMAGE_BITMAP, 0, 0, 0)));
    if (source.IsNull()) {
        sourcePerLayout = 1;
        source.Attach(static_cast<HBITMAP>(::LoadImageW(module, MAKEINTRESOURCEW(id), IMAGE_BITMAP, 0, 0, 0)));
    }
    int width = 0, height = 0;
    std::vector<std::uint32_t> pixels;
    if (!ReadPixels(source, width, height, pixels)) return FALSE;

    const int layoutWidth = width / sourcePerLayout;
    const int pitch = layoutFrameWidth > 0 ? std::min(layoutFrameWidth, layoutWidth) : layoutWidth;
    const int frames = (layoutWidth + pitch - 1) / pitch;
    const int sourcePitch = pitch * sourcePerLayout;
    if (frames * sourcePitch != width) pixels = PadToFrames(pixels, width, height, frames * sourcePitch);
    const int frameWidth = scale(pitch), scaledHeight = scale(height / sourcePerLayout);
    const std::vector<std::uint32_t> scaled =
        ScaleFrames(pixels, sourcePitch, height, frames, frameWidth, scaledHeight);
    if (scaled.empty()) return FALSE;

    Clear();
    BITMAPINFOHEADER& h = m_info.header;
    h.biSize = sizeof(BITMAPINFOHEADER);
    h.biWidth = frameWidth * frames;
    h.biHeight = scaledHeight;
    h.biPlanes = 1;
    h.biBitCount = 32;
    h.biCompression = BI_RGB;
    h.biSizeImage = static_cast<DWORD>(BytesPerRow()) * static_cast<DWORD>(scaledHeight);
    CClientDC screen(nullptr);
    m_hSection.Attach(
        ::CreateDIBSection(screen, reinterpret_cast<BITMAPINFO*>(&m_info), DIB_RGB_COLORS, &m_pBits, nullptr, 0));
    if (m_hSection.IsNull() || !m_pBits) {
        FailAssignment();
        return FALSE;
    }
    // The section is bottom-up; the scaled rows are top-down.
    const size_t row = static_cast<size_t>(h.biWidth);
    auto* bits = static_cast<std::uint32_t*>(m_pBits);
    for (size_t y = 0; y < static_cast<size_t>(scaledHeight); ++y)
        std::memcpy(bits + (static_cast<size_t>(scaledHeight) - 1 - y) * row, scaled.data() + y * row,
                    row * sizeof(std::uint32_t));
    return TRUE;
}

void CDIBSectionLite::Clear() {
    FreeMemoryDC();
    m_hSection.DeleteObject();
    m_info = DibInfo{};
    m_pBits = nullptr;
    m_nColorUsage = DIB_RGB_COLORS;
    m_nColorEntries = 0;
}

// The system's reason is fetched so a debugger sees it, then the half-built picture is dropped.
void CDIBSectionLite::FailAssignment() {
    wchar_t* text = nullptr;
    ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER, nullptr, ::GetLastError(), 0x400,
                     reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    if (text) {
        ::OutputDebugStringW(text);
        ::LocalFree(text);
    }
    Clear();
}

BOOL CDIBSectionLite::AssignBitmap(HBITMAP bitmap) {
    Clear();
    BITMAP bm{};
    if (!bitmap || !::GetObjectW(bitmap, sizeof bm, &bm)) return FALSE;

    const int width = bm.bmWidth;
    const int height = bm.bmHeight < 0 ? -bm.bmHeight : bm.bmHeight;
    const int bitCount = bm.bmBitsPixel;
    CClientDC screen(nullptr);
    if (!screen.GetSafeHdc()) return FALSE;

    m_nColorEntries = ColorTableEntries(bitCount, BI_RGB);
    BITMAPINFOHEADER& h = m_info.header;
    h.biSize = sizeof(BITMAPINFOHEADER);
    h.biWidth = width;
    h.biHeight = height;
    h.biPlanes = 1;
    h.biBitCount = static_cast<WORD>(bitCount);
    h.biCompression = BI_RGB;
    h.biSizeImage = static_cast<DWORD>(BytesPerRow()) * static_cast<DWORD>(height);

    BITMAPINFO* info = reinterpret_cast<BITMAPINFO*>(&m_info);
    if (!::GetDIBits(screen, bitmap, 0, static_cast<UINT>(Height()), nullptr, info, m_nColorUsage)) {
        FailAssignment();
        return FALSE;
    }
    // GetDIBits may rewrite the header; the section is always stored bottom-up and uncompressed.
    h.biHeight = height;
    h.biCompression = BI_RGB;
    if (h.biSizeImage == 0) h.biSizeImage = static_cast<DWORD>(BytesPerRow()) * static_cast<DWORD>(height);
    m_hSection.Attach(::CreateDIBSection(screen, info, m_nColorUsage, &m_pBits, nullptr, 0));

    BOOL ok = FALSE;
    if (!m_hSection.IsNull()) {
        CMemoryDC from(screen);
        CMemoryDC to(screen);
        if (from.GetSafeHdc() && to.GetSafeHdc()) {
            ::GdiFlush();
            CSelectObject source(from, bitmap);
            CSelectObject target(to, m_hSection);
            ok = ::BitBlt(to, 0, 0, width, height, from, 0, 0, SRCCOPY);
        }
    }
    if (!ok) FailAssignment();
    return ok;
}

HDC CDIBSectionLite::AcquireMemoryDC(HDC dc) {
    FreeMemoryDC();
    auto mem = std::make_unique<CMemoryDC>(dc);
    if (!mem->GetSafeHdc()) return nullptr;
    m_dcMem = std::move(mem);
    if (!m_hSection.IsNull()) m_selection.emplace(*m_dcMem, m_hSection);
    ::GdiFlush();
    return *m_dcMem;
}

BOOL CDIBSectionLite::FreeMemoryDC() {
    if (!m_dcMem) return TRUE;
    ::GdiFlush();
    m_selection.reset();
    m_dcMem.reset();
    return TRUE;
}

BOOL CDIBSectionLite::DrawAt(HDC dc, POINT pt) {
    if (IsEmpty()) return FALSE;
    HDC mem = AcquireMemoryDC(dc);
    if (!mem) return FALSE;
    BOOL result = ::BitBlt(dc, pt.x, pt.y, Width(), Height(), mem, 0, 0, SRCCOPY);
    FreeMemoryDC();
    return result;
}

BOOL CDIBSectionLite::StretchTo(HDC dc, const RECT& dest, const RECT& source, DWORD rop) {
    if (IsEmpty()) return FALSE;
    HDC mem = AcquireMemoryDC(dc);
    if (!mem) return FALSE;
    const int oldMode = ::SetStretchBltMode(dc, COLORONCOLOR);
    BOOL result = ::StretchBlt(dc, dest.left, dest.top, dest.right - dest.left, dest.bottom - dest.top, mem,
                               source.left, source.top, source.right - source.left, source.bottom - source.top, rop);
    ::SetStretchBltMode(dc, oldMode);
    FreeMemoryDC();
    return result;
}
