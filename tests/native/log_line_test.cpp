// The diagnostics log's lines and its rotation rule.
#include "system/logic/LogLine.h"

#include <gtest/gtest.h>

TEST(LogLine, TimeThreadEventAndFactsOnOneLine) {
    const LogTime time{2026, 3, 7, 9, 5, 2, 41};
    EXPECT_EQ(FormatLogTime(time), "2026-03-07T09:05:02.041Z");
    EXPECT_EQ(FormatLogLine(time, 1234, "server.listed",
                            {{"host", "127.0.0.1"}, {"folder", "/OEM/KSF/Main Line"}, {"entries", "3"}}),
              "2026-03-07T09:05:02.041Z 1234 server.listed host=127.0.0.1 folder=\"/OEM/KSF/Main Line\" "
              "entries=3\n");
    EXPECT_EQ(FormatLogLine(time, 7, "end", {}), "2026-03-07T09:05:02.041Z 7 end\n");
}

TEST(LogLine, HostileValuesStayOneLineOfValidUtf8) {
    EXPECT_EQ(EscapeLogValue(""), "\"\"");
    EXPECT_EQ(EscapeLogValue("a=b"), "\"a=b\"");  // could not pass for another fact
    EXPECT_EQ(EscapeLogValue("x\" y=1"), "\"x\\\" y=1\"");
    EXPECT_EQ(EscapeLogValue("a\r\nb\tc\\"), "\"a\\r\\nb\\tc\\\\\"");
    EXPECT_EQ(EscapeLogValue(std::string("a\0b\x1b\x7f", 5)), "\"a\\x00b\\x1B\\x7F\"");
    // Hangul passes through; a lone continuation byte, a cut sequence, an overlong form and an
    // encoded surrogate become escapes.
    EXPECT_EQ(EscapeLogValue("\xED\x83\x88\xEB\xB9\x85"), "\"\xED\x83\x88\xEB\xB9\x85\"");
    EXPECT_EQ(EscapeLogValue("\x80"), "\"\\x80\"");
    EXPECT_EQ(EscapeLogValue("a\xE2\x82"), "\"a\\xE2\\x82\"");
    EXPECT_EQ(EscapeLogValue("\xC0\xAF"), "\"\\xC0\\xAF\"");
    EXPECT_EQ(EscapeLogValue("\xED\xA0\x80"), "\"\\xED\\xA0\\x80\"");
    EXPECT_EQ(EscapeLogValue("\xF4\x90\x80\x80"), "\"\\xF4\\x90\\x80\\x80\"");
}

// Characters that a viewer shows as a line break or that reorder the text: each escaped, with its
// neighbours on either side of each range passing through.
TEST(LogLine, LineBreakAndBidiControlsAreEscaped) {
    const struct {
        const char* utf8;
        const char* shown;
    } rows[] = {
        {"\xC2\x80", "\\u0080"},          {"\xC2\x85", "\\u0085"},          {"\xC2\x9F", "\\u009F"},
        {"\xD8\x9C", "\\u061C"},          {"\xE2\x80\x8E", "\\u200E"},      {"\xE2\x80\x8F", "\\u200F"},
        {"\xE2\x80\xA8", "\\u2028"},      {"\xE2\x80\xA9", "\\u2029"},      {"\xE2\x80\xAA", "\\u202A"},
        {"\xE2\x80\xAE", "\\u202E"},      {"\xE2\x81\xA6", "\\u2066"},      {"\xE2\x81\xA9", "\\u2069"},
        {"\xC2\xA0", "\xC2\xA0"},         {"\xD8\x9B", "\xD8\x9B"},         {"\xE2\x80\x8D", "\xE2\x80\x8D"},
        {"\xE2\x80\xA7", "\xE2\x80\xA7"}, {"\xE2\x80\xAF", "\xE2\x80\xAF"}, {"\xE2\x81\xA5", "\xE2\x81\xA5"},
        {"\xE2\x81\xAA", "\xE2\x81\xAA"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(EscapeLogValue(std::string("a") + row.utf8 + "b"), std::string("\"a") + row.shown + "b\"")
            << row.shown;
    }
    // A file name that would show as "setupexe.pdf" is quoted and shown as it is stored.
    EXPECT_EQ(EscapeLogValue("setup\xE2\x80\xAE"
                             "fdp.exe"),
              "\"setup\\u202Efdp.exe\"");
}

TEST(LogRotation, AtTheLimitWithAFreshFileForAnyBatch) {
    EXPECT_FALSE(LogNeedsRotation(0, 10, 100));
    EXPECT_FALSE(LogNeedsRotation(90, 10, 100));
    EXPECT_TRUE(LogNeedsRotation(91, 10, 100));
    EXPECT_TRUE(LogNeedsRotation(500, 1, 100));         // already past the limit
    EXPECT_FALSE(LogNeedsRotation(0, 5000, 100));       // an empty log is never rotated
    EXPECT_TRUE(LogNeedsRotation(1, UINT64_MAX, 100));  // no overflow
    EXPECT_EQ(kLogRotateBytes, 1048576u);
}

TEST(LogFolder, ServiceAccountsLogMachineWide) {
    for (const wchar_t* sid : {L"S-1-5-18", L"S-1-5-19", L"S-1-5-20", L"S-1-5-80-956008885-3418522649-1831038044"})
        EXPECT_TRUE(LogsMachineWide(sid)) << sid;
    for (const wchar_t* sid : {L"S-1-5-21-1004336348-1177238915-682003330-1000", L"S-1-5-32-544", L"S-1-5-180",
                               L"S-1-5-80", L""})
        EXPECT_FALSE(LogsMachineWide(sid)) << sid;
}
