// What the update engine writes into the diagnostics log.
#include "update/engine/UpdateDiagnostics.h"

#include "system/DiagnosticsLog.h"
#include "system/Sha256.h"
#include "update/catalogue/logic/Catalogue.h"
#include "update/sources/logic/FtpPaths.h"

#include <algorithm>

namespace {

// A hostile server may list thousands of names; the log keeps the first ones.
constexpr size_t kMaxListedEntriesLogged = 50;
// The launch's line is the one support needs most; the process ends right after it.
constexpr DWORD kLaunchFlushTimeoutMs = 1000;

const char* ReasonText(NotOffered reason) {
    switch (reason) {
    case NotOffered::Offerable: return "offerable";
    case NotOffered::NotASetupProgram: return "not-a-setup-program";
    case NotOffered::UnsafeName: return "unsafe-name";
    case NotOffered::PathTooLong: return "path-too-long";
    case NotOffered::NotInRelease: return "not-in-release";
    case NotOffered::SizeDiffers: return "size-differs-from-release";
    }
    return "unknown";
}

const char* VerdictText(const std::unique_ptr<CHeldSetup>& setup) {
    if (!setup || setup->Path().empty()) return "no-setup-program";
    switch (setup->Verdict()) {
    case SetupVerdict::Ready: return "ready";
    case SetupVerdict::Changed: return "changed";
    case SetupVerdict::SignatureRefused: return "signature-refused";
    case SetupVerdict::ReleaseRefused: return "release-refused";
    }
    return "unknown";
}

const char* ResultText(DownloadResult result) {
    switch (result) {
    case DownloadResult::Completed: return "completed";
    case DownloadResult::Stopped: return "stopped";
    case DownloadResult::NoInternet: return "no-internet";
    case DownloadResult::InvalidFile: return "invalid-file";
    case DownloadResult::ConnectFailed: return "connect-failed";
    case DownloadResult::RemoteFileUnopenable: return "remote-file-unopenable";
    case DownloadResult::LocalFileUnopenable: return "local-file-unopenable";
    case DownloadResult::ReadFailed: return "read-failed";
    case DownloadResult::WriteFailed: return "write-failed";
    case DownloadResult::DiskFull: return "disk-full";
    }
    return "unknown";
}

std::wstring HexCode(uint32_t value) {
    wchar_t text[16];
    swprintf(text, 16, L"0x%08X", value);
    return text;
}

uint64_t FileSizeOf(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return 0;
    return (uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
}

}  // namespace

void LogServerListing(const SourceConnectionSettings& server, const std::wstring& folder, int listed,
                      const std::vector<RemoteEntry>& files, const ReleaseStatement* release) {
    const OfferedFile offered = FindOfferedFile(files, release);
    LogEvent("server.listed", {{"host", server.host},
                               {"port", server.port},
                               {"folder", ToFtpServerPath(folder)},  // as the server is asked for it
                               {"result", listed},
                               {"entries", files.size()},
                               {"offered", offered.index >= 0 ? files[static_cast<size_t>(offered.index)].name
                                                              : std::wstring(L"none")}});
    const size_t logged = std::min(files.size(), kMaxListedEntriesLogged);
    for (size_t i = 0; i < logged; ++i) {
        const std::wstring name = files[i].name;
        const NotOffered reason = WhyNotOffered(files[i], release);
        const char* verdict = static_cast<int>(i) == offered.index ? "offered"
                              : reason == NotOffered::Offerable    ? "not-first"
                                                                   : ReasonText(reason);
        LogEvent("server.entry", {{"name", name}, {"size", files[i].size}, {"verdict", verdict}});
    }
    if (logged < files.size()) LogEvent("server.entries-not-logged", {{"count", files.size() - logged}});
}

void LogSetupRelease(const SetupFacts& setup, const ReleaseExpectation& release, ReleaseCheck check) {
    const auto version = [](const std::optional<FourPartVersion>& v) {
        return v ? FormatFourPartVersion(*v) : std::string("none");
    };
    const ReleaseFile* entry = release.statement ? release.statement->Find(setup.name) : nullptr;
    LogEvent("setup.release", {{"file", setup.name},
                               {"version", version(setup.version)},
                               {"installed", version(release.installed)},
                               {"statement", release.statement ? "valid" : "none"},
                               {"statement_version", entry ? FormatFourPartVersion(entry->version) : "none"},
                               {"downgrade_allowed", release.statement && release.statement->allowDowngrade},
                               {"publisher", setup.publisher ? ToHex(*setup.publisher) : std::wstring(L"none")},
                               {"result", ReleaseCheckName(check)}});
}

void LogSignatureVerdict(const SignatureVerdict& verdict, const SignaturePolicy& policy, bool allowed) {
    const std::vector<CertFingerprint>& pins = policy.pins;
    const bool pinned = verdict.hasSigner && std::find(pins.begin(), pins.end(), verdict.signer) != pins.end();
    const char* content = verdict.content == SignatureContent::Intact     ? "intact"
                          : verdict.content == SignatureContent::Unsigned ? "unsigned"
                                                                          : "broken";
    const char* chain = verdict.chain == SignatureChain::Trusted   ? "trusted"
                        : verdict.chain == SignatureChain::Revoked ? "revoked"
                                                                   : "untrusted";
    LogEvent("setup.signature", {{"winverifytrust", HexCode(static_cast<uint32_t>(verdict.platformResult))},
                                 {"content", content},
                                 {"chain", chain},
                                 {"signer", verdict.hasSigner ? ToHex(verdict.signer) : std::wstring(L"none")},
                                 {"pinned", pins.empty() ? "no-pins-in-build"
                                            : pinned     ? "yes"
                                                         : "no"},
                                 {"launch", allowed ? "allowed" : "refused"}});
}

void LogLaunch(const std::wstring& setup, bool started, DWORD error) {
    if (started)
        LogEvent("handoff.launch", {{"file", setup}, {"started", true}});
    else
        LogPlatformError("handoff.launch", error, {{"file", setup}, {"started", false}});
    FlushLog(kLaunchFlushTimeoutMs);
}

void LogHandOff(HandOffResult result) {
    const char* text = "unknown";
    switch (result) {
    case HandOffResult::Launched: text = "launched"; break;
    case HandOffResult::NoSetupFile: text = "no-setup-file"; break;
    case HandOffResult::FolderUnusable: text = "folder-unusable"; break;
    case HandOffResult::ListNotCreated: text = "list-not-created"; break;
    case HandOffResult::ListNotWritten: text = "list-not-written"; break;
    case HandOffResult::SetupChanged: text = "setup-changed"; break;
    case HandOffResult::SignatureRefused: text = "signature-refused"; break;
    case HandOffResult::ReleaseRefused: text = "release-refused"; break;
    case HandOffResult::LaunchFailed: text = "launch-failed"; break;
    case HandOffResult::ElevationDeclined: text = "elevation-declined"; break;
    case HandOffResult::ScannerRunning: text = "scanner-running"; break;
    }
    LogEvent("handoff", {{"result", text}});
}

void CDownloadDiagnostics::Started(const std::vector<RemoteEntry>& items) {
    m_nStartTick = ::GetTickCount64();
    for (const RemoteEntry& item : items) LogEvent("download.start", {{"file", item.name}, {"listed_size", item.size}});
}

void CDownloadDiagnostics::Received() { LogEvent("download.received", {{"ms", ElapsedMs()}}); }

void CDownloadDiagnostics::Finished(const FinishedDownload& download) {
    const uint64_t ms = ElapsedMs();
    uint64_t total = 0;
    for (const DownloadedFile& file : download.files) {
        const uint64_t bytes = FileSizeOf(file.path);
        total += bytes;
        LogEvent("download.file", {{"file", file.path.substr(file.path.find_last_of(L'\\') + 1)}, {"bytes", bytes}});
    }
    LogEvent("download.done", {{"files", download.files.size()},
                               {"bytes", total},
                               {"ms", ms},
                               {"bytes_per_s", ms > 0 ? total * 1000 / ms : total},
                               {"setup_check", VerdictText(download.setup)}});
}

void CDownloadDiagnostics::Report(const std::vector<RemoteEntry>& items, const DownloadStatus& status) {
    if (status.state != DownloadState::Reconnecting) return;
    LogEvent("download.reconnect", {{"file", status.item < items.size() ? items[status.item].name : std::wstring()},
                                    {"attempt", status.attempt},
                                    {"reason", LineFaultName(status.fault)},
                                    {"resume_from", status.resumeFrom},
                                    {"total", status.total}});
}

void CDownloadDiagnostics::Failed(DownloadResult result) {
    LogEvent("download.failed", {{"reason", ResultText(result)}, {"ms", ElapsedMs()}});
}

void CDownloadDiagnostics::Stopped() { LogEvent("download.stopped", {{"ms", ElapsedMs()}}); }

uint64_t CDownloadDiagnostics::ElapsedMs() const { return ::GetTickCount64() - m_nStartTick; }
