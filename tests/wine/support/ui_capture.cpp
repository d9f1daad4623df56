// Pixel capture for tests.
#include "ui_capture.h"

#include <cstdlib>
#include <fstream>

namespace {

// A 32-bit top-down DIB section selected into a memory context for the lifetime of the object.
class Surface {
public:
    Surface(int cx, int cy) : m_cx(cx), m_cy(cy) {
        BITMAPINFO bi{};
        bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        bi.bmiHeader.biWidth = cx;
        bi.bmiHeader.biHeight = -cy;
        bi.bmiHeader.biPlanes = 1;
        bi.bmiHeader.biBitCount = 32;
        bi.bmiHeader.biCompression = BI_RGB;
        m_dc = ::CreateCompatibleDC(nullptr);
        m_bitmap = ::CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &m_bits, nullptr, 0);
        if (m_dc && m_bitmap) m_old = ::SelectObject(m_dc, m_bitmap);
    }
    ~Surface() {
        if (m_old) ::SelectObject(m_dc, m_old);
        if (m_bitmap) ::DeleteObject(m_bitmap);
        if (m_dc) ::DeleteDC(m_dc);
    }
    HDC dc() const { return m_old ? m_dc : nullptr; }
    UiImage Image() const {
        UiImage image;
        if (!m_old) return image;
        ::GdiFlush();
        image.width = m_cx;
        image.height = m_cy;
        const uint32_t* p = static_cast<const uint32_t*>(m_bits);
        image.pixels.assign(p, p + static_cast<size_t>(m_cx) * static_cast<size_t>(m_cy));
        for (uint32_t& px : image.pixels) px &= 0x00FFFFFFu;
        return image;
    }

private:
    int m_cx, m_cy;
    HDC m_dc = nullptr;
    HBITMAP m_bitmap = nullptr;
    HGDIOBJ m_old = nullptr;
    void* m_bits = nullptr;
};

}  // namespace

COLORREF UiImage::At(int x, int y) const {
    if (x < 0 || y < 0 || x >= width || y >= height) return CLR_INVALID;
    const uint32_t px = pixels[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)];
    return RGB((px >> 16) & 0xFF, (px >> 8) & 0xFF, px & 0xFF);
}

bool UiImage::SaveBmp(const std::wstring& path) const {
    if (Empty()) return false;
    BITMAPINFOHEADER info{};
    info.biSize = sizeof info;
    info.biWidth = width;
    info.biHeight = -height;
    info.biPlanes = 1;
    info.biBitCount = 32;
    info.biCompression = BI_RGB;
    const DWORD bytes = static_cast<DWORD>(pixels.size() * 4);
    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof info;
    file.bfSize = file.bfOffBits + bytes;
    HANDLE h = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    bool ok = ::WriteFile(h, &file, sizeof file, &written, nullptr) &&
              ::WriteFile(h, &info, sizeof info, &written, nullptr) &&
              ::WriteFile(h, pixels.data(), bytes, &written, nullptr) && written == bytes;
    ::CloseHandle(h);
    return ok;
}

UiImage UiCaptureDC(HDC dc, int x, int y, int cx, int cy) {
    Surface surface(cx, cy);
    if (!surface.dc() || !::BitBlt(surface.dc(), 0, 0, cx, cy, dc, x, y, SRCCOPY)) return UiImage{};
    return surface.Image();
}

UiImage UiCaptureClient(HWND wnd) {
    RECT rc{};
    ::GetClientRect(wnd, &rc);
    HDC dc = ::GetDC(wnd);
    if (!dc) return UiImage{};
    UiImage image = UiCaptureDC(dc, 0, 0, rc.right, rc.bottom);
    ::ReleaseDC(wnd, dc);
    return image;
}

UiImage UiPrintClient(HWND wnd) {
    RECT rc{};
    ::GetClientRect(wnd, &rc);
    Surface surface(rc.right, rc.bottom);
    if (!surface.dc()) return UiImage{};
    ::SendMessageW(wnd, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(surface.dc()), PRF_CLIENT);
    return surface.Image();
}

bool UiColoursClose(COLORREF a, COLORREF b, int tolerance) {
    return std::abs(static_cast<int>(GetRValue(a)) - static_cast<int>(GetRValue(b))) <= tolerance &&
           std::abs(static_cast<int>(GetGValue(a)) - static_cast<int>(GetGValue(b))) <= tolerance &&
           std::abs(static_cast<int>(GetBValue(a)) - static_cast<int>(GetBValue(b))) <= tolerance;
}

std::wstring UiScreenshotDir() {
    wchar_t buffer[MAX_PATH] = {};
    DWORD n = ::GetEnvironmentVariableW(L"QV_SCREENSHOT_DIR", buffer, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) n = ::GetCurrentDirectoryW(MAX_PATH, buffer);
    std::wstring dir(buffer, n);
    // Under Wine a Unix path from the test script lives on drive Z:.
    const bool underWine = ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
    if (underWine && !dir.empty() && dir[0] == L'/') {
        for (wchar_t& c : dir)
            if (c == L'/') c = L'\\';
        dir = L"Z:" + dir;
    }
    if (!dir.empty() && dir.back() != L'\\' && dir.back() != L'/') dir += L'\\';
    return dir;
}
