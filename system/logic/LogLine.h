// The diagnostics log's lines, its rotation rule and whose folder it goes to. Pure: no Win32 types.
//
// A line: "<UTC time> <thread> <event> name=value ...", one event per line, UTF-8. A value is bare
// when it is a plain word, else quoted, so a hostile file name can neither break a line, fake a fact
// nor reorder the text around it in a log viewer.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A moment in UTC as the platform's clock gives it.
struct LogTime {
    int year = 1970, month = 1, day = 1;
    int hour = 0, minute = 0, second = 0, millisecond = 0;
};

// "2026-12-08T08:44:22.123Z"
std::string FormatLogTime(const LogTime& time);

// One fact of an event: a name (letters, digits, '_', '.') and its value in UTF-8.
struct LogFact {
    std::string name;
    std::string value;
};

// The value as it stands in a line: bare when it is a plain word; otherwise in double quotes, with
// '"' and '\' escaped by a backslash, \r \n \t for those, \xNN for every other control byte and
// every byte that is not part of valid UTF-8, and \uXXXX (always four digits) for the C1 controls,
// U+2028, U+2029 and the bidirectional controls, so the line stays one line of valid UTF-8 that shows
// its characters in their order.
std::string EscapeLogValue(const std::string& value);

// One whole line, ending in "\n".
std::string FormatLogLine(const LogTime& time, uint32_t thread, const std::string& event,
                          const std::vector<LogFact>& facts);

// The log is rotated when it would grow past this; one older file is kept.
constexpr uint64_t kLogRotateBytes = 1024 * 1024;

// True when `appending` more bytes would take a log of `current` bytes past `limit`. An empty log
// is never rotated, so an oversized batch still lands in a fresh file.
bool LogNeedsRotation(uint64_t current, uint64_t appending, uint64_t limit = kLogRotateBytes);

// True for SYSTEM, LocalService, NetworkService and the per-service accounts (S-1-5-80-...), given
// as a SID's string form: nobody looks in their profiles, so their log goes to the machine's
// program data.
bool LogsMachineWide(const std::wstring& accountSid);
