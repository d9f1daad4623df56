// The command line's switches and the combinations that mean something.
#include "app/logic/CommandLine.h"

namespace {

std::wstring Folded(const std::wstring& word) {
    std::wstring out;
    for (wchar_t c : word) out += (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c - L'A' + L'a') : c;
    return out;
}

bool IsSwitch(const std::wstring& word) { return !word.empty() && (word[0] == L'/' || word[0] == L'-'); }

// A quote left inside a value is a script's "%~dp0\" read as an escape; a control character is
// no part of a path either.
bool IsSoundValue(const std::wstring& value) {
    if (value.empty()) return false;
    for (wchar_t c : value)
        if (c == L'"' || c < 0x20 || c == 0x7F) return false;
    return true;
}

RunCommand NotUnderstood(const std::wstring& word) {
    RunCommand command;
    command.understood = false;
    command.problem = word;
    return command;
}

// Every switch as it was seen, before the combination is judged.
struct Seen {
    bool check = false, update = false, passive = false, quiet = false, log = false, endScanner = false;
    bool noRestart = false, usage = false, source = false, logFile = false, timeout = false;
    std::wstring sourceFolder, logPath;
    uint32_t timeoutMinutes = kDefaultTimeoutMinutes;
};

bool ParseMinutes(const std::wstring& text, uint32_t& minutes) {
    if (text.empty() || text.size() > 5) return false;
    uint32_t value = 0;
    for (wchar_t c : text) {
        if (c < L'0' || c > L'9') return false;
        value = value * 10 + static_cast<uint32_t>(c - L'0');
    }
    if (value < 1 || value > kMaxTimeoutMinutes) return false;
    minutes = value;
    return true;
}

// Reads the switches; an empty result means understood so far, else the problem's words.
std::wstring ReadSwitches(const std::vector<std::wstring>& args, Seen& seen) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::wstring& arg = args[i];
        if (!IsSwitch(arg)) return arg;
        const std::wstring name = Folded(arg.substr(1));
        const bool hasValue = i + 1 < args.size() && !args[i + 1].empty() && !IsSwitch(args[i + 1]);
        if (name == L"log" && hasValue) {
            if (seen.logFile) return L"/log FILE goes once";
            if (!IsSoundValue(args[i + 1])) return L"a quote or control character in /log's file: " + args[i + 1];
            seen.logFile = true;
            seen.logPath = args[++i];
        } else if (name == L"source") {
            if (seen.source) return L"/source goes once";
            if (!hasValue) return L"/source needs a folder";
            if (!IsSoundValue(args[i + 1])) return L"a quote or control character in /source's folder: " + args[i + 1];
            seen.source = true;
            seen.sourceFolder = args[++i];
        } else if (name == L"timeout") {
            if (seen.timeout) return L"/timeout goes once";
            if (!hasValue || !ParseMinutes(args[i + 1], seen.timeoutMinutes))
                return L"/timeout needs minutes from 1 to " + std::to_wstring(kMaxTimeoutMinutes);
            seen.timeout = true;
            ++i;
        } else {
            bool* flag = name == L"check"                  ? &seen.check
                         : name == L"update"               ? &seen.update
                         : name == L"passive"              ? &seen.passive
                         : name == L"quiet"                ? &seen.quiet
                         : name == L"log"                  ? &seen.log
                         : name == L"endscanner"           ? &seen.endScanner
                         : name == L"norestart"            ? &seen.noRestart
                         : name == L"?" || name == L"help" ? &seen.usage
                                                           : nullptr;
            if (!flag) return arg;
            *flag = true;
        }
    }
    return std::wstring();
}

}  // namespace

RunCommand ParseCommandLine(const std::vector<std::wstring>& args) {
    Seen s;
    const std::wstring problem = ReadSwitches(args, s);
    if (!problem.empty()) return NotUnderstood(problem);
    RunCommand command;
    command.endScanner = s.endScanner;
    command.noRestart = s.noRestart;
    command.sourceFolder = s.sourceFolder;
    command.logFile = s.logPath;
    command.timeoutMinutes = s.timeoutMinutes;
    const int modes = int{s.check} + int{s.update} + int{s.log} + int{s.usage};
    if (modes > 1) return NotUnderstood(L"/check, /update, /log and /? go alone");
    const bool extras = s.passive || s.quiet || s.endScanner || s.source || s.noRestart || s.logFile || s.timeout;
    if (s.usage || s.log) {
        if (extras) return NotUnderstood(s.usage ? L"/? goes alone" : L"/log goes alone");
        command.mode = s.usage ? RunMode::Usage : RunMode::OpenLog;
    } else if (s.check) {
        if (s.passive || s.quiet || s.endScanner || s.timeout) return NotUnderstood(L"/check goes alone");
        command.mode = RunMode::Check;
    } else if (s.update) {
        if (s.passive == s.quiet) return NotUnderstood(L"/update needs /passive or /quiet");
        command.mode = s.passive ? RunMode::Passive : RunMode::Quiet;
    } else if (s.passive || s.quiet || s.endScanner || s.timeout) {
        return NotUnderstood(L"/passive, /quiet, /endscanner and /timeout go with /update");
    }
    return command;
}

const char* RunModeName(RunMode mode) {
    switch (mode) {
    case RunMode::Window: return "window";
    case RunMode::Check: return "check";
    case RunMode::Passive: return "passive";
    case RunMode::Quiet: return "quiet";
    case RunMode::OpenLog: return "log";
    case RunMode::Usage: return "usage";
    }
    return "unknown";
}

std::wstring UsageText() {
    return L"Usage: QuorvelDownloader.exe [/check | /update /passive | /update /quiet] [/endscanner]\n"
           L"       [/timeout MINUTES] [/source FOLDER] [/log FILE] [/norestart]\n"
           L"       QuorvelDownloader.exe /log | /?\n"
           L"\n"
           L"/check             asks the update server, downloads nothing\n"
           L"/update /passive   installs with a window that needs no click\n"
           L"/update /quiet     installs without any window\n"
           L"/endscanner        may end a running scanner program\n"
           L"/timeout MINUTES   a passive or quiet run's deadline (default 60)\n"
           L"/source FOLDER     looks in FOLDER first\n"
           L"/log FILE          also writes this run's log to FILE\n"
           L"/log               opens the log's folder\n"
           L"/norestart         accepted; the program never restarts the PC\n"
           L"\n"
           L"Exit codes: 0 done (or the setup's own code: 3010, 1641, ...), 10 offered (/check),\n"
           L"20 no server, 21 nothing offered, 22 the maker's release offered by no source,\n"
           L"23 the PC's date is wrong, 30 download, 31 disk, 40 refused, 41 did not start,\n"
           L"1460 deadline passed, 1602 cancelled, 1618 busy (another run, or the scanner in use),\n"
           L"1639 command line not understood, 18 Exit, 1 unexpected failure.\n";
}
