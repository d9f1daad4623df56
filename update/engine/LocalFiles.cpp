// The download worker's local files and the timer resolution of a download.
#include "update/engine/LocalFiles.h"

#include "system/DiagnosticsLog.h"
#include "system/logic/ProbePaths.h"

#include <algorithm>
#include <cstdint>

#include <mmsystem.h>

namespace {
constexpr size_t kMaxQueuedBlocks = 32;  // about 1 MiB of 30720-byte blocks
}

CBackgroundDigest::CBackgroundDigest() : m_blocks(kMaxQueuedBlocks) {}

CBackgroundDigest::~CBackgroundDigest() {
    m_blocks.Close();
    // Unbounded: the thread hashes into this object; what is left for it is at most a full queue.
    if (m_thread) m_thread->Wait(INFINITE);
}

bool CBackgroundDigest::Update(const unsigned char* data, size_t size) {
    if (!m_started) {
        m_started = true;
        m_thread = CWinThread::Begin([this] { Run(); }, L"digest");
    }
    if (!m_thread) return !m_failed && m_digest.Update(data, size);  // no thread: hash here
    return m_blocks.Push(data, size) && !m_failed;
}

bool CBackgroundDigest::Finish(Sha256Digest& digest) {
    m_blocks.Drain();  // the hashing thread is idle from here until the next block
    const bool whole = !m_failed.exchange(false);
    return m_digest.Finish(digest) && whole;
}

void CBackgroundDigest::Run() {
    CBlockQueue::Block block;
    while (m_blocks.Pop(block)) {
        if (!m_digest.Update(block.data(), block.size())) m_failed = true;
        m_blocks.GiveBack(std::move(block));
    }
}

void CLocalFiles::CreateFolderTree(const std::wstring& folder) {
    // Not held when it cannot be made private: then no file is created in it. Only a folder that no
    // other account can change is emptied, and only by a run that downloads: a check leaves the disk
    // as it found it.
    const FolderJudgement work = m_folder.Open(folder, FolderDemand::MadePrivate);
    if (work.verdict == FolderVerdict::Held)
        m_folder.RemoveFiles();
    else
        LogRefusedFolder("download.work-folder", m_folder, work);
    // Without a folder of its own the download keeps nothing, as without a statement.
    FolderVerdict kept = FolderVerdict::Held;
    if (!m_kept.Open(kept) && m_kept.Offered())
        LogEvent("download.kept-folder", {{"usable", false}, {"refused", FolderVerdictName(kept)}});
}

int64_t CLocalFiles::FreeSpace(const std::wstring& folder) {
    ULARGE_INTEGER available = {};
    if (!::GetDiskFreeSpaceExW(folder.c_str(), &available, nullptr, nullptr)) return -1;
    return available.QuadPart > static_cast<ULONGLONG>(INT64_MAX) ? INT64_MAX
                                                                  : static_cast<int64_t>(available.QuadPart);
}

void CLocalFiles::StartFile(const std::wstring& path, const KeptOffer* kept) {
    Forget(path);
    Sha256Digest discarded;
    m_digest.Finish(discarded);  // a fresh digest for the new file
    m_bWriteFailed = false;
    m_strOpenPath = path;
    m_pOpenKept = kept;
}

int64_t CLocalFiles::OpenKept(const std::wstring& path, size_t tailBytes, std::vector<unsigned char>& tail) {
    const KeptOffer* offer = m_folder.IsOpen() ? m_kept.OfferFor(path) : nullptr;
    int64_t bytes = 0;
    if (!offer || !m_kept.Resume(*offer, m_file, bytes)) return 0;
    StartFile(path, offer);
    // The digest goes on from the kept bytes as they are on disk now, read back through the handle
    // that holds them; the overlap the server sends again checks their end.
    if (ReadBack(tailBytes, tail) == bytes) {
        LogEvent("download.kept-bytes", {{"file", offer->localName}, {"bytes", bytes}});
        return bytes;
    }
    m_file.Close();
    m_kept.Discard(*offer);
    m_pOpenKept = nullptr;
    m_strOpenPath.clear();
    tail.clear();
    return 0;
}

int64_t CLocalFiles::ReadBack(size_t tailBytes, std::vector<unsigned char>& tail) {
    std::vector<unsigned char> block(kTransferBlockSize);
    int64_t total = 0;
    tail.clear();
    for (;;) {
        DWORD got = 0;
        if (!::ReadFile(m_file.Handle(), block.data(), static_cast<DWORD>(block.size()), &got, nullptr)) return -1;
        if (got == 0) return total;
        if (!m_digest.Update(block.data(), got)) return -1;
        total += got;
        tail.insert(tail.end(), block.begin(), block.begin() + got);
        if (tail.size() > tailBytes) tail.erase(tail.begin(), tail.end() - static_cast<long>(tailBytes));
    }
}

bool CLocalFiles::Create(const std::wstring& path) {
    if (!m_folder.IsOpen()) return false;
    const KeptOffer* offer = m_kept.OfferFor(path);
    StartFile(path, offer);
    if (offer && m_kept.Begin(*offer, m_file)) return true;
    m_pOpenKept = nullptr;
    // Only into the work folder as created and held: a link planted in its place is not written
    // through. Until it is complete, a process that ends leaves no part of it behind.
    return m_folder.Create(TitleOfPath(path), m_file) && m_file.SetDeleteOnClose(true);
}

bool CLocalFiles::Rewind() {
    Sha256Digest discarded;
    m_digest.Finish(discarded);
    m_bWriteFailed = !m_file.Truncate();
    return !m_bWriteFailed;
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
    const KeptOffer* kept = m_pOpenKept;
    m_pOpenKept = nullptr;
    const bool whole = !m_bWriteFailed && m_digest.Finish(file.digest) && (kept || m_file.SetDeleteOnClose(false));
    const bool closed = m_file.Close();
    m_strOpenPath.clear();
    // Kept bytes leave their folder once complete, whatever their digest: bytes that are not the
    // file are refused at the setup's check and not gone on from again.
    const bool delivered = !kept || m_kept.Deliver(*kept, m_folder, TitleOfPath(file.path));
    if (!whole || !closed || !delivered) return false;
    m_vecWritten.push_back(std::move(file));
    return true;
}

void CLocalFiles::Abandon(const std::wstring& path, bool sound) {
    if (!m_pOpenKept) return ILocalFiles::Abandon(path, sound);
    const KeptOffer* kept = m_pOpenKept;
    m_pOpenKept = nullptr;
    Sha256Digest discarded;
    m_digest.Finish(discarded);
    const bool closed = m_file.Close();
    m_strOpenPath.clear();
    // Bytes that may not all have reached the disk are not gone on from.
    if (!sound || m_bWriteFailed || !closed) m_kept.Discard(*kept);
}

void CLocalFiles::Delete(const std::wstring& path) {
    Forget(path);
    if (const KeptOffer* kept = m_kept.OfferFor(path)) m_kept.Discard(*kept);
    m_folder.Remove(TitleOfPath(path));
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
