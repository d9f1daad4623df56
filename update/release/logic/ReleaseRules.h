// The rules around the maker's release statement: whether a statement may be used, which listed file
// may be offered, whether a downloaded setup program is the release's, and whether it would replace
// the installed scanner with an older version. Pure: no Win32 types; tested natively as one table.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "update/release/logic/ReleaseStatement.h"

// What the platform found about the statement's detached signature.
struct StatementSignatureFacts {
    bool intact = false;            // the signature verifies over exactly the statement's bytes
    bool signedAttributes = false;  // it carries signed attributes (refused: see ReleaseStatementCheck)
    bool signerAccepted = false;    // the signer passes the setup program's signer rule (pins, chain)
    // Refused, the signer would pass were this PC's date inside its certificates' validity.
    bool signerOutOfTime = false;
};

// What the statement is judged against: this run's clock, the highest serial this user's program has
// accepted before, and the edition's folder this copy reads.
struct StatementContext {
    int64_t now = 0;  // seconds since 1970 UTC
    uint64_t highestSerial = 0;
    std::wstring edition;  // StatementEditionOf(listing form)
    // The date an HTTPS server's answer carried (its Date header, inside TLS), when there was one.
    std::optional<int64_t> serverDate;
};

enum class StatementVerdict {
    Valid,
    SignatureBroken,   // no signature, or it does not cover exactly these bytes
    SignedAttributes,  // signed attributes: their digest is not compared on every platform
    SignerRefused,     // not signed by a publisher this build accepts
    Malformed,         // the text does not parse
    Expired,           // past its expiry time
    Replayed,          // a serial lower than one accepted before
    OtherEdition,      // written for another edition's folder
};

// The first rule that fails, in the order of the enumeration; `parsed` says whether
// ParseReleaseStatement accepted the bytes (`statement` is read only then).
StatementVerdict JudgeStatement(const StatementSignatureFacts& signature, bool parsed,
                                const ReleaseStatement& statement, const StatementContext& context);

// Whether this PC's date, not the statement, is at fault when the statement was judged expired or
// its signer's certificate out of its validity: Behind when the date is before the maker's own
// signing time; Ahead when it is past the expiry and the server's date is still well before it.
// Unknown otherwise. It explains a verdict and never changes it: nothing is trusted on a server's date.
enum class ClockVerdict { Unknown, Behind, Ahead };
ClockVerdict JudgeClock(const StatementSignatureFacts& signature, bool parsed, const ReleaseStatement& statement,
                        const StatementContext& context);
// How far the server's date must lie behind this PC's before this PC is the one called wrong.
constexpr int64_t kClockToleranceSeconds = 300;

// True when the statement has expired at `now` (seconds since 1970 UTC): judged at the check and
// again just before the hand-off, which may come days after it.
bool StatementExpired(const ReleaseStatement& statement, int64_t now);

// Whether a listed file may be offered under the statement: named there, and listed with the
// statement's size. A listed size that Wine caps (ListedSizeMayBeCapped) is no disagreement.
enum class ReleaseListing { Named, NotNamed, SizeDiffers };
ReleaseListing JudgeListedFile(const ReleaseStatement& statement, const std::wstring& name, int64_t listedSize);

// What is known of a downloaded setup program when it is checked before the launch.
struct SetupFacts {
    std::wstring name;  // as listed on the server
    int64_t size = 0;
    std::array<uint8_t, 32> sha256{};
    std::optional<FourPartVersion> version;    // its version resource's ProductVersion, else FileVersion
    bool carriesSignature = false;             // it declares a signature, sound or not
    std::optional<CertFingerprint> publisher;  // who signed it (PublisherOf), when known
};

enum class ReleaseCheck {
    Ready,
    NotInRelease,    // the statement does not name it
    SizeDiffers,     // its size is not the statement's
    DigestDiffers,   // its SHA-256 is not the statement's
    VersionDiffers,  // its version resource is not the statement's version
    OtherPublisher,  // signed by another publisher than the statement
    NoVersion,       // no version resource, in a build that names a publisher
    Downgrade,       // older than the installed scanner, without the statement's permission
};

// With a statement: named, same size, same SHA-256, same version, signed by the statement's own
// publisher (a setup without a signature is left to the signature rule), and not older than the
// installed scanner unless the statement allows going back. Without one: not older than the installed
// scanner; a setup without a version resource passes only where the build names no publisher. An
// installed version that is unknown compares with nothing.
ReleaseCheck JudgeSetupRelease(const ReleaseStatement* statement, const SetupFacts& setup,
                               const std::optional<FourPartVersion>& installed, bool publisherNamed);

// True when the statement names the file and the installed scanner already has its version.
bool InstalledIsCurrent(const ReleaseStatement& statement, const std::wstring& name,
                        const std::optional<FourPartVersion>& installed);

// True when `other` (another source's valid statement) names the file `used` names, with the same
// size and SHA-256: a download of it may go on from that source.
bool HoldsSameFile(const ReleaseStatement& used, const ReleaseStatement& other, const std::wstring& name);

// The registry key (under HKEY_CURRENT_USER) that keeps the highest serial accepted of one publisher's
// statements, one value per edition: a count per publisher, so that a statement of anyone else, at
// any serial, leaves the maker's count alone, and a new key starts a count of its own.
std::wstring SerialKeyOf(const CertFingerprint& publisher);

// Short names for the log.
const char* StatementVerdictName(StatementVerdict verdict);
const char* ClockVerdictName(ClockVerdict verdict);
const char* ReleaseListingName(ReleaseListing listing);
const char* ReleaseCheckName(ReleaseCheck check);
