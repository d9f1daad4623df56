// Ordering and hand-off text of the files in the work folder.
#include "update/handoff/logic/HandOffLogic.h"

#include <algorithm>

#include "update/catalogue/logic/Catalogue.h"

namespace {

bool IsWideSpace(wchar_t c) { return c == L' ' || (c >= L'\t' && c <= L'\r'); }

}  // namespace

long InstallFileVersion(const std::wstring& path) {
    const std::wstring text = VersionTextOf(path);
    size_t i = 0;
    while (i < text.size() && IsWideSpace(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == L'+' || text[i] == L'-')) negative = text[i++] == L'-';
    long value = 0;  // at most six digits, so no overflow
    for (; i < text.size() && text[i] >= L'0' && text[i] <= L'9'; ++i) value = value * 10 + (text[i] - L'0');
    return negative ? -value : value;
}

int InstallFileKindRank(const std::wstring& path) {
    const size_t first = path.find(L'_');
    if (first == std::wstring::npos) return 5;
    const size_t second = path.find(L'_', first + 1);
    const std::wstring kind =
        path.substr(first + 1, second == std::wstring::npos ? std::wstring::npos : second - first - 1);
    static const wchar_t* const kKinds[] = {L"FULL", L"APP", L"DIAG", L"FW", L"OS"};
    for (int rank = 0; rank < 5; ++rank) {
        if (kind == kKinds[rank]) return rank;
    }
    return 5;
}

bool CompareInstallFiles(const std::wstring& a, const std::wstring& b) {
    const long versionA = InstallFileVersion(a);
    const long versionB = InstallFileVersion(b);
    if (versionA != versionB) return versionA > versionB;
    const int rankA = InstallFileKindRank(a);
    const int rankB = InstallFileKindRank(b);
    if (rankA != rankB) return rankA < rankB;
    return a < b;
}

void SortInstallFiles(std::vector<std::wstring>& paths) { std::sort(paths.begin(), paths.end(), CompareInstallFiles); }

bool NeedsHandOffFile(size_t count) { return count >= 2; }

std::wstring BuildHandOffText(const std::vector<std::wstring>& sortedPaths) {
    std::wstring text = L"[NEXT_FILE]\r\nINDEX =0\r\n";
    for (size_t k = 0; k < sortedPaths.size(); ++k) {
        text += std::to_wstring(k) + L" = " + sortedPaths[k] + L"\r\n";
    }
    return text;
}

std::wstring HandOffPathOf(const std::wstring& workFolder, const std::wstring& writtenPath) {
    const size_t slash = writtenPath.find_last_of(L"\\/");
    const std::wstring name = slash == std::wstring::npos ? writtenPath : writtenPath.substr(slash + 1);
    std::wstring folder = workFolder;
    if (folder.empty() || folder.back() != L'\\') folder += L'\\';
    return folder + name;
}

std::wstring ChooseSetupToLaunch(const std::vector<std::wstring>& sortedPaths) {
    for (const std::wstring& path : sortedPaths) {
        const std::wstring upper = ToUpperPath(path);
        if (IsSavedSetupProgram(upper)) return upper;
    }
    return std::wstring();
}
