// Benchmark watcher: times the program's windows from outside, polling every 10 ms.
//   BenchWatch startup EXE CLASS TITLE MS
//       starts EXE, prints "ms=N", the time until a visible top-level window of that class and
//       title belongs to the new process, then closes it (the system menu's Close) and waits for
//       the process to end;
//   BenchWatch download TEXT MS
//       clicks Start in the main window and prints "list=HWND" (the item list), then
//       "first_progress=S" (a "%" in the list) and "seconds=S" (TEXT in the list), counted from the
//       click;
//   BenchWatch download TEXT MS closed
//       the same, then also "closed=S" once the main window is gone (the hand-off has launched the
//       setup program and closed it).
// Exit code 0: done; 1: failed; 2: timed out.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "resources/resource.h"

namespace {
const wchar_t kMainTitle[] = L"탈빅스 다운로더";
const DWORD kPollMs = 10;

double Now() {
    LARGE_INTEGER frequency, counter;
    ::QueryPerformanceFrequency(&frequency);
    ::QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

std::wstring TextOf(HWND window) {
    static wchar_t buffer[8192];
    buffer[0] = 0;
    DWORD_PTR result = 0;
    ::SendMessageTimeoutW(window, WM_GETTEXT, 8192, reinterpret_cast<LPARAM>(buffer), SMTO_ABORTIFHUNG, 5000, &result);
    return buffer;
}

// A press and release in the middle of the control, as a user's click arrives.
void Click(HWND control) {
    RECT rc{};
    ::GetClientRect(control, &rc);
    const LPARAM at = MAKELPARAM(rc.right / 2, rc.bottom / 2);
    ::PostMessageW(control, WM_MOUSEMOVE, 0, at);
    ::PostMessageW(control, WM_LBUTTONDOWN, MK_LBUTTON, at);
    ::PostMessageW(control, WM_LBUTTONUP, 0, at);
}

struct WindowSearch {
    DWORD process;
    const wchar_t* className;
    const wchar_t* title;
    HWND found;
};

BOOL CALLBACK FindProc(HWND window, LPARAM lp) {
    auto* s = reinterpret_cast<WindowSearch*>(lp);
    DWORD process = 0;
    ::GetWindowThreadProcessId(window, &process);
    wchar_t className[256] = {}, title[256] = {};
    ::GetClassNameW(window, className, 256);
    ::GetWindowTextW(window, title, 256);
    if (process == s->process && ::IsWindowVisible(window) && std::wcscmp(className, s->className) == 0 &&
        std::wcscmp(title, s->title) == 0) {
        s->found = window;
        return FALSE;
    }
    return TRUE;
}

int Startup(const wchar_t* exe, const wchar_t* className, const wchar_t* title, DWORD timeoutMs) {
    std::wstring commandLine = L"\"" + std::wstring(exe) + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    const double start = Now();
    // Detached, so a console program gets no console of its own: both programs start alike.
    if (!::CreateProcessW(exe, &commandLine[0], nullptr, nullptr, FALSE, DETACHED_PROCESS, nullptr, nullptr, &startup,
                          &process))
        return 1;
    WindowSearch search{process.dwProcessId, className, title, nullptr};
    int code = 2;
    while (Now() - start < timeoutMs / 1000.0) {
        ::EnumWindows(FindProc, reinterpret_cast<LPARAM>(&search));
        if (search.found) {
            std::printf("ms=%.1f\n", (Now() - start) * 1000.0);
            code = 0;
            break;
        }
        if (::WaitForSingleObject(process.hProcess, kPollMs) == WAIT_OBJECT_0) break;
    }
    if (search.found) ::PostMessageW(search.found, WM_SYSCOMMAND, SC_CLOSE, 0);
    if (::WaitForSingleObject(process.hProcess, 10000) != WAIT_OBJECT_0) ::TerminateProcess(process.hProcess, 1);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    return code;
}

int Download(const std::wstring& doneText, DWORD timeoutMs, bool untilClosed) {
    HWND main = ::FindWindowW(L"#32770", kMainTitle);
    HWND list = main ? ::GetDlgItem(main, IDC_LIST_ITEMS) : nullptr;
    HWND start = main ? ::GetDlgItem(main, IDC_START_INSTALLATION) : nullptr;
    if (!list || !start) return 1;
    std::printf("list=0x%lx\n", static_cast<unsigned long>(reinterpret_cast<ULONG_PTR>(list)));
    std::fflush(stdout);
    Click(start);
    const double clicked = Now();
    bool progress = false;
    while (Now() - clicked < timeoutMs / 1000.0) {
        const std::wstring text = TextOf(list);
        if (!progress && text.find(L'%') != std::wstring::npos) {
            progress = true;
            std::printf("first_progress=%.4f\n", Now() - clicked);
        }
        if (text.find(doneText) != std::wstring::npos) {
            std::printf("seconds=%.4f\n", Now() - clicked);
            if (!untilClosed) return 0;
            break;
        }
        ::Sleep(kPollMs);
    }
    while (Now() - clicked < timeoutMs / 1000.0) {
        if (!::IsWindow(main)) {
            std::printf("closed=%.4f\n", Now() - clicked);
            return 0;
        }
        ::Sleep(kPollMs);
    }
    return 2;
}
}  // namespace

int wmain(int argc, wchar_t** argv) {
    const std::wstring command = argc > 1 ? argv[1] : L"";
    if (command == L"startup" && argc == 6)
        return Startup(argv[2], argv[3], argv[4], std::wcstoul(argv[5], nullptr, 10));
    if (command == L"download" && (argc == 4 || (argc == 5 && std::wcscmp(argv[4], L"closed") == 0)))
        return Download(argv[2], std::wcstoul(argv[3], nullptr, 10), argc == 5);
    std::fwprintf(stderr, L"usage: BenchWatch startup EXE CLASS TITLE MS | download TEXT MS [closed]\n");
    return 1;
}
