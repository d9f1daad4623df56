#include "update/logic/FtpTypes.h"

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

int32_t ListedFileSize(uint32_t high, uint32_t low) {
    if (high != 0 || low > static_cast<uint32_t>(INT32_MAX)) return -1;
    return static_cast<int32_t>(low);
}

std::wstring FormatFtpError(const wchar_t* title, unsigned long code) {
    // Printed as a signed 32-bit number, as the session's texts always have.
    return std::wstring(title) + L"\r\n ERROR CODE : [ " +
           std::to_wstring(static_cast<int32_t>(static_cast<uint32_t>(code))) + L" ]";
}
