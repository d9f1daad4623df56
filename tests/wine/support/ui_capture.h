// Pixel capture for Windows-side tests: what a window shows, read back into memory, probed and
// saved as a BMP file.
#pragma once

#include "framework/Win32.h"

#include <cstdint>
#include <string>
#include <vector>

struct UiImage {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;  // top row first, 0x00RRGGBB

    bool Empty() const { return pixels.empty(); }
    // The pixel as a GDI colour (0x00BBGGRR); CLR_INVALID outside the image.
    COLORREF At(int x, int y) const;
    bool SaveBmp(const std::wstring& path) const;
};

// Copies a rectangle of a device context.
UiImage UiCaptureDC(HDC dc, int x, int y, int cx, int cy);
// The client area as it is on the screen now (BitBlt from the window's own context).
UiImage UiCaptureClient(HWND wnd);
// The client area as the window draws it into a memory context on WM_PRINTCLIENT.
UiImage UiPrintClient(HWND wnd);

// Whether every channel of two colours differs by at most tolerance.
bool UiColoursClose(COLORREF a, COLORREF b, int tolerance = 0);

// Where screenshots go: QV_SCREENSHOT_DIR, else the current folder; ends with a backslash.
std::wstring UiScreenshotDir();
