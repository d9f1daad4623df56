// Rules of the update catalogue: the server folder from the program's file name, the offered row,
// and the names that may be saved into the work folder.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "update/sources/logic/SourceSession.h"
#include "update/release/logic/ReleaseStatement.h"

// Folder the downloads go to and the hand-off reads; ends in a backslash.
inline const wchar_t kWorkFolder[] = L"c:\\Windows\\Temp\\QVUpdate\\";
// Marker file beside the program that switches to the test folders.
inline const wchar_t kTestMarkerFile[] = L"KOR_FT.ini";

inline const wchar_t kUpdateUser[] = L"autoupdater";
inline const wchar_t kUpdatePassword[] = L"Tor%!&6284fern";
constexpr uint16_t kUpdatePort = 5301;

// The update server's settings around the host name, which is a build setting.
SourceConnectionSettings UpdateServerSettings(const std::wstring& host);

// Upper case for file names and codes: ASCII, Latin-1, Latin Extended-A, basic Greek and
// Cyrillic, full-width Latin. Enough for names the file system compares without case.
std::wstring ToUpperPath(const std::wstring& text);

// The program's file name with every "QuorvelDownloader" removed (case-sensitive).
std::wstring EditionSourceFromFileTitle(const std::wstring& fileTitle);
// The code: the edition source up to its first ".", in upper case.
std::wstring EditionCode(const std::wstring& editionSource);

// Mappings of the edition code, read from the edition source.
std::wstring EditionFolderOf(const std::wstring& editionSource);  // empty for an unknown code
std::wstring ChannelFolderOf(const std::wstring& editionSource);  // empty for an unknown code
std::wstring OemFolderOf(const std::wstring& editionSource);      // "OEM" for any non-empty code
std::wstring TestSuffix(bool testMarkerPresent);                  // "Test" or empty

// "\Software[Test]" or "\OEM\edition\channel\Software[Test]", for ListFiles.
std::wstring ListingServerFolder(const std::wstring& editionSource, bool testMarkerPresent);
// "Software[Test]\" or "OEM\edition\channel\Software[Test]\", joined directly with a file name.
std::wstring DownloadServerFolder(const std::wstring& editionSource, bool testMarkerPresent);

// Title of the offered row: "edition-channel", or "Talvix-Main" when the edition is unknown.
std::wstring OfferedRowTitle(const std::wstring& editionSource);

// The six characters before the last "." of the name, or its first six characters when that "."
// is fewer than six from the start or missing.
std::wstring VersionTextOf(const std::wstring& name);
// Up to three characters after the last "." of the last "_" field, or the field's first three.
std::wstring OfferedExtensionOf(const std::wstring& name);

// True when the name can be saved as one file inside the work folder: a single valid Windows file
// name component (no separators, drive colon, control or reserved characters, trailing dot or
// space, device name, or more than 255 characters), so it can never land anywhere else.
bool IsSafeLocalFileName(const std::wstring& name);

struct OfferedFile {
    int index = -1;              // record offered, or -1 when none is
    std::wstring serverVersion;  // shown in the row's version column: the release's version, or the name's
};

// Longest path Windows programs open and launch (MAX_PATH without its terminator).
constexpr size_t kMaxPathLength = 259;

// The one rule of what a setup program is: a listed name whose last "_" field has the extension
// "exe" and that ends in ".exe", in that case ("a.exeX", "a_exec" and "A.EXE" are not). The worker
// saves it under its upper-case name (LocalNameOf), so a saved setup program is a path that ends in
// ".EXE": IsSavedSetupProgram.
bool IsSetupProgramName(const std::wstring& listedName);
bool IsSavedSetupProgram(const std::wstring& savedPath);

// Why a listed name cannot be offered, or Offerable when it could be.
enum class NotOffered { Offerable, NotASetupProgram, UnsafeName, PathTooLong, NotInRelease, SizeDiffers };
NotOffered WhyNotOffered(const std::wstring& name);
// The same for a listed file under the maker's release statement, when there is one: the statement
// must name it, with the size the listing shows.
NotOffered WhyNotOffered(const RemoteEntry& file, const ReleaseStatement* release);

// The record to offer among those whose extension is "exe" exactly, whose name is safe to save and
// short enough to launch from the work folder: without a release statement the first in the server's
// order; with one, among the records it names with their listed size, the one of the newest version
// it names (the first of them on a tie), whatever the order of the listing or of the statement.
OfferedFile FindOfferedFile(const std::vector<RemoteEntry>& files, const ReleaseStatement* release = nullptr);

// Whether a source offers the maker's release: the newest setup program the statement names. Needed
// only where it is newer than the installed scanner (or none is installed); a source that lists an
// older one only, or the newest at another size, withholds it, and the next source is asked.
enum class ReleaseHeld { Offered, NotNeeded, NotListed, SizeDiffers };
struct ReleaseOffer {
    ReleaseHeld held = ReleaseHeld::NotNeeded;
    const ReleaseFile* newest = nullptr;  // the release's setup program, when the statement names one
};
ReleaseOffer JudgeReleaseOffer(const std::vector<RemoteEntry>& files, const ReleaseStatement& release,
                               const std::optional<FourPartVersion>& installed);
const char* ReleaseHeldName(ReleaseHeld held);
