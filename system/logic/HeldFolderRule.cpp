// The rule for a held folder: the components of its path and what was found at each.
#include "system/logic/HeldFolderRule.h"

#include <cwctype>

namespace {

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

// Splits at separators, refusing empty names inside and "." or "..".
bool AppendNames(const std::wstring& rest, std::vector<std::wstring>& steps) {
    size_t start = 0;
    while (start < rest.size()) {
        size_t end = start;
        while (end < rest.size() && !IsSeparator(rest[end])) ++end;
        const std::wstring name = rest.substr(start, end - start);
        // A trailing separator ends the path; two in a row do not name a folder.
        if (name.empty() ? end < rest.size() : !IsPlainName(name)) return false;
        if (!name.empty()) steps.push_back(name);
        start = end + 1;
    }
    return true;
}

}  // namespace

bool IsPlainName(const std::wstring& name) {
    if (name.empty() || name == L"." || name == L"..") return false;
    for (wchar_t c : name)
        if (IsSeparator(c) || c == L':' || c == 0) return false;
    return true;
}

std::vector<std::wstring> FolderPathSteps(const std::wstring& path) {
    std::vector<std::wstring> steps;
    size_t rest = 0;
    if (path.size() >= 3 && std::iswalpha(path[0]) && path[1] == L':' && IsSeparator(path[2])) {
        steps.push_back(path.substr(0, 2) + L"\\");
        rest = 3;
    } else if (path.size() > 2 && IsSeparator(path[0]) && IsSeparator(path[1]) && path[2] != L'?' && path[2] != L'.') {
        // \\server\share\: both names are the root.
        const size_t server = path.find_first_of(L"\\/", 2);
        const size_t share = server == std::wstring::npos ? server : path.find_first_of(L"\\/", server + 1);
        if (server == std::wstring::npos || server == 2) return {};
        const std::wstring shareName =
            path.substr(server + 1, share == std::wstring::npos ? share : share - server - 1);
        if (!IsPlainName(shareName) || !IsPlainName(path.substr(2, server - 2))) return {};
        steps.push_back(L"\\\\" + path.substr(2, server - 2) + L"\\" + shareName + L"\\");
        rest = share == std::wstring::npos ? path.size() : share + 1;
    } else {
        return {};
    }
    if (!AppendNames(path.substr(rest), steps)) return {};
    return steps;
}

FolderJudgement JudgeHeldFolder(const std::vector<PathStep>& steps, const FolderSecurity& security,
                                FolderDemand demand) {
    if (steps.empty()) return {FolderVerdict::NotAFullPath, 0};
    for (size_t i = 0; i < steps.size(); ++i) {
        if (steps[i].reparsePoint) return {FolderVerdict::LinkInPath, i};
        if (!steps[i].folder) return {FolderVerdict::NotAFolder, i};
    }
    const size_t last = steps.size() - 1;
    if (demand == FolderDemand::AnyWriters) return {FolderVerdict::Held, last};
    if (security.owner == Trustee::Other) return {FolderVerdict::OtherOwner, last};
    if (FolderIsPrivate(security.owner, security.hasDacl, security.aces)) return {FolderVerdict::Held, last};
    return {demand == FolderDemand::MadePrivate ? FolderVerdict::MakePrivate : FolderVerdict::OthersMayChange, last};
}

const char* FolderVerdictName(FolderVerdict verdict) {
    switch (verdict) {
    case FolderVerdict::Held: return "held";
    case FolderVerdict::NotAFullPath: return "not-a-full-path";
    case FolderVerdict::LinkInPath: return "link-in-path";
    case FolderVerdict::NotAFolder: return "not-a-folder";
    case FolderVerdict::OtherOwner: return "other-owner";
    case FolderVerdict::OthersMayChange: return "others-may-change";
    case FolderVerdict::MakePrivate: return "others-may-change";
    }
    return "unknown";
}
