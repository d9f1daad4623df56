#include "system/logic/ProbePaths.h"

#include <cstdio>

std::vector<std::wstring> FolderTreeSteps(const std::wstring& path) {
    std::vector<std::wstring> steps;
    std::wstring prefix;
    size_t start = 0;
    for (size_t p = 0; p < path.size(); ++p) {
        if (path[p] != L'\\' && path[p] != L'/') continue;
        prefix += path.substr(start, p - start);
        steps.push_back(prefix);
        prefix += L'/';
        start = p + 1;
    }
    prefix += path.substr(start);
    steps.push_back(prefix);
    return steps;
}

std::wstring FolderOfPath(const std::wstring& path) {
    const size_t slash = path.rfind(L'\\');
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

std::wstring TitleOfPath(const std::wstring& path) {
    const size_t slash = path.rfind(L'\\');
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

std::wstring WithTrailingBackslash(const std::wstring& folder) {
    if (!folder.empty() && folder.back() == L'\\') return folder;
    return folder + L'\\';
}

bool EndsWithDot(const std::wstring& name) { return !name.empty() && name.back() == L'.'; }

std::wstring FileVersionKey(uint32_t translation) {
    char digits[9];
    std::snprintf(digits, sizeof digits, "%04x%04x", static_cast<unsigned>(translation & 0xFFFF),
                  static_cast<unsigned>(translation >> 16));
    return L"\\StringFileInfo\\" + std::wstring(digits, digits + 8) + L"\\FileVersion";
}

std::wstring BitnessText(unsigned long majorVersion, unsigned processorArchitecture) {
    constexpr unsigned kArchitectureX86 = 0;
    constexpr unsigned kArchitectureX64 = 9;
    if (majorVersion < 5) return std::wstring();
    if (processorArchitecture == kArchitectureX64) return L"64 Bit";
    if (processorArchitecture == kArchitectureX86) return L"32 Bit";
    return std::wstring();
}

MachineLookups LookupsOf(unsigned programBits, const std::wstring& windowsBitness) {
    constexpr int kProgramFilesX86 = 0x2A;
    constexpr int kProgramFiles = 0x26;
    // A 64-bit program runs only on 64-bit Windows, whatever an older probe reported.
    const bool windows64 = programBits == 64 || windowsBitness == L"64 Bit";
    return {windows64 ? kProgramFilesX86 : kProgramFiles, RegistryView::Native};
}

std::wstring ScannerExecutablePath(const std::wstring& programFiles) {
    return programFiles + L"\\QuorvelSystems\\TALVIX" + L"\\TALVIX.exe";
}
