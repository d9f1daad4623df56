// The rules of fetching a file over HTTP(S): what a response's status means, whether a ranged
// response is the part that was asked for, and the lengths read as 64-bit numbers. Pure: no Win32
// types; the HTTP session (update/sources/HttpSession.*) applies them to WinINet's answers.
#pragma once

#include <cstdint>
#include <string>

// A decimal header value ("52428800", also past 4 GiB) as a number; -1 for anything else (empty,
// sign, blanks inside, overflow). Leading and trailing blanks are ignored.
int64_t ParseContentLength(const std::wstring& value);

struct ContentRange {
    int64_t first = -1;  // "bytes first-last/total"
    int64_t last = -1;
    int64_t total = -1;  // -1 when the server wrote "*"
};
// Parses "bytes 100-199/1000" (and "bytes 100-199/*"); false for any other form, last < first, or
// last >= total.
bool ParseContentRange(const std::wstring& value, ContentRange& range);

// What a response to a GET means for the transfer.
enum class HttpFetch {
    Whole,         // 200: the file from byte 0 (also where a range was asked for: start again)
    Part,          // 206 whose Content-Range starts at the offset asked for and runs to the end
    RangeRefused,  // 206 for another range, a malformed Content-Range, or 416
    NotFound,      // 404, 410: the source does not hold the file
    ProxyAuth,     // 407: the proxy wants credentials
    Refused,       // 401, 403 and every other 4xx; 1xx, 3xx, other 2xx; a 200 of another length
    ServerFault,   // 5xx, or a status that is not a number: try again, as for a broken line
};
// `offset` is the first byte asked for (0: no Range header was sent); `expectedTotal` the file's size
// as the release statement gives it, or -1 when unknown. A 206 must say "bytes offset-(total-1)/total"
// with that total; a 200 must give a Content-Length equal to expectedTotal when both are known.
HttpFetch JudgeHttpResponse(unsigned status, int64_t offset, const std::wstring& contentRange,
                            const std::wstring& contentLength, int64_t expectedTotal);

// The Range header for a transfer that goes on from `offset`: "Range: bytes=offset-"; empty for 0.
std::wstring RangeHeaderFor(int64_t offset);

// Proxy credentials are asked for at most once per run and never kept on disk: after a 407 the road
// asks (window) or gives up (quiet) only when it has not asked before; a 407 that comes back after
// the credentials were given ends the source as refused.
enum class ProxyAuthStep { Ask, GiveUp };
ProxyAuthStep NextProxyAuthStep(bool interactive, bool alreadyAsked);

const char* HttpFetchName(HttpFetch fetch);

// A 407 is a proxy's question only where the request goes through a proxy; from an origin it is a
// refusal like any other 4xx, and nobody is asked for credentials.
HttpFetch ThroughProxy(HttpFetch fetch, bool viaProxy);

// The proxy an https request for `host` goes through, from the system's proxy list ("host:port",
// or per scheme "https=host:port;http=host:port", entries between ';' or blanks) and its bypass
// list ("<local>", "*.example.com", names between ';' or blanks): "" when it goes direct.
std::wstring HttpsProxyFor(const std::wstring& proxyList, const std::wstring& bypassList, const std::wstring& host);
// A proxy's name as credentials are kept under it: lower case.
std::wstring ProxyKey(const std::wstring& proxy);

// Where a request goes: https only.
struct HttpsTarget {
    std::wstring host;
    uint16_t port = 443;
    std::wstring object;  // starts with '/'
};
// A redirect is followed at most this many hops from the request the program made.
constexpr int kMaxRedirectHops = 5;
enum class RedirectStep {
    Follow,
    NotHttps,   // to http or any other scheme: the bytes would leave the secure channel
    TooMany,    // more than kMaxRedirectHops
    Malformed,  // no Location, credentials in it, a bad port, blanks or control characters
};
// 301, 302, 303, 307, 308.
bool IsRedirectStatus(unsigned status);
// Judges a redirect's Location after `hops` hops already followed from `from`: an absolute https
// URL, or a path on the same host ("/a/b"), gives `next`.
RedirectStep JudgeRedirect(const std::wstring& location, const HttpsTarget& from, int hops, HttpsTarget& next);
const char* RedirectStepName(RedirectStep step);
