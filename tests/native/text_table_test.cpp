// The text table as the program carries it: the resource bytes, the parse, the language choice
// and the progress format.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "system/logic/TextTable.h"
#include "system/logic/Utf8.h"

namespace {

struct TableRow {
    const wchar_t* english;
    const wchar_t* korean;
};

// The texts as loaded: each \n below is the line break the resource writes as backslash-n.
const TableRow kTable[] = {
    {L"Updatable", L"업데이트 가능"},                                                                 // 0
    {L"Latest", L"최신"},                                                                             // 1
    {L"Completed", L"완료"},                                                                          // 2
    {L"Setup Program", L"설치 프로그램"},                                                             // 3
    {L"Current Ver", L"현재 버전"},                                                                   // 4
    {L"Final Ver", L"최종 버전"},                                                                     // 5
    {L"Updating Status", L"진행 사항"},                                                               // 6
    {L"Check Server", L"서버 확인"},                                                                  // 7
    {L"Start Installation", L"설치 시작"},                                                            // 8
    {L"Server connection failure", L"서버 연결 실패"},                                                // 9
    {L"Please check internet connection and try again", L"인터넷 연결 확인 후 다시 시도해 주세요."},  // 10
    {L"This is a Tal-vix Internet automatic installation program.Click \n\n[Start Installation ] button.",
     L"탈빅스 인터넷 자동 설치 프로그램 입니다.\n[ 설치 시작 ] 버튼을 클릭하세요."},  // 11
    {L"[Checking the server ..]\nPlease contact the administrator.",
     L"[ 서버 점검 중.. ]\n관리자에게 문의 바랍니다."},                       // 12
    {L"Invalid update file.", L"잘못된 업데이트 파일 입니다."},               // 13
    {L"Please try again.", L"다시 시도해주십시오."},                          // 14
    {L"Failed to connect to server.", L"서버에 접속하지 못했습니다."},        // 15
    {L"The server cannot open the file.", L"서버의 파일을 열 수 없습니다."},  // 16
    {L"Downloading from update server is in progress.Please maintain \n\n connection status.",
     L"업데이트 서버로부터 다운로드를 진행하고 있습니다.\n연결상태를 유지하여 주세요."},     // 17
    {L"[ %s ] Server disconnected .. retrying ..", L"[ %s ] 서버 접속 끊김.. 재시도 중.."},  // 18
    {L"File download error [ 101 ]", L"파일을 다운로드 에러 [ 101 ]"},                       // 19
    {L"File download error [ 102 ]", L"파일을 다운로드 에러 [ 102 ]"},                       // 20
    {L"The download has been completed and are being preparing for installation.\nPlease wait a moment.",
     L"다운로드가 완료되어 설치를 준비중 입니다.\n잠시만 기다려 주십시오."},             // 21
    {L"Please select an updateable file.", L"업데이트 가능한 파일을 선택해 주십시오."},  // 22
    {L"Failed to create update list.", L"업데이트 리스트를 생성하지 못했습니다."},       // 23
    {L"An error occurred while creating the update list file.",
     L"업데이트 리스트 파일을 생성하는 도중 오류가 발생했습다."},  // 24
    {L"No items are selected.", L"선택된 항목이 없습니다."},       // 25
    {L" %.0f / 100[%%]", L"진행중..%.0f%s"},                       // 26
    {L"The diagnostic module must be connected when installing the program.",
     L"프로그램 설치 시 진단 모듈이 연결되어 있어야 합니다."},  // 27
    {L"Check the power or connection of the diagnostic module.",
     L"진단 모듈의 전원 또는 연결 상태를 확인 해 주세요."},  // 28
    {L"Unable to open file.", L"파일을 열 수 없습니다."},    // 29
    {L"Exit", L"닫기"},                                      // 30
    {L"Another update is running on this PC.\nPlease try again after it ends.",
     L"이 PC에서 다른 업데이트가\n진행 중입니다.\n끝난 후 다시 시도해 주세요."},  // 31
    {L"The latest release is not offered by the update server.", L"업데이트 서버가 최신 버전을 제공하지 않습니다."},
    {L"This PC's date is wrong: %s", L"이 PC의 날짜가 잘못되었습니다: %s"},
    {L"Please set the correct date and time, then try again.", L"올바른 날짜와 시간을 설정한 후 다시 시도해 주십시오."},
};
constexpr size_t kLines = std::size(kTable);

std::string ReadResourceBytes() {
    std::ifstream in(QV_SOURCE_DIR "/resources/TextTable.txt", std::ios::binary);
    EXPECT_TRUE(in.good()) << "resources/TextTable.txt not found";
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return bytes.substr(0, bytes.find('\0'));  // the loader's text ends at the first zero byte
}

std::vector<std::wstring> LoadTable(int languageIndex) {
    return ParseTextTable(Utf8ToWide(ReadResourceBytes()), languageIndex);
}

size_t Count(const std::wstring& text, wchar_t c) {
    size_t n = 0;
    for (wchar_t x : text) n += x == c;
    return n;
}

TEST(TextTableResource, IsUtf8LinesWithCrLfAndNoBom) {
    const std::string bytes = ReadResourceBytes();
    ASSERT_GE(bytes.size(), 3u);
    EXPECT_NE(bytes.substr(0, 3), "\xEF\xBB\xBF");
    size_t lines = 0;
    size_t start = 0;
    for (size_t pos; (pos = bytes.find("\r\n", start)) != std::string::npos; start = pos + 2) {
        ASSERT_GT(pos, start) << "empty line " << lines;
        EXPECT_EQ(bytes[pos - 1], ';') << "line " << lines;
        ++lines;
    }
    EXPECT_EQ(lines, kLines);
    EXPECT_EQ(start, bytes.size()) << "the last line must end in CR LF";
    EXPECT_EQ(std::count(bytes.begin(), bytes.end(), '\r'), static_cast<std::ptrdiff_t>(kLines));
    EXPECT_EQ(std::count(bytes.begin(), bytes.end(), '\n'), static_cast<std::ptrdiff_t>(kLines));
    EXPECT_EQ(std::count(bytes.begin(), bytes.end(), '^'), static_cast<std::ptrdiff_t>(kLines));
    EXPECT_EQ(Utf8ToWide(bytes).find(L'\xFFFD'), std::wstring::npos) << "malformed UTF-8";
}

TEST(TextTableResource, BothLanguagesMatchTheTableEntryByEntry) {
    const std::vector<std::wstring> english = LoadTable(0);
    const std::vector<std::wstring> korean = LoadTable(1);
    ASSERT_EQ(english.size(), kLines + 1);
    ASSERT_EQ(korean.size(), kLines + 1);
    for (size_t k = 0; k < kLines; ++k) {
        EXPECT_EQ(english[k], kTable[k].english) << "entry " << k;
        EXPECT_EQ(korean[k], kTable[k].korean) << "entry " << k;
    }
    EXPECT_EQ(english[kLines], L"");
    EXPECT_EQ(korean[kLines], L"");
}

TEST(TextTableResource, LineBreaksOnlyWhereTheResourceHasBackslashN) {
    const std::vector<std::wstring> english = LoadTable(0);
    const std::vector<std::wstring> korean = LoadTable(1);
    ASSERT_EQ(english.size(), kLines + 1);
    ASSERT_EQ(korean.size(), kLines + 1);
    EXPECT_NE(english[11].find(L"Click \n\n[Start Installation ] button."), std::wstring::npos);
    EXPECT_EQ(Count(english[11], L'\n'), 2u);
    EXPECT_EQ(Count(korean[11], L'\n'), 1u);
    size_t englishBreaks = 0, koreanBreaks = 0;
    for (size_t k = 0; k <= kLines; ++k) {
        EXPECT_EQ(Count(english[k], L'\r'), 0u) << "entry " << k;
        EXPECT_EQ(Count(korean[k], L'\r'), 0u) << "entry " << k;
        englishBreaks += Count(english[k], L'\n');
        koreanBreaks += Count(korean[k], L'\n');
    }
    // English: two breaks in entries 11 and 17, one in 12, 21 and 31; Korean: one in each of these
    // but 31, which has two.
    EXPECT_EQ(englishBreaks, 7u);
    EXPECT_EQ(koreanBreaks, 6u);
}

TEST(TextTableParse, FieldsColumnsAndLineRules) {
    // A field without "^" has no Korean column.
    EXPECT_EQ(ParseTextTable(L"abc;def^ghi;", 0), (std::vector<std::wstring>{L"abc", L"def"}));
    EXPECT_EQ(ParseTextTable(L"abc;def^ghi;", 1), (std::vector<std::wstring>{L"", L"ghi"}));
    // A third column is only reached by its own index; the column ends at the next "^".
    EXPECT_EQ(ParseTextTable(L"a^b^c", 1), (std::vector<std::wstring>{L"b"}));
    EXPECT_EQ(ParseTextTable(L"a^b^c", 2), (std::vector<std::wstring>{L"c"}));
    EXPECT_EQ(ParseTextTable(L"a^b", 5), (std::vector<std::wstring>{L""}));
    // The table ends at the first empty field and after the last separator's field.
    EXPECT_EQ(ParseTextTable(L"a;;b;", 0), (std::vector<std::wstring>{L"a"}));
    EXPECT_EQ(ParseTextTable(L"a;b", 0), (std::vector<std::wstring>{L"a", L"b"}));
    EXPECT_TRUE(ParseTextTable(L"", 0).empty());
    EXPECT_TRUE(ParseTextTable(L";a;", 0).empty());
    // CR LF pairs go, single CRs and line feeds stay; backslash-n becomes a line feed first.
    EXPECT_EQ(ParseTextTable(L"x\r\ny\rz\\nw;", 0), (std::vector<std::wstring>{L"xy\rz\nw"}));
    EXPECT_EQ(ParseTextTable(L"a\\\\nb;", 0), (std::vector<std::wstring>{L"a\\\nb"}));
    // A line that is only CR LF is not empty, so it adds an empty entry.
    EXPECT_EQ(ParseTextTable(L"a^b;\r\n", 1), (std::vector<std::wstring>{L"b", L""}));
}

TEST(TextTableParse, Utf8Conversion) {
    EXPECT_EQ(Utf8ToWide("A\xEC\xA7\x84"), L"A\xC9C4");  // "A진"
    // Malformed input is replaced, never dropped silently and never read past its end.
    EXPECT_EQ(Utf8ToWide("\xC0\xAF"), L"\xFFFD\xFFFD");
    EXPECT_EQ(Utf8ToWide("\xED\xA0\x80"), L"\xFFFD\xFFFD\xFFFD");
    EXPECT_EQ(Utf8ToWide("a\xE2\x82"), L"a\xFFFD");
    EXPECT_EQ(Utf8ToWide("\x80z"), L"\xFFFDz");
    const std::wstring emoji = Utf8ToWide("\xF0\x9F\x98\x80");
    if (sizeof(wchar_t) == 2) {
        ASSERT_EQ(emoji.size(), 2u);
        EXPECT_EQ(static_cast<unsigned>(emoji[0]), 0xD83Du);
        EXPECT_EQ(static_cast<unsigned>(emoji[1]), 0xDE00u);
    } else {
        ASSERT_EQ(emoji.size(), 1u);
        EXPECT_EQ(static_cast<unsigned>(emoji[0]), 0x1F600u);
    }
}

TEST(LanguageChoice, UiLanguageAndSystemLanguage) {
    EXPECT_EQ(LanguageIndexFromUiLanguage(0x0412), 1);
    EXPECT_EQ(LanguageIndexFromUiLanguage(0x0409), 0);
    EXPECT_EQ(LanguageIndexFromUiLanguage(0x0812), 0);  // Korean (Johab) is not Korean (Korea)
    EXPECT_EQ(LanguageIndexFromUiLanguage(0x0012), 0);

    const struct {
        unsigned primary;
        int index;
    } kSystem[] = {
        {0x12, 1},  {0x19, 5},  {0x0A, 6},  {0x06, 7}, {0x08, 8}, {0x10, 9}, {0x15, 10}, {0x16, 11},
        {0x1F, 12}, {0x07, 13}, {0x01, 19}, {0x09, 0}, {0x0C, 0}, {0x11, 0}, {0x00, 0},
    };
    for (const auto& c : kSystem) {
        EXPECT_EQ(LanguageIndexFromSystemPrimaryLanguage(c.primary), c.index) << std::hex << c.primary;
    }
    // A whole LANGID gives the index of its primary language.
    EXPECT_EQ(LanguageIndexFromSystemPrimaryLanguage(0x0412), 1);
    EXPECT_EQ(LanguageIndexFromSystemPrimaryLanguage(0x0C0A), 6);
    EXPECT_EQ(LanguageIndexFromSystemPrimaryLanguage(0x0409), 0);
}

TEST(ProgressText, BothTableFormats) {
    const std::vector<std::wstring> english = LoadTable(0);
    const std::vector<std::wstring> korean = LoadTable(1);
    ASSERT_GT(english.size(), 26u);
    ASSERT_GT(korean.size(), 26u);
    EXPECT_EQ(FormatProgressText(english[26], 42.0, L"%"), L" 42 / 100[%]");
    EXPECT_EQ(FormatProgressText(korean[26], 42.0, L"%"), L"\xC9C4\xD589\xC911..42%");
    EXPECT_EQ(FormatProgressText(english[26], 99.6, L"%"), L" 100 / 100[%]");
    EXPECT_EQ(FormatProgressText(english[26], 0.2, L"%"), L" 0 / 100[%]");
    EXPECT_EQ(FormatProgressText(english[26], 100.0, L"%"), L" 100 / 100[%]");
}

TEST(ProgressText, NeverReadsAMissingArgument) {
    EXPECT_EQ(FormatProgressText(L"%.0f %.0f", 5.0, L"%"), L"5 %.0f");
    EXPECT_EQ(FormatProgressText(L"%s then %.0f", 5.0, L"x"), L"%s then 5");
    EXPECT_EQ(FormatProgressText(L"%.0f%s%s", 5.0, L"x"), L"5x%s");
    EXPECT_EQ(FormatProgressText(L"%d|%.2f|%x|%", 42.7, L"x"), L"42|%.2f|%x|%");
    EXPECT_EQ(FormatProgressText(L"%.2f%%", 12.3456, L""), L"12.35%");
    EXPECT_EQ(FormatProgressText(L"%f", 1.0, L""), L"1.000000");
    EXPECT_EQ(FormatProgressText(L"%.0f", 1e300, L"").size(), 301u);
}

}  // namespace
