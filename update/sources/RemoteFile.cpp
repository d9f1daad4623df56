#include "update/sources/RemoteFile.h"

#include <algorithm>
#include <chrono>

#include "system/DiagnosticsLog.h"

namespace {

constexpr std::chrono::milliseconds kStopPoll{50};
constexpr DWORD kBlock = 30720;  // the transfer's block
constexpr size_t kAhead = 8;
constexpr uint32_t kReaderCloseWaitMs = 1000;  // a read still out when its file closes

bool IsResetError(DWORD error) {
    return error == ERROR_INTERNET_CONNECTION_RESET || error == ERROR_INTERNET_CONNECTION_ABORTED;
}

}  // namespace

bool CInternetHandle::Close() {
    if (m_handle == nullptr) return true;
    const BOOL closed = InternetCloseHandle(m_handle);
    m_handle = nullptr;
    return closed != FALSE;
}

void SetOperationTimeouts(HINTERNET handle, DWORD milliseconds) {
    for (DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT, INTERNET_OPTION_RECEIVE_TIMEOUT,
                         INTERNET_OPTION_DATA_SEND_TIMEOUT, INTERNET_OPTION_DATA_RECEIVE_TIMEOUT}) {
        DWORD value = milliseconds;
        InternetSetOptionW(handle, option, &value, sizeof value);
    }
}

std::wstring CacheCopyOf(HINTERNET file) {
    std::vector<wchar_t> name(1024);
    DWORD size = static_cast<DWORD>(name.size() * sizeof(wchar_t));
    if (!InternetQueryOptionW(file, INTERNET_OPTION_DATAFILE_NAME, name.data(), &size)) return std::wstring();
    return std::wstring(name.data(), wcsnlen(name.data(), name.size()));
}

CBlockReader::CBlockReader(InternetReadCall read, HINTERNET file) : m_read(read), m_file(file), m_blocks(kAhead) {}

std::shared_ptr<CBlockReader> CBlockReader::Start(InternetReadCall read, HINTERNET file) {
    auto reader = std::make_shared<CBlockReader>(read, file);
    // The thread holds the reader, so a reader left behind lives until its read comes back.
    reader->m_thread = CWinThread::Begin([reader] { reader->Run(); }, L"read-ahead");
    if (!reader->m_thread) return nullptr;
    return reader;
}

SourceRead CBlockReader::Read(void* buffer, int count, int& got, uint32_t timeoutMs, const std::atomic<bool>* stop,
                              DWORD& error) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (m_block.empty()) {
        // A block already queued is taken even when stopped or late.
        const bool stopped = stop && stop->load();
        const auto left = deadline - std::chrono::steady_clock::now();
        const auto wait = stopped || left.count() <= 0 ? std::chrono::steady_clock::duration::zero()
                                                       : std::min<std::chrono::steady_clock::duration>(left, kStopPoll);
        const CBlockQueue::Popped popped = m_blocks.PopFor(m_block, wait);
        if (popped == CBlockQueue::Popped::Closed) {
            error = m_error;
            if (m_ok) return SourceRead::Data;  // the server ended the file
            return IsResetError(m_error) ? SourceRead::Reset : SourceRead::Failed;
        }
        if (popped == CBlockQueue::Popped::Block)
            m_taken = 0;
        else if (stopped)
            return Abandon(SourceRead::Stopped);
        else if (left.count() <= 0)
            return Abandon(SourceRead::TimedOut);
    }
    got = static_cast<int>(std::min<size_t>(static_cast<size_t>(std::max(count, 0)), m_block.size() - m_taken));
    std::copy_n(m_block.data() + m_taken, got, static_cast<unsigned char*>(buffer));
    m_taken += static_cast<size_t>(got);
    if (m_taken == m_block.size()) {
        m_blocks.GiveBack(std::move(m_block));
        m_block.clear();
    }
    return SourceRead::Data;
}

bool CBlockReader::Quit(uint32_t timeoutMs) {
    m_blocks.Close();
    return m_thread->Wait(timeoutMs);
}

SourceRead CBlockReader::Abandon(SourceRead outcome) {
    m_blocks.Close();
    return outcome;
}

// Waits for room before each read, so no read is out while the session has enough queued.
void CBlockReader::Run() {
    CBlockQueue::Block bytes(kBlock);  // only this thread touches it
    while (m_blocks.WaitForRoom()) {
        DWORD read = 0;
        const BOOL ok = m_read(m_file, bytes.data(), kBlock, &read);
        if (!ok || read == 0) {
            m_error = ok ? 0 : GetLastError();
            m_ok = ok;
            m_blocks.Close();
            return;
        }
        if (!m_blocks.Push(bytes.data(), std::min<size_t>(read, kBlock))) return;  // the session quit
    }
}

void CRemoteFile::Open(HINTERNET file) {
    Close();
    m_handle.Reset(file);
    if (m_handle) m_strCacheCopy = CacheCopyOf(file);
}

SourceRead CRemoteFile::Read(InternetReadCall read, void* buffer, int count, int& got, uint32_t timeoutMs,
                             const std::atomic<bool>* stop, DWORD& error, std::wstring& lastError) {
    got = 0;
    error = 0;
    SourceRead result = SourceRead::Failed;
    if (m_handle && count >= 0 && !m_pReader) m_pReader = CBlockReader::Start(read, m_handle.Get());
    if (m_pReader && count >= 0) result = m_pReader->Read(buffer, count, got, timeoutMs, stop, error);
    if (result == SourceRead::TimedOut || result == SourceRead::Stopped) {
        m_pReader.reset();
        lastError = FormatSessionError(L"FILE READ ERROR!!", ERROR_INTERNET_TIMEOUT);
        if (result == SourceRead::TimedOut) LogEvent((m_source + ".read-timed-out").c_str(), {{"ms", timeoutMs}});
    } else if (result != SourceRead::Data) {
        lastError = FormatSessionError(L"FILE READ ERROR!!", error);
        LogPlatformError((m_source + ".read-failed").c_str(), error);
    }
    return result;
}

bool CRemoteFile::Close() {
    // A read still out holds the file, and with it WinINet's cache copy, open: let it come back.
    if (m_pReader) {
        m_pReader->Quit(kReaderCloseWaitMs);
        m_pReader.reset();
    }
    const bool closed = m_handle.Close();
    if (!m_strCacheCopy.empty()) {
        DeleteFileW(m_strCacheCopy.c_str());
        m_strCacheCopy.clear();
    }
    return closed;
}
