// The download worker's local files and the timer resolution of a download.
#include "update/LocalFiles.h"

#include "system/PrivateFolder.h"

#include <algorithm>
#include <cstdint>
#include <system_error>

#include <mmsystem.h>

namespace {
constexpr size_t kMaxQueuedBlocks = 32;  // about 1 MiB of 30720-byte blocks
}

CBackgroundDigest::~CBackgroundDigest() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_quit = true;
    }
    m_changed.notify_all();
    if (m_thread.joinable()) m_thread.join();
}

bool CBackgroundDigest::Update(const unsigned char* data, size_t size) {
    std::unique_lock<std::mutex> lock(m_mutex);
    if (!m_started) {
        m_started = true;
        try {
            m_thread = std::thread([this] { Run(); });
        } catch (const std::system_error&) {
        }
    }
    if (!m_thread.joinable()) return !m_failed && m_digest.Update(data, size);  // no thread: hash here
    m_changed.wait(lock, [this] { return m_queue.size() < kMaxQueuedBlocks; });
    if (m_failed) return false;
    std::vector<unsigned char> block;
    if (!m_spare.empty()) {
        block = std::move(m_spare.back());
        m_spare.pop_back();
    }
    block.assign(data, data + size);
    m_queue.push_back(std::move(block));
    m_changed.notify_all();
    return true;
}

bool CBackgroundDigest::Drain(std::unique_lock<std::mutex>& lock) {
    m_changed.wait(lock, [this] { return m_queue.empty() && !m_hashing; });
    return !m_failed;
}

bool CBackgroundDigest::Finish(Sha256Digest& digest) {
    std::unique_lock<std::mutex> lock(m_mutex);
    const bool whole = Drain(lock);
    m_failed = false;
    return m_digest.Finish(digest) && whole;
}

void CBackgroundDigest::Run() {
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [this] { return m_quit || !m_queue.empty(); });
        if (m_queue.empty()) return;
        std::vector<unsigned char> block = std::move(m_queue.front());
        m_queue.pop_front();
        m_hashing = true;
        lock.unlock();
        const bool ok = m_digest.Update(block.data(), block.size());
        lock.lock();
        m_hashing = false;
        m_failed = m_failed || !ok;
        m_spare.push_back(std::move(block));
        m_changed.notify_all();
    }
}

void CLocalFiles::CreateFolderTree(const std::wstring& folder) {
    // Not held when it cannot be made private: then no file is created in it.
    OpenPrivateFolder(folder, m_folder);
}

int64_t CLocalFiles::FreeSpace(const std::wstring& folder) {
    ULARGE_INTEGER available = {};
    if (!::GetDiskFreeSpaceExW(folder.c_str(), &available, nullptr, nullptr)) return -1;
    return available.QuadPart > static_cast<ULONGLONG>(INT64_MAX) ? INT64_MAX
                                                                  : static_cast<int64_t>(available.QuadPart);
}

bool CLocalFiles::Create(const std::wstring& path) {
    Forget(path);
    Sha256Digest discarded;
    m_digest.Finish(discarded);  // a fresh digest for the new file
    m_bWriteFailed = false;
    m_strOpenPath = path;
    // Only into the work folder as created and held: a link planted in its place is not written
    // through. Until it is complete, a process that ends leaves no part of it behind.
    return m_folder.IsOpen() && m_file.OpenForWriting(path) && m_file.SetDeleteOnClose(true);
}

bool CLocalFiles::Rewind() {
    Sha256Digest discarded;
    m_digest.Finish(discarded);
    m_bWriteFailed = false;
    return m_file.Truncate();
}

bool CLocalFiles::Write(const unsigned char* data, int count) {
    const bool ok = count >= 0 && m_file.Write(data, static_cast<DWORD>(count)) &&
                    m_digest.Update(data, static_cast<size_t>(count));  // hashed on its own thread
    m_bWriteFailed = m_bWriteFailed || !ok;
    return ok;
}

bool CLocalFiles::Close() {
    if (!m_file.IsOpen()) return true;
    // Kept only when every byte was written and the digest is whole; otherwise the system removes it.
    DownloadedFile file{m_strOpenPath, {}};
    const bool whole = !m_bWriteFailed && m_digest.Finish(file.digest) && m_file.SetDeleteOnClose(false);
    const bool closed = m_file.Close();
    m_strOpenPath.clear();
    if (!whole || !closed) return false;
    m_vecWritten.push_back(std::move(file));
    return true;
}

void CLocalFiles::Delete(const std::wstring& path) {
    Forget(path);
    CFile::Remove(path);
}

void CLocalFiles::Forget(const std::wstring& path) {
    m_vecWritten.erase(std::remove_if(m_vecWritten.begin(), m_vecWritten.end(),
                                      [&](const DownloadedFile& f) { return f.path == path; }),
                       m_vecWritten.end());
}

CTimerResolution::CTimerResolution() { m_ok = ::timeBeginPeriod(1) == TIMERR_NOERROR; }

CTimerResolution::~CTimerResolution() {
    if (m_ok) ::timeEndPeriod(1);
}
