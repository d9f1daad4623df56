// Fuzzes the edition code taken from the program's own file name and everything built from it: the
// folder mappings, both server-folder forms and the offered row's title.
//
// Input: the file title as length-prefixed characters, repeated (with a flag for the test folders
// before each) until the input ends.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzInput.h"
#include "update/catalogue/logic/Catalogue.h"

namespace {

const std::wstring kProgramName = L"QuorvelDownloader";

bool IsOneOf(const std::wstring& text, std::initializer_list<const wchar_t*> choices) {
    for (const wchar_t* choice : choices) {
        if (text == choice) return true;
    }
    return false;
}

std::vector<std::wstring> SplitAtBackslash(const std::wstring& text) {
    std::vector<std::wstring> parts;
    size_t start = 0;
    for (;;) {
        const size_t sep = text.find(L'\\', start);
        parts.push_back(text.substr(start, sep == std::wstring::npos ? std::wstring::npos : sep - start));
        if (sep == std::wstring::npos) return parts;
        start = sep + 1;
    }
}

void CheckTitle(const std::wstring& title, bool testFolders) {
    const std::wstring source = EditionSourceFromFileTitle(title);
    FUZZ_CHECK(source.size() <= title.size());
    FUZZ_CHECK((title.size() - source.size()) % kProgramName.size() == 0);
    if (title.find(kProgramName) == std::wstring::npos) FUZZ_CHECK(source == title);

    const std::wstring code = EditionCode(source);
    FUZZ_CHECK(code.find(L'.') == std::wstring::npos);
    FUZZ_CHECK(code.size() <= source.size());
    FUZZ_CHECK(ToUpperPath(code) == code);

    const std::wstring edition = EditionFolderOf(source);
    const std::wstring channel = ChannelFolderOf(source);
    const std::wstring oem = OemFolderOf(source);
    FUZZ_CHECK(edition.empty() == channel.empty());
    FUZZ_CHECK(oem == (code.empty() ? L"" : L"OEM"));
    if (code.empty()) FUZZ_CHECK(edition.empty());
    FUZZ_CHECK(edition.empty() || IsOneOf(edition, {L"KESTRA", L"LUMOR", L"PARVEN", L"SOLIA", L"TREVON", L"ULMARIS",
                                                    L"VEDRIX", L"MBI", L"BMS"}));
    FUZZ_CHECK(channel.empty() || IsOneOf(channel, {L"Center", L"Factory", L"BMS"}));

    const std::wstring listing = ListingServerFolder(source, testFolders);
    const std::wstring download = DownloadServerFolder(source, testFolders);
    FUZZ_CHECK(!listing.empty() && listing.front() == L'\\');
    FUZZ_CHECK(!download.empty() && download.back() == L'\\' && download.front() != L'\\');
    FUZZ_CHECK(download == listing.substr(1) + L"\\");
    // Both forms are built only from the fixed folder names: nothing of the file name gets through.
    for (const std::wstring& folder : {listing, download}) {
        FUZZ_CHECK(folder.find(L"..") == std::wstring::npos);
        FUZZ_CHECK(folder.find_first_of(L"/:") == std::wstring::npos);
        for (const std::wstring& part : SplitAtBackslash(folder)) {
            FUZZ_CHECK(part.empty() || part == oem || part == edition || part == channel ||
                       part == L"Software" + TestSuffix(testFolders));
        }
    }
    const std::wstring expected =
        oem.empty() ? L"\\Software" + TestSuffix(testFolders)
                    : L"\\OEM\\" + edition + L"\\" + channel + L"\\Software" + TestSuffix(testFolders);
    FUZZ_CHECK(listing == expected);

    const std::wstring title2 = OfferedRowTitle(source);
    FUZZ_CHECK(edition.empty() ? title2 == L"Talvix-Main" : title2 == edition + L"-" + channel);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    do {
        const bool testFolders = in.Bool();
        CheckTitle(in.Wide(), testFolders);
    } while (!in.Empty());
    return 0;
}
