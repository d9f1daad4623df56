// The update engine's facts for the diagnostics log: the server check, the download as its reports
// reach the window, the setup program's checks and the hand-off. Each call writes a line or a few;
// none changes what the road does.
#pragma once

#include "framework/Win32.h"
#include "update/handoff/HeldSetup.h"
#include "update/handoff/InstallHandOff.h"
#include "update/engine/logic/DownloadReport.h"
#include "update/engine/logic/DownloadLogic.h"
#include "update/sources/logic/SourceSession.h"
#include "update/release/logic/ReleaseRules.h"
#include "update/release/logic/SignerPins.h"

#include <cstdint>
#include <string>
#include <vector>

// The server check's listing of the edition's folder (ListFiles' result), with every entry and why
// it is or is not offered. The session logs its own failures with the platform's codes.
void LogServerListing(const SourceConnectionSettings& server, const std::wstring& folder, int listed,
                      const std::vector<RemoteEntry>& files, const ReleaseStatement* release);

// The release rule's answer about the setup program, with the versions it compared.
void LogSetupRelease(const SetupFacts& setup, const ReleaseExpectation& release, ReleaseCheck check);

// The signature check of the setup program and what the build's policy made of it.
void LogSignatureVerdict(const SignatureVerdict& verdict, const SignaturePolicy& policy, bool allowed);

// How the hand-off ended.
void LogHandOff(HandOffResult result);

// The setup program's launch and the error when it did not start. The process ends right after a
// launch, so the line is waited for, within a bound.
void LogLaunch(const std::wstring& setup, bool started, DWORD error);

// The download as the window hears of it: what was asked for, and how and when it ended.
class CDownloadDiagnostics {
public:
    void Started(const std::vector<RemoteEntry>& items);
    // Reconnections with their reason, attempt and the byte the transfer goes on from.
    void Report(const std::vector<RemoteEntry>& items, const DownloadStatus& status);
    // Every item is on disk: the line's part of the download, before the setup's checks.
    void Received();
    void Finished(const FinishedDownload& download);
    void Failed(DownloadResult result);
    // The program is closing while the worker runs.
    void Stopped();

private:
    uint64_t ElapsedMs() const;
    uint64_t m_nStartTick = 0;
};
