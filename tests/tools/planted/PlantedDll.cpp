// A DLL that tests plant beside the program under the names of the DLLs it uses: when a process
// loads it, it appends its own path to c:\Windows\Temp\qv-planted-loaded.txt. It exports nothing,
// so a process that really used it would fail; the record says it was loaded all the same.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason != DLL_PROCESS_ATTACH) return TRUE;
    wchar_t path[MAX_PATH] = {};
    const DWORD length = ::GetModuleFileNameW(instance, path, MAX_PATH);
    const HANDLE record = ::CreateFileW(L"c:\\Windows\\Temp\\qv-planted-loaded.txt", FILE_APPEND_DATA,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS, 0, nullptr);
    if (record != INVALID_HANDLE_VALUE) {
        char line[MAX_PATH * 3 + 2] = {};
        int size =
            ::WideCharToMultiByte(CP_UTF8, 0, path, static_cast<int>(length), line, MAX_PATH * 3, nullptr, nullptr);
        line[size++] = '\n';
        DWORD written = 0;
        ::WriteFile(record, line, static_cast<DWORD>(size), &written, nullptr);
        ::CloseHandle(record);
    }
    return TRUE;
}
