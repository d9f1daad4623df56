// The program's command line: how a fleet's script drives the road. Pure: no Win32 types.
//
//   (nothing)              the window, driven by the user
//   /check                 no window: asks the server, downloads nothing
//   /update /passive       the window shows the road and runs it without a click, then closes
//   /update /quiet         the same without any window or message box
//   /endscanner            lets a passive or quiet run end a running scanner program
//   /log                   opens the diagnostics log's folder and ends
//   /source FOLDER         looks in FOLDER (a stick or share holding an edition's files) before the
//                          build's servers; with any of the above but /log, at most once
//
// Switches start with '/' or '-' and are matched without case; any other word, or a combination
// that means nothing ("/passive" alone, "/check /update"), is a command line not understood. The
// word after /source is its folder, taken as it is; a missing one, or one that starts with '/' or
// '-', is not understood.
#pragma once

#include <string>
#include <vector>

enum class RunMode { Window, Check, Passive, Quiet, OpenLog };

struct RunCommand {
    bool understood = true;
    RunMode mode = RunMode::Window;
    bool endScanner = false;
    std::wstring sourceFolder;  // /source's folder; empty when not given
    std::wstring problem;       // the word not understood, when !understood
};

// `args` are the arguments after the program's own name.
RunCommand ParseCommandLine(const std::vector<std::wstring>& args);

const char* RunModeName(RunMode mode);
