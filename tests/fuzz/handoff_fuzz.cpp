// Fuzzes the hand-off: the ordering of any set of paths (checked to be a strict weak ordering on
// the sample), the text of the hand-off file and the choice of the setup program to launch.
//
// Input: length-prefixed paths until the input ends (at most 16).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzInput.h"
#include "update/catalogue/logic/Catalogue.h"
#include "update/handoff/logic/HandOffLogic.h"

namespace {

constexpr size_t kMaxPaths = 16;

void CheckOrdering(const std::vector<std::wstring>& paths) {
    const size_t n = paths.size();
    std::vector<std::vector<bool>> less(n, std::vector<bool>(n));
    for (size_t i = 0; i < n; ++i)
        for (size_t j = 0; j < n; ++j) less[i][j] = CompareInstallFiles(paths[i], paths[j]);
    const auto same = [&](size_t i, size_t j) { return !less[i][j] && !less[j][i]; };
    for (size_t a = 0; a < n; ++a) {
        FUZZ_CHECK(!less[a][a]);
        for (size_t b = 0; b < n; ++b) {
            if (less[a][b]) FUZZ_CHECK(!less[b][a]);
            for (size_t c = 0; c < n; ++c) {
                if (less[a][b] && less[b][c]) FUZZ_CHECK(less[a][c]);
                if (same(a, b) && same(b, c)) FUZZ_CHECK(same(a, c));
            }
        }
    }
}

// The lines of the text, each without its CR LF; false when a line lacks one.
bool SplitCrLfLines(const std::wstring& text, std::vector<std::wstring>& lines) {
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = text.find(L"\r\n", start);
        if (end == std::wstring::npos) return false;
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return true;
}

void CheckHandOffText(const std::vector<std::wstring>& sorted) {
    const std::wstring text = BuildHandOffText(sorted);
    // Paths from the file system never hold line breaks; only then can the lines be counted.
    for (const std::wstring& path : sorted) {
        if (path.find_first_of(L"\r\n") != std::wstring::npos) return;
    }
    std::vector<std::wstring> lines;
    FUZZ_CHECK(SplitCrLfLines(text, lines));
    FUZZ_CHECK(lines.size() == sorted.size() + 2);
    FUZZ_CHECK(lines[0] == L"[NEXT_FILE]" && lines[1] == L"INDEX =0");
    for (size_t k = 0; k < sorted.size(); ++k) FUZZ_CHECK(lines[k + 2] == std::to_wstring(k) + L" = " + sorted[k]);
}

void CheckLaunchChoice(const std::vector<std::wstring>& sorted) {
    const std::wstring chosen = ChooseSetupToLaunch(sorted);
    const auto endsInExe = [](const std::wstring& path) {
        const std::wstring upper = ToUpperPath(path);
        return upper.size() >= 4 && upper.compare(upper.size() - 4, 4, L".EXE") == 0;
    };
    const auto first = std::find_if(sorted.begin(), sorted.end(), endsInExe);
    FUZZ_CHECK(chosen == (first == sorted.end() ? std::wstring() : ToUpperPath(*first)));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    std::vector<std::wstring> paths;
    while (!in.Empty() && paths.size() < kMaxPaths) paths.push_back(in.Wide());

    for (const std::wstring& path : paths) {
        const long version = InstallFileVersion(path);
        FUZZ_CHECK(version >= -99999 && version <= 999999);
        const int rank = InstallFileKindRank(path);
        FUZZ_CHECK(rank >= 0 && rank <= 5);
    }
    CheckOrdering(paths);

    std::vector<std::wstring> sorted = paths;
    SortInstallFiles(sorted);
    FUZZ_CHECK(std::is_sorted(sorted.begin(), sorted.end(), CompareInstallFiles));
    std::vector<std::wstring> a = paths, b = sorted;
    std::sort(a.begin(), a.end());
    std::sort(b.begin(), b.end());
    FUZZ_CHECK(a == b);
    FUZZ_CHECK(NeedsHandOffFile(sorted.size()) == (sorted.size() >= 2));

    CheckHandOffText(sorted);
    CheckLaunchChoice(sorted);
    return 0;
}
