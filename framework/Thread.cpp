// Worker threads through _beginthreadex, so the C runtime is set up for them.
#include "framework/Thread.h"

#include <process.h>

struct CWinThread::StartInfo {
    Entry entry;
    void* param;
    const wchar_t* name;
};

// The new thread owns its start information.
unsigned __stdcall CWinThread::Start(void* raw) {
    const StartInfo info = *std::unique_ptr<StartInfo>(static_cast<StartInfo*>(raw));
    if (info.name) {
        // Named threads help debuggers; SetThreadDescription exists from Windows 10 on.
        using SetDescription = HRESULT(WINAPI*)(HANDLE, PCWSTR);
        if (HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll")) {
            auto fn = reinterpret_cast<SetDescription>(
                reinterpret_cast<void*>(::GetProcAddress(kernel, "SetThreadDescription")));
            if (fn) fn(::GetCurrentThread(), info.name);
        }
    }
    try {
        return info.entry(info.param);
    } catch (...) {
        return 1;
    }
}

std::unique_ptr<CWinThread> CWinThread::Begin(Entry entry, void* param, const wchar_t* name) {
    auto thread = std::make_unique<CWinThread>(Key());
    auto info = std::make_unique<StartInfo>(StartInfo{entry, param, name});
    unsigned id = 0;
    const uintptr_t h = ::_beginthreadex(nullptr, 0, Start, info.get(), 0, &id);
    if (!h) return nullptr;
    info.release();  // the thread has it now
    thread->m_hThread = reinterpret_cast<HANDLE>(h);
    thread->m_nThreadId = id;
    return thread;
}

std::unique_ptr<CWinThread> CWinThread::Begin(std::function<void()> body, const wchar_t* name) {
    auto owned = std::make_unique<std::function<void()>>(std::move(body));
    const Entry run = [](void* param) -> UINT {
        const std::unique_ptr<std::function<void()>> body(static_cast<std::function<void()>*>(param));
        (*body)();
        return 0;
    };
    std::unique_ptr<CWinThread> thread = Begin(run, owned.get(), name);
    if (thread) owned.release();  // the thread has it now
    return thread;
}

CWinThread::~CWinThread() {
    if (m_hThread) ::CloseHandle(m_hThread);
}

bool CWinThread::Wait(DWORD timeoutMs) const {
    return !m_hThread || ::WaitForSingleObject(m_hThread, timeoutMs) == WAIT_OBJECT_0;
}
