// DPI queries through functions found at run time, with the system-wide answer as the fallback.
#include "framework/Dpi.h"

namespace {

template <class Function>
Function User32Function(const char* name) {
    const HMODULE user32 = ::GetModuleHandleW(L"user32.dll");
    return user32 ? reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(user32, name))) : nullptr;
}

// Values of DIALOG_DPI_CHANGE_BEHAVIORS and DIALOG_CONTROL_DPI_CHANGE_BEHAVIORS.
constexpr int kDialogDisableAll = 0x0001 | 0x0002 | 0x0004;
constexpr int kControlDisableFontAndRelayout = 0x0001 | 0x0002;

}  // namespace

int WindowDpi(HWND wnd) {
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    static const auto getDpiForWindow = User32Function<GetDpiForWindowFn>("GetDpiForWindow");
    if (getDpiForWindow && wnd) {
        const UINT dpi = getDpiForWindow(wnd);
        if (dpi != 0) return static_cast<int>(dpi);
    }
    const HDC screen = ::GetDC(nullptr);
    const int dpi = screen ? ::GetDeviceCaps(screen, LOGPIXELSY) : 96;
    if (screen) ::ReleaseDC(nullptr, screen);
    return dpi;
}

int SystemMetricForDpi(int index, int dpi) {
    using Fn = int(WINAPI*)(int, UINT);
    static const auto forDpi = User32Function<Fn>("GetSystemMetricsForDpi");
    if (forDpi) return forDpi(index, static_cast<UINT>(dpi));
    return ::MulDiv(::GetSystemMetrics(index), dpi, WindowDpi(nullptr));
}

void KeepDialogLayoutOnDpiChange(HWND dialog) {
    using Fn = BOOL(WINAPI*)(HWND, int, int);
    static const auto setBehavior = User32Function<Fn>("SetDialogDpiChangeBehavior");
    if (setBehavior && dialog) setBehavior(dialog, kDialogDisableAll, kDialogDisableAll);
}

void KeepControlLayoutOnDpiChange(HWND control) {
    using Fn = BOOL(WINAPI*)(HWND, int, int);
    static const auto setBehavior = User32Function<Fn>("SetDialogControlDpiChangeBehavior");
    if (setBehavior && control) setBehavior(control, kControlDisableFontAndRelayout, kControlDisableFontAndRelayout);
}
