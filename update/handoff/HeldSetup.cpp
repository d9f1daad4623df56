// The setup program's check before the hand-off: the digest on the calling thread, the signature
// on a helper, each through a handle of its own to the one held file.
#include "update/handoff/HeldSetup.h"

#include "framework/BoundedCall.h"
#include "system/DiagnosticsLog.h"
#include "system/logic/ProbePaths.h"
#include "update/release/ReleaseReader.h"
#include "update/handoff/SetupSignature.h"
#include "update/handoff/SetupVersionInfo.h"
#include "update/engine/UpdateDiagnostics.h"
#include "update/catalogue/logic/Catalogue.h"
#include "update/handoff/logic/HandOffLogic.h"

namespace {

// What the signature check on its helper answered.
struct SignatureAnswer {
    bool allowed = false;
    SignatureVerdict verdict;
};

}  // namespace

std::vector<std::wstring> HandOffPaths(const std::wstring& workFolder, const std::vector<DownloadedFile>& files) {
    std::vector<std::wstring> paths;
    for (const DownloadedFile& file : files) paths.push_back(HandOffPathOf(workFolder, file.path));
    SortInstallFiles(paths);
    return paths;
}

// The name the server lists the written file under.
static std::wstring ListedNameOf(const DownloadRequest& request, const std::wstring& setupPath) {
    for (const RemoteEntry& item : request.items) {
        if (ToUpperPath(HandOffPathOf(request.workFolder, LocalNameOf(item.name))) == setupPath) return item.name;
    }
    return std::wstring();
}

std::unique_ptr<CHeldSetup> CHeldSetup::Hold(const std::wstring& workFolder, const std::vector<DownloadedFile>& files) {
    auto setup = std::make_unique<CHeldSetup>(Key());
    setup->m_strPath = ChooseSetupToLaunch(HandOffPaths(workFolder, files));
    if (setup->m_strPath.empty()) return setup;
    setup->m_verdict = SetupVerdict::Changed;
    if (setup->m_folder.Open(workFolder, FolderDemand::MadePrivate).verdict != FolderVerdict::Held) return setup;

    const DownloadedFile* source = nullptr;
    for (const DownloadedFile& file : files) {
        if (ToUpperPath(HandOffPathOf(workFolder, file.path)) == setup->m_strPath) source = &file;
    }
    // Held from here on, nobody can write, rename or delete it; a link is opened as itself.
    if (!source || !setup->m_folder.Open(TitleOfPath(setup->m_strPath), FileOpen::Read, setup->m_file)) return setup;
    setup->m_written = source->digest;
    return setup;
}

std::unique_ptr<CHeldSetup> CHeldSetup::Check(const DownloadRequest& request, const std::vector<DownloadedFile>& files,
                                              DWORD timeoutMs) {
    std::unique_ptr<CHeldSetup> setup = Hold(request.workFolder, files);
    setup->Verify(request, timeoutMs);
    return setup;
}

void CHeldSetup::Verify(const DownloadRequest& request, DWORD timeoutMs) {
    if (!m_file.IsOpen()) return;
    // Each reader has its own handle to the held file, so neither moves the other's file position.
    // The check owns its handle, so an answer that comes too late goes with the helper.
    auto signatureReader = std::make_shared<CFile>();
    CFile digestReader;
    if (!signatureReader->Reopen(m_file) || !digestReader.Reopen(m_file)) return;
    const auto checkSignature = [signatureReader, path = m_strPath] {
        SignatureAnswer answer;
        answer.allowed = SetupSignatureAllowsLaunch(signatureReader->Handle(), path, &answer.verdict);
        return answer;
    };
    CBoundedCall<SignatureAnswer> signature;
    SignatureAnswer answer;
    const bool started = signature.Start(L"signature check", checkSignature, [](const SignatureAnswer&) {});
    if (!started) answer = checkSignature();

    Sha256Digest actual{};
    const bool intact = CSha256::OfFile(digestReader.Handle(), actual) && actual == m_written;
    LogEvent("setup.digest", {{"file", m_strPath}, {"result", intact ? "match" : "mismatch"}});
    // The signature's answer is awaited whatever the digest says, so that no handle of the helper's
    // is left on a file that is to be removed.
    const bool answered = !started || signature.Wait(timeoutMs, nullptr, answer) == BoundedWait::Done;
    if (!intact) return;

    // Before anything is ended or launched: the maker's release, and never an older version than
    // the one installed unless the maker says so.
    SetupFacts facts;
    facts.name = ListedNameOf(request, m_strPath);
    facts.sha256 = actual;
    LARGE_INTEGER size{};
    facts.size = ::GetFileSizeEx(m_file.Handle(), &size) ? size.QuadPart : -1;
    facts.version = ReadSetupVersion(m_strPath);
    if (answered) {
        facts.carriesSignature = answer.verdict.content != SignatureContent::Unsigned;
        facts.publisher = PublisherOf(answer.verdict, BuildSignaturePolicy());
    }
    const ReleaseExpectation& release = request.release;
    m_statement = release.statement;
    m_release = JudgeSetupRelease(release.statement.get(), facts, release.installed, release.publisherNamed);
    LogSetupRelease(facts, release, m_release);
    if (m_release != ReleaseCheck::Ready) {
        m_verdict = SetupVerdict::ReleaseRefused;
        return;
    }
    if (const ReleaseFile* named = release.statement ? release.statement->Find(facts.name) : nullptr)
        m_strQuietArguments = named->quietArguments;
    // No answer in time: not trusted.
    m_verdict = answered && answer.allowed ? SetupVerdict::Ready : SetupVerdict::SignatureRefused;
}

bool CHeldSetup::ReleaseExpired() const {
    if (!m_statement) return false;
    const int64_t now = StatementClockNow();
    if (!StatementExpired(*m_statement, now)) return false;
    LogEvent("release.expired",
             {{"expires", FormatStatementTime(m_statement->expires)}, {"now", FormatStatementTime(now)}});
    return true;
}

bool CHeldSetup::Discard() {
    if (m_strPath.empty()) return true;
    m_file.Close();
    const bool removed = m_folder.Remove(TitleOfPath(m_strPath));
    LogEvent("setup.removed", {{"file", m_strPath}, {"removed", removed}});
    m_folder.Close();
    return removed;
}
