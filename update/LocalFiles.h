// The download worker's local files: the work folder and the one file being written, on disk.
#pragma once

#include "framework/File.h"
#include "update/logic/DownloadLogic.h"

class CLocalFiles : public ILocalFiles {
public:
    void CreateFolderTree(const std::wstring& folder) override;
    bool Create(const std::wstring& path) override { return m_file.OpenForWriting(path); }
    bool Write(const unsigned char* data, int count) override {
        return count >= 0 && m_file.Write(data, static_cast<DWORD>(count));
    }
    void Close() override { m_file.Close(); }
    void Delete(const std::wstring& path) override { CFile::Remove(path); }

private:
    CFile m_file;
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
