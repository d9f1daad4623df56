// The diagnostics log that support asks for: one UTF-8 file per user under the local application
// data folder (the machine's program data for service accounts), one line per event, written by a thread of its own so
// that a caller never waits for the disk. A log that cannot be written, or with a link or junction anywhere on its
// path, is skipped. It never holds the server's password or the contents of a file: callers log facts, not data.
#pragma once

#include "framework/Win32.h"
#include "system/logic/LogLine.h"

#include <string>
#include <type_traits>
#include <vector>

// One fact of an event, made from text (UTF-16 or UTF-8), a number or a yes/no where the call stands.
class CLogFact {
public:
    CLogFact(const char* name, const std::wstring& value);
    CLogFact(const char* name, const wchar_t* value) : CLogFact(name, std::wstring(value ? value : L"")) {}
    CLogFact(const char* name, const char* value) : m_fact{name, value ? value : ""} {}
    CLogFact(const char* name, const std::string& value) : m_fact{name, value} {}
    CLogFact(const char* name, bool value) : m_fact{name, value ? "yes" : "no"} {}
    template <typename T, std::enable_if_t<std::is_integral_v<T> && !std::is_same_v<T, bool>, int> = 0>
    CLogFact(const char* name, T value) : m_fact{name, std::to_string(value)} {}

    const LogFact& Fact() const { return m_fact; }

private:
    LogFact m_fact;
};

// Queues one line: the time (UTC) and thread of the call, the event and its facts. Never blocks on
// the disk; safe from any thread.
void LogEvent(const char* event, const std::vector<CLogFact>& facts = {});
// Waits until every line queued before the call is in the file, at most `timeoutMs`; false when
// the time ran out (the lines then go on being written while the process lasts).
bool FlushLog(DWORD timeoutMs = 2000);

// Flushes the log when it goes, so that every way out of a scope leaves its lines in the file.
class CFlushLogAtEnd {
public:
    CFlushLogAtEnd() = default;
    ~CFlushLogAtEnd() { FlushLog(); }
    CFlushLogAtEnd(const CFlushLogAtEnd&) = delete;
    CFlushLogAtEnd& operator=(const CFlushLogAtEnd&) = delete;
};

// Writes every line of this run to `path` (a full path) as well: appended, and only when no link or
// junction stands anywhere on the path (and, for a service account, no other account may change
// its folder); a refusal is logged. Called once, before the first line is logged.
void CopyLogTo(const std::wstring& path);

// The folder that holds the log, and the log itself; empty when the platform cannot say. A service
// account (SYSTEM and the like) logs under the machine's program data folder.
std::wstring LogFolder();
std::wstring LogFilePath();
// Makes the log's folder if it is missing and shows it in Explorer; false when it cannot.
bool OpenLogFolder();

// The platform's text for an error code: WinINet's own for its codes (12000 to 12999), the
// system's for the rest; empty when the platform has none.
std::wstring PlatformErrorText(DWORD code);
// An error code and its text as facts: "code=12029 text=..."; the text only when there is one.
void LogPlatformError(const char* event, DWORD code, const std::vector<CLogFact>& facts = {});
