// The diagnostics log's writer: lines are queued by the caller and appended by one thread.
#include "system/DiagnosticsLog.h"

#include "framework/File.h"
#include "framework/Thread.h"
#include "system/HeldFolder.h"
#include "system/logic/ProbePaths.h"

#include <shlobj.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <iterator>
#include <memory>
#include <mutex>
#include <vector>

namespace {

const wchar_t kLogFolderName[] = L"\\QuorvelDownloader";
const wchar_t kLogFileName[] = L"QuorvelDownloader.log";
const wchar_t kOlderLogFileName[] = L"QuorvelDownloader.1.log";
// Held by whichever copy of the program appends or rotates, so two copies never interleave.
const wchar_t kLogMutexName[] = L"Local\\QuorvelDownloader.DiagnosticsLog";
// Another copy holds the mutex for one append; a name squatted by someone else must not stall
// the log for longer than this. Without the mutex the append still goes, unrotated.
constexpr DWORD kLogMutexTimeoutMs = 1000;
// Lines queued while the disk does not take them are dropped past this many.
constexpr size_t kMaxQueuedLines = 4096;
// How long the process's end waits for the writer to write what is queued and return.
constexpr DWORD kEndAtExitTimeoutMs = 2000;

std::string ToUtf8(const std::wstring& text) {
    if (text.empty()) return std::string();
    const int n =
        ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<size_t>(n > 0 ? n : 0), '\0');
    if (n > 0)
        ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &bytes[0], n, nullptr, nullptr);
    return bytes;
}

LogTime NowUtc() {
    SYSTEMTIME now{};
    ::GetSystemTime(&now);
    return LogTime{now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond, now.wMilliseconds};
}

// Holds a named mutex for one scope when it can be had within the timeout.
class CMutexHold {
public:
    CMutexHold(HANDLE mutex, DWORD timeoutMs) : m_hMutex(mutex) {
        const DWORD waited = mutex ? ::WaitForSingleObject(mutex, timeoutMs) : WAIT_FAILED;
        m_bHeld = waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;  // abandoned: its holder died
    }
    ~CMutexHold() {
        if (m_bHeld) ::ReleaseMutex(m_hMutex);
    }
    CMutexHold(const CMutexHold&) = delete;
    CMutexHold& operator=(const CMutexHold&) = delete;

    bool Held() const { return m_bHeld; }

private:
    HANDLE m_hMutex;
    bool m_bHeld = false;
};

// A copy of this run's lines that the command line asked for (/log FILE); set before the first line.
std::wstring& LogCopyPath() {
    static std::wstring path;
    return path;
}

// The log's folder and the /log copy's, each checked and held from the first batch for the rest of
// the run. A folder that fails the check is never written; the refusal is logged once, where a log
// can still be written. A service account's folders must be ones no other account can change.
class CLogFile {
public:
    void Append(const std::string& lines) {
        if (!m_bStarted) Start();
        if (m_copy.IsOpen()) {
            CFile copy;
            if (m_copy.Open(m_strCopyName, FileOpen::Append, copy))
                copy.Write(lines.data(), static_cast<DWORD>(lines.size()));
        }
        if (m_folder.IsOpen()) AppendToLog(lines);
    }

private:
    void Start() {
        m_bStarted = true;
        const bool machineWide = LogsMachineWide(CurrentUserSid());
        const std::wstring folder = LogFolder();
        if (!folder.empty()) {
            m_hMutex = ::CreateMutexW(nullptr, FALSE, kLogMutexName);
            Refused("log.folder", m_folder, m_folder.Open(folder, FolderDemand::MadePrivate));
        }
        if (LogCopyPath().empty()) return;
        const std::wstring& copy = LogCopyPath();
        m_strCopyName = TitleOfPath(copy);
        const FolderDemand demand = machineWide ? FolderDemand::PrivateAsFound : FolderDemand::AnyWriters;
        const FolderJudgement judgement = IsPlainName(m_strCopyName) ? m_copy.Open(FolderOfPath(copy), demand)
                                                                     : FolderJudgement{FolderVerdict::NotAFullPath, 0};
        Refused("log.copy-folder", m_copy, judgement);
    }

    // The line reaches whichever log is held.
    static void Refused(const char* event, const CHeldFolder& folder, const FolderJudgement& judgement) {
        if (judgement.verdict != FolderVerdict::Held) LogRefusedFolder(event, folder, judgement);
    }

    // Appends a batch of whole lines with one write; the file is opened for appending only, so every
    // write lands at its end, whoever else appends. A link or junction in place of the log skips the
    // batch; the rotation renames the very file that was opened and checked.
    void AppendToLog(const std::string& lines) {
        const CMutexHold hold(m_hMutex, kLogMutexTimeoutMs);
        CFile file;
        if (!m_folder.Open(kLogFileName, FileOpen::AppendMovable, file)) return;
        LARGE_INTEGER size{};
        if (hold.Held() && ::GetFileSizeEx(file.Handle(), &size) &&
            LogNeedsRotation(static_cast<uint64_t>(size.QuadPart), lines.size())) {
            CFile older;
            // A link left at the older log's name is not replaced: the batch waits for it to go.
            if (m_folder.Open(kOlderLogFileName, FileOpen::Entry, older) && older.IsReparsePoint()) return;
            older.Close();
            if (!file.MoveTo(m_folder.Handle(), kOlderLogFileName)) return;
            if (!m_folder.Open(kLogFileName, FileOpen::AppendMovable, file)) return;
        }
        file.Write(lines.data(), static_cast<DWORD>(lines.size()));
    }

    bool m_bStarted = false;
    CHeldFolder m_folder;
    CHeldFolder m_copy;
    std::wstring m_strCopyName;
    HANDLE m_hMutex = nullptr;  // kept for the life of the process, as the writer is
};

// The queue and its writer thread. It is never destroyed: a writer held up by a slow disk must not
// hold up the end of the program, which flushes with a bound. At the process's end the writer is
// asked to finish its queue and return, so that no thread of the log is running while the process
// goes down; one that does not return within the bound is left to the process's end.
class CLogWriter {
public:
    static CLogWriter& Get() {
        static CLogWriter* writer = new CLogWriter;
        return *writer;
    }

    void Queue(std::string line) {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_bEnding || m_vecQueued.size() >= kMaxQueuedLines) return;
        if (!m_pThread) {
            m_pThread = CWinThread::Begin(RunWriter, this, L"diagnostics log");
            if (!m_pThread) return;
            std::atexit(EndAtExit);
        }
        m_vecQueued.push_back(std::move(line));
        ++m_nQueued;
        m_wake.notify_one();
    }

    bool Flush(DWORD timeoutMs) {
        std::unique_lock<std::mutex> lock(m_mutex);
        const uint64_t target = m_nQueued;
        return m_written.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return m_nWritten >= target; });
    }

private:
    static UINT RunWriter(void* writer) {
        static_cast<CLogWriter*>(writer)->Run();
        return 0;
    }

    static void EndAtExit() { Get().End(kEndAtExitTimeoutMs); }

    // Lines queued from now on are dropped; the writer returns once the queue is written.
    void End(DWORD timeoutMs) {
        const CWinThread* thread = nullptr;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (!m_pThread || m_bEnding) return;
            m_bEnding = true;
            thread = m_pThread.get();
            m_wake.notify_one();
        }
        thread->Wait(timeoutMs);
    }

    void Run() {
        CLogFile file;
        std::unique_lock<std::mutex> lock(m_mutex);
        for (;;) {
            m_wake.wait(lock, [&] { return !m_vecQueued.empty() || m_bEnding; });
            if (m_vecQueued.empty()) return;
            std::vector<std::string> batch;
            batch.swap(m_vecQueued);
            const uint64_t upTo = m_nQueued;
            lock.unlock();
            try {
                std::string lines;
                for (const std::string& line : batch) lines += line;
                file.Append(lines);
            } catch (...) {
                // Out of memory: these lines are lost, the program goes on.
            }
            lock.lock();
            m_nWritten = upTo;
            m_written.notify_all();
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_written;
    std::vector<std::string> m_vecQueued;
    uint64_t m_nQueued = 0;                 // lines queued since the start
    uint64_t m_nWritten = 0;                // of those, the ones the writer has taken care of
    bool m_bEnding = false;                 // the process is ending: the writer returns when idle
    std::unique_ptr<CWinThread> m_pThread;  // started with the first line
};

std::vector<LogFact> FactsOf(const std::vector<CLogFact>& facts) {
    std::vector<LogFact> result;
    result.reserve(facts.size());
    for (const CLogFact& fact : facts) result.push_back(fact.Fact());
    return result;
}

}  // namespace

CLogFact::CLogFact(const char* name, const std::wstring& value) : m_fact{name, ToUtf8(value)} {}

void LogEvent(const char* event, const std::vector<CLogFact>& facts) {
    try {
        CLogWriter::Get().Queue(FormatLogLine(NowUtc(), ::GetCurrentThreadId(), event, FactsOf(facts)));
    } catch (...) {
        // The log never fails the road.
    }
}

bool FlushLog(DWORD timeoutMs) {
    try {
        return CLogWriter::Get().Flush(timeoutMs);
    } catch (...) {
        return false;
    }
}

void CopyLogTo(const std::wstring& path) { LogCopyPath() = path; }

std::wstring LogFolder() {
    wchar_t folder[MAX_PATH] = {};
    const int where = LogsMachineWide(CurrentUserSid()) ? CSIDL_COMMON_APPDATA : CSIDL_LOCAL_APPDATA;
    if (FAILED(::SHGetFolderPathW(nullptr, where, nullptr, SHGFP_TYPE_CURRENT, folder)) || !folder[0])
        return std::wstring();
    return folder + std::wstring(kLogFolderName);
}

std::wstring LogFilePath() {
    const std::wstring folder = LogFolder();
    return folder.empty() ? folder : folder + L"\\" + kLogFileName;
}

bool OpenLogFolder() {
    const std::wstring folder = LogFolder();
    CHeldFolder held;
    if (folder.empty() || held.Open(folder, FolderDemand::MadePrivate).verdict != FolderVerdict::Held) return false;
    // Explorer from the Windows folder itself, not whatever a search of the path would find.
    wchar_t windows[MAX_PATH] = {};
    const UINT length = ::GetWindowsDirectoryW(windows, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return false;
    const std::wstring explorer = std::wstring(windows) + L"\\explorer.exe";
    std::wstring command = L"\"" + explorer + L"\" \"" + folder + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!::CreateProcessW(explorer.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                          &process))
        return false;
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    return true;
}

std::wstring PlatformErrorText(DWORD code) {
    DWORD flags = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
    HMODULE source = nullptr;
    if (code >= 12000 && code <= 12999) {
        source = ::GetModuleHandleW(L"wininet.dll");
        if (source) flags = FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_IGNORE_INSERTS;
    }
    wchar_t text[512] = {};
    // English first, for the people who read the log; the user's language when there is no English.
    DWORD length = ::FormatMessageW(flags, source, code, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), text,
                                    static_cast<DWORD>(std::size(text)), nullptr);
    if (length == 0)
        length = ::FormatMessageW(flags, source, code, 0, text, static_cast<DWORD>(std::size(text)), nullptr);
    std::wstring result(text, length);
    while (!result.empty() && (result.back() == L'\r' || result.back() == L'\n' || result.back() == L' '))
        result.pop_back();
    return result;
}

void LogPlatformError(const char* event, DWORD code, const std::vector<CLogFact>& facts) {
    try {
        std::vector<LogFact> lineFacts = FactsOf(facts);
        lineFacts.push_back(CLogFact("code", code).Fact());
        const std::wstring text = PlatformErrorText(code);
        if (!text.empty()) lineFacts.push_back(CLogFact("text", text).Fact());
        CLogWriter::Get().Queue(FormatLogLine(NowUtc(), ::GetCurrentThreadId(), event, lineFacts));
    } catch (...) {
    }
}
