// The maker's release statement: a small UTF-8 text published beside the setup programs of an
// edition's folder, with a detached signature over its exact bytes. It says which files belong to
// the release (size, SHA-256, version), carries a serial number that grows with every publication,
// an expiry time, and may permit going back to an older version. This file parses it; the rules
// that judge it live in ReleaseRules.h. Pure: no Win32 types. The text is hostile input.
//
//   QuorvelDownloader release 1
//   edition OEM/KESTRA/Factory/Software
//   serial 20261208132200
//   expires 2027-03-08T13:22:00Z
//   #signed 2026-12-08T13:22:00Z
//   downgrade allowed
//   rollout 25
//   file 12345678 <64 hex digits of SHA-256> 7.3.1.0 TALVIX_FULL_250101.exe
//   #quiet-args /S /norestart
//
// The first line is exactly the header. Then one "key value" per line, keys in any order: edition,
// serial and expires once each, "downgrade allowed" and "rollout PERCENT" (0 to 100: the share of PCs
// a script's run offers the release to; 0 halts it) at most once, one or more "file" lines (size,
// SHA-256 in lower- or upper-case hex, version, then the name as the rest of the line). Lines end in
// "\n" or "\r\n"; empty lines and lines starting with '#' are ignored; anything else is malformed.
// A "#quiet-args ARGS" line right after a file line names the arguments of that setup program's
// unattended install (UTF-8, no control character, at most 1024 characters): written as a comment,
// so that copies of the program that predate it still accept the statement and launch the setup as
// before; anywhere else it is malformed. A "#signed TIME" line, at most once and before the expiry,
// says when the maker signed it (a comment too): it tells a PC whose clock is behind that it is.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "update/handoff/logic/SetupVersion.h"
#include "update/release/logic/SignerPins.h"

// The statement's and its signature's names in the edition's folder.
inline const wchar_t kStatementFile[] = L"release.txt";
inline const wchar_t kStatementSignatureFile[] = L"release.txt.p7s";
// Larger files are not read at all: a real statement is a few hundred bytes.
constexpr size_t kMaxStatementBytes = 64 * 1024;
constexpr size_t kMaxStatementSignatureBytes = 64 * 1024;
constexpr size_t kMaxStatementFiles = 256;

struct ReleaseFile {
    std::wstring name;  // as the server lists it, case-sensitive
    int64_t size = 0;
    std::array<uint8_t, 32> sha256{};
    FourPartVersion version;
    std::wstring quietArguments;  // for an unattended install; empty when the statement names none
};

struct ReleaseStatement {
    std::wstring edition;  // the edition's folder, '/' between its parts: "Software", "OEM/KESTRA/Factory/Software"
    uint64_t serial = 0;
    int64_t expires = 0;              // seconds since 1970-01-01 UTC
    std::optional<int64_t> signedAt;  // its "#signed" line, when it has one
    bool allowDowngrade = false;
    int rolloutPercent = 100;  // the staged rollout: see RolloutOffers
    std::vector<ReleaseFile> files;
    // Who signed it (PublisherOf): not in the text, set from its signature when it is read.
    CertFingerprint publisher{};

    // The file of that exact name, or null.
    const ReleaseFile* Find(const std::wstring& name) const;
};

// Parses the statement's bytes. False, with a short reason in *why, for anything that is not exactly
// the format above: a wrong header, an unknown or repeated key, a bad number, time, digest or
// version, a control character or invalid UTF-8 in a name, a repeated file name, more than
// kMaxStatementFiles files, no file, or more than kMaxStatementBytes.
bool ParseReleaseStatement(const uint8_t* data, size_t size, ReleaseStatement& statement, std::string* why = nullptr);

// "2027-03-08T13:22:00Z" to seconds since 1970 UTC, and back. Strict form, real calendar dates.
bool ParseStatementTime(const std::string& text, int64_t& seconds);
std::string FormatStatementTime(int64_t seconds);

// The edition's folder as the statement names it: the listing form of the server folder
// ("\OEM\KESTRA\Factory\Software") without its leading separator and with '/' between the parts.
std::wstring StatementEditionOf(const std::wstring& listingServerFolder);
