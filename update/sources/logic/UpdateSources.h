// The ordered update sources of a build (QV_UPDATE_SOURCES) and of a run (/source FOLDER): where the
// road looks for the maker's release, in order, and why a source passes its turn to the next. Pure:
// no Win32 types.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

enum class SourceKind { Ftp, Https, Folder };

struct UpdateSource {
    SourceKind kind = SourceKind::Ftp;
    std::wstring host;      // Ftp, Https: the host name, without port
    uint16_t port = 0;      // Ftp: 5301 when not given; Https: 443 when not given
    std::wstring basePath;  // Https: the path under which the server's folder layout starts, "/" or
                            // "/a/b/" (always begins and ends with '/'); Folder: the folder itself
    // The form the log shows: "ftp://host:5301", "https://host:443/base/", "folder:D:\\updates".
    std::wstring Display() const;
};

// Parses "https://host[:port]/path;ftp://host[:port]" (';' between entries, blanks around entries
// ignored, scheme case-insensitive, no user or password, no query or fragment, ports 1..65535, a
// host of letters, digits, '-', '.', or an IPv4 address). Empty entries are skipped. False, with the
// faulty entry in *why, for anything else; `sources` is then empty.
bool ParseUpdateSources(const std::wstring& text, std::vector<UpdateSource>& sources, std::wstring* why = nullptr);

// A run's sources: a local folder given on the command line first, then the build's in their order.
std::vector<UpdateSource> RunSources(const std::vector<UpdateSource>& build, const std::wstring& localFolder);

// Why a source passed its turn to the next one.
enum class SourceSkip {
    Unreachable,         // no connection (name, route, refused, time-out)
    Refused,             // the login, or the proxy's authentication, was refused
    CertificateRefused,  // HTTPS: untrusted, expired or wrong-host certificate
    NoRelease,           // no valid release statement for this edition (required over HTTPS and for folders)
    NothingOffered,      // the release names no setup program that may be offered here
    ReleaseWithheld,     // the statement names a newer setup than the installed one, which the source does not offer
    ClockWrong,          // the statement was refused for this PC's date, which the statement shows to be wrong
};
const char* SourceSkipName(SourceSkip skip);

// The remote path of a file of the edition's folder on a source: for HTTPS the base path, the
// folder's parts (download form, '\' or '/' between them) and the name joined with '/', each part
// percent-encoded where a URL needs it (UTF-8); for FTP the download form as today; for a folder
// the name alone (a local folder holds one edition's files directly; the session joins it).
std::wstring HttpsPathOf(const UpdateSource& source, const std::wstring& downloadFolder, const std::wstring& name);
