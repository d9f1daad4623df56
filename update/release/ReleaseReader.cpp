// The release statement fetched and judged, for the server check and for a source that takes over
// a download.
#include "update/release/ReleaseReader.h"

#include "framework/Win32.h"
#include "update/release/ReleaseSerials.h"
#include "update/release/StatementSignature.h"
#include "update/release/logic/SmallFile.h"

#include <vector>

namespace {
// A small file must arrive with no pause longer than this.
constexpr uint32_t kSmallFileTimeoutMs = 15000;
}  // namespace

int64_t StatementClockNow() {
    FILETIME now{};
    ::GetSystemTimeAsFileTime(&now);
    const uint64_t ticks = (static_cast<uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    return static_cast<int64_t>(ticks / 10000000ULL) - 11644473600LL;  // 1601 to 1970
}

bool ReadReleaseText(ISourceSession& session, const std::wstring& folder, ReleaseFiles& files) {
    files.textRead = ReadSmallFile(session, folder + kStatementFile, kMaxStatementBytes, files.text, kSmallFileTimeoutMs);
    // A line that failed, not a missing file.
    return files.textRead || !IsLineFailure(session.LastFailure());
}

void ReadReleaseSignature(ISourceSession& session, const std::wstring& folder, ReleaseFiles& files) {
    if (files.textRead)
        ReadSmallFile(session, folder + kStatementSignatureFile, kMaxStatementSignatureBytes, files.signature,
                      kSmallFileTimeoutMs);
}

void JudgeRelease(const ReleaseFiles& files, const std::wstring& edition, FetchedRelease& out) {
    const std::vector<uint8_t>& text = files.text;
    out.present = !text.empty();
    out.bytes = text.size();
    out.signatureBytes = files.signature.size();
    const StatementSignatureFacts facts = CheckStatementSignature(text, files.signature, out.signer, out.publisher);
    const bool parsed = facts.intact && ParseReleaseStatement(text.data(), text.size(), *out.statement, &out.why);
    out.statement->publisher = out.publisher;
    out.context.now = StatementClockNow();
    out.context.edition = edition;
    out.context.highestSerial = HighestAcceptedSerial(out.publisher, edition);
    out.verdict = JudgeStatement(facts, parsed, *out.statement, out.context);
}

bool FetchRelease(ISourceSession& session, const std::wstring& folder, const std::wstring& edition,
                  FetchedRelease& out) {
    ReleaseFiles files;
    if (!ReadReleaseText(session, folder, files)) return false;
    ReadReleaseSignature(session, folder, files);
    JudgeRelease(files, edition, out);
    return true;
}
