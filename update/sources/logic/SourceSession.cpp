#include "update/sources/logic/SourceSession.h"

#include <algorithm>
#include <cstdint>

namespace {
constexpr size_t kNameCapacity = sizeof(FTP_FILE_INFO::szFileName) / sizeof(wchar_t);
}

void FTP_FILE_INFO::SetName(const std::wstring& name) {
    const size_t length = std::min(name.size(), kNameCapacity - 1);
    std::copy_n(name.begin(), length, szFileName);
    std::fill(szFileName + length, szFileName + kNameCapacity, L'\0');
}

std::wstring FTP_FILE_INFO::Name() const {
    return std::wstring(szFileName, std::find(szFileName, szFileName + kNameCapacity, L'\0'));
}

int64_t ListedFileSize(uint32_t high, uint32_t low) {
    const uint64_t size = (static_cast<uint64_t>(high) << 32) | low;
    // Beyond INT64_MAX no real file; it would only wrap negative.
    return size > static_cast<uint64_t>(INT64_MAX) ? -1 : static_cast<int64_t>(size);
}

bool ListedSizeMayBeCapped(int64_t size) { return size == INT32_MAX; }

uint32_t WaitWithin(uint32_t boundMs, uint64_t deadlineTick, uint64_t nowTick) {
    if (deadlineTick == 0) return boundMs;
    if (nowTick >= deadlineTick) return 0;
    return static_cast<uint32_t>(std::min<uint64_t>(boundMs, deadlineTick - nowTick));
}

uint64_t EarlierDeadline(uint64_t a, uint64_t b) {
    if (a == 0) return b;
    if (b == 0) return a;
    return std::min(a, b);
}

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

std::wstring FormatSessionError(const wchar_t* title, unsigned long code) {
    // Printed as a signed 32-bit number, as the session's texts always have.
    return std::wstring(title) + L"\r\n ERROR CODE : [ " +
           std::to_wstring(static_cast<int32_t>(static_cast<uint32_t>(code))) + L" ]";
}

const char* SourceFailureName(SourceFailure failure) {
    switch (failure) {
    case SourceFailure::None: return "none";
    case SourceFailure::Certificate: return "certificate";
    case SourceFailure::ProxyAuth: return "proxy-auth";
    case SourceFailure::Unreachable: return "unreachable";
    case SourceFailure::Refused: return "refused";
    }
    return "unknown";
}

bool RestartOffset::Set(int64_t offset) {
    if (offset < 0) return false;
    m_offset = offset;
    return true;
}

int64_t RestartOffset::Take() {
    const int64_t offset = m_offset;
    m_offset = 0;
    return offset;
}
