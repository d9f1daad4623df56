#include "update/sources/logic/FtpReplies.h"

#include <cstdint>

int64_t ParseSizeReply(const std::wstring& reply) {
    // Servers send "213 <digits>"; a multi-line or longer reply is not a size.
    if (reply.compare(0, 4, L"213 ") != 0) return -1;
    size_t at = 4;
    const size_t first = at;
    int64_t size = 0;
    for (; at < reply.size() && reply[at] >= L'0' && reply[at] <= L'9'; ++at) {
        const int digit = reply[at] - L'0';
        if (size > (INT64_MAX - digit) / 10) return -1;
        size = size * 10 + digit;
    }
    if (at == first) return -1;
    for (; at < reply.size(); ++at) {
        if (reply[at] != L'\r' && reply[at] != L'\n' && reply[at] != L' ') return -1;
    }
    return size;
}

bool IsRestartAccepted(const std::wstring& reply) { return reply.compare(0, 3, L"350") == 0; }
