// The command line's switches and the combinations that mean something.
#include "update/logic/CommandLine.h"

namespace {

std::wstring Folded(const std::wstring& word) {
    std::wstring out;
    for (wchar_t c : word) out += (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c - L'A' + L'a') : c;
    return out;
}

bool IsSwitch(const std::wstring& word) { return !word.empty() && (word[0] == L'/' || word[0] == L'-'); }

RunCommand NotUnderstood(const std::wstring& word) {
    RunCommand command;
    command.understood = false;
    command.problem = word;
    return command;
}

}  // namespace

RunCommand ParseCommandLine(const std::vector<std::wstring>& args) {
    bool check = false, update = false, passive = false, quiet = false, log = false, endScanner = false;
    bool source = false;
    std::wstring sourceFolder;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::wstring& arg = args[i];
        if (!IsSwitch(arg)) return NotUnderstood(arg);
        const std::wstring name = Folded(arg.substr(1));
        if (name == L"source") {
            if (source) return NotUnderstood(L"/source goes once");
            if (i + 1 == args.size() || args[i + 1].empty() || IsSwitch(args[i + 1]))
                return NotUnderstood(L"/source needs a folder");
            source = true;
            sourceFolder = args[++i];
            continue;
        }
        if (name == L"check")
            check = true;
        else if (name == L"update")
            update = true;
        else if (name == L"passive")
            passive = true;
        else if (name == L"quiet")
            quiet = true;
        else if (name == L"log")
            log = true;
        else if (name == L"endscanner")
            endScanner = true;
        else
            return NotUnderstood(arg);
    }
    RunCommand command;
    command.endScanner = endScanner;
    command.sourceFolder = sourceFolder;
    const int modes = int{check} + int{update} + int{log};
    if (modes > 1) return NotUnderstood(L"/check, /update and /log go alone");
    if (log) {
        if (passive || quiet || endScanner || source) return NotUnderstood(L"/log goes alone");
        command.mode = RunMode::OpenLog;
    } else if (check) {
        if (passive || quiet || endScanner) return NotUnderstood(L"/check goes alone");
        command.mode = RunMode::Check;
    } else if (update) {
        if (passive == quiet) return NotUnderstood(L"/update needs /passive or /quiet");
        command.mode = passive ? RunMode::Passive : RunMode::Quiet;
    } else if (passive || quiet || endScanner) {
        return NotUnderstood(L"/passive, /quiet and /endscanner go with /update");
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
    }
    return "unknown";
}
