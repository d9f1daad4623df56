// The reference for the bench's /check measurement: a bare WinINet program, none of the program's
// code, that connects to the update server the way /check does and lists its folder. A window-less
// GUI program like /check, so both pay Wine's process start the same way.
//   RefFtpList [HOST [PORT]]      (default 127.0.0.1 5301)
// Exit code 0: the folder listed at least one file; 1: it did not.
#include <windows.h>
#include <wininet.h>

#include <cstdlib>
#include <cwchar>
#include <initializer_list>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    const wchar_t* host = __argc > 1 ? __wargv[1] : L"127.0.0.1";
    const auto port = static_cast<INTERNET_PORT>(__argc > 2 ? std::wcstoul(__wargv[2], nullptr, 10) : 5301);
    HINTERNET session = ::InternetOpenW(L"RefFtpList", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
    HINTERNET connection = session ? ::InternetConnectW(session, host, port, L"autoupdater", L"Tor%!&6284fern",
                                                        INTERNET_SERVICE_FTP, INTERNET_FLAG_PASSIVE, 0)
                                   : nullptr;
    WIN32_FIND_DATAW found = {};
    HINTERNET find = connection ? ::FtpFindFirstFileW(connection, L"/Software/*.*", &found, 0, 0) : nullptr;
    int files = 0;
    for (bool more = find != nullptr; more; more = ::InternetFindNextFileW(find, &found))
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) ++files;
    for (HINTERNET handle : {find, connection, session})
        if (handle) ::InternetCloseHandle(handle);
    return files > 0 ? 0 : 1;
}
