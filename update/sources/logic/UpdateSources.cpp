// The update sources' text form, a run's order of sources and the remote path of a file on each.
#include "update/sources/logic/UpdateSources.h"

#include "system/logic/Utf8.h"

#include <algorithm>

namespace {
const uint16_t kDefaultFtpPort = 5301;
const uint16_t kDefaultHttpsPort = 443;

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }
bool IsDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }
bool IsLetter(wchar_t c) { return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z'); }
bool IsHexDigit(wchar_t c) { return IsDigit(c) || (c >= L'a' && c <= L'f') || (c >= L'A' && c <= L'F'); }
bool IsUnreserved(wchar_t c) { return IsLetter(c) || IsDigit(c) || c == L'-' || c == L'.' || c == L'_' || c == L'~'; }

bool Fail(std::wstring& fault, const wchar_t* why) {
    fault = why;
    return false;
}

bool StartsWithNoCase(const std::wstring& text, const wchar_t* prefix) {
    size_t i = 0;
    for (; prefix[i]; ++i) {
        if (i >= text.size()) return false;
        wchar_t c = text[i];
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
        if (c != prefix[i]) return false;
    }
    return true;
}

std::wstring Trimmed(const std::wstring& text) {
    size_t begin = 0, end = text.size();
    while (begin < end && IsBlank(text[begin])) ++begin;
    while (end > begin && IsBlank(text[end - 1])) --end;
    return text.substr(begin, end - begin);
}

// Four decimal numbers 0..255 without leading zeros: "010" reads as octal to some resolvers.
bool IsIpv4(const std::wstring& host) {
    int parts = 0;
    size_t at = 0;
    for (;;) {
        size_t end = at;
        while (end < host.size() && IsDigit(host[end])) ++end;
        const size_t length = end - at;
        if (length == 0 || length > 3 || (length > 1 && host[at] == L'0')) return false;
        if (std::stoi(host.substr(at, length)) > 255) return false;
        ++parts;
        if (end == host.size()) return parts == 4;
        if (host[end] != L'.' || parts == 4) return false;
        at = end + 1;
    }
}

// Empty when the host is acceptable, else why not.
std::wstring HostFault(const std::wstring& host) {
    if (host.empty()) return L"no host";
    if (host.find(L'[') != std::wstring::npos) return L"an IPv6 address is not supported";
    bool numeric = true;
    for (wchar_t c : host) {
        if (!IsLetter(c) && !IsDigit(c) && c != L'-' && c != L'.')
            return L"the host holds a character other than a-z, 0-9, '-' or '.'";
        if (IsLetter(c) || c == L'-') numeric = false;
    }
    if (numeric) return IsIpv4(host) ? L"" : L"the host is not an IPv4 address";
    if (host.size() > 253) return L"the host is longer than 253 characters";
    size_t at = 0;
    for (;;) {
        const size_t dot = std::min(host.find(L'.', at), host.size());
        const size_t length = dot - at;
        if (length == 0 || length > 63) return L"the host has an empty or over-long label";
        if (host[at] == L'-' || host[dot - 1] == L'-') return L"a label of the host begins or ends with '-'";
        if (dot == host.size()) return L"";
        at = dot + 1;
    }
}

// The path of an https:// entry as its base path: '/' at both ends, runs of '/' made one.
bool ReadBasePath(const std::wstring& path, std::wstring& basePath, std::wstring& fault) {
    basePath = L"/";
    for (size_t i = 0; i < path.size(); ++i) {
        const wchar_t c = path[i];
        if (c == L'/') {
            if (basePath.back() != L'/') basePath += c;
            continue;
        }
        if (c == L'%') {
            if (i + 2 >= path.size() || !IsHexDigit(path[i + 1]) || !IsHexDigit(path[i + 2]))
                return Fail(fault, L"'%' in the path is not followed by two hexadecimal digits");
        } else if (!IsUnreserved(c) && std::wstring(L"!$&'()*+,=:@").find(c) == std::wstring::npos) {
            return Fail(fault, L"the path holds a character a URL must carry percent-encoded");
        }
        basePath += c;
    }
    if (basePath.back() != L'/') basePath += L'/';
    return true;
}

bool ParseEntry(const std::wstring& entry, UpdateSource& source, std::wstring& fault) {
    size_t schemeLength = 0;
    if (StartsWithNoCase(entry, L"https://")) {
        source.kind = SourceKind::Https;
        source.port = kDefaultHttpsPort;
        schemeLength = 8;
    } else if (StartsWithNoCase(entry, L"ftp://")) {
        source.kind = SourceKind::Ftp;
        source.port = kDefaultFtpPort;
        schemeLength = 6;
    } else {
        return Fail(fault, L"only https:// and ftp:// sources are allowed");
    }
    for (wchar_t c : entry) {
        if (c < 0x20 || c == 0x7F || IsBlank(c)) return Fail(fault, L"a blank or control character inside the entry");
    }
    if (entry.find_first_of(L"?#") != std::wstring::npos) return Fail(fault, L"a query or fragment is not allowed");
    const size_t slash = std::min(entry.find(L'/', schemeLength), entry.size());
    std::wstring authority = entry.substr(schemeLength, slash - schemeLength);
    const std::wstring path = entry.substr(slash);
    if (authority.find(L'@') != std::wstring::npos) return Fail(fault, L"a user name or password is not allowed");
    const size_t colon = authority.find(L':');
    if (colon != std::wstring::npos && authority[0] != L'[') {
        const std::wstring digits = authority.substr(colon + 1);
        unsigned long port = 0;
        for (wchar_t c : digits) port = IsDigit(c) && port <= 65535 ? port * 10 + (c - L'0') : 70000;
        if (digits.empty() || port == 0 || port > 65535)
            return Fail(fault, L"the port is not a number from 1 to 65535");
        source.port = static_cast<uint16_t>(port);
        authority.resize(colon);
    }
    fault = HostFault(authority);
    if (!fault.empty()) return false;
    source.host = authority;
    if (source.kind == SourceKind::Ftp) return path.size() <= 1 || Fail(fault, L"an ftp:// source takes no path");
    return ReadBasePath(path, source.basePath, fault);
}

std::wstring PercentEncoded(const std::wstring& part) {
    static const char kHex[] = "0123456789ABCDEF";
    std::wstring out;
    for (unsigned char b : WideToUtf8(part)) {
        if (b < 0x80 && IsUnreserved(static_cast<wchar_t>(b))) {
            out += static_cast<wchar_t>(b);
        } else {
            out += L'%';
            out += static_cast<wchar_t>(kHex[b >> 4]);
            out += static_cast<wchar_t>(kHex[b & 0xF]);
        }
    }
    return out;
}
}  // namespace

std::wstring UpdateSource::Display() const {
    switch (kind) {
    case SourceKind::Ftp: return L"ftp://" + host + L":" + std::to_wstring(port);
    case SourceKind::Https: return L"https://" + host + L":" + std::to_wstring(port) + basePath;
    case SourceKind::Folder: return L"folder:" + basePath;
    }
    return L"";
}

bool ParseUpdateSources(const std::wstring& text, std::vector<UpdateSource>& sources, std::wstring* why) {
    sources.clear();
    std::vector<UpdateSource> parsed;
    size_t start = 0;
    for (;;) {
        const size_t end = std::min(text.find(L';', start), text.size());
        const std::wstring entry = Trimmed(text.substr(start, end - start));
        if (!entry.empty()) {
            UpdateSource source;
            std::wstring fault;
            if (!ParseEntry(entry, source, fault)) {
                if (why) *why = L"\"" + entry + L"\": " + fault;
                return false;
            }
            parsed.push_back(std::move(source));
        }
        if (end == text.size()) break;
        start = end + 1;
    }
    sources = std::move(parsed);
    return true;
}

std::vector<UpdateSource> RunSources(const std::vector<UpdateSource>& build, const std::wstring& localFolder) {
    std::vector<UpdateSource> sources;
    if (!localFolder.empty()) {
        UpdateSource folder;
        folder.kind = SourceKind::Folder;
        folder.basePath = localFolder;
        sources.push_back(std::move(folder));
    }
    sources.insert(sources.end(), build.begin(), build.end());
    return sources;
}

const char* SourceSkipName(SourceSkip skip) {
    switch (skip) {
    case SourceSkip::Unreachable: return "unreachable";
    case SourceSkip::Refused: return "refused";
    case SourceSkip::CertificateRefused: return "certificate-refused";
    case SourceSkip::NoRelease: return "no-release";
    case SourceSkip::NothingOffered: return "nothing-offered";
    case SourceSkip::ReleaseWithheld: return "release-withheld";
    case SourceSkip::ClockWrong: return "clock-wrong";
    }
    return "unknown";
}

std::wstring HttpsPathOf(const UpdateSource& source, const std::wstring& downloadFolder, const std::wstring& name) {
    if (source.kind == SourceKind::Https) {
        std::wstring path = source.basePath.empty() ? L"/" : source.basePath;
        if (path.back() != L'/') path += L'/';
        size_t at = 0;
        while (at < downloadFolder.size()) {
            const size_t end = std::min(downloadFolder.find_first_of(L"\\/", at), downloadFolder.size());
            if (end > at) path += PercentEncoded(downloadFolder.substr(at, end - at)) + L'/';
            at = end + 1;
        }
        return path + PercentEncoded(name);
    }
    // A local folder is flat: it holds one edition's files directly, whatever the server's folder.
    if (source.kind == SourceKind::Folder) return name;
    std::wstring folder = downloadFolder;
    if (!folder.empty() && folder.back() != L'\\' && folder.back() != L'/') folder += L'\\';
    return folder + name;
}
