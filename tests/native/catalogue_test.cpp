// The catalogue's rules: edition code and server folders, the offered row, safe local names.
#include <gtest/gtest.h>

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
    EXPECT_EQ(EditionSourceFromFileTitle(L"KSF.QuorvelDownloader.exe"), L"KSF..exe");
    EXPECT_EQ(EditionCode(EditionSourceFromFileTitle(L"KSF.QuorvelDownloader.exe")), L"KSF");
    EXPECT_EQ(EditionCode(EditionSourceFromFileTitle(L"ksf.QuorvelDownloader.exe")), L"KSF");
    EXPECT_EQ(EditionCode(EditionSourceFromFileTitle(L"QuorvelDownloader.exe")), L"");
    EXPECT_EQ(EditionCode(EditionSourceFromFileTitle(L"QuorvelDownloaderKSF.exe")), L"KSF");
    EXPECT_EQ(EditionCode(L"ksf"), L"KSF");  // no "." at all
    // Removal is case-sensitive and every occurrence goes.
    EXPECT_EQ(EditionSourceFromFileTitle(L"quorveldownloader.exe"), L"quorveldownloader.exe");
    EXPECT_EQ(EditionSourceFromFileTitle(L"QuorvelDownloaderXQuorvelDownloader.exe"), L"X.exe");
}

TEST(EditionCode, EveryCodeOfTheTable) {
    const struct {
        const wchar_t* code;
        const wchar_t* edition;
        const wchar_t* channel;
    } kCodes[] = {
        {L"KSC", L"KESTRA", L"Center"},  {L"KSF", L"KESTRA", L"Factory"}, {L"LUC", L"LUMOR", L"Center"},
        {L"LUF", L"LUMOR", L"Factory"},  {L"PVC", L"PARVEN", L"Center"},  {L"PVF", L"PARVEN", L"Factory"},
        {L"SOC", L"SOLIA", L"Center"},   {L"SOF", L"SOLIA", L"Factory"},  {L"TRC", L"TREVON", L"Center"},
        {L"TRF", L"TREVON", L"Factory"}, {L"ULC", L"ULMARIS", L"Center"}, {L"ULF", L"ULMARIS", L"Factory"},
        {L"VDC", L"VEDRIX", L"Center"},  {L"VDF", L"VEDRIX", L"Factory"}, {L"MBI", L"MBI", L"Center"},
        {L"MBF", L"MBI", L"Factory"},    {L"BMS", L"BMS", L"BMS"},
    };
    for (const auto& c : kCodes) {
        for (const std::wstring& source : {std::wstring(c.code) + L"..exe", ToUpperPath(c.code) + L"..exe"}) {
            SCOPED_TRACE(std::string(source.begin(), source.end()));
            EXPECT_EQ(EditionFolderOf(source), c.edition);
            EXPECT_EQ(ChannelFolderOf(source), c.channel);
            EXPECT_EQ(OemFolderOf(source), L"OEM");
            EXPECT_EQ(OfferedRowTitle(source), std::wstring(c.edition) + L"-" + c.channel);
        }
        // Lower-case copies map like their upper-case code.
        std::wstring lower(c.code);
        for (wchar_t& ch : lower) ch = static_cast<wchar_t>(ch - L'A' + L'a');
        EXPECT_EQ(EditionFolderOf(lower + L"..exe"), c.edition);
        EXPECT_EQ(ChannelFolderOf(lower + L"..exe"), c.channel);
    }
}

TEST(EditionCode, UnknownAndMissingCodes) {
    EXPECT_EQ(EditionFolderOf(L"XYZ..exe"), L"");
    EXPECT_EQ(ChannelFolderOf(L"XYZ..exe"), L"");
    EXPECT_EQ(OemFolderOf(L"XYZ..exe"), L"OEM");
    EXPECT_EQ(OfferedRowTitle(L"XYZ..exe"), L"Talvix-Main");
    // A code matches exactly: a longer or shorter one is unknown.
    EXPECT_EQ(EditionFolderOf(L"KSFX..exe"), L"");
    EXPECT_EQ(EditionFolderOf(L"KS..exe"), L"");
    EXPECT_EQ(OemFolderOf(L".exe"), L"");
    EXPECT_EQ(EditionFolderOf(L".exe"), L"");
    EXPECT_EQ(OfferedRowTitle(L".exe"), L"Talvix-Main");
    EXPECT_EQ(OfferedRowTitle(L""), L"Talvix-Main");
}

TEST(ServerFolder, BothFormsWithAndWithoutTheTestSuffix) {
    EXPECT_EQ(TestSuffix(true), L"Test");
    EXPECT_EQ(TestSuffix(false), L"");

    EXPECT_EQ(ListingServerFolder(L".exe", false), L"\\Software");
    EXPECT_EQ(ListingServerFolder(L".exe", true), L"\\SoftwareTest");
    EXPECT_EQ(DownloadServerFolder(L".exe", false), L"Software\\");
    EXPECT_EQ(DownloadServerFolder(L".exe", true), L"SoftwareTest\\");

    EXPECT_EQ(ListingServerFolder(L"KSF..exe", false), L"\\OEM\\KESTRA\\Factory\\Software");
    EXPECT_EQ(ListingServerFolder(L"ksf..exe", true), L"\\OEM\\KESTRA\\Factory\\SoftwareTest");
    EXPECT_EQ(DownloadServerFolder(L"KSF..exe", false), L"OEM\\KESTRA\\Factory\\Software\\");
    EXPECT_EQ(DownloadServerFolder(L"KSF..exe", true), L"OEM\\KESTRA\\Factory\\SoftwareTest\\");
    EXPECT_EQ(DownloadServerFolder(L"BMS..exe", false), L"OEM\\BMS\\BMS\\Software\\");

    // An unknown code keeps the OEM folder and leaves two empty components.
    EXPECT_EQ(ListingServerFolder(L"XYZ..exe", false), L"\\OEM\\\\\\Software");
    EXPECT_EQ(DownloadServerFolder(L"XYZ..exe", true), L"OEM\\\\\\SoftwareTest\\");
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
