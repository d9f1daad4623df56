// The DIB-section picture: conversion of a loaded bitmap into an addressable section, and a lent
// memory context for copying frames out of it.
#include "controls/DIBSectionLite.h"

#include "framework/Diagnostics.h"

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
