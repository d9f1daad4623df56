// The usage text's way out of a GUI program.
#include "app/Usage.h"

#include "app/logic/CommandLine.h"
#include "framework/Handle.h"
#include "framework/Win32.h"
#include "system/DiagnosticsLog.h"

#include <string>

namespace {

// A script's redirected output (`> usage.txt`, a pipe) gets UTF-8 bytes.
bool WriteToRedirectedOutput(const std::wstring& text) {
    const HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
    if (!out || out == INVALID_HANDLE_VALUE || ::GetFileType(out) == FILE_TYPE_UNKNOWN) return false;
    const int n =
        ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<size_t>(n > 0 ? n : 0), '\0');
    if (n > 0)
        ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &bytes[0], n, nullptr, nullptr);
    DWORD written = 0;
    return ::WriteFile(out, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size();
}

// The console of the command prompt that started the program (`start /wait ... /?`).
bool WriteToParentConsole(const std::wstring& text) {
    if (!::AttachConsole(ATTACH_PARENT_PROCESS)) return false;
    const CHandle console(::CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                        nullptr, OPEN_EXISTING, 0, nullptr));
    DWORD written = 0;
    const std::wstring lines = L"\r\n" + text;
    const bool ok =
        console && ::WriteConsoleW(console.Get(), lines.data(), static_cast<DWORD>(lines.size()), &written, nullptr);
    ::FreeConsole();
    return ok;
}

// A message box only where someone can answer it: a service's window station is not visible, and
// a box there would hold the run until the deployment tool gives up.
bool DesktopIsVisible() {
    USEROBJECTFLAGS flags{};
    const HWINSTA station = ::GetProcessWindowStation();
    return station && ::GetUserObjectInformationW(station, UOI_FLAGS, &flags, sizeof flags, nullptr) &&
           (flags.dwFlags & WSF_VISIBLE);
}

}  // namespace

void ShowUsage() {
    const std::wstring text = UsageText();
    const char* where = "none";
    if (WriteToRedirectedOutput(text))
        where = "output";
    else if (WriteToParentConsole(text))
        where = "console";
    else if (DesktopIsVisible()) {
        where = "message-box";
        ::MessageBoxW(nullptr, text.c_str(), L"QuorvelDownloader", MB_OK | MB_ICONINFORMATION | MB_SETFOREGROUND);
    }
    LogEvent("usage", {{"shown", where}});
}
