// Stand-in for the scanner program TALVIX: a windowless GUI program that runs until it is ended
// (or, as a safety net, until its lifetime runs out: the first argument in seconds, default 600).
// Tests install copies of it as TALVIX.exe and give each copy its own version resource with
// SetVersionInfo.
#include <windows.h>

#include <cwchar>

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR commandLine, int) {
    unsigned seconds = 600;
    if (commandLine && *commandLine) {
        const unsigned long given = wcstoul(commandLine, nullptr, 10);
        if (given > 0) seconds = static_cast<unsigned>(given);
    }
    // A message-only window, so that the process is a GUI program with a queue like the real one.
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = L"TalvixStandIn";
    RegisterClassW(&windowClass);
    HWND window = CreateWindowW(L"TalvixStandIn", L"TALVIX", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance, nullptr);
    SetTimer(window, 1, seconds * 1000, nullptr);

    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (message.message == WM_TIMER) break;
        DispatchMessageW(&message);
    }
    return 0;
}
