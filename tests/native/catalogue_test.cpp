// The catalogue's rules: edition code and server folders, the offered row, safe local names.
#include <gtest/gtest.h>

#include <cwchar>
#include <string>
#include <vector>

#include "update/catalogue/logic/Catalogue.h"

namespace {

RemoteEntry Listed(const std::wstring& name, int32_t size = 1000) {
    RemoteEntry info;
    info.size = size;
    info.name = name;
    return info;
}

TEST(EditionCode, FromTheProgramFileName) {
    EXPECT_EQ(EditionCode(L"ksf"), L"KSF");  // no "." at all
    // Removal is case-sensitive and every occurrence goes.
    EXPECT_EQ(EditionSourceFromFileTitle(L"quorveldownloader.exe"), L"quorveldownloader.exe");
    EXPECT_EQ(EditionSourceFromFileTitle(L"QuorvelDownloaderXQuorvelDownloader.exe"), L"X.exe");
}

// The folder the program's file name opens on the server: a few codes of each shape, and the edge
// rules (either case, the code on either side, an exact match only, no code at all).
TEST(EditionCode, TheProgramsNameOpensItsEditionsFolder) {
    const struct {
        const wchar_t* program;
        const wchar_t* listing;       // the listing's folder
        const wchar_t* testDownload;  // the download's folder when the test marker is present
        const wchar_t* row;           // the offered row's title
    } cases[] = {
        {L"KSF.QuorvelDownloader.exe", L"\\OEM\\KESTRA\\Factory\\Software", L"OEM\\KESTRA\\Factory\\SoftwareTest\\",
         L"KESTRA-Factory"},
        {L"luc.QuorvelDownloader.exe", L"\\OEM\\LUMOR\\Center\\Software", L"OEM\\LUMOR\\Center\\SoftwareTest\\",
         L"LUMOR-Center"},
        {L"QuorvelDownloaderVdC.exe", L"\\OEM\\VEDRIX\\Center\\Software", L"OEM\\VEDRIX\\Center\\SoftwareTest\\",
         L"VEDRIX-Center"},
        {L"MBF.QuorvelDownloader.exe", L"\\OEM\\MBI\\Factory\\Software", L"OEM\\MBI\\Factory\\SoftwareTest\\",
         L"MBI-Factory"},
        {L"BMS.QuorvelDownloader.exe", L"\\OEM\\BMS\\BMS\\Software", L"OEM\\BMS\\BMS\\SoftwareTest\\", L"BMS-BMS"},
        // No code: the maker's own folder.
        {L"QuorvelDownloader.exe", L"\\Software", L"SoftwareTest\\", L"Talvix-Main"},
        // A code not in the table, or one letter more or less than a listed one: the OEM folder
        // with two empty components, which no server holds.
        {L"XYZ.QuorvelDownloader.exe", L"\\OEM\\\\\\Software", L"OEM\\\\\\SoftwareTest\\", L"Talvix-Main"},
        {L"KSFX.QuorvelDownloader.exe", L"\\OEM\\\\\\Software", L"OEM\\\\\\SoftwareTest\\", L"Talvix-Main"},
        {L"KS.QuorvelDownloader.exe", L"\\OEM\\\\\\Software", L"OEM\\\\\\SoftwareTest\\", L"Talvix-Main"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.program, c.program + std::wcslen(c.program)));
        const std::wstring source = EditionSourceFromFileTitle(c.program);
        EXPECT_EQ(ListingServerFolder(source, false), c.listing);
        EXPECT_EQ(DownloadServerFolder(source, true), c.testDownload);
        EXPECT_EQ(OfferedRowTitle(source), c.row);
    }
}

TEST(ServerFolder, TheTestMarkerMovesBothFormsToTheTestFolder) {
    EXPECT_EQ(ListingServerFolder(L".exe", true), L"\\SoftwareTest");
    EXPECT_EQ(DownloadServerFolder(L".exe", false), L"Software\\");
    EXPECT_EQ(ListingServerFolder(L"KSF..exe", true), L"\\OEM\\KESTRA\\Factory\\SoftwareTest");
    EXPECT_EQ(DownloadServerFolder(L"KSF..exe", false), L"OEM\\KESTRA\\Factory\\Software\\");
}

TEST(ServerSettings, FixedUserPasswordAndPort) {
    const SourceConnectionSettings s = UpdateServerSettings(L"127.0.0.1");
    EXPECT_EQ(s.host, L"127.0.0.1");
    EXPECT_EQ(s.user, L"autoupdater");
    EXPECT_EQ(s.password, L"Tor%!&6284fern");
    EXPECT_EQ(s.password.size(), 14u);
    EXPECT_EQ(s.port, 5301);
    EXPECT_STREQ(kWorkFolder, L"c:\\Windows\\Temp\\QVUpdate\\");
}

TEST(OfferedRow, VersionAndExtensionRules) {
    EXPECT_EQ(VersionTextOf(L"TALVIX_FULL_240101.exe"), L"240101");
    EXPECT_EQ(VersionTextOf(L"240101.exe"), L"240101");
    // Fewer than six characters before the last ".": the first six of the name.
    EXPECT_EQ(VersionTextOf(L"ab.exe"), L"ab.exe");
    EXPECT_EQ(VersionTextOf(L"abcd.exe"), L"abcd.e");
    EXPECT_EQ(VersionTextOf(L"abc"), L"abc");
    EXPECT_EQ(VersionTextOf(L"abcdefgh"), L"abcdef");
    EXPECT_EQ(VersionTextOf(L""), L"");

    EXPECT_EQ(OfferedExtensionOf(L"TALVIX_FULL_240101.exe"), L"exe");
    EXPECT_EQ(OfferedExtensionOf(L"setup.EXE"), L"EXE");
    EXPECT_EQ(OfferedExtensionOf(L"a.b_setup.txt"), L"txt");
    EXPECT_EQ(OfferedExtensionOf(L"a.exe_notes"), L"not");  // the last "_" field has no "."
    EXPECT_EQ(OfferedExtensionOf(L"a_exefile"), L"exe");
    EXPECT_EQ(OfferedExtensionOf(L"a_b.ex"), L"ex");
    EXPECT_EQ(OfferedExtensionOf(L"a_"), L"");
}

TEST(OfferedRow, FirstSafeSetupFileInServerOrder) {
    EXPECT_EQ(FindOfferedFile({}).index, -1);
    EXPECT_EQ(FindOfferedFile({Listed(L"readme.txt"), Listed(L"SETUP_240101.EXE")}).index, -1);

    const OfferedFile textThenSetup = FindOfferedFile({Listed(L"readme.txt"), Listed(L"TALVIX_FULL_240101.exe")});
    EXPECT_EQ(textThenSetup.index, 1);
    EXPECT_EQ(textThenSetup.serverVersion, L"240101");

    const OfferedFile twoSetups = FindOfferedFile({Listed(L"A_FULL_240101.exe"), Listed(L"B_FULL_240202.exe")});
    EXPECT_EQ(twoSetups.index, 0);
    EXPECT_EQ(twoSetups.serverVersion, L"240101");

    EXPECT_EQ(FindOfferedFile({Listed(L"ab.exe")}).serverVersion, L"ab.exe");
    // The record's size plays no part in the choice.
    EXPECT_EQ(FindOfferedFile({Listed(L"A_240101.exe", -5)}).index, 0);
}

TEST(OfferedRow, NamesThatCouldNeverBeLaunchedAreSkipped) {
    // Each passes the extension rule, but none ends in ".exe": downloaded, it would not be launched.
    for (const wchar_t* name : {L"a_exec", L"X_250101.exeX", L"a.b_exe", L"setup.exe1"}) {
        EXPECT_EQ(OfferedExtensionOf(name), L"exe") << std::wstring(name).size();
        EXPECT_EQ(WhyNotOffered(name), NotOffered::NotASetupProgram);
        EXPECT_EQ(FindOfferedFile({Listed(name), Listed(L"Z_FULL_240303.exe")}).index, 1);
    }
}

TEST(OfferedRow, NamesTooLongToLaunchFromTheWorkFolderAreSkipped) {
    // "c:\Windows\Temp\QVUpdate\" and the name: 25 + 234 characters is the longest path.
    const std::wstring longest = std::wstring(223, L'a') + L"_240101.exe";
    ASSERT_EQ(longest.size(), 234u);
    EXPECT_EQ(FindOfferedFile({Listed(longest), Listed(L"Z_FULL_240303.exe")}).index, 0);
    const std::wstring tooLong = L"b" + longest;
    EXPECT_TRUE(IsSafeLocalFileName(tooLong));  // a valid name, just not from that folder
    EXPECT_EQ(WhyNotOffered(tooLong), NotOffered::PathTooLong);
    EXPECT_EQ(WhyNotOffered(longest), NotOffered::Offerable);
    EXPECT_EQ(FindOfferedFile({Listed(tooLong), Listed(L"Z_FULL_240303.exe")}).index, 1);
}

TEST(OfferedRow, UnsafeNamesAreSkipped) {
    const std::vector<std::wstring> unsafe = {
        L"..\\A_240101.exe", L"../A_240101.exe", L"sub\\A_240101.exe", L"c:A_240101.exe", L"CON.exe",
        L"nul.exe",          L"Com1.exe",        L"LPT9.exe",          L"con .exe",       L"A_240101.exe ",
        L"A\x01_240101.exe", L"A?_240101.exe",   L"A|_240101.exe",     L"A*.exe",         L"A<.exe",
        L"A\".exe",
    };
    for (const std::wstring& name : unsafe) {
        EXPECT_FALSE(IsSafeLocalFileName(name)) << std::string(name.begin(), name.end());
        EXPECT_EQ(WhyNotOffered(name), NotOffered::UnsafeName) << std::string(name.begin(), name.end());
        const OfferedFile offered = FindOfferedFile({Listed(name), Listed(L"Z_FULL_240303.exe")});
        EXPECT_EQ(offered.index, 1) << std::string(name.begin(), name.end());
        EXPECT_EQ(offered.serverVersion, L"240303");
    }
}

TEST(SafeLocalName, WindowsFileNameRules) {
    EXPECT_TRUE(IsSafeLocalFileName(L"TALVIX_FULL_240101.exe"));
    EXPECT_TRUE(IsSafeLocalFileName(L"..exe"));        // dots inside a name are fine
    EXPECT_TRUE(IsSafeLocalFileName(L"CONSOLE.exe"));  // only the exact device names are taken
    EXPECT_TRUE(IsSafeLocalFileName(L"COM0.exe"));
    EXPECT_TRUE(IsSafeLocalFileName(L"\xD0C8\xBE45\xC2A4.exe"));  // Korean letters
    EXPECT_TRUE(IsSafeLocalFileName(std::wstring(251, L'a') + L".exe"));

    EXPECT_FALSE(IsSafeLocalFileName(L""));
    EXPECT_FALSE(IsSafeLocalFileName(L"."));
    EXPECT_FALSE(IsSafeLocalFileName(L".."));
    EXPECT_FALSE(IsSafeLocalFileName(L"setup.exe."));
    EXPECT_FALSE(IsSafeLocalFileName(L"AUX"));
    EXPECT_FALSE(IsSafeLocalFileName(L"prn.txt.exe"));
    EXPECT_FALSE(IsSafeLocalFileName(L"CONIN$.exe"));
    EXPECT_FALSE(IsSafeLocalFileName(L"COM\xB9.exe"));
    EXPECT_FALSE(IsSafeLocalFileName(L"a\tb.exe"));
    EXPECT_FALSE(IsSafeLocalFileName(L"a>b.exe"));
    EXPECT_FALSE(IsSafeLocalFileName(std::wstring(252, L'a') + L".exe"));
}

TEST(UpperCase, NamesAndCodes) {
    EXPECT_EQ(ToUpperPath(L"c:\\Windows\\Temp\\QVUpdate\\talvix_full_240101.exe"),
              L"C:\\WINDOWS\\TEMP\\QVUPDATE\\TALVIX_FULL_240101.EXE");
    EXPECT_EQ(ToUpperPath(L"\xE9t\xE9\xFF\x0107\x0131"), L"\xC9T\xC9\x0178\x0106I");
    EXPECT_EQ(ToUpperPath(L"\x3B1\x3C2\x430\x451"), L"\x391\x3A3\x410\x401");
    EXPECT_EQ(ToUpperPath(L"\xD0C8\xBE45\xC2A4 \xF7\xDF"), L"\xD0C8\xBE45\xC2A4 \xF7\xDF");
}

}  // namespace
