// Fuzzes the listing-to-offered-row rules with any records a server listing can produce: names of
// any content up to the 259 characters a listing keeps (a longer one arrives cut), sizes of any
// value.
//
// Input: a flag for the test folders, the program's file title, then per record a mode byte
// (bit 0: the name repeated over the whole 259 characters; bit 1: the size is the low half of a
// listed size whose high half follows), a 32-bit size and the name.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzInput.h"
#include "update/catalogue/logic/Catalogue.h"
#include "update/sources/logic/FtpPaths.h"

namespace {

constexpr size_t kMaxRecords = 16;
constexpr size_t kListedNameLimit = 259;

bool Offerable(const std::wstring& name) {
    return OfferedExtensionOf(name) == L"exe" && name.size() >= 4 && name.compare(name.size() - 4, 4, L".exe") == 0 &&
           IsSafeLocalFileName(name) && std::wstring(kWorkFolder).size() + name.size() <= kMaxPathLength;
}

RemoteEntry ReadRecord(FuzzInput& in) {
    RemoteEntry info;
    const uint8_t mode = in.U8();
    info.size = in.I32();
    if (mode & 2) {
        // The size as the server lists it, in two 32-bit halves: all 64 bits kept.
        const uint32_t low = static_cast<uint32_t>(info.size);
        const uint32_t high = in.U32();
        info.size = ListedFileSize(high, low);
        const uint64_t size = (static_cast<uint64_t>(high) << 32) | low;
        FUZZ_CHECK(info.size == (size <= static_cast<uint64_t>(INT64_MAX) ? static_cast<int64_t>(size) : -1));
    }
    const std::wstring name = in.Wide();
    if (mode & 1) {
        for (size_t i = 0; i < kListedNameLimit; ++i)
            info.name += name.empty() ? L'x' : (name[i % name.size()] ? name[i % name.size()] : L'y');
    } else {
        // The listing ends a name at its terminator and cuts it where the platform's field ends.
        info.name = name.substr(0, std::min(name.find(L'\0'), kListedNameLimit));
    }
    return info;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    const bool testFolders = in.Bool();
    const std::wstring editionSource = EditionSourceFromFileTitle(in.Wide());
    std::vector<RemoteEntry> files;
    while (!in.Empty() && files.size() < kMaxRecords) files.push_back(ReadRecord(in));

    for (const RemoteEntry& info : files) {
        const std::wstring name = info.name;
        FUZZ_CHECK(name.size() <= kListedNameLimit);
        const std::wstring version = VersionTextOf(name);
        const std::wstring extension = OfferedExtensionOf(name);
        FUZZ_CHECK(version.size() <= 6 && name.find(version) != std::wstring::npos);
        FUZZ_CHECK(extension.size() <= 3 && name.find(extension) != std::wstring::npos);
    }

    const OfferedFile offered = FindOfferedFile(files);
    FUZZ_CHECK(offered.index >= -1 && offered.index < static_cast<int>(files.size()));
    const size_t first = offered.index < 0 ? files.size() : static_cast<size_t>(offered.index);
    for (size_t i = 0; i < first; ++i) FUZZ_CHECK(!Offerable(files[i].name));
    if (offered.index < 0) return 0;

    const std::wstring name = files[first].name;
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
