#include "update/sources/logic/SourceSession.h"

#include <algorithm>
#include <cstdint>

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
