// Accessibility probe: reads QuorvelDownloader's main window the way a screen reader does, through
// MSAA (AccessibleObjectFromWindow on each child window), and listens for the name changes the
// program announces. One command per run; prints its answer on stdout. Exit code 0: done;
// 1: failed; 2: timed out.
//   QvAccProbe children              a line per child window in reading (z-) order: control id, a tab,
//                                    the accessible name (line breaks shown as " | "), a tab, the
//                                    accessible state in hexadecimal
//   QvAccProbe name-changes MS ID... "watching" once listening; then, until MS have passed or the main
//                                    window has gone, a line each time the program raises
//                                    EVENT_OBJECT_NAMECHANGE for one of the controls: its id, a tab,
//                                    its accessible name (line breaks shown as " | ")
#include <windows.h>
#include <oleacc.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {
const wchar_t kMainTitle[] = L"탈빅스 다운로더";

// IAccessible's IID, spelled out: the build links Windows' functions without dllimport (for its delay
// imports), and the x64 import library's IID_IAccessible is oleacc's data import, whose address would
// then be the import stub's code.
const IID kIidAccessible = {0x618736e0, 0x3c3d, 0x11cf, {0x81, 0x0c, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};

HWND FindMain() { return ::FindWindowW(L"#32770", kMainTitle); }

void Print(const std::wstring& line) {
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, line.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n > 0 ? n : 1), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, line.c_str(), -1, &out[0], n, nullptr, nullptr);
    std::printf("%s\n", out.c_str());
    std::fflush(stdout);
}

std::wstring OneLine(std::wstring text) {
    std::wstring out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'\r') continue;
        if (text[i] == L'\n')
            out += L" | ";
        else
            out += text[i];
    }
    return out;
}

struct Accessible {
    IAccessible* acc = nullptr;
    HRESULT result = E_FAIL;
    explicit Accessible(HWND wnd) {
        void* p = nullptr;
        result = ::AccessibleObjectFromWindow(wnd, static_cast<DWORD>(OBJID_CLIENT), kIidAccessible, &p);
        if (SUCCEEDED(result)) acc = static_cast<IAccessible*>(p);
    }
    ~Accessible() {
        if (acc) acc->Release();
    }
    Accessible(const Accessible&) = delete;
    Accessible& operator=(const Accessible&) = delete;

    std::wstring Name() const {
        VARIANT self;
        ::VariantInit(&self);
        self.vt = VT_I4;
        self.lVal = CHILDID_SELF;
        BSTR name = nullptr;
        std::wstring out;
        if (acc && acc->get_accName(self, &name) == S_OK && name) out.assign(name, ::SysStringLen(name));
        if (name) ::SysFreeString(name);
        return out;
    }
    long State() const {
        VARIANT self, state;
        ::VariantInit(&self);
        ::VariantInit(&state);
        self.vt = VT_I4;
        self.lVal = CHILDID_SELF;
        long out = -1;
        if (acc && SUCCEEDED(acc->get_accState(self, &state)) && state.vt == VT_I4) out = state.lVal;
        ::VariantClear(&state);
        return out;
    }
};

int Children() {
    const HWND main = FindMain();
    if (!main) return 1;
    for (HWND child = ::GetWindow(main, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
        const Accessible acc(child);
        if (!acc.acc) {
            std::fprintf(stderr, "control %d: AccessibleObjectFromWindow failed (0x%08lx)\n", ::GetDlgCtrlID(child),
                         static_cast<unsigned long>(acc.result));
            return 1;
        }
        wchar_t line[64];
        std::swprintf(line, 64, L"%d\t", ::GetDlgCtrlID(child));
        wchar_t state[32];
        std::swprintf(state, 32, L"\t%08lx", static_cast<unsigned long>(acc.State()));
        Print(line + OneLine(acc.Name()) + state);
    }
    return 0;
}

std::vector<HWND> g_watched;

void CALLBACK OnWinEvent(HWINEVENTHOOK, DWORD, HWND wnd, LONG object, LONG, DWORD, DWORD) {
    if (object != OBJID_CLIENT || std::find(g_watched.begin(), g_watched.end(), wnd) == g_watched.end()) return;
    const Accessible acc(wnd);
    wchar_t id[32];
    std::swprintf(id, 32, L"%d\t", ::GetDlgCtrlID(wnd));
    Print(id + OneLine(acc.Name()));
}

int NameChanges(DWORD ms, const std::vector<int>& ids) {
    const DWORD start = ::GetTickCount();
    HWND main = nullptr;
    while (!(main = FindMain())) {
        if (::GetTickCount() - start > ms) return 2;
        ::Sleep(20);
    }
    for (int id : ids) {
        const HWND control = ::GetDlgItem(main, id);
        if (!control) return 1;
        g_watched.push_back(control);
    }
    DWORD pid = 0;
    ::GetWindowThreadProcessId(main, &pid);
    const HWINEVENTHOOK hook = ::SetWinEventHook(EVENT_OBJECT_NAMECHANGE, EVENT_OBJECT_NAMECHANGE, nullptr, OnWinEvent,
                                                 pid, 0, WINEVENT_OUTOFCONTEXT);
    if (!hook) return 1;
    Print(L"watching");
    while (::IsWindow(main) && ::GetTickCount() - start < ms) {
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&msg);
    }
    ::UnhookWinEvent(hook);
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) return 1;
    ::CoInitialize(nullptr);
    const std::wstring cmd = argv[1];
    int rc = 1;
    if (cmd == L"children") rc = Children();
    if (cmd == L"name-changes" && argc >= 4) {
        std::vector<int> ids;
        for (int i = 3; i < argc; ++i) ids.push_back(static_cast<int>(std::wcstol(argv[i], nullptr, 10)));
        rc = NameChanges(static_cast<DWORD>(std::wcstoul(argv[2], nullptr, 10)), ids);
    }
    ::CoUninitialize();
    return rc;
}
