// Reading the maker's release statement from a source: the statement and its signature fetched over
// the source's session, the signature checked and the text judged for this copy's edition.
#pragma once

#include "update/sources/logic/SourceSession.h"
#include "update/release/logic/ReleaseRules.h"
#include "update/release/logic/ReleaseStatement.h"
#include "update/release/logic/SignerPins.h"

#include <cstddef>
#include <memory>
#include <string>

// The clock statements are judged by: seconds since 1970 UTC.
int64_t StatementClockNow();

struct FetchedRelease {
    bool present = false;  // the statement's text arrived
    size_t bytes = 0;
    size_t signatureBytes = 0;
    CertFingerprint signer{};
    CertFingerprint publisher{};  // PublisherOf the signer: whose count of serials the statement is judged by
    std::string why;              // the parser's reason for a malformed text
    StatementContext context;
    StatementVerdict verdict = StatementVerdict::Malformed;
    ClockVerdict clock = ClockVerdict::Unknown;  // whether this PC's date explains a refusal
    std::shared_ptr<ReleaseStatement> statement = std::make_shared<ReleaseStatement>();  // as parsed
};

// Fetches `folder` + the statement's two files (`folder` in download form) and judges them against
// the edition, the clock and the highest serial this user accepted of the statement's publisher.
// False when the line, not the statement, failed; a statement that is missing or not valid is a
// verdict.
bool FetchRelease(ISourceSession& session, const std::wstring& folder, const std::wstring& edition,
                  FetchedRelease& out);
