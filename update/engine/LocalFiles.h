// The download worker's local files: the work folder and the one file being written, on disk,
// with the digest of every file it has written in full.
#pragma once

#include "framework/BlockQueue.h"
#include "framework/File.h"
#include "framework/Thread.h"
#include "system/Sha256.h"
#include "update/engine/KeptDownloads.h"
#include "update/engine/logic/DownloadLogic.h"

#include <atomic>
#include <memory>
#include <vector>

// A file this run's worker wrote, with the SHA-256 of the bytes it wrote.
struct DownloadedFile {
    std::wstring path;
    Sha256Digest digest{};
};

// The SHA-256 of the bytes written, computed on a thread of its own so that hashing stays off the
// transfer's path. Blocks are copied into a bounded queue; a writer that gets too far ahead waits.
class CBackgroundDigest {
public:
    CBackgroundDigest();
    ~CBackgroundDigest();
    CBackgroundDigest(const CBackgroundDigest&) = delete;
    CBackgroundDigest& operator=(const CBackgroundDigest&) = delete;

    bool Update(const unsigned char* data, size_t size);
    // Waits for the queued blocks; then as CSha256::Finish (the digest starts again empty).
    bool Finish(Sha256Digest& digest);

private:
    void Run();

    CSha256 m_digest;
    CBlockQueue m_blocks;
    std::atomic<bool> m_failed{false};
    bool m_started = false;
    std::unique_ptr<CWinThread> m_thread;  // null until the first block, and when it could not start
};

// The work folder's files. A file of `kept` is written in the kept downloads' folder, where its
// bytes outlive the process, and moves into the work folder once complete; any other file is removed
// by the system if the process ends before it is closed complete.
class CLocalFiles : public ILocalFiles {
public:
    explicit CLocalFiles(std::vector<KeptOffer> kept = {}) : m_kept(std::move(kept)) {}

    void CreateFolderTree(const std::wstring& folder) override;
    int64_t FreeSpace(const std::wstring& folder) override;
    int64_t OpenKept(const std::wstring& path, size_t tailBytes, std::vector<unsigned char>& tail) override;
    bool Create(const std::wstring& path) override;
    bool Write(const unsigned char* data, int count) override;
    bool Rewind() override;
    bool Close() override;
    void Abandon(const std::wstring& path, bool sound) override;
    void Delete(const std::wstring& path) override;

    // The files written in full and closed, and not deleted since, in the order they were made.
    const std::vector<DownloadedFile>& Written() const { return m_vecWritten; }

private:
    void Forget(const std::wstring& path);
    // Feeds the open file's bytes into the digest, the last `tailBytes` of them into `tail`.
    int64_t ReadBack(size_t tailBytes, std::vector<unsigned char>& tail);
    void StartFile(const std::wstring& path, const KeptOffer* kept);

    // The work folder, private and held from its creation: nothing is written through a link or
    // into a folder that other accounts can change.
    CHeldFolder m_folder;
    CFile m_file;
    CBackgroundDigest m_digest;
    std::wstring m_strOpenPath;
    bool m_bWriteFailed = false;
    CKeptDownloads m_kept;
    const KeptOffer* m_pOpenKept = nullptr;  // the open file's offer when its bytes are kept
    std::vector<DownloadedFile> m_vecWritten;
};

// Sleep(1) per block must last about 1 ms, not a 15.6 ms scheduler tick: the timer resolution is
// raised for as long as the object lives.
class CTimerResolution {
public:
    CTimerResolution();
    ~CTimerResolution();
    CTimerResolution(const CTimerResolution&) = delete;
    CTimerResolution& operator=(const CTimerResolution&) = delete;

private:
    bool m_ok = false;
};
