// Resource probe: counts what QuorvelDownloader's process holds, from outside, so a test can see
// whether repeated work leaks. One command per run; prints one line of name=value pairs.
//   QvProbe resources        the process that owns the main window:
//                              gdi_api, user_api  GetGuiResources (0 under Wine, which does not count)
//                              gdi       used entries of the process's GDI handle table
//                              windows   windows of the process (top-level, children, message-only)
//                              threads   threads of the process
//                              handles   kernel handles of the process (-1 when not reported)
//                              private_kb  private bytes
//   QvProbe windows          the process's top-level windows, one a line: handle, class, visible,
//                              owner, rectangle and title
//   QvProbe self-test        checks the GDI count on this process: prints "ok" when ten created
//                              brushes add ten and deleting them takes ten away
// Exit code 0: done; 1: failed.
#include <windows.h>
#include <psapi.h>
#include <tlhelp32.h>
#include <winternl.h>

#include <cstdint>
#include <cstdio>
#include <vector>

namespace {
const wchar_t kMainTitle[] = L"탈빅스 다운로더";

// The GDI handle table that the system maps into every GUI process, as the PEB points to it.
// Windows and Wine lay an entry out the same way; an entry is in use when its type is not 0.
#pragma pack(push, 1)
struct GdiHandleEntry {
    uint64_t object;
    uint32_t owner;
    uint16_t unique;
    uint8_t type;
    uint8_t flags;
    uint64_t userPointer;
};
#pragma pack(pop)
static_assert(sizeof(GdiHandleEntry) == 24, "GDI handle entry layout");
constexpr size_t kGdiHandleCount = 0x10000;
// Where the table's address is kept: GdiSharedHandleTable of a 32-bit PEB; in a 32-bit process
// under 64-bit Wine only the 64-bit PEB has it, reached from the 32-bit TEB (its GdiBatchCount
// field holds the 64-bit TEB, whose Peb field points to the 64-bit PEB).
constexpr size_t kPeb32GdiTable = 0x94;
constexpr size_t kTeb32GdiBatchCount = 0xF70;
constexpr size_t kTeb64Peb = 0x60;
constexpr size_t kPeb64GdiTable = 0xF8;

template <class T>
bool ReadAt(HANDLE p, uint64_t address, T& value) {
    if (address == 0 || address > 0xFFFFFFFFull) return false;
    return ::ReadProcessMemory(p, reinterpret_cast<const void*>(static_cast<uintptr_t>(address)), &value, sizeof value,
                               nullptr) != FALSE;
}

using QueryProcessFn = LONG(WINAPI*)(HANDLE, PROCESSINFOCLASS, PVOID, ULONG, PULONG);
using QueryThreadFn = LONG(WINAPI*)(HANDLE, ULONG, PVOID, ULONG, PULONG);

template <class Fn>
Fn NtFunction(const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), name)));
}

// The 32-bit TEB of one thread of process pid, or 0.
uint64_t AnyThreadTeb(DWORD pid) {
    struct ThreadBasicInformation {
        LONG exitStatus;
        PVOID teb;
        CLIENT_ID clientId;
        ULONG_PTR affinity;
        LONG priority;
        LONG basePriority;
    };
    auto query = NtFunction<QueryThreadFn>("NtQueryInformationThread");
    HANDLE snap = ::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (!query || snap == INVALID_HANDLE_VALUE) return 0;
    uint64_t teb = 0;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Thread32First(snap, &entry); more && !teb; more = ::Thread32Next(snap, &entry)) {
        if (entry.th32OwnerProcessID != pid) continue;
        HANDLE t = ::OpenThread(THREAD_QUERY_INFORMATION, FALSE, entry.th32ThreadID);
        if (!t) continue;
        ThreadBasicInformation info{};
        if (query(t, 0, &info, sizeof info, nullptr) >= 0) teb = reinterpret_cast<uintptr_t>(info.teb);
        ::CloseHandle(t);
    }
    ::CloseHandle(snap);
    return teb;
}

uint64_t GdiTableAddress(HANDLE p, DWORD pid) {
    auto query = NtFunction<QueryProcessFn>("NtQueryInformationProcess");
    PROCESS_BASIC_INFORMATION info{};
    if (!query || query(p, ProcessBasicInformation, &info, sizeof info, nullptr) < 0) return 0;
    uint32_t table32 = 0;
    if (ReadAt(p, reinterpret_cast<uintptr_t>(info.PebBaseAddress) + kPeb32GdiTable, table32) && table32)
        return table32;
    uint32_t teb64 = 0;
    uint64_t peb64 = 0, table = 0;
    const uint64_t teb32 = AnyThreadTeb(pid);
    if (teb32 && ReadAt(p, teb32 + kTeb32GdiBatchCount, teb64) && ReadAt(p, uint64_t{teb64} + kTeb64Peb, peb64) &&
        ReadAt(p, peb64 + kPeb64GdiTable, table))
        return table;
    return 0;
}

// Used entries of the GDI handle table of process p; -1 when it cannot be read.
long CountGdiEntries(HANDLE p, DWORD pid) {
    const uint64_t table = GdiTableAddress(p, pid);
    if (table == 0 || table + kGdiHandleCount * sizeof(GdiHandleEntry) > 0xFFFFFFFFull) return -1;
    std::vector<GdiHandleEntry> entries(4096);
    long used = 0;
    for (size_t first = 0; first < kGdiHandleCount; first += entries.size()) {
        SIZE_T got = 0;
        const uintptr_t at = static_cast<uintptr_t>(table + first * sizeof(GdiHandleEntry));
        if (!::ReadProcessMemory(p, reinterpret_cast<const void*>(at), entries.data(),
                                 entries.size() * sizeof(GdiHandleEntry), &got))
            break;  // the end of the committed part of the table
        for (size_t i = 0; i < got / sizeof(GdiHandleEntry); ++i)
            if (entries[i].type != 0) ++used;
    }
    return used;
}

struct WindowCount {
    DWORD process;
    long count;
};

BOOL CALLBACK CountChild(HWND wnd, LPARAM lp) {
    ++reinterpret_cast<WindowCount*>(lp)->count;
    return TRUE;
}

BOOL CALLBACK CountTop(HWND wnd, LPARAM lp) {
    auto* c = reinterpret_cast<WindowCount*>(lp);
    DWORD pid = 0;
    ::GetWindowThreadProcessId(wnd, &pid);
    if (pid == c->process) {
        ++c->count;
        ::EnumChildWindows(wnd, CountChild, lp);
    }
    return TRUE;
}

long CountWindows(DWORD pid) {
    WindowCount c{pid, 0};
    ::EnumWindows(CountTop, reinterpret_cast<LPARAM>(&c));
    for (HWND w = ::FindWindowExW(HWND_MESSAGE, nullptr, nullptr, nullptr); w;
         w = ::FindWindowExW(HWND_MESSAGE, w, nullptr, nullptr))
        CountTop(w, reinterpret_cast<LPARAM>(&c));
    return c.count;
}

long CountThreads(DWORD pid) {
    HANDLE snap = ::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snap == INVALID_HANDLE_VALUE) return -1;
    long n = 0;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Thread32First(snap, &entry); more; more = ::Thread32Next(snap, &entry))
        if (entry.th32OwnerProcessID == pid) ++n;
    ::CloseHandle(snap);
    return n;
}

BOOL CALLBACK PrintTop(HWND wnd, LPARAM lp) {
    DWORD pid = 0;
    ::GetWindowThreadProcessId(wnd, &pid);
    if (pid != static_cast<DWORD>(lp)) return TRUE;
    wchar_t cls[128] = {}, title[256] = {};
    ::GetClassNameW(wnd, cls, 128);
    ::GetWindowTextW(wnd, title, 256);
    RECT rc{};
    ::GetWindowRect(wnd, &rc);
    char text[512] = {};
    ::WideCharToMultiByte(CP_UTF8, 0, title, -1, text, sizeof text - 1, nullptr, nullptr);
    char name[128] = {};
    ::WideCharToMultiByte(CP_UTF8, 0, cls, -1, name, sizeof name - 1, nullptr, nullptr);
    std::printf("%p %s visible=%d owner=%p rect=%ld,%ld,%ld,%ld %s\n", static_cast<void*>(wnd), name,
                ::IsWindowVisible(wnd) ? 1 : 0, static_cast<void*>(::GetWindow(wnd, GW_OWNER)), rc.left, rc.top,
                rc.right, rc.bottom, text);
    return TRUE;
}

int Windows() {
    HWND main = ::FindWindowW(L"#32770", kMainTitle);
    if (!main) return 1;
    DWORD pid = 0;
    ::GetWindowThreadProcessId(main, &pid);
    ::EnumWindows(PrintTop, static_cast<LPARAM>(pid));
    return 0;
}

int Resources() {
    HWND main = ::FindWindowW(L"#32770", kMainTitle);
    if (!main) return 1;
    DWORD pid = 0;
    ::GetWindowThreadProcessId(main, &pid);
    HANDLE p = ::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid);
    if (!p) return 1;
    DWORD handles = 0;
    const long handleCount = ::GetProcessHandleCount(p, &handles) ? static_cast<long>(handles) : -1;
    PROCESS_MEMORY_COUNTERS_EX memory{};
    memory.cb = sizeof memory;
    ::GetProcessMemoryInfo(p, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory), sizeof memory);
    std::printf("gdi_api=%lu user_api=%lu gdi=%ld windows=%ld threads=%ld handles=%ld private_kb=%lu\n",
                ::GetGuiResources(p, GR_GDIOBJECTS), ::GetGuiResources(p, GR_USEROBJECTS), CountGdiEntries(p, pid),
                CountWindows(pid), CountThreads(pid), handleCount,
                static_cast<unsigned long>(memory.PrivateUsage / 1024));
    ::CloseHandle(p);
    return 0;
}

int SelfTest() {
    HANDLE self = ::GetCurrentProcess();
    const DWORD pid = ::GetCurrentProcessId();
    const long before = CountGdiEntries(self, pid);
    HBRUSH brushes[10];
    for (int i = 0; i < 10; ++i) brushes[i] = ::CreateSolidBrush(RGB(i, 2 * i, 3 * i));
    const long during = CountGdiEntries(self, pid);
    for (HBRUSH b : brushes) ::DeleteObject(b);
    const long after = CountGdiEntries(self, pid);
    std::printf("%s before=%ld during=%ld after=%ld\n",
                before >= 0 && during == before + 10 && after == before ? "ok" : "failed", before, during, after);
    return before >= 0 && during == before + 10 && after == before ? 0 : 1;
}
}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) return 1;
    if (::lstrcmpW(argv[1], L"resources") == 0) return Resources();
    if (::lstrcmpW(argv[1], L"windows") == 0) return Windows();
    if (::lstrcmpW(argv[1], L"self-test") == 0) return SelfTest();
    return 1;
}
