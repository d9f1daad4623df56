// The setup program a finished download is to launch, checked and held from the end of the
// download until its launch: while the object lives nobody can write, rename or delete the file,
// nor rename or delete the work folder it lies in.
#pragma once

#include "framework/File.h"
#include "system/HeldFolder.h"
#include "update/engine/LocalFiles.h"
#include "update/engine/logic/DownloadLogic.h"

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
    // Only Hold makes held setups.
    struct Key {
        explicit Key() = default;
    };

public:
    // At the worker's end, while its own hold stands: chooses the setup program among this run's
    // files as the hand-off does and opens it, with the work folder, so that the hold goes on
    // without a gap. Its verdict is Changed until Verify has found it sound.
    static std::unique_ptr<CHeldSetup> Hold(const std::wstring& workFolder, const std::vector<DownloadedFile>& files);
    // Hold and Verify in one, for a caller that has both at hand.
    static std::unique_ptr<CHeldSetup> Check(const DownloadRequest& request, const std::vector<DownloadedFile>& files,
                                             DWORD timeoutMs);

    explicit CHeldSetup(Key) {}
    CHeldSetup(const CHeldSetup&) = delete;
    CHeldSetup& operator=(const CHeldSetup&) = delete;

    // Checks the held file: its content against the digest computed while it was written, the
    // release (the maker's statement and the installed scanner's version), and its signature. The
    // digest and the signature read the whole file, so they run side by side; a check not done
    // within the timeout refuses the file. Blocks until the verdict is in.
    void Verify(const DownloadRequest& request, DWORD timeoutMs);

    // The path the hand-off launches, upper case; empty when this run wrote no setup program.
    const std::wstring& Path() const { return m_strPath; }
    SetupVerdict Verdict() const { return m_verdict; }
    // The release rule's answer; Ready unless the verdict is ReleaseRefused.
    ReleaseCheck Release() const { return m_release; }
    // True when the release statement the setup was checked against has expired by now (logged): the
    // hand-off asks at the last moment, as a window may stay open for days after its check.
    bool ReleaseExpired() const;
    // The maker's statement's arguments for an unattended install of this setup; empty when it
    // names none (or there is no statement).
    const std::wstring& QuietArguments() const { return m_strQuietArguments; }
    // Removes the setup program from the work folder and lets go of both: a setup that is not
    // launched does not stay behind. False when it could not be removed.
    bool Discard();

private:
    std::wstring m_strPath;
    std::wstring m_strQuietArguments;
    CHeldFolder m_folder;  // the work folder, held on from the worker's own hold until the launch
    CFile m_file;
    Sha256Digest m_written{};  // the digest of the bytes the worker wrote
    SetupVerdict m_verdict = SetupVerdict::Ready;
    ReleaseCheck m_release = ReleaseCheck::Ready;
    std::shared_ptr<const ReleaseStatement> m_statement;  // the statement it was checked against, or null
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
