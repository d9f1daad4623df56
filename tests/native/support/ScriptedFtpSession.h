// ScriptedFtpSession: an IFtpSession that plays a script instead of talking to a server.
//
// A script (FtpScript) is shared by every session made from it, so code that creates a fresh
// session per file draws on one script and leaves one call log:
//
//   auto script = std::make_shared<FtpScript>();
//   script->AddFile(L"Software\\TALVIX_250101.exe", std::string(70000, 'x')); // served and listed
//   script->connectResults = {0};                  // first Connect fails; later ones give 1
//   script->openResults = {kFtpReconnected};       // first OpenFile reports a reset
//   script->readSteps = {FtpReadStep::Data(1000),  // a short read of at most 1000 bytes
//                        FtpReadStep::Reset(),     // kFtpReadReconnected; the open file is dropped
//                        FtpReadStep::Fail()};     // -1 with script->serverResponse as last error
//   auto factory = [script] { return std::make_unique<ScriptedFtpSession>(script); };
//   ... run the code under test ...
//   EXPECT_EQ(script->CountCalls(L"OpenFile"), 2);
//
// Without a scripted step every call behaves like a healthy server: Connect gives 1; OpenFile
// gives 1 for a known file (paths compare in server form, so "Software\\a.exe", "\\Software\\a.exe"
// and "/Software/a.exe" are the same file) and 0 otherwise; Read serves the file from its first
// byte in blocks of the requested size and then 0. Like the real session, OpenFile and Read fail
// when there is no connection or no open file. Calls are logged as
// "Connect <server>:<port> <user>", "ListFiles <folder>|<ext>", "OpenFile <path>",
// "Read <count> -> <result>", "CloseFile", "Disconnect". The script is safe to read from another
// thread while sessions run.
#pragma once

#include <algorithm>
#include <cstring>
#include <cwctype>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "update/logic/FtpPaths.h"
#include "update/logic/FtpTypes.h"

struct FtpReadStep {
    enum Kind { kData, kReset, kResetUnrecovered, kFail };
    Kind kind = kData;
    int limit = 0;  // kData: most bytes this read may return

    static FtpReadStep Data(int limit) { return {kData, limit}; }
    static FtpReadStep Reset() { return {kReset, 0}; }
    // A reset whose reconnection failed: -1 with the server's response as last error.
    static FtpReadStep ResetUnrecovered() { return {kResetUnrecovered, 0}; }
    static FtpReadStep Fail() { return {kFail, 0}; }
};

struct FtpScript {
    std::deque<int> connectResults;             // popped per Connect; empty: 1
    std::deque<int> listResults;                // popped per ListFiles; empty: the listing below
    std::deque<int> openResults;                // popped per OpenFile; empty: 1 for a known file, else 0
    std::deque<FtpReadStep> readSteps;          // popped per Read; empty: an ordinary read
    std::deque<int> closeResults;               // popped per CloseFile of an open file; empty: 1
    std::map<std::wstring, std::string> files;  // server path -> content
    std::map<std::wstring, std::vector<FTP_FILE_INFO>> listings;  // server folder -> entries
    std::wstring serverResponse = L"550 No such file or directory.";

    // Serves `content` under `path` and lists it in its folder with its real size.
    void AddFile(const std::wstring& path, const std::string& content) {
        const std::wstring key = Key(path);
        files[key] = content;
        FTP_FILE_INFO info;
        info.dwFileSize = static_cast<int32_t>(content.size());
        info.SetName(key.substr(key.rfind(L'/') + 1));
        listings[key.substr(0, std::max<size_t>(key.rfind(L'/'), 1))].push_back(info);
    }

    std::vector<std::wstring> Calls() const {
        std::lock_guard<std::mutex> lock(mutex);
        return calls;
    }

    int CountCalls(const std::wstring& prefix) const {
        std::lock_guard<std::mutex> lock(mutex);
        return static_cast<int>(std::count_if(
            calls.begin(), calls.end(), [&](const auto& call) { return call.compare(0, prefix.size(), prefix) == 0; }));
    }

    // "/Software/a.exe" for any spelling of a remote path; "/" for the top folder.
    static std::wstring Key(const std::wstring& path) {
        std::wstring key = ToFtpServerPath(BuildFtpOpenPath(path));
        while (key.size() > 1 && key.back() == L'/') key.pop_back();
        return key;
    }

    mutable std::mutex mutex;
    std::vector<std::wstring> calls;
};

class ScriptedFtpSession : public IFtpSession {
public:
    explicit ScriptedFtpSession(std::shared_ptr<FtpScript> script) : m_script(std::move(script)) {}

    int Connect(std::wstring server, std::wstring user, std::wstring password, uint16_t port) override {
        std::lock_guard<std::mutex> lock(m_script->mutex);
        Log(L"Connect " + server + L":" + std::to_wstring(port) + L" " + user);
        const int result = Pop(m_script->connectResults, kFtpSuccess);
        m_connected = result == kFtpSuccess;
        if (result == kFtpFailed)
            m_lastError = FormatFtpError(L"FTP OPEN ERROR!!", 12014);
        else if (result == kFtpError)
            m_lastError = FormatFtpError(L"INTERNET OPEN ERROR!!", 12029);
        return result;
    }

    int ListFiles(const std::wstring& folder, std::vector<FTP_FILE_INFO>& files, const std::wstring& ext) override {
        std::lock_guard<std::mutex> lock(m_script->mutex);
        Log(L"ListFiles " + folder + L"|" + ext);
        if (!m_script->listResults.empty()) {
            const int result = Pop(m_script->listResults, 0);
            m_lastError = result < 0 ? FormatFtpError(L"FILE FIND ERROR!!!!", 12003) : std::wstring(L"ERROR NO FILE!!");
            return result;
        }
        const std::wstring search = ToFtpServerPath(BuildFtpSearchPath(folder, ext));
        const size_t slash = search.rfind(L'/');
        const std::wstring mask = slash == std::wstring::npos ? search : search.substr(slash + 1);
        const std::wstring dir = slash == std::wstring::npos ? L"/" : FtpScript::Key(search.substr(0, slash));
        const auto listing = m_script->listings.find(dir);
        if (listing == m_script->listings.end()) {
            m_lastError = FormatFtpError(L"FILE FIND ERROR!!!!", 12003);
            return kFtpError;
        }
        int count = 0;
        for (const FTP_FILE_INFO& info : listing->second) {
            if (Matches(info.Name(), mask)) {
                files.push_back(info);
                ++count;
            }
        }
        if (count == 0) m_lastError = L"ERROR NO FILE!!";
        return count;
    }

    int OpenFile(const std::wstring& path) override {
        std::lock_guard<std::mutex> lock(m_script->mutex);
        Log(L"OpenFile " + path);
        if (!m_connected) return kFtpFailed;
        const auto file = m_script->files.find(FtpScript::Key(path));
        const int result = Pop(m_script->openResults, file != m_script->files.end() ? kFtpSuccess : kFtpFailed);
        if (result == kFtpSuccess && file != m_script->files.end()) {
            m_open = &file->second;
            m_position = 0;
        } else if (result == kFtpSuccess) {
            m_open = &m_empty;  // scripted to open a file the script doesn't hold
            m_position = 0;
        } else if (result == kFtpFailed) {
            m_lastError = m_script->serverResponse;
        }
        return result;
    }

    int Read(void* buffer, int count) override {
        std::lock_guard<std::mutex> lock(m_script->mutex);
        const int result = ReadLocked(buffer, count);
        Log(L"Read " + std::to_wstring(count) + L" -> " + std::to_wstring(result));
        return result;
    }

    int CloseFile() override {
        std::lock_guard<std::mutex> lock(m_script->mutex);
        Log(L"CloseFile");
        if (m_open == nullptr) return kFtpSuccess;
        m_open = nullptr;
        const int result = Pop(m_script->closeResults, kFtpSuccess);
        if (result != kFtpSuccess) m_lastError = FormatFtpError(L"FTP FILE CLOSE ERROR!!", 6);
        return result;
    }

    void Disconnect() override {
        std::lock_guard<std::mutex> lock(m_script->mutex);
        Log(L"Disconnect");
        m_connected = false;
    }

    std::wstring LastError() const override { return m_lastError; }

private:
    int ReadLocked(void* buffer, int count) {
        FtpReadStep step;
        if (!m_script->readSteps.empty()) {
            step = m_script->readSteps.front();
            m_script->readSteps.pop_front();
        } else {
            step.limit = count;
        }
        if (step.kind == FtpReadStep::kReset) {
            m_open = nullptr;  // the handle is stale after a reconnection
            return kFtpReadReconnected;
        }
        if (step.kind == FtpReadStep::kResetUnrecovered) m_open = nullptr;
        if (step.kind != FtpReadStep::kData || m_open == nullptr || count < 0) {
            m_lastError = m_script->serverResponse;
            return kFtpError;
        }
        const size_t left = m_open->size() - m_position;
        const size_t n =
            std::min<size_t>({left, static_cast<size_t>(count), static_cast<size_t>(std::max(step.limit, 0))});
        std::memcpy(buffer, m_open->data() + m_position, n);
        m_position += n;
        return static_cast<int>(n);
    }

    static bool Matches(const std::wstring& name, const std::wstring& mask) {
        const std::wstring tail = mask.substr(std::min<size_t>(1, mask.size()));
        if (tail.empty() || tail == L".*") return true;
        if (name.size() < tail.size()) return false;
        return std::equal(tail.begin(), tail.end(), name.end() - tail.size(),
                          [](wchar_t a, wchar_t b) { return std::towlower(a) == std::towlower(b); });
    }

    static int Pop(std::deque<int>& queue, int fallback) {
        if (queue.empty()) return fallback;
        const int value = queue.front();
        queue.pop_front();
        return value;
    }

    void Log(std::wstring call) { m_script->calls.push_back(std::move(call)); }

    std::shared_ptr<FtpScript> m_script;
    bool m_connected = false;
    const std::string* m_open = nullptr;
    const std::string m_empty;
    size_t m_position = 0;
    std::wstring m_lastError;
};
