// Owning wrappers for GDI objects and scoped selections that put the previous object back.
#pragma once

#include "framework/Win32.h"

template <class Handle>
class CGdiObject {
public:
    CGdiObject() = default;
    explicit CGdiObject(Handle h) : m_h(h) {}
    ~CGdiObject() { DeleteObject(); }
    CGdiObject(const CGdiObject&) = delete;
    CGdiObject& operator=(const CGdiObject&) = delete;
    CGdiObject(CGdiObject&& other) noexcept : m_h(other.Detach()) {}
    CGdiObject& operator=(CGdiObject&& other) noexcept {
        if (this != &other) Attach(other.Detach());
        return *this;
    }

    operator Handle() const { return m_h; }
    Handle GetSafeHandle() const { return m_h; }
    bool IsNull() const { return m_h == nullptr; }
    void Attach(Handle h) {
        DeleteObject();
        m_h = h;
    }
    Handle Detach() {
        Handle h = m_h;
        m_h = nullptr;
        return h;
    }
    void DeleteObject() {
        if (m_h) ::DeleteObject(m_h);
        m_h = nullptr;
    }

private:
    Handle m_h = nullptr;
};

class CFont : public CGdiObject<HFONT> {
public:
    // CreateFontW with the program's usual quality and family; returns false on failure.
    bool Create(int height, int width, int weight, BYTE charSet, const wchar_t* face, BYTE quality = CLEARTYPE_QUALITY,
                BYTE pitchAndFamily = FF_SWISS) {
        Attach(::CreateFontW(height, width, 0, 0, weight, FALSE, FALSE, FALSE, charSet, OUT_DEFAULT_PRECIS,
                             CLIP_DEFAULT_PRECIS, quality, pitchAndFamily, face));
        return !IsNull();
    }
    // A second font with the same logical description as another.
    bool CreateCopyOf(HFONT other) {
        LOGFONTW lf{};
        if (!other || !::GetObjectW(other, sizeof lf, &lf)) return false;
        Attach(::CreateFontIndirectW(&lf));
        return !IsNull();
    }
};

class CPen : public CGdiObject<HPEN> {
public:
    CPen() = default;
    CPen(int style, int width, COLORREF colour) { Create(style, width, colour); }
    bool Create(int style, int width, COLORREF colour) {
        Attach(::CreatePen(style, width, colour));
        return !IsNull();
    }
    COLORREF Colour() const {
        LOGPEN lp{};
        return GetSafeHandle() && ::GetObjectW(GetSafeHandle(), sizeof lp, &lp) ? lp.lopnColor : CLR_INVALID;
    }
};

class CBrush : public CGdiObject<HBRUSH> {
public:
    CBrush() = default;
    explicit CBrush(COLORREF colour) { Attach(::CreateSolidBrush(colour)); }
};

class CBitmap : public CGdiObject<HBITMAP> {
public:
    bool CreateCompatible(HDC dc, int cx, int cy) {
        Attach(::CreateCompatibleBitmap(dc, cx, cy));
        return !IsNull();
    }
    // A 32-bit bottom-up DIB section (BI_RGB, one plane) of the given size.
    bool CreateDib32(HDC dc, int cx, int cy) {
        BITMAPINFO bi{};
        bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        bi.bmiHeader.biWidth = cx;
        bi.bmiHeader.biHeight = cy;
        bi.bmiHeader.biPlanes = 1;
        bi.bmiHeader.biBitCount = 32;
        bi.bmiHeader.biCompression = BI_RGB;
        void* bits = nullptr;
        Attach(::CreateDIBSection(dc, &bi, DIB_RGB_COLORS, &bits, nullptr, 0));
        return !IsNull();
    }
};

// Selects a GDI object into a device context for one scope.
class CSelectObject {
public:
    CSelectObject(HDC dc, HGDIOBJ obj) : m_dc(dc), m_old(obj ? ::SelectObject(dc, obj) : nullptr) {}
    ~CSelectObject() {
        if (m_old) ::SelectObject(m_dc, m_old);
    }
    CSelectObject(const CSelectObject&) = delete;
    CSelectObject& operator=(const CSelectObject&) = delete;

private:
    HDC m_dc;
    HGDIOBJ m_old;
};

// Sets the background mode (and optionally the text colour) for one scope.
class CTextMode {
public:
    CTextMode(HDC dc, int bkMode) : m_dc(dc), m_oldMode(::SetBkMode(dc, bkMode)), m_oldColour(CLR_INVALID) {}
    CTextMode(HDC dc, int bkMode, COLORREF text)
        : m_dc(dc), m_oldMode(::SetBkMode(dc, bkMode)), m_oldColour(::SetTextColor(dc, text)) {}
    ~CTextMode() {
        ::SetBkMode(m_dc, m_oldMode);
        if (m_oldColour != CLR_INVALID) ::SetTextColor(m_dc, m_oldColour);
    }
    CTextMode(const CTextMode&) = delete;
    CTextMode& operator=(const CTextMode&) = delete;

private:
    HDC m_dc;
    int m_oldMode;
    COLORREF m_oldColour;
};
