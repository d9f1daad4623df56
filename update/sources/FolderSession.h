// CFolderSession: a local update source (/source FOLDER: a USB stick, or a share another PC filled)
// behind ISourceSession, so the download worker copies from it exactly as it downloads. The folder is
// flat, the edition's files directly in it; only plain files are read, never a link or junction.
#pragma once

#include "framework/Win32.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "framework/File.h"
#include "update/sources/logic/SourceSession.h"
#include "update/sources/logic/UpdateSources.h"

class CFolderSession : public ISourceSession {
public:
    // `stop`, when given, is checked before every read.
    explicit CFolderSession(UpdateSource source, const std::atomic<bool>* stop = nullptr);
    CFolderSession(const CFolderSession&) = delete;
    CFolderSession& operator=(const CFolderSession&) = delete;

    bool CanList() const override { return true; }
    bool KnowsSizeUpFront() const override { return true; }
    bool NeedsStatement() const override { return true; }
    SourceFailure LastFailure() const override { return m_failure; }

    // Opens and holds the source folder; 0 when it is missing, not a folder, or a link or junction.
    // The settings mean nothing here: the session opens the source's own folder.
    ConnectResult Connect(const SourceConnectionSettings& settings) override;
    // The plain files directly in the source folder (`folder`, the server's form, is not used).
    int ListFiles(const std::wstring& folder, std::vector<RemoteEntry>& files, const std::wstring& extension) override;
    // Every path is read as its last component inside the source folder.
    int64_t RemoteFileSize(const std::wstring& path) override;
    // Remembers the offset for the next OpenFile.
    SourceOpen RestartAt(int64_t offset) override;
    SourceOpen OpenFile(const std::wstring& path) override;
    SourceRead Read(void* buffer, int count, int& got, uint32_t timeoutMs) override;
    int CloseFile() override;
    void Disconnect() override;
    std::wstring LastError() const override { return m_strLastError; }

private:
    // Opens the plain file named by the path's last component, held against change.
    // Notes the failure of the open (a missing or unsafe file is refused, else the folder failed).
    SourceOpen OpenEntry(const std::wstring& path, CFile& file);
    SourceOpen OpenPlainEntry(const std::wstring& path, CFile& file);
    std::wstring PathOf(const std::wstring& name) const;

    const UpdateSource m_source;
    const std::atomic<bool>* m_pStop;
    CFile m_folder;  // held while connected, so its path keeps naming the folder that was checked
    CFile m_file;
    RestartOffset m_offset;
    std::wstring m_strLastError;
    SourceFailure m_failure = SourceFailure::None;
};

// A fresh session over the local folder `source` for one use, as the download worker asks for them.
std::unique_ptr<ISourceSession> MakeFolderSession(const UpdateSource& source, const std::atomic<bool>* stop);
