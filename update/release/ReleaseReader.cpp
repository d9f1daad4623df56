// The release statement fetched and judged, for the server check and for a source that takes over
// a download.
#include "update/release/ReleaseReader.h"

#include "framework/Win32.h"
#include "update/release/ReleaseSerials.h"
#include "update/release/StatementSignature.h"
#include "update/release/logic/SmallFile.h"

#include <vector>

namespace {
// A small file must arrive with no pause longer than this...
constexpr uint32_t kSmallFileTimeoutMs = 15000;
// ...and the statement with its signature within this, however the source spaces its bytes.
constexpr uint32_t kStatementTotalMs = 60000;

// Reads the statement and, when it came, its signature; false when the line failed either.
bool FetchStatementFiles(ISourceSession& session, const std::wstring& folder, std::vector<uint8_t>& text,
                         std::vector<uint8_t>& signature) {
    if (!ReadSmallFile(session, folder + kStatementFile, kMaxStatementBytes, text, kSmallFileTimeoutMs))
        return !IsLineFailure(session.LastFailure());  // a missing file is a verdict, not a fault
    if (!ReadSmallFile(session, folder + kStatementSignatureFile, kMaxStatementSignatureBytes, signature,
                       kSmallFileTimeoutMs))
        return !IsLineFailure(session.LastFailure());
    return true;
}
}  // namespace

int64_t StatementClockNow() {
    FILETIME now{};
    ::GetSystemTimeAsFileTime(&now);
    return UnixSecondsOf(now);
}

bool FetchRelease(ISourceSession& session, const std::wstring& folder, const std::wstring& edition,
                  FetchedRelease& out) {
    std::vector<uint8_t> text;
    std::vector<uint8_t> signature;
    // The session's own deadline (the server check's) still holds where it comes first.
    const uint64_t outer = session.Deadline();
    session.FinishBy(EarlierDeadline(outer, ::GetTickCount64() + kStatementTotalMs));
    const bool fetched = FetchStatementFiles(session, folder, text, signature);
    session.FinishBy(outer);
    if (!fetched) return false;
    out.present = !text.empty();
    out.bytes = text.size();
    out.signatureBytes = signature.size();
    const StatementSignatureFacts facts = CheckStatementSignature(text, signature, out.signer, out.publisher);
    const bool parsed = facts.intact && ParseReleaseStatement(text.data(), text.size(), *out.statement, &out.why);
    out.statement->publisher = out.publisher;
    out.context.now = StatementClockNow();
    out.context.edition = edition;
    out.context.highestSerial = HighestAcceptedSerial(out.publisher, edition);
    if (session.ServerDate() >= 0) out.context.serverDate = session.ServerDate();
    out.verdict = JudgeStatement(facts, parsed, *out.statement, out.context);
    out.clock = JudgeClock(facts, parsed, *out.statement, out.context);
    return true;
}
