// The command line: the switches a script gives, the combinations that mean something, and what is
// not understood (which never opens a window: the run ends with 1639).
#include "app/logic/CommandLine.h"

#include <gtest/gtest.h>

TEST(CommandLine, SwitchesAndTheirCombinations) {
    struct Case {
        std::vector<std::wstring> args;
        bool understood;
        RunMode mode = RunMode::Window;
        bool endScanner = false;
        const wchar_t* sourceFolder = L"";
        const wchar_t* logFile = L"";
        uint32_t timeoutMinutes = kDefaultTimeoutMinutes;
    };
    const Case cases[] = {
        {{}, true},
        {{L"/check"}, true, RunMode::Check},
        {{L"-CHECK", L"/NoRestart"}, true, RunMode::Check},
        {{L"/update", L"/passive"}, true, RunMode::Passive},
        {{L"/quiet", L"/update", L"/endscanner", L"/norestart"}, true, RunMode::Quiet, true},
        {{L"/log"}, true, RunMode::OpenLog},
        {{L"/?"}, true, RunMode::Usage},
        {{L"-HELP"}, true, RunMode::Usage},
        {{L"/update", L"/quiet", L"/log", L"C:\\logs\\qv.log"}, true, RunMode::Quiet, false, L"", L"C:\\logs\\qv.log"},
        {{L"/log", L"qv.log"}, true, RunMode::Window, false, L"", L"qv.log"},
        {{L"/update", L"/passive", L"/timeout", L"90"}, true, RunMode::Passive, false, L"", L"", 90},
        {{L"/source", L"E:\\"}, true, RunMode::Window, false, L"E:\\"},
        {{L"/update", L"-SOURCE", L"\\\\pc\\share\\x y", L"/quiet"},
         true,
         RunMode::Quiet,
         false,
         L"\\\\pc\\share\\x y"},
        {{L"/check", L"/source", L"D:\\u"}, true, RunMode::Check, false, L"D:\\u"},
        // Not understood.
        {{L"/update"}, false},
        {{L"/update", L"/passive", L"/quiet"}, false},
        {{L"/passive"}, false},
        {{L"/endscanner"}, false},
        {{L"/check", L"/update", L"/quiet"}, false},
        {{L"/check", L"/endscanner"}, false},
        {{L"/check", L"/timeout", L"5"}, false},
        {{L"/log", L"/check"}, false},
        {{L"/log", L"/norestart"}, false},
        {{L"/?", L"/quiet"}, false},
        {{L"/silent"}, false},
        {{L"check"}, false},
        {{L"/"}, false},
        {{L"/source"}, false},
        {{L"/source", L"/check"}, false},
        {{L"/source", L"-x"}, false},
        {{L"/source", L"a", L"/source", L"b"}, false},
        {{L"/log", L"/source", L"a"}, false},
        {{L"/log", L"a", L"/log", L"b"}, false},
        // "%~dp0" ends in a backslash that escapes the closing quote: one folder holding the rest.
        {{L"/source", L"C:\\pkg\" /update /quiet"}, false},
        {{L"/update", L"/quiet", L"/log", L"C:\\logs\""}, false},
        {{L"/source", L"C:\\a\tb"}, false},
        {{L"/update", L"/quiet", L"/timeout"}, false},
        {{L"/update", L"/quiet", L"/timeout", L"0"}, false},
        {{L"/update", L"/quiet", L"/timeout", L"10081"}, false},
        {{L"/update", L"/quiet", L"/timeout", L"1e3"}, false},
        {{L"/update", L"/quiet", L"/timeout", L"5", L"/timeout", L"6"}, false},
    };
    for (const Case& c : cases) {
        const RunCommand command = ParseCommandLine(c.args);
        std::string what = "(none)";
        for (const std::wstring& arg : c.args) what += " " + std::string(arg.begin(), arg.end());
        EXPECT_EQ(command.understood, c.understood) << what;
        if (!c.understood) {
            EXPECT_FALSE(command.problem.empty()) << what;  // the log says what was not understood
            continue;
        }
        EXPECT_EQ(command.mode, c.mode) << what;
        EXPECT_EQ(command.endScanner, c.endScanner) << what;
        EXPECT_EQ(command.sourceFolder, c.sourceFolder) << what;
        EXPECT_EQ(command.logFile, c.logFile) << what;
        EXPECT_EQ(command.timeoutMinutes, c.timeoutMinutes) << what;
    }
}
