// ScriptedSession: an ISourceSession that plays a script instead of talking to a server.
//
// A script (SessionScript) is shared by every session made from it, so code that creates a fresh
// session per connection draws on one script and leaves one call log:
//
//   auto script = std::make_shared<SessionScript>();
//   script->AddFile(L"Software\\TALVIX_250101.exe", std::string(70000, 'x')); // served and listed
//   script->connectResults = {ConnectResult::Unreachable}; // first Connect fails; later ones connect
//   script->openResults = {SourceOpen::LineFault};    // first OpenFile finds the line broken
//   script->readSteps = {ScriptedRead::Data(1000),  // a short read of at most 1000 bytes
//                        ScriptedRead::Reset(),     // SourceRead::Reset; the connection is gone
//                        ScriptedRead::Stall()};    // SourceRead::TimedOut after the whole time given
//   auto factory = [script] { return std::make_unique<ScriptedSession>(script); };
//   ... run the code under test ...
//   EXPECT_EQ(script->CountCalls(L"OpenFile"), 2);
//
// Without a scripted step every call behaves like a healthy server: Connect gives 1; SIZE answers
// the file's length (`sizes` and `sizeResults` say otherwise); REST is accepted and honoured
// (`restart` says otherwise); OpenFile opens a known file (paths compare in server form, so
// "Software\\a.exe", "\\Software\\a.exe" and "/Software/a.exe" are the same file) and refuses
// others; Read serves the file in blocks of the requested size and then 0. A line fault ends the
// connection: every later call on that session fails. `clockMs` is the scripted time: each read
// step moves it on by its `elapsedMs`, a stall by the whole time the reader allowed. Calls are
// logged as "Connect <server>:<port> <user>", "ListFiles <folder>|<ext>", "Size <path>",
// "Rest <offset>", "OpenFile <path>", "Read <count> -> <result>", "CloseFile", "Disconnect". The
// script is safe to read from another thread while sessions run.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <cwctype>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "update/sources/logic/FtpPaths.h"
#include "update/sources/logic/SourceSession.h"

struct ScriptedRead {
    enum Kind { kData, kReset, kFail, kStall };
    Kind kind = kData;
    int limit = 0;           // kData: most bytes this read may return
    uint32_t elapsedMs = 0;  // kData: how long the read took

    static ScriptedRead Data(int limit, uint32_t elapsedMs = 0) { return {kData, limit, elapsedMs}; }
    static ScriptedRead Reset() { return {kReset, 0, 0}; }
    static ScriptedRead Fail() { return {kFail, 0, 0}; }
    static ScriptedRead Stall() { return {kStall, 0, 0}; }
};

// How the server answers REST.
enum class FtpRestart { Honour, Ignore /* 350, then the file from byte 0 */, Refuse };

struct SessionScript {
    std::deque<ConnectResult> connectResults;                   // popped per Connect; empty: Connected
    std::deque<int> listResults;                                // popped per ListFiles; empty: the listing below
    std::deque<SourceOpen> openResults;                         // popped per OpenFile; empty: Done for a known file
    std::deque<ScriptedRead> readSteps;                         // popped per Read; empty: an ordinary read
    std::deque<int> closeResults;                               // popped per CloseFile of an open file; empty: 1
    std::map<std::wstring, std::string> files;                  // server path -> content
    std::map<std::wstring, std::vector<RemoteEntry>> listings;  // server folder -> entries
    std::wstring serverResponse = L"550 No such file or directory.";
    FtpRestart restart = FtpRestart::Honour;
    std::map<std::wstring, int64_t> sizes;  // server path -> SIZE answer instead of the length
    std::deque<int64_t> sizeResults;        // popped per SIZE; empty: the answer above
    uint64_t clockMs = 0;
    bool canList = true;
    bool sizeUpFront = true;
    bool needsStatement = false;
    int64_t expectedSize = -1;  // what the last ExpectSize said

    // Serves `content` under `path` and lists it in its folder with its real size.
    void AddFile(const std::wstring& path, const std::string& content) {
        const std::wstring key = Key(path);
        files[key] = content;
        RemoteEntry info;
        info.size = static_cast<int32_t>(content.size());
        info.name = key.substr(key.rfind(L'/') + 1);
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

class ScriptedSession : public ISourceSession {
public:
    explicit ScriptedSession(std::shared_ptr<SessionScript> script) : m_script(std::move(script)) {}

    bool CanList() const override { return m_script->canList; }
    bool KnowsSizeUpFront() const override { return m_script->sizeUpFront; }
    bool NeedsStatement() const override { return m_script->needsStatement; }
    void ExpectSize(int64_t size) override {
        std::lock_guard<std::mutex> lock(m_script->mutex);
        m_script->expectedSize = size;
    }
    // A line fault counts as an unreachable source, a refused open as a refusal.
    SourceFailure LastFailure() const override { return m_failure; }

    ConnectResult Connect(const SourceConnectionSettings& settings) override {
        std::lock_guard<std::mutex> lock(m_script->mutex);
        Log(L"Connect " + settings.host + L":" + std::to_wstring(settings.port) + L" " + settings.user);
        const ConnectResult result = Pop(m_script->connectResults, ConnectResult::Connected);
        m_connected = result == ConnectResult::Connected;
        if (result == ConnectResult::Unreachable)
            m_lastError = FormatSessionError(L"FTP OPEN ERROR!!", 12014);
        else if (result == ConnectResult::NoInternet)
            m_lastError = FormatSessionError(L"INTERNET OPEN ERROR!!", 12029);
        return result;
    }

    int ListFiles(const std::wstring& folder, std::vector<RemoteEntry>& files, const std::wstring& ext) override {
        std::lock_guard<std::mutex> lock(m_script->mutex);
        Log(L"ListFiles " + folder + L"|" + ext);
        if (!m_script->listResults.empty()) {
            const int result = Pop(m_script->listResults, 0);
            m_lastError =
                result < 0 ? FormatSessionError(L"FILE FIND ERROR!!!!", 12003) : std::wstring(L"ERROR NO FILE!!");
            return result;
        }
        const std::wstring search = ToFtpServerPath(BuildFtpSearchPath(folder, ext));
        const size_t slash = search.rfind(L'/');
        const std::wstring mask = slash == std::wstring::npos ? search : search.substr(slash + 1);
        const std::wstring dir = slash == std::wstring::npos ? L"/" : SessionScript::Key(search.substr(0, slash));
        const auto listing = m_script->listings.find(dir);
        if (listing == m_script->listings.end()) {
            m_lastError = FormatSessionError(L"FILE FIND ERROR!!!!", 12003);
            return kSessionError;
        }
        int count = 0;
        for (const RemoteEntry& info : listing->second) {
            if (Matches(info.name, mask)) {
                files.push_back(info);
                ++count;
            }
        }
        if (count == 0) m_lastError = L"ERROR NO FILE!!";
        return count;
    }

    int64_t RemoteFileSize(const std::wstring& path) override {
        std::lock_guard<std::mutex> lock(m_script->mutex);
        Log(L"Size " + path);
        if (!m_connected) return -1;
        if (!m_script->sizeResults.empty()) {
            const int64_t result = m_script->sizeResults.front();
            m_script->sizeResults.pop_front();
            return result;
        }
        const std::wstring key = SessionScript::Key(path);
        const auto size = m_script->sizes.find(key);
        if (size != m_script->sizes.end()) return size->second;
        const auto file = m_script->files.find(key);
        return file == m_script->files.end() ? -1 : static_cast<int64_t>(file->second.size());
    }

    SourceOpen RestartAt(int64_t offset) override {
        std::lock_guard<std::mutex> lock(m_script->mutex);
        Log(L"Rest " + std::to_wstring(offset));
        if (!m_connected) return SourceOpen::LineFault;
        if (m_script->restart == FtpRestart::Refuse) return SourceOpen::Refused;
        m_restartAt = m_script->restart == FtpRestart::Honour ? static_cast<size_t>(offset) : 0;
        return SourceOpen::Done;
    }

    SourceOpen OpenFile(const std::wstring& path) override {
        std::lock_guard<std::mutex> lock(m_script->mutex);
        Log(L"OpenFile " + path);
        m_failure = m_connected ? SourceFailure::None : SourceFailure::Unreachable;
        if (!m_connected) return SourceOpen::LineFault;
        const auto file = m_script->files.find(SessionScript::Key(path));
        SourceOpen result = file != m_script->files.end() ? SourceOpen::Done : SourceOpen::Refused;
        if (!m_script->openResults.empty()) {
            result = m_script->openResults.front();
            m_script->openResults.pop_front();
        }
        if (result == SourceOpen::Done) {
            m_open = file != m_script->files.end() ? &file->second : &m_empty;
            m_position = std::min(m_restartAt, m_open->size());
        } else if (result == SourceOpen::Refused) {
            m_lastError = m_script->serverResponse;
            m_failure = SourceFailure::Refused;
        } else {
            m_connected = false;
            m_failure = SourceFailure::Unreachable;
        }
        m_restartAt = 0;
        return result;
    }

    SourceRead Read(void* buffer, int count, int& got, uint32_t timeoutMs) override {
        std::lock_guard<std::mutex> lock(m_script->mutex);
        got = 0;
        const SourceRead result = ReadLocked(buffer, count, got, timeoutMs);
        Log(L"Read " + std::to_wstring(count) + L" -> " +
            (result == SourceRead::Data ? std::to_wstring(got) : std::wstring(ReadName(result))));
        return result;
    }

    int CloseFile() override {
        std::lock_guard<std::mutex> lock(m_script->mutex);
        Log(L"CloseFile");
        if (m_open == nullptr) return kSessionSuccess;
        m_open = nullptr;
        const int result = Pop(m_script->closeResults, kSessionSuccess);
        if (result != kSessionSuccess) m_lastError = FormatSessionError(L"FTP FILE CLOSE ERROR!!", 6);
        return result;
    }

    void Disconnect() override {
        std::lock_guard<std::mutex> lock(m_script->mutex);
        Log(L"Disconnect");
        m_connected = false;
    }

    std::wstring LastError() const override { return m_lastError; }

private:
    SourceFailure m_failure = SourceFailure::None;

    SourceRead ReadLocked(void* buffer, int count, int& got, uint32_t timeoutMs) {
        ScriptedRead step;
        if (!m_script->readSteps.empty()) {
            step = m_script->readSteps.front();
            m_script->readSteps.pop_front();
        } else {
            step.limit = count;
        }
        if (m_open == nullptr || count < 0) return SourceRead::Failed;
        if (step.kind != ScriptedRead::kData) {
            // The connection is gone after any fault.
            m_open = nullptr;
            m_connected = false;
            if (step.kind == ScriptedRead::kStall) {
                m_script->clockMs += timeoutMs;
                return SourceRead::TimedOut;
            }
            m_lastError = m_script->serverResponse;
            return step.kind == ScriptedRead::kReset ? SourceRead::Reset : SourceRead::Failed;
        }
        m_script->clockMs += step.elapsedMs;
        const size_t left = m_open->size() - m_position;
        const size_t n =
            std::min<size_t>({left, static_cast<size_t>(count), static_cast<size_t>(std::max(step.limit, 0))});
        std::memcpy(buffer, m_open->data() + m_position, n);
        m_position += n;
        got = static_cast<int>(n);
        return SourceRead::Data;
    }

    static const wchar_t* ReadName(SourceRead result) {
        switch (result) {
        case SourceRead::Data: return L"data";
        case SourceRead::Reset: return L"reset";
        case SourceRead::Failed: return L"failed";
        case SourceRead::TimedOut: return L"timed out";
        case SourceRead::Stopped: return L"stopped";
        }
        return L"?";
    }

    static bool Matches(const std::wstring& name, const std::wstring& mask) {
        const std::wstring tail = mask.substr(std::min<size_t>(1, mask.size()));
        if (tail.empty() || tail == L".*") return true;
        if (name.size() < tail.size()) return false;
        return std::equal(tail.begin(), tail.end(), name.end() - tail.size(),
                          [](wchar_t a, wchar_t b) { return std::towlower(a) == std::towlower(b); });
    }

    template <typename T>
    static T Pop(std::deque<T>& queue, T fallback) {
        if (queue.empty()) return fallback;
        const T value = queue.front();
        queue.pop_front();
        return value;
    }

    void Log(std::wstring call) { m_script->calls.push_back(std::move(call)); }

    std::shared_ptr<SessionScript> m_script;
    bool m_connected = false;
    const std::string* m_open = nullptr;
    const std::string m_empty;
    size_t m_position = 0;
    size_t m_restartAt = 0;
    std::wstring m_lastError;
};
