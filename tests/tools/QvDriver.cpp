// Test driver: finds QuorvelDownloader's windows from outside the process and acts on them as a
// user would (clicks, keys, reading texts). One command per run; prints its answer on stdout.
// Exit code 0: done; 1: failed; 2: timed out; 3: the click was refused because the window is
// disabled (the system would not deliver a user's click to it either).
//   QvDriver wait-main MS            the main window is visible
//   QvDriver wait-gone MS            no main window exists any more
//   QvDriver wait-msgbox MS          the message box is visible; prints its texts
//   QvDriver wait-no-msgbox MS       the message box is hidden
//   QvDriver msgbox-text             the message box's texts
//   QvDriver click ID [msgbox]       a mouse click (press and release) on control ID
//   QvDriver click-at ID X Y [msgbox]  the same click at a point of control ID's client area
//   QvDriver key VK [msgbox]         a key press (down and up) to the focused control of the window
//   QvDriver focus [msgbox]          the control id of the window's keyboard focus (0: the window)
//   QvDriver text ID                 window text of control ID of the main window
//   QvDriver wait-text ID TEXT MS    control ID's text contains TEXT
//   QvDriver list                    the item list's rows, cells separated by tabs
//   QvDriver wait-list TEXT MS       some row of the item list contains TEXT
//   QvDriver enabled                 1 when the road is usable (main window and Start enabled), else 0
//   QvDriver wait-enabled 0|1 MS     the road is usable (main window and Start enabled) or not
//   QvDriver visible main|msgbox     1 when the window exists and is visible, else 0
//   QvDriver rect main|msgbox        the window rectangle: left top right bottom
//   QvDriver client-rect ID          control ID's rectangle in the main window's client coordinates
//   QvDriver dpi-changed DPI         sends WM_DPICHANGED for DPI to the main window (no rectangle)
//   QvDriver close                   the taskbar's Close (WM_SYSCOMMAND SC_CLOSE)
//   QvDriver minimize MS             the taskbar's Minimize (SC_MINIMIZE); waits until it is down
//   QvDriver style main|msgbox       the window's style and extended style, in hexadecimal
//   QvDriver gui-objects             GDI and USER object counts of the program's process
//   QvDriver watch ID MS             until the main window has gone, a line for each change: 1 or 0
//                                    (the road usable), a space, control ID's text with
//                                    line breaks shown as " | "
//   QvDriver cmdline EXE             the command line of the running process whose file is EXE
//   QvDriver post-command ID MS [TEXT]  once some row of the item list contains TEXT (at once without
//                                    TEXT), posts WM_COMMAND for control ID to the main window every
//                                    10 ms until the main window has gone or MS have passed, the
//                                    way a disabled button's command could still arrive; prints
//                                    how many were posted
#include <windows.h>
#include <tlhelp32.h>
#include <winternl.h>

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>

#include "resources/resource.h"
#include "tests/tools/ProgramWindows.h"

namespace {
// The user can take the road: the window takes input and Start is not held by a running download.
bool RoadUsable(HWND main) {
    HWND start = ::GetDlgItem(main, IDC_START_INSTALLATION);
    return ::IsWindowEnabled(main) && start && ::IsWindowEnabled(start);
}

std::wstring TextOf(HWND wnd) {
    wchar_t buf[8192] = {};
    DWORD_PTR result = 0;
    ::SendMessageTimeoutW(wnd, WM_GETTEXT, 8192, reinterpret_cast<LPARAM>(buf), SMTO_ABORTIFHUNG, 5000, &result);
    return buf;
}

void Print(const std::wstring& text) {
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<size_t>(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &bytes[0], n, nullptr, nullptr);
    std::fwrite(bytes.c_str(), 1, std::strlen(bytes.c_str()), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

template <class Pred>
int WaitFor(DWORD ms, Pred pred) {
    const DWORD start = ::GetTickCount();
    for (;;) {
        if (pred()) return 0;
        if (::GetTickCount() - start >= ms) return 2;
        ::Sleep(50);
    }
}

void ClickAt(HWND wnd, int x, int y) {
    const LPARAM at = MAKELPARAM(x, y);
    ::PostMessageW(wnd, WM_MOUSEMOVE, 0, at);
    ::PostMessageW(wnd, WM_LBUTTONDOWN, MK_LBUTTON, at);
    ::Sleep(30);
    ::PostMessageW(wnd, WM_LBUTTONUP, 0, at);
}

void Click(HWND wnd) {
    RECT rc{};
    ::GetClientRect(wnd, &rc);
    ClickAt(wnd, (rc.right - rc.left) / 2, (rc.bottom - rc.top) / 2);
}

void Key(HWND target, UINT vk) {
    const UINT scan = ::MapVirtualKeyW(vk, MAPVK_VK_TO_VSC);
    ::PostMessageW(target, WM_KEYDOWN, vk, 1 | (scan << 16));
    ::Sleep(20);
    ::PostMessageW(target, WM_KEYUP, vk, 1 | (scan << 16) | (1u << 30) | (1u << 31));
}

// The focused control of another thread's window: attach to its input state for a moment.
HWND FocusOf(HWND top) {
    DWORD thread = ::GetWindowThreadProcessId(top, nullptr);
    GUITHREADINFO gti{};
    gti.cbSize = sizeof gti;
    if (::GetGUIThreadInfo(thread, &gti) && gti.hwndFocus && (gti.hwndFocus == top || ::IsChild(top, gti.hwndFocus)))
        return gti.hwndFocus;
    HWND child = ::GetWindow(top, GW_CHILD);
    return child ? child : top;
}

std::wstring OneLine(std::wstring text) {
    std::wstring out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'\r' && i + 1 < text.size() && text[i + 1] == L'\n') continue;
        if (text[i] == L'\n' || text[i] == L'\r')
            out += L" | ";
        else
            out += text[i];
    }
    return out;
}

DWORD FindProcess(const std::wstring& exe) {
    DWORD pid = 0;
    HANDLE snap = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snap == INVALID_HANDLE_VALUE) return 0;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Process32FirstW(snap, &entry); more; more = ::Process32NextW(snap, &entry))
        if (_wcsicmp(entry.szExeFile, exe.c_str()) == 0) pid = entry.th32ProcessID;
    ::CloseHandle(snap);
    return pid;
}

// Reads the command line from the other process's parameter block, as the system keeps it.
bool CommandLineOf(DWORD pid, std::wstring& out) {
    using QueryFn = LONG(WINAPI*)(HANDLE, PROCESSINFOCLASS, PVOID, ULONG, PULONG);
    auto query = reinterpret_cast<QueryFn>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationProcess")));
    HANDLE p = ::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid);
    if (!query || !p) return false;
    PROCESS_BASIC_INFORMATION info{};
    RTL_USER_PROCESS_PARAMETERS* params = nullptr;
    UNICODE_STRING line{};
    bool ok =
        query(p, ProcessBasicInformation, &info, sizeof info, nullptr) >= 0 &&
        ::ReadProcessMemory(p, reinterpret_cast<const char*>(info.PebBaseAddress) + offsetof(PEB, ProcessParameters),
                            &params, sizeof params, nullptr) &&
        ::ReadProcessMemory(p,
                            reinterpret_cast<const char*>(params) + offsetof(RTL_USER_PROCESS_PARAMETERS, CommandLine),
                            &line, sizeof line, nullptr);
    if (ok) {
        out.assign(line.Length / sizeof(wchar_t), L'\0');
        ok = out.empty() || ::ReadProcessMemory(p, line.Buffer, &out[0], line.Length, nullptr);
    }
    ::CloseHandle(p);
    return ok;
}

int Rect(HWND wnd) {
    if (!wnd) return 1;
    RECT rc{};
    ::GetWindowRect(wnd, &rc);
    std::printf("%ld %ld %ld %ld\n", rc.left, rc.top, rc.right, rc.bottom);
    return 0;
}
}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) return 1;
    const std::wstring cmd = argv[1];
    auto arg = [&](int i) { return i < argc ? std::wstring(argv[i]) : std::wstring(); };
    auto num = [&](int i) { return static_cast<DWORD>(std::wcstoul(arg(i).c_str(), nullptr, 10)); };

    if (cmd == L"wait-main")
        return WaitFor(num(2), [] {
            HWND m = FindMain();
            return m && ::IsWindowVisible(m);
        });
    if (cmd == L"wait-gone") return WaitFor(num(2), [] { return FindMain() == nullptr; });
    if (cmd == L"wait-msgbox") {
        int r = WaitFor(num(2), [] {
            HWND b = FindBox();
            return b && ::IsWindowVisible(b);
        });
        if (r == 0) Print(TextOf(FindBox()));
        return r;
    }
    if (cmd == L"wait-no-msgbox")
        return WaitFor(num(2), [] {
            HWND b = FindBox();
            return !b || !::IsWindowVisible(b);
        });
    if (cmd == L"msgbox-text") {
        HWND b = FindBox();
        if (!b) return 1;
        Print(TextOf(b));
        return 0;
    }
    if (cmd == L"click-at") {
        HWND top = arg(5) == L"msgbox" ? FindBox() : FindMain();
        HWND ctl = top ? ::GetDlgItem(top, static_cast<int>(num(2))) : nullptr;
        if (!ctl) return 1;
        if (!::IsWindowEnabled(top) || !::IsWindowEnabled(ctl)) return 3;
        ClickAt(ctl, static_cast<int>(num(3)), static_cast<int>(num(4)));
        return 0;
    }
    if (cmd == L"click" || cmd == L"key") {
        HWND top = arg(3) == L"msgbox" ? FindBox() : FindMain();
        if (!top) return 1;
        if (cmd == L"key") {
            Key(FocusOf(top), num(2));
            return 0;
        }
        HWND ctl = ::GetDlgItem(top, static_cast<int>(num(2)));
        if (!ctl) return 1;
        if (!::IsWindowEnabled(top) || !::IsWindowEnabled(ctl)) return 3;
        Click(ctl);
        return 0;
    }
    if (cmd == L"focus") {
        HWND top = arg(2) == L"msgbox" ? FindBox() : FindMain();
        if (!top) return 1;
        const HWND focus = FocusOf(top);
        std::printf("%d\n", focus == top ? 0 : ::GetDlgCtrlID(focus));
        return 0;
    }
    if (cmd == L"text") {
        HWND ctl = ::GetDlgItem(FindMain(), static_cast<int>(num(2)));
        if (!ctl) return 1;
        Print(TextOf(ctl));
        return 0;
    }
    if (cmd == L"wait-text") {
        const std::wstring want = arg(3);
        const int id = static_cast<int>(num(2));
        return WaitFor(num(4), [&] {
            HWND ctl = ::GetDlgItem(FindMain(), id);
            return ctl && TextOf(ctl).find(want) != std::wstring::npos;
        });
    }
    if (cmd == L"list") {
        HWND ctl = ::GetDlgItem(FindMain(), IDC_LIST_ITEMS);
        if (!ctl) return 1;
        Print(TextOf(ctl));
        return 0;
    }
    if (cmd == L"wait-list") {
        const std::wstring want = arg(2);
        return WaitFor(num(3), [&] {
            HWND ctl = ::GetDlgItem(FindMain(), IDC_LIST_ITEMS);
            return ctl && TextOf(ctl).find(want) != std::wstring::npos;
        });
    }
    if (cmd == L"enabled") {
        HWND m = FindMain();
        if (!m) return 1;
        std::printf("%d\n", RoadUsable(m) ? 1 : 0);
        return 0;
    }
    if (cmd == L"wait-enabled") {
        const bool want = num(2) != 0;
        return WaitFor(num(3), [want] {
            HWND m = FindMain();
            return m && RoadUsable(m) == want;
        });
    }
    if (cmd == L"visible") {
        HWND w = arg(2) == L"msgbox" ? FindBox() : FindMain();
        std::printf("%d\n", w && ::IsWindowVisible(w) ? 1 : 0);
        return 0;
    }
    if (cmd == L"client-rect") {
        HWND m = FindMain();
        HWND ctl = m ? ::GetDlgItem(m, static_cast<int>(num(2))) : nullptr;
        if (!ctl) return 1;
        RECT rc{};
        ::GetWindowRect(ctl, &rc);
        ::MapWindowPoints(nullptr, m, reinterpret_cast<POINT*>(&rc), 2);
        std::printf("%ld %ld %ld %ld\n", rc.left, rc.top, rc.right, rc.bottom);
        return 0;
    }
    if (cmd == L"rect") return Rect(arg(2) == L"msgbox" ? FindBox() : FindMain());
    if (cmd == L"dpi-changed") {  // as Windows tells a window moved to a monitor of this DPI
        HWND m = FindMain();
        DWORD_PTR result = 0;
        const WPARAM dpi = MAKEWPARAM(num(2), num(2));
        return m && ::SendMessageTimeoutW(m, WM_DPICHANGED, dpi, 0, SMTO_ABORTIFHUNG, 10000, &result) ? 0 : 1;
    }
    if (cmd == L"style") {
        HWND w = arg(2) == L"msgbox" ? FindBox() : FindMain();
        if (!w) return 1;
        std::printf("%08lx %08lx\n", static_cast<unsigned long>(::GetWindowLongW(w, GWL_STYLE)),
                    static_cast<unsigned long>(::GetWindowLongW(w, GWL_EXSTYLE)));
        return 0;
    }
    if (cmd == L"close") {
        HWND m = FindMain();
        if (!m) return 1;
        ::PostMessageW(m, WM_SYSCOMMAND, SC_CLOSE, 0);
        return 0;
    }
    if (cmd == L"minimize") {  // as the taskbar's button would, then waits until it is down
        HWND m = FindMain();
        if (!m) return 1;
        ::PostMessageW(m, WM_SYSCOMMAND, SC_MINIMIZE, 0);
        return WaitFor(num(2), [m] { return ::IsIconic(m) != FALSE; });
    }
    if (cmd == L"watch") {
        const int id = static_cast<int>(num(2));
        std::wstring last;
        return WaitFor(num(3), [&] {
            HWND main = FindMain();
            HWND ctl = main ? ::GetDlgItem(main, id) : nullptr;
            if (!ctl) return true;
            const std::wstring now = (RoadUsable(main) ? L"1 " : L"0 ") + OneLine(TextOf(ctl));
            if (now != last) Print(now);
            last = now;
            return false;
        });
    }
    if (cmd == L"cmdline") {
        std::wstring line;
        const DWORD pid = FindProcess(arg(2));
        if (!pid || !CommandLineOf(pid, line)) return 1;
        Print(line);
        return 0;
    }
    if (cmd == L"post-command") {
        const int id = static_cast<int>(num(2));
        const DWORD ms = num(3);
        const std::wstring want = arg(4);
        const DWORD start = ::GetTickCount();
        if (!want.empty() && WaitFor(ms, [&] {
                                 HWND ctl = ::GetDlgItem(FindMain(), IDC_LIST_ITEMS);
                                 return ctl && TextOf(ctl).find(want) != std::wstring::npos;
                             }) != 0)
            return 2;
        unsigned long posted = 0;
        for (HWND main = FindMain(); main && ::GetTickCount() - start < ms; main = FindMain()) {
            const LPARAM control = reinterpret_cast<LPARAM>(::GetDlgItem(main, id));
            if (::PostMessageW(main, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), control)) ++posted;
            ::Sleep(10);
        }
        std::printf("%lu\n", posted);
        return 0;
    }
    if (cmd == L"gui-objects") {
        HWND m = FindMain();
        if (!m) return 1;
        DWORD pid = 0;
        ::GetWindowThreadProcessId(m, &pid);
        HANDLE p = ::OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, pid);
        if (!p) return 1;
        std::printf("%lu %lu\n", ::GetGuiResources(p, GR_GDIOBJECTS), ::GetGuiResources(p, GR_USEROBJECTS));
        ::CloseHandle(p);
        return 0;
    }
    return 1;
}
