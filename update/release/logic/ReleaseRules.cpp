// The release statement's rules: the statement itself, a listed file and a downloaded setup.
#include "update/release/logic/ReleaseRules.h"

#include "update/sources/logic/SourceSession.h"

StatementVerdict JudgeStatement(const StatementSignatureFacts& signature, bool parsed,
                                const ReleaseStatement& statement, const StatementContext& context) {
    if (!signature.intact) return StatementVerdict::SignatureBroken;
    if (signature.signedAttributes) return StatementVerdict::SignedAttributes;
    if (!signature.signerAccepted) return StatementVerdict::SignerRefused;
    if (!parsed) return StatementVerdict::Malformed;
    if (StatementExpired(statement, context.now)) return StatementVerdict::Expired;
    // The same statement is read again at every check: an equal serial is no replay.
    if (statement.serial < context.highestSerial) return StatementVerdict::Replayed;
    if (statement.edition != context.edition) return StatementVerdict::OtherEdition;
    return StatementVerdict::Valid;
}

ClockVerdict JudgeClock(const StatementSignatureFacts& signature, bool parsed, const ReleaseStatement& statement,
                        const StatementContext& context) {
    const StatementVerdict verdict = JudgeStatement(signature, parsed, statement, context);
    const bool outOfTime = verdict == StatementVerdict::Expired ||
                           (verdict == StatementVerdict::SignerRefused && signature.signerOutOfTime && parsed);
    if (!outOfTime) return ClockVerdict::Unknown;
    if (statement.signedAt && context.now < *statement.signedAt) return ClockVerdict::Behind;
    const std::optional<int64_t>& server = context.serverDate;
    if (StatementExpired(statement, context.now) && server && *server < statement.expires &&
        context.now - *server >= kClockToleranceSeconds)
        return ClockVerdict::Ahead;
    return ClockVerdict::Unknown;
}

bool StatementExpired(const ReleaseStatement& statement, int64_t now) { return now >= statement.expires; }

ReleaseListing JudgeListedFile(const ReleaseStatement& statement, const std::wstring& name, int64_t listedSize) {
    const ReleaseFile* file = statement.Find(name);
    if (!file) return ReleaseListing::NotNamed;
    if (listedSize == file->size) return ReleaseListing::Named;
    // A capped size only says the file is at least that large.
    if (ListedSizeMayBeCapped(listedSize) && file->size >= listedSize) return ReleaseListing::Named;
    return ReleaseListing::SizeDiffers;
}

ReleaseCheck JudgeSetupRelease(const ReleaseStatement* statement, const SetupFacts& setup,
                               const std::optional<FourPartVersion>& installed, bool publisherNamed) {
    const bool older = setup.version && installed && *setup.version < *installed;
    if (!statement) {
        if (!setup.version) return publisherNamed ? ReleaseCheck::NoVersion : ReleaseCheck::Ready;
        return older ? ReleaseCheck::Downgrade : ReleaseCheck::Ready;
    }
    const ReleaseFile* file = statement->Find(setup.name);
    if (!file) return ReleaseCheck::NotInRelease;
    if (setup.size != file->size) return ReleaseCheck::SizeDiffers;
    if (setup.sha256 != file->sha256) return ReleaseCheck::DigestDiffers;
    if (!setup.version || *setup.version != file->version) return ReleaseCheck::VersionDiffers;
    if (setup.carriesSignature && setup.publisher != statement->publisher) return ReleaseCheck::OtherPublisher;
    if (older && !statement->allowDowngrade) return ReleaseCheck::Downgrade;
    return ReleaseCheck::Ready;
}

bool InstalledIsCurrent(const ReleaseStatement& statement, const std::wstring& name,
                        const std::optional<FourPartVersion>& installed) {
    const ReleaseFile* file = statement.Find(name);
    return file && installed && *installed == file->version;
}

bool HoldsSameFile(const ReleaseStatement& used, const ReleaseStatement& other, const std::wstring& name) {
    const ReleaseFile* file = used.Find(name);
    const ReleaseFile* there = other.Find(name);
    return file && there && file->size == there->size && file->sha256 == there->sha256;
}

std::wstring SerialKeyOf(const CertFingerprint& publisher) {
    static const wchar_t kDigits[] = L"0123456789abcdef";
    std::wstring key = L"Software\\QuorvelDownloader\\ReleaseSerials\\";
    for (uint8_t byte : publisher) {
        key += kDigits[byte >> 4];
        key += kDigits[byte & 15];
    }
    return key;
}

const char* StatementVerdictName(StatementVerdict verdict) {
    switch (verdict) {
    case StatementVerdict::Valid: return "valid";
    case StatementVerdict::SignatureBroken: return "signature-broken";
    case StatementVerdict::SignedAttributes: return "signed-attributes";
    case StatementVerdict::SignerRefused: return "signer-refused";
    case StatementVerdict::Malformed: return "malformed";
    case StatementVerdict::Expired: return "expired";
    case StatementVerdict::Replayed: return "replayed";
    case StatementVerdict::OtherEdition: return "other-edition";
    }
    return "unknown";
}

const char* ClockVerdictName(ClockVerdict verdict) {
    switch (verdict) {
    case ClockVerdict::Unknown: return "unknown";
    case ClockVerdict::Behind: return "behind";
    case ClockVerdict::Ahead: return "ahead";
    }
    return "unknown";
}

const char* ReleaseListingName(ReleaseListing listing) {
    switch (listing) {
    case ReleaseListing::Named: return "named";
    case ReleaseListing::NotNamed: return "not-named";
    case ReleaseListing::SizeDiffers: return "size-differs";
    }
    return "unknown";
}

const char* ReleaseCheckName(ReleaseCheck check) {
    switch (check) {
    case ReleaseCheck::Ready: return "ready";
    case ReleaseCheck::NotInRelease: return "not-in-release";
    case ReleaseCheck::SizeDiffers: return "size-differs";
    case ReleaseCheck::DigestDiffers: return "digest-differs";
    case ReleaseCheck::VersionDiffers: return "version-differs";
    case ReleaseCheck::OtherPublisher: return "other-publisher";
    case ReleaseCheck::NoVersion: return "no-version";
    case ReleaseCheck::Downgrade: return "downgrade";
    }
    return "unknown";
}
