// Test tool: plays a hostile program on the same desktop. It finds QuorvelDownloader's windows and
// sends them every private message number, WM_USER to 0xBFFF, each with junk parameter pairs.
// Nothing is left out: whatever number the program gives a meaning to must survive junk.
//   QvStrayMessages [WAIT_MS] [TARGET[:PAIRS]]...    waits up to WAIT_MS (default 30000) for windows
// Targets (default: main):
//   main      the main window (every junk pair unless PAIRS says how many)
//   controls  each control inside the main window: buttons, lists, scroll bars, ... (one pair)
//   msgbox    the message box, which must be showing, and each control inside it (one pair)
// The pairs come strongest first. Under Wine the program answers a few thousand messages a second,
// whichever window they are for: more pairs for a dozen windows would make the run many minutes.
// One thread sends to the windows in turn.
// Prints "sent N to W windows, timed out T" and exits 0 when every message has been sent; 1 when a
// target window is missing; 2 when a window went away; 3 when one stopped answering (both print the
// window, the message being sent and the last one answered).
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <cwctype>
#include <string>
#include <vector>

#include "tests/tools/ProgramWindows.h"

namespace {
const UINT kLastPrivate = 0xBFFF;  // registered message numbers start at 0xC000
const UINT kSendTimeoutMs = 1000;  // a dozen senders share one busy thread: answers come late
const int kMaxTimeoutsInARow = 20;

struct Pair {
    WPARAM wParam;
    LPARAM lParam;
};

template <class Find>
HWND WaitFor(DWORD ms, Find find, bool visible = true) {
    const DWORD start = ::GetTickCount();
    for (;;) {
        HWND wnd = find();
        if (wnd && (!visible || ::IsWindowVisible(wnd))) return wnd;
        if (::GetTickCount() - start >= ms) return nullptr;
        ::Sleep(50);
    }
}

BOOL CALLBACK CollectChild(HWND wnd, LPARAM lp) {
    reinterpret_cast<std::vector<HWND>*>(lp)->push_back(wnd);
    return TRUE;
}

// Every window inside PARENT, however deep.
std::vector<HWND> Descendants(HWND parent) {
    std::vector<HWND> found;
    ::EnumChildWindows(parent, CollectChild, reinterpret_cast<LPARAM>(&found));
    return found;
}

std::string Describe(HWND wnd) {
    char cls[64] = {};
    ::GetClassNameA(wnd, cls, sizeof cls);
    char text[160];
    std::snprintf(text, sizeof text, "window %p (%s, id %d)", static_cast<void*>(wnd), cls, ::GetDlgCtrlID(wnd));
    return text;
}

// A local of this process: a valid address here, a meaningless (or worse, a valid) one there.
int g_local;

// Strongest first: an address nobody maps, which is also a huge count and a negative index; the null
// pointer; an index or count of -1. Then each further pattern in both parameters, and a junk lParam
// beside a zero wParam, the pair a handler that trusts lParam once wParam says nothing would take.
const Pair kPairs[] = {
    {0xDEADBEEF, static_cast<LPARAM>(0xDEADBEEF)},
    {0, 0},
    {static_cast<WPARAM>(-1), -1},
    {reinterpret_cast<WPARAM>(&g_local), reinterpret_cast<LPARAM>(&g_local)},
    {1, 1},
    {0x10000, 0x10000},
    {0x400000, 0x400000},  // a 32-bit program's image base
    {0x7FFE0000, 0x7FFE0000},
    {0, static_cast<LPARAM>(0xDEADBEEF)},
};
const size_t kEveryPair = sizeof kPairs / sizeof kPairs[0];

struct Target {
    HWND wnd;
    size_t pairs;
    unsigned long sent = 0, timedOut = 0;
    int timeoutsInARow = 0;
    UINT lastAnswered = 0;
    int code = 0;  // 0 done, 2 gone, 3 stopped answering
    std::string report;
};

// Sends one message number with the target's pairs; false once the target has failed.
bool SendEach(Target& t, UINT msg) {
    for (size_t i = 0; i < t.pairs; ++i) {
        const Pair& p = kPairs[i];
        DWORD_PTR result = 0;
        char line[256];
        if (::SendMessageTimeoutW(t.wnd, msg, p.wParam, p.lParam, SMTO_ABORTIFHUNG, kSendTimeoutMs, &result)) {
            t.timeoutsInARow = 0;
            t.lastAnswered = msg;
        } else if (!::IsWindow(t.wnd)) {
            std::snprintf(line, sizeof line,
                          " was gone at message 0x%04X (wParam 0x%08lX, lParam 0x%08lX), the last one "
                          "answered was 0x%04X",
                          msg, static_cast<unsigned long>(p.wParam), static_cast<unsigned long>(p.lParam),
                          t.lastAnswered);
            t.code = 2;
            t.report = Describe(t.wnd) + line;
            return false;
        } else {
            ++t.timedOut;
            if (++t.timeoutsInARow >= kMaxTimeoutsInARow) {
                std::snprintf(line, sizeof line,
                              " stopped answering at message 0x%04X, the last one answered was 0x%04X", msg,
                              t.lastAnswered);
                t.code = 3;
                t.report = Describe(t.wnd) + line;
                return false;
            }
        }
        ++t.sent;
    }
    return true;
}

// Every message number to every target in turn, from one thread: the windows share the program's
// one user-interface thread, and under Wine senders on several threads only slow each other down.
void Flood(std::vector<Target>& targets) {
    for (UINT msg = WM_USER; msg <= kLastPrivate; ++msg) {
        for (Target& t : targets) {
            if (!SendEach(t, msg)) return;
        }
    }
}
}  // namespace

int wmain(int argc, wchar_t** argv) {
    int first = 1;
    DWORD waitMs = 30000;
    if (argc > 1 && std::iswdigit(argv[1][0])) {
        waitMs = static_cast<DWORD>(std::wcstoul(argv[1], nullptr, 10));
        first = 2;
    }
    std::vector<std::wstring> names(argv + first, argv + argc);
    if (names.empty()) names.push_back(L"main");

    // A notice at start-up shows before the main window does.
    const bool boxOnly = names.size() == 1 && names[0].compare(0, 6, L"msgbox") == 0;
    HWND main = WaitFor(waitMs, FindMain, !boxOnly);
    if (!main) {
        std::printf("no main window\n");
        return 1;
    }
    std::vector<Target> targets;
    for (std::wstring name : names) {
        size_t pairs = name == L"main" ? kEveryPair : 1;
        const size_t colon = name.find(L':');
        if (colon != std::wstring::npos) {
            pairs = std::wcstoul(name.c_str() + colon + 1, nullptr, 10);
            name.resize(colon);
            if (pairs < 1 || pairs > kEveryPair) {
                std::printf("the pairs of %ls must be 1 to %zu\n", name.c_str(), kEveryPair);
                return 1;
            }
        }
        if (name == L"main") {
            targets.push_back({main, pairs});
        } else if (name == L"controls") {
            for (HWND child : Descendants(main)) targets.push_back({child, pairs});
        } else if (name == L"msgbox") {
            HWND box = WaitFor(waitMs, FindBox);
            if (!box) {
                std::printf("no message box\n");
                return 1;
            }
            targets.push_back({box, pairs});
            for (HWND child : Descendants(box)) targets.push_back({child, pairs});
        } else {
            std::printf("unknown target %ls\n", name.c_str());
            return 1;
        }
    }

    Flood(targets);

    unsigned long sent = 0, timedOut = 0;
    int code = 0;
    for (const Target& t : targets) {
        sent += t.sent;
        timedOut += t.timedOut;
        if (t.code != 0 && code == 0) code = t.code;
    }
    std::printf("sent %lu to %zu windows, timed out %lu\n", sent, targets.size(), timedOut);
    for (const Target& t : targets) {
        if (t.code != 0) std::printf("%s\n", t.report.c_str());
    }
    return code;
}
