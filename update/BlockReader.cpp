#include "update/BlockReader.h"

#include <algorithm>
#include <chrono>
#include <system_error>
#include <thread>

namespace {

constexpr std::chrono::milliseconds kStopPoll{50};
constexpr DWORD kBlock = 30720;  // the transfer's block
constexpr size_t kAhead = 8;

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

std::shared_ptr<CBlockReader> CBlockReader::Start(InternetReadCall read, HINTERNET file) {
    auto reader = std::make_shared<CBlockReader>(read, file);
    try {
        std::thread([reader] { reader->Run(); }).detach();
    } catch (const std::system_error&) {
        return nullptr;
    }
    return reader;
}

FtpRead CBlockReader::Read(void* buffer, int count, int& got, uint32_t timeoutMs, const std::atomic<bool>* stop,
                           DWORD& error) {
    std::unique_lock<std::mutex> lock(m_mutex);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (m_ready.empty() && !m_ended) {
        if (stop && stop->load()) return Abandon(FtpRead::Stopped);
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline) return Abandon(FtpRead::TimedOut);
        m_arrived.wait_for(lock, std::min<std::chrono::steady_clock::duration>(deadline - now, kStopPoll));
    }
    if (m_ready.empty()) {
        error = m_error;
        if (m_ok) return FtpRead::Data;  // the server ended the file
        return IsResetError(m_error) ? FtpRead::Reset : FtpRead::Failed;
    }
    Block& front = m_ready.front();
    got = static_cast<int>(std::min<size_t>(static_cast<size_t>(std::max(count, 0)), front.size - front.taken));
    std::copy_n(front.bytes.data() + front.taken, got, static_cast<char*>(buffer));
    front.taken += static_cast<size_t>(got);
    if (front.taken == front.size) {
        m_spare.push_back(std::move(front.bytes));
        m_ready.pop_front();
        m_room.notify_one();
    }
    return FtpRead::Data;
}

bool CBlockReader::Quit(uint32_t timeoutMs) {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_quit = true;
    m_room.notify_one();
    return m_arrived.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return !m_reading; });
}

FtpRead CBlockReader::Abandon(FtpRead outcome) {
    m_quit = true;
    m_room.notify_one();
    return outcome;
}

void CBlockReader::Run() {
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_room.wait(lock, [this] { return m_quit || m_ready.size() < kAhead; });
        if (m_quit) return;
        std::vector<char> bytes;
        if (!m_spare.empty()) {
            bytes = std::move(m_spare.back());
            m_spare.pop_back();
        }
        bytes.resize(kBlock);
        m_reading = true;
        lock.unlock();
        // Only this thread touches the buffer until it is queued.
        DWORD read = 0;
        const BOOL ok = m_read(m_file, bytes.data(), kBlock, &read);
        const DWORD error = ok ? 0 : GetLastError();
        lock.lock();
        m_reading = false;
        if (m_quit) {
            m_arrived.notify_all();
            return;
        }
        if (!ok || read == 0) {
            m_ended = true;
            m_ok = ok;
            m_error = error;
            m_arrived.notify_all();
            return;
        }
        m_ready.push_back(Block{std::move(bytes), std::min<size_t>(read, kBlock), 0});
        m_arrived.notify_one();
    }
}
