#include "update/sources/logic/FtpPaths.h"

std::wstring BuildFtpSearchPath(const std::wstring& folder, const std::wstring& ext) {
    std::wstring directory;
    if (!folder.empty()) {
        directory = L"\\" + folder;
        if (folder.back() != L'\\') directory += L'\\';
    }
    const std::wstring mask = (!ext.empty() && ext.front() == L'.') ? L"*" + ext : L"*." + ext;
    return directory + mask;
}

std::wstring BuildFtpOpenPath(const std::wstring& path) {
    if (!path.empty() && path.front() == L'\\') return path;
    return L"\\" + path;
}

std::wstring ToFtpServerPath(const std::wstring& path) {
    std::wstring result;
    result.reserve(path.size());
    for (wchar_t c : path) {
        const bool separator = c == L'\\' || c == L'/';
        if (separator && !result.empty() && result.back() == L'/') continue;
        result += separator ? L'/' : c;
    }
    return result;
}
