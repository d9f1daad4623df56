// The program's command line: how a fleet's script drives the road. Pure: no Win32 types.
//
//   (nothing)              the window, driven by the user
//   /check                 no window: asks the server, downloads nothing
//   /update /passive       the window shows the road and runs it without a click, then closes
//   /update /quiet         the same without any window or message box
//   /endscanner            lets a passive or quiet run end a running scanner program
//   /timeout MINUTES       a passive or quiet run's deadline (1 to 10080; 60 when not given)
//   /norestart             accepted for the installers' habit: the program never restarts the PC
//   /log                   alone: opens the diagnostics log's folder and ends
//   /log FILE              with any of the above: this run's log also goes to FILE
//   /source FOLDER         looks in FOLDER (a stick or share holding an edition's files) before the
//                          build's servers; with any of the above but /log alone, at most once
//   /?, /help              alone: shows how to use these and ends
//
// Switches start with '/' or '-' and are matched without case; any other word, or a combination
// that means nothing ("/passive" alone, "/check /update"), is a command line not understood. The
// word after /source, /log or /timeout is its value; a missing one, or one that starts with '/' or
// '-', is not understood, and neither is a value holding a double quote or a control character:
// Windows reads the backslash of "%~dp0" before the closing quote as an escape, so
// `/source "C:\pkg\" /update /quiet` arrives as one folder `C:\pkg" /update /quiet`.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

enum class RunMode { Window, Check, Passive, Quiet, OpenLog, Usage };

constexpr uint32_t kDefaultTimeoutMinutes = 60;
constexpr uint32_t kMaxTimeoutMinutes = 7 * 24 * 60;

struct RunCommand {
    bool understood = true;
    RunMode mode = RunMode::Window;
    bool endScanner = false;
    bool noRestart = false;
    std::wstring sourceFolder;                         // /source's folder; empty when not given
    std::wstring logFile;                              // /log's file; empty when not given
    uint32_t timeoutMinutes = kDefaultTimeoutMinutes;  // a passive or quiet run's deadline
    std::wstring problem;                              // what was not understood, when !understood
};

// `args` are the arguments after the program's own name.
RunCommand ParseCommandLine(const std::vector<std::wstring>& args);

const char* RunModeName(RunMode mode);

// What /? shows: the switches, one a line, and the exit codes a script reads.
std::wstring UsageText();
