// Starts a program and prints its whole exit code, which a Unix exit status would cut to 8 bits.
//
//   QvRunWait.exe PROGRAM [ARGUMENTS...]
//
// The rest of this tool's own command line after its name is the program's command line, passed
// on as it is. Prints "exit=N" (N as an unsigned decimal) and ends with 0; ends with 1 when the
// program did not start.
#include <windows.h>

#include <cstdio>
#include <string>

namespace {
// The command line after its first word (the tool's own name, quoted or not).
std::wstring AfterFirstWord(const wchar_t* line) {
    const wchar_t* p = line;
    if (*p == L'"') {
        ++p;
        while (*p && *p != L'"') ++p;
        if (*p) ++p;
    } else {
        while (*p && *p != L' ' && *p != L'\t') ++p;
    }
    while (*p == L' ' || *p == L'\t') ++p;
    return p;
}
}  // namespace

int wmain() {
    std::wstring command = AfterFirstWord(::GetCommandLineW());
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (command.empty() ||
        !::CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        std::printf("start failed %lu\n", ::GetLastError());
        return 1;
    }
    ::CloseHandle(process.hThread);
    ::WaitForSingleObject(process.hProcess, INFINITE);  // the test that runs this bounds it
    DWORD code = 0;
    ::GetExitCodeProcess(process.hProcess, &code);
    ::CloseHandle(process.hProcess);
    std::printf("exit=%lu\n", code);
    std::fflush(stdout);
    return 0;
}
