// The rules of fetching a file over HTTP(S): lengths, ranges and what each status means.
//
// Status to verdict:
//   200                      Whole; Refused when the Content-Length is not the statement's size
//   206                      Part when "bytes offset-(total-1)/total" with the statement's total (and a
//                            Content-Length, if any, of that part's length); Whole when that is the
//                            entire file from byte 0; RangeRefused otherwise
//   416                      RangeRefused
//   404, 410                 NotFound
//   407                      ProxyAuth
//   other 4xx, 1xx, 3xx, other 2xx   Refused (the session follows acceptable redirects before this)
//   5xx, outside 100..599    ServerFault
#include "update/sources/logic/HttpRules.h"

#include <cstdint>
#include <vector>

namespace {
bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }
bool IsDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }

// Reads the decimal digits at `at` into `value`; false when there are none or they overflow.
bool ReadNumber(const std::wstring& text, size_t& at, int64_t& value) {
    const size_t start = at;
    value = 0;
    for (; at < text.size() && IsDigit(text[at]); ++at) {
        const int digit = text[at] - L'0';
        if (value > (INT64_MAX - digit) / 10) return false;
        value = value * 10 + digit;
    }
    return at > start;
}

bool SkipLiteral(const std::wstring& text, size_t& at, wchar_t c) {
    if (at >= text.size() || text[at] != c) return false;
    ++at;
    return true;
}

size_t SkipBlanks(const std::wstring& text, size_t at) {
    while (at < text.size() && IsBlank(text[at])) ++at;
    return at;
}
}  // namespace

int64_t ParseContentLength(const std::wstring& value) {
    size_t at = SkipBlanks(value, 0);
    int64_t number = 0;
    if (!ReadNumber(value, at, number)) return -1;
    return SkipBlanks(value, at) == value.size() ? number : -1;
}

bool ParseContentRange(const std::wstring& value, ContentRange& range) {
    range = ContentRange();
    size_t at = SkipBlanks(value, 0);
    // The unit is case-insensitive; one or more blanks follow it.
    static const wchar_t kUnit[] = L"bytes";
    for (const wchar_t* u = kUnit; *u; ++u, ++at) {
        if (at >= value.size() || (value[at] | 0x20) != *u) return false;
    }
    const size_t afterUnit = at;
    at = SkipBlanks(value, at);
    if (at == afterUnit) return false;
    ContentRange parsed;
    if (!ReadNumber(value, at, parsed.first) || !SkipLiteral(value, at, L'-') || !ReadNumber(value, at, parsed.last) ||
        !SkipLiteral(value, at, L'/'))
        return false;
    if (!SkipLiteral(value, at, L'*') && !ReadNumber(value, at, parsed.total)) return false;
    if (SkipBlanks(value, at) != value.size()) return false;
    // A range that ends before it starts, or past the end of the file, describes nothing.
    if (parsed.last < parsed.first) return false;
    if (parsed.total >= 0 && parsed.last >= parsed.total) return false;
    range = parsed;
    return true;
}

HttpFetch JudgeHttpResponse(unsigned status, int64_t offset, const std::wstring& contentRange,
                            const std::wstring& contentLength, int64_t expectedTotal) {
    if (status < 100 || status > 599) return HttpFetch::ServerFault;
    if (status >= 500) return HttpFetch::ServerFault;
    switch (status) {
    case 404:
    case 410: return HttpFetch::NotFound;
    case 407: return HttpFetch::ProxyAuth;
    case 416: return HttpFetch::RangeRefused;
    case 200: {
        const int64_t length = ParseContentLength(contentLength);
        // A file of another size than the statement's is not this release's file.
        if (expectedTotal >= 0 && length >= 0 && length != expectedTotal) return HttpFetch::Refused;
        return HttpFetch::Whole;
    }
    case 206: {
        ContentRange range;
        if (!ParseContentRange(contentRange, range)) return HttpFetch::RangeRefused;
        if (range.first != offset || range.total < 0 || range.last != range.total - 1) return HttpFetch::RangeRefused;
        if (expectedTotal >= 0 && range.total != expectedTotal) return HttpFetch::RangeRefused;
        const int64_t length = ParseContentLength(contentLength);
        if (length >= 0 && length != range.last - range.first + 1) return HttpFetch::RangeRefused;
        return offset == 0 ? HttpFetch::Whole : HttpFetch::Part;
    }
    default: return HttpFetch::Refused;
    }
}

std::wstring RangeHeaderFor(int64_t offset) {
    if (offset <= 0) return L"";
    return L"Range: bytes=" + std::to_wstring(offset) + L"-";
}

ProxyAuthStep NextProxyAuthStep(bool interactive, bool alreadyAsked) {
    return interactive && !alreadyAsked ? ProxyAuthStep::Ask : ProxyAuthStep::GiveUp;
}

const char* HttpFetchName(HttpFetch fetch) {
    switch (fetch) {
    case HttpFetch::Whole: return "whole";
    case HttpFetch::Part: return "part";
    case HttpFetch::RangeRefused: return "range-refused";
    case HttpFetch::NotFound: return "not-found";
    case HttpFetch::ProxyAuth: return "proxy-auth";
    case HttpFetch::Refused: return "refused";
    case HttpFetch::ServerFault: return "server-fault";
    }
    return "unknown";
}

HttpFetch ThroughProxy(HttpFetch fetch, bool viaProxy) {
    return fetch == HttpFetch::ProxyAuth && !viaProxy ? HttpFetch::Refused : fetch;
}

namespace {

wchar_t Lower(wchar_t c) { return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c + 32) : c; }

std::wstring LowerText(const std::wstring& text) {
    std::wstring lower(text);
    for (wchar_t& c : lower) c = Lower(c);
    return lower;
}

// The entries of a list separated by ';' or blanks.
std::vector<std::wstring> ListEntries(const std::wstring& list) {
    std::vector<std::wstring> entries;
    std::wstring entry;
    for (wchar_t c : list + L";") {
        if (c == L';' || IsBlank(c)) {
            if (!entry.empty()) entries.push_back(entry);
            entry.clear();
        } else {
            entry += c;
        }
    }
    return entries;
}

// A bypass entry matches the host: "<local>" any name without a dot, "*" a run of characters.
bool Bypasses(const std::wstring& entry, const std::wstring& host) {
    if (entry == L"<local>") return host.find(L'.') == std::wstring::npos;
    if (!entry.empty() && entry[0] == L'*') {
        const std::wstring tail = entry.substr(1);
        return host.size() >= tail.size() && host.compare(host.size() - tail.size(), tail.size(), tail) == 0;
    }
    return entry == host;
}

}  // namespace

std::wstring HttpsProxyFor(const std::wstring& proxyList, const std::wstring& bypassList, const std::wstring& host) {
    const std::wstring name = LowerText(host);
    for (const std::wstring& entry : ListEntries(LowerText(bypassList)))
        if (Bypasses(entry, name)) return L"";
    std::wstring any;
    for (const std::wstring& entry : ListEntries(proxyList)) {
        const size_t equals = entry.find(L'=');
        if (equals == std::wstring::npos) {
            if (any.empty()) any = entry;
        } else if (LowerText(entry.substr(0, equals)) == L"https") {
            return entry.substr(equals + 1);
        }
    }
    return any;
}

std::wstring ProxyKey(const std::wstring& proxy) { return LowerText(proxy); }

bool IsRedirectStatus(unsigned status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

namespace {

// "host[:port]" of an https URL; false for credentials, an empty host or a bad port.
bool ReadAuthority(const std::wstring& authority, HttpsTarget& target) {
    if (authority.empty() || authority.find(L'@') != std::wstring::npos) return false;
    const size_t colon = authority.rfind(L':');
    target.host = authority.substr(0, colon);
    target.port = 443;
    if (colon != std::wstring::npos) {
        const std::wstring digits = authority.substr(colon + 1);
        size_t at = 0;
        int64_t port = 0;
        if (!ReadNumber(digits, at, port) || at != digits.size() || port < 1 || port > 65535) return false;
        target.port = static_cast<uint16_t>(port);
    }
    return !target.host.empty();
}

}  // namespace

RedirectStep JudgeRedirect(const std::wstring& location, const HttpsTarget& from, int hops, HttpsTarget& next) {
    next = HttpsTarget();
    if (hops >= kMaxRedirectHops) return RedirectStep::TooMany;
    std::wstring text = location.substr(0, location.find(L'#'));
    if (text.empty()) return RedirectStep::Malformed;
    for (wchar_t c : text)
        if (c <= L' ' || c == 0x7F) return RedirectStep::Malformed;
    // A path on the same host keeps the scheme; "//host/..." would not say it.
    if (text[0] == L'/' && text.compare(0, 2, L"//") != 0) {
        next = from;
        next.object = text;
        return RedirectStep::Follow;
    }
    static const wchar_t kScheme[] = L"https://";
    const size_t schemeLength = sizeof kScheme / sizeof kScheme[0] - 1;
    if (LowerText(text.substr(0, schemeLength)) != kScheme) {
        const size_t colon = text.find(L':');
        return colon == std::wstring::npos ? RedirectStep::Malformed : RedirectStep::NotHttps;
    }
    const size_t slash = text.find_first_of(L"/?", schemeLength);
    const std::wstring authority =
        text.substr(schemeLength, slash == std::wstring::npos ? std::wstring::npos : slash - schemeLength);
    if (!ReadAuthority(authority, next)) {
        next = HttpsTarget();
        return RedirectStep::Malformed;
    }
    next.object = slash == std::wstring::npos ? L"/" : text.substr(slash);
    if (next.object[0] == L'?') next.object = L"/" + next.object;
    return RedirectStep::Follow;
}

const char* RedirectStepName(RedirectStep step) {
    switch (step) {
    case RedirectStep::Follow: return "follow";
    case RedirectStep::NotHttps: return "not-https";
    case RedirectStep::TooMany: return "too-many";
    case RedirectStep::Malformed: return "malformed";
    }
    return "unknown";
}
