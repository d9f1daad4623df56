// Fuzzes the listing-to-offered-row rules with any records a server listing can produce: names of
// any length and content (cut by SetName, or a copied record that fills all 260 characters without
// a terminator), sizes of any value.
//
// Input: a flag for the test folders, the program's file title, then per record a mode byte
// (bit 0: fill the raw field; bit 1: the size is the low half of a listed size whose high half
// follows), a 32-bit size and the name.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzInput.h"
#include "update/catalogue/logic/Catalogue.h"
#include "update/sources/logic/FtpPaths.h"

namespace {

constexpr size_t kMaxRecords = 16;
constexpr size_t kNameCapacity = sizeof(FTP_FILE_INFO::szFileName) / sizeof(wchar_t);

bool Offerable(const std::wstring& name) {
    return OfferedExtensionOf(name) == L"exe" && name.size() >= 4 && name.compare(name.size() - 4, 4, L".exe") == 0 &&
           IsSafeLocalFileName(name) && std::wstring(kWorkFolder).size() + name.size() <= kMaxPathLength;
}

FTP_FILE_INFO ReadRecord(FuzzInput& in) {
    FTP_FILE_INFO info;
    const uint8_t mode = in.U8();
    info.dwFileSize = in.I32();
    if (mode & 2) {
        // The size as the server lists it, in two 32-bit halves: all 64 bits kept.
        const uint32_t low = static_cast<uint32_t>(info.dwFileSize);
        const uint32_t high = in.U32();
        info.dwFileSize = ListedFileSize(high, low);
        const uint64_t size = (static_cast<uint64_t>(high) << 32) | low;
        FUZZ_CHECK(info.dwFileSize == (size <= static_cast<uint64_t>(INT64_MAX) ? static_cast<int64_t>(size) : -1));
    }
    const std::wstring name = in.Wide();
    if (mode & 1) {
        // A record copied from elsewhere: the name repeated over the whole field, no terminator.
        for (size_t i = 0; i < kNameCapacity; ++i)
            info.szFileName[i] = name.empty() ? L'x' : (name[i % name.size()] ? name[i % name.size()] : L'y');
    } else {
        info.SetName(name);
        FUZZ_CHECK(info.Name() == name.substr(0, std::min(name.find(L'\0'), kNameCapacity - 1)));
    }
    return info;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    const bool testFolders = in.Bool();
    const std::wstring editionSource = EditionSourceFromFileTitle(in.Wide());
    std::vector<FTP_FILE_INFO> files;
    while (!in.Empty() && files.size() < kMaxRecords) files.push_back(ReadRecord(in));

    for (const FTP_FILE_INFO& info : files) {
        const std::wstring name = info.Name();
        FUZZ_CHECK(name.size() <= kNameCapacity);
        const std::wstring version = VersionTextOf(name);
        const std::wstring extension = OfferedExtensionOf(name);
        FUZZ_CHECK(version.size() <= 6 && name.find(version) != std::wstring::npos);
        FUZZ_CHECK(extension.size() <= 3 && name.find(extension) != std::wstring::npos);
    }

    const OfferedFile offered = FindOfferedFile(files);
    FUZZ_CHECK(offered.index >= -1 && offered.index < static_cast<int>(files.size()));
    const size_t first = offered.index < 0 ? files.size() : static_cast<size_t>(offered.index);
    for (size_t i = 0; i < first; ++i) FUZZ_CHECK(!Offerable(files[i].Name()));
    if (offered.index < 0) return 0;

    const std::wstring name = files[first].Name();
    FUZZ_CHECK(IsSafeLocalFileName(name));
    FUZZ_CHECK(OfferedExtensionOf(name) == L"exe");
    FUZZ_CHECK(offered.serverVersion == VersionTextOf(name));
    FUZZ_CHECK(name.size() <= 255);

    // The remote path the worker opens keeps the name as the last component of the edition's folder.
    const std::wstring serverFolder = DownloadServerFolder(editionSource, testFolders);
    const std::wstring folder = ToFtpServerPath(BuildFtpOpenPath(serverFolder));
    const std::wstring remote = ToFtpServerPath(BuildFtpOpenPath(serverFolder + name));
    FUZZ_CHECK(remote == folder + name);
    return 0;
}
