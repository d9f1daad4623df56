// Test helpers for real windows: recording host, pumping and posted input.
#include "ui_window.h"

#include "framework/WinApp.h"

namespace {
const wchar_t kHostClass[] = L"QvUiTestHost";

void RegisterHostClass() {
    static bool registered = false;
    if (registered) return;
    WNDCLASSW wc{};
    wc.lpfnWndProc = ::DefWindowProcW;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = kHostClass;
    registered = ::RegisterClassW(&wc) != 0;
}

bool PumpWaiting() {
    MSG msg{};
    bool any = false;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        any = true;
        if (msg.message == WM_QUIT) {
            ::PostQuitMessage(static_cast<int>(msg.wParam));  // left for whoever owns the loop
            return any;
        }
        if (!CWinApp::PreTranslate(msg)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
    }
    return any;
}
}  // namespace

BOOL UiHostWindow::Create(int x, int y, int cx, int cy, bool visible) {
    RegisterHostClass();
    const DWORD style = WS_POPUP | WS_CLIPCHILDREN | (visible ? WS_VISIBLE : 0);
    return CreateEx(0, kHostClass, L"QvUiTestHost", style, RECT{x, y, x + cx, y + cy}, nullptr, 0);
}

std::vector<UiRecordedMessage> UiHostWindow::Messages(UINT msg) const {
    std::vector<UiRecordedMessage> found;
    for (const UiRecordedMessage& m : m_log)
        if (m.msg == msg) found.push_back(m);
    return found;
}

LRESULT UiHostWindow::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_COMMAND || msg == WM_VSCROLL || msg == WM_HSCROLL || msg >= WM_USER)
        m_log.push_back(UiRecordedMessage{msg, wParam, lParam, UiNowMs()});
    return Default();
}

double UiNowMs() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f{};
        ::QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER now{};
    ::QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

bool UiPumpUntil(const std::function<bool()>& condition, DWORD timeoutMs) {
    const double deadline = UiNowMs() + timeoutMs;
    for (;;) {
        PumpWaiting();
        if (condition && condition()) return true;
        const double left = deadline - UiNowMs();
        if (left <= 0) return condition ? condition() : true;
        // Sleeps until a message arrives, waking now and then for conditions set by other threads.
        const DWORD wait = left < 10 ? static_cast<DWORD>(left) + 1 : 10;
        ::MsgWaitForMultipleObjectsEx(0, nullptr, wait, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    }
}

void UiPumpFor(DWORD ms) { UiPumpUntil(nullptr, ms); }

bool UiWaitUntil(const std::function<bool()>& condition, DWORD timeoutMs) {
    const double deadline = UiNowMs() + timeoutMs;
    while (!condition()) {
        if (UiNowMs() >= deadline) return false;
        ::Sleep(5);
    }
    return true;
}

void UiPostMouse(HWND wnd, UINT msg, int x, int y, WPARAM keys) { ::PostMessageW(wnd, msg, keys, MAKELPARAM(x, y)); }

void UiPostClick(HWND wnd, int x, int y) {
    UiPostMouse(wnd, WM_LBUTTONDOWN, x, y, MK_LBUTTON);
    UiPostMouse(wnd, WM_LBUTTONUP, x, y, 0);
}

void UiPostKey(HWND wnd, UINT vk) {
    const UINT scan = ::MapVirtualKeyW(vk, MAPVK_VK_TO_VSC);
    ::PostMessageW(wnd, WM_KEYDOWN, vk, 1 | (static_cast<LPARAM>(scan) << 16));
    ::PostMessageW(wnd, WM_KEYUP, vk, 1 | (static_cast<LPARAM>(scan) << 16) | (1u << 30) | (1u << 31));
}
