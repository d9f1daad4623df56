// The demo setup program: the file the demo and the tests serve as TALVIX's setup. It records and
// shows how it was started: its own path and the hand-off list NEXT_UPDATE_INFO.INI beside it.
// The record goes to c:\Windows\Temp\qv-setup-launched.txt; with QV_SETUP_AUTOCLOSE_MS set the
// window closes itself after that many milliseconds. Started with /S (an unattended install) it
// shows nothing, works for QV_SETUP_RUN_MS milliseconds and ends with QV_SETUP_EXIT_CODE (0 when
// not set), as a real setup reports "restart needed" (3010) or a failure.
#include <windows.h>

#include <string>

namespace {
std::wstring ReadAnsiFile(const std::wstring& path) {
    HANDLE f = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE) return L"(none)";
    std::string bytes;
    char buf[4096];
    DWORD n = 0;
    while (::ReadFile(f, buf, sizeof buf, &n, nullptr) && n > 0) bytes.append(buf, n);
    ::CloseHandle(f);
    const int len = ::MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::wstring text(static_cast<size_t>(len), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), &text[0], len);
    return text;
}

void WriteUtf8(const std::wstring& path, const std::wstring& text) {
    const int n =
        ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<size_t>(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &bytes[0], n, nullptr, nullptr);
    HANDLE f = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    ::WriteFile(f, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    ::CloseHandle(f);
}

UINT g_autoClose = 0;

DWORD NumberFromEnvironment(const wchar_t* name) {
    wchar_t value[32] = {};
    return ::GetEnvironmentVariableW(name, value, 32) ? std::wcstoul(value, nullptr, 10) : 0;
}

bool IsUnattended(const std::wstring& commandLine) {
    return (L" " + commandLine + L" ").find(L" /S ") != std::wstring::npos;
}

void CALLBACK CloseBox(HWND, UINT, UINT_PTR, DWORD) {
    // The message box belongs to this thread: find and close it.
    HWND box = ::FindWindowW(L"#32770", L"TALVIX Setup (demo)");
    if (box) ::PostMessageW(box, WM_COMMAND, IDOK, 0);
}
}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR cmdLine, int) {
    wchar_t self[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring folder = self;
    folder = folder.substr(0, folder.find_last_of(L'\\') + 1);
    const std::wstring ini = ReadAnsiFile(folder + L"NEXT_UPDATE_INFO.INI");

    std::wstring report = L"path=" + std::wstring(self) + L"\r\nargs=" + cmdLine + L"\r\nini=\r\n" + ini;
    WriteUtf8(L"c:\\Windows\\Temp\\qv-setup-launched.txt", report);

    if (IsUnattended(cmdLine)) {
        ::Sleep(NumberFromEnvironment(L"QV_SETUP_RUN_MS"));
        return static_cast<int>(NumberFromEnvironment(L"QV_SETUP_EXIT_CODE"));
    }
    g_autoClose = NumberFromEnvironment(L"QV_SETUP_AUTOCLOSE_MS");
    if (g_autoClose) ::SetTimer(nullptr, 0, g_autoClose, CloseBox);
    std::wstring text = L"The TALVIX setup program was started as\n" + std::wstring(self) +
                        L"\n\nHand-off list NEXT_UPDATE_INFO.INI:\n" + ini;
    ::MessageBoxW(nullptr, text.c_str(), L"TALVIX Setup (demo)", MB_OK | MB_ICONINFORMATION);
    return 0;
}
