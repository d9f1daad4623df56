// Test tool: plays a hostile program on the same desktop. It finds QuorvelDownloader's main window
// and sends it every private message number, WM_USER to 0xBFFF, each with several junk parameter
// pairs. Nothing is left out: whatever number the program gives a meaning to must survive junk.
//   QvStrayMessages [WAIT_MS]        waits up to WAIT_MS (default 30000) for the main window
// Prints "sent N, timed out T" and exits 0 when every message has been sent; 1 when there is no
// main window; 2 when the main window went away; 3 when it stopped answering (both print the
// message being sent and the last one answered).
#include <windows.h>

#include <cstdio>
#include <cwchar>

namespace {
const wchar_t kMainTitle[] = L"탈빅스 다운로더";
const UINT kLastPrivate = 0xBFFF;  // registered message numbers start at 0xC000
const UINT kSendTimeoutMs = 200;
const int kMaxTimeoutsInARow = 20;

HWND FindMain() { return ::FindWindowW(L"#32770", kMainTitle); }

HWND WaitForMain(DWORD ms) {
    const DWORD start = ::GetTickCount();
    for (;;) {
        HWND main = FindMain();
        if (main && ::IsWindowVisible(main)) return main;
        if (::GetTickCount() - start >= ms) return nullptr;
        ::Sleep(50);
    }
}
}  // namespace

int wmain(int argc, wchar_t** argv) {
    const DWORD waitMs = argc > 1 ? static_cast<DWORD>(std::wcstoul(argv[1], nullptr, 10)) : 30000;
    HWND main = WaitForMain(waitMs);
    if (!main) {
        std::printf("no main window\n");
        return 1;
    }

    // A local of this process: a valid address here, a meaningless (or worse, a valid) one there.
    int local = 0;
    const DWORD_PTR junk[] = {
        0,
        1,
        static_cast<DWORD_PTR>(-1),
        0xDEADBEEF,
        0x10000,
        0x400000 /* a 32-bit program's image base */,
        0x7FFE0000,
        reinterpret_cast<DWORD_PTR>(&local),
    };
    struct Pair {
        WPARAM wParam;
        LPARAM lParam;
    };
    // Each pattern in both parameters, and a junk lParam beside a zero wParam, the pair a handler
    // that trusts lParam once wParam says nothing would take. About 430 000 sends in all: more
    // patterns per message would make the run minutes longer under Wine.
    Pair pairs[sizeof junk / sizeof junk[0] + 1] = {};
    size_t count = 0;
    for (DWORD_PTR value : junk) pairs[count++] = {value, static_cast<LPARAM>(value)};
    pairs[count++] = {0, static_cast<LPARAM>(0xDEADBEEF)};

    unsigned long sent = 0, timedOut = 0;
    int timeoutsInARow = 0;
    UINT lastAnswered = 0;
    for (UINT msg = WM_USER; msg <= kLastPrivate; ++msg) {
        for (size_t i = 0; i < count; ++i) {
            const Pair& p = pairs[i];
            DWORD_PTR result = 0;
            if (::SendMessageTimeoutW(main, msg, p.wParam, p.lParam, SMTO_ABORTIFHUNG, kSendTimeoutMs, &result)) {
                timeoutsInARow = 0;
                lastAnswered = msg;
            } else if (!::IsWindow(main)) {
                std::printf(
                    "sent %lu, timed out %lu; the main window was gone at message 0x%04X "
                    "(wParam 0x%08lX, lParam 0x%08lX), the last one answered was 0x%04X\n",
                    sent, timedOut, msg, static_cast<unsigned long>(p.wParam), static_cast<unsigned long>(p.lParam),
                    lastAnswered);
                return 2;
            } else {
                ++timedOut;
                if (++timeoutsInARow >= kMaxTimeoutsInARow) {
                    std::printf(
                        "sent %lu, timed out %lu; the main window stopped answering at message "
                        "0x%04X, the last one answered was 0x%04X\n",
                        sent, timedOut, msg, lastAnswered);
                    return 3;
                }
            }
            ++sent;
        }
    }
    std::printf("sent %lu, timed out %lu\n", sent, timedOut);
    return 0;
}
