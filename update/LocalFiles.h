// The download worker's local files: the work folder and the one file being written, on disk,
// with the digest of every file it has written in full.
#pragma once

#include "framework/File.h"
#include "system/Sha256.h"
#include "update/logic/DownloadLogic.h"

#include <vector>

// A file this run's worker wrote, with the SHA-256 of the bytes it wrote.
struct DownloadedFile {
    std::wstring path;
    Sha256Digest digest{};
};

class CLocalFiles : public ILocalFiles {
public:
    void CreateFolderTree(const std::wstring& folder) override;
    bool Create(const std::wstring& path) override;
    bool Write(const unsigned char* data, int count) override;
    void Close() override;
    void Delete(const std::wstring& path) override;

    // The files written in full and closed, and not deleted since, in the order they were made.
    const std::vector<DownloadedFile>& Written() const { return m_vecWritten; }

private:
    void Forget(const std::wstring& path);

    // The work folder, private and held from its creation: nothing is written through a link or
    // into a folder that other accounts can change.
    CFile m_folder;
    CFile m_file;
    CSha256 m_digest;
    std::wstring m_strOpenPath;
    bool m_bWriteFailed = false;
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
