// The rules of fetching a file over HTTP(S): what a response's status means, whether a ranged
// response is the part that was asked for, and the lengths read as 64-bit numbers. Pure: no Win32
// types; the HTTP session (update/HttpSession.*) applies them to WinINet's answers.
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
