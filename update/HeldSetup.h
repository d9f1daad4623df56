// The setup program a finished download is to launch, checked and held from the end of the
// download until its launch: while the object lives nobody can write, rename or delete the file,
// nor rename or delete the work folder it lies in.
#pragma once

#include "framework/File.h"
#include "update/LocalFiles.h"
#include "update/logic/DownloadLogic.h"

#include <memory>
#include <string>
#include <vector>

enum class SetupVerdict {
    Ready,             // the file is the one downloaded and its signature lets it be launched
    Changed,           // not the file the worker wrote: gone, replaced or altered since
    SignatureRefused,  // refused for its signature (SetupSignature.h)
    ReleaseRefused,    // not the maker's current release: see Release()
};

class CHeldSetup {
    // Only Check makes held setups.
    struct Key {
        explicit Key() = default;
    };

public:
    // Chooses the setup program among this run's files as the hand-off does, opens and holds it,
    // and checks it: its content against the digest computed while it was written, the release
    // (the maker's statement and the installed scanner's version), and its signature. The digest and
    // the signature read the whole file, so they run side by side; a check not done within the
    // timeout refuses the file. Blocks until the verdict is in.
    static std::unique_ptr<CHeldSetup> Check(const DownloadRequest& request, const std::vector<DownloadedFile>& files,
                                             DWORD timeoutMs);

    explicit CHeldSetup(Key) {}
    CHeldSetup(const CHeldSetup&) = delete;
    CHeldSetup& operator=(const CHeldSetup&) = delete;

    // The path the hand-off launches, upper case; empty when this run wrote no setup program.
    const std::wstring& Path() const { return m_strPath; }
    SetupVerdict Verdict() const { return m_verdict; }
    // The release rule's answer; Ready unless the verdict is ReleaseRefused.
    ReleaseCheck Release() const { return m_release; }
    // The maker's statement's arguments for an unattended install of this setup; empty when it
    // names none (or there is no statement).
    const std::wstring& QuietArguments() const { return m_strQuietArguments; }
    // Removes the setup program from the work folder and lets go of both: a setup that is not
    // launched does not stay behind. False when it could not be removed.
    bool Discard();

private:
    std::wstring m_strPath;
    std::wstring m_strQuietArguments;
    CFile m_folder;  // the work folder, held on from the worker's own hold until the launch
    CFile m_file;
    SetupVerdict m_verdict = SetupVerdict::Ready;
    ReleaseCheck m_release = ReleaseCheck::Ready;
};

// What a finished download hands on to the hand-off: the files it wrote and its setup program,
// checked and held.
struct FinishedDownload {
    std::vector<DownloadedFile> files;
    std::unique_ptr<CHeldSetup> setup;
};

// The paths under which the hand-off lists this run's files, in its order: the newest FULL setup
// program first.
std::vector<std::wstring> HandOffPaths(const std::wstring& workFolder, const std::vector<DownloadedFile>& files);
