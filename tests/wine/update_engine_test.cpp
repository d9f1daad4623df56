// The road's engine against a real FTP server under Wine: the facts of one installation arrive in
// order as tasks of the driver's thread, never from inside a command, from the check to the launch
// the engine runs by itself; the road stays busy from the start of the download until the hand-off
// has run (the setup program's check included), so no check or second start slips in; and after a
// failure the road is usable again as far as the failure allows.
#include "support/ftp_test_server.h"
#include "update/engine/UpdateEngine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

constexpr UINT kWakeUp = WM_APP + 7;
const wchar_t kLaunchRecord[] = L"c:\\Windows\\Temp\\qv-setup-launched.txt";

class Recorder : public IRoadObserver {
public:
    void OnRoadFact(const RoadFact& fact) override {
        facts.push_back(fact.kind);
        if (fact.kind == RoadFactKind::Progress) states.push_back(fact.status.state);
        if (fact.kind == RoadFactKind::Verifying) busyWhileVerifying = engine && engine->Busy();
        if (fact.kind == RoadFactKind::DownloadFailed) failure = fact.download;
    }
    bool Told(RoadFactKind kind) const { return std::find(facts.begin(), facts.end(), kind) != facts.end(); }
    const CUpdateEngine* engine = nullptr;
    std::vector<RoadFactKind> facts;
    std::vector<DownloadState> states;
    bool busyWhileVerifying = false;
    DownloadResult failure = DownloadResult::Completed;
};

// Runs the thread's queued facts until `done` holds, at most `timeoutMs`.
template <typename Done>
bool PumpUntil(CUiTaskQueue& tasks, Done done, DWORD timeoutMs) {
    const DWORD start = ::GetTickCount();
    while (!done()) {
        const DWORD elapsed = ::GetTickCount() - start;
        if (elapsed >= timeoutMs) return false;
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, timeoutMs - elapsed, QS_ALLINPUT);
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (!msg.hwnd && msg.message == kWakeUp)
                tasks.RunPending();
            else
                ::DispatchMessageW(&msg);
        }
    }
    return true;
}

// The engine's server: the demo setup program in the folder of this program's edition.
const wchar_t kSetup[] = L"OEM\\Software\\TALVIX_FULL_250101.exe";
const char kRemote[] = "/OEM/Software/TALVIX_FULL_250101.exe";

std::string DemoSetup() {
    wchar_t self[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    const std::wstring here(self);
    return ReadWholeFile(here.substr(0, here.find_last_of(L'\\') + 1) + L"DemoSetupSigned.exe");
}

// One server for the whole program: the program reads its sources once.
FtpTestServer& Server() {
    static FtpTestServer server;
    return server;
}

// Serves the demo setup program and points the engine's sources and the setup's stand-in at it.
std::string ServeDemoSetup(FtpTestServer& server) {
    const std::string setup = DemoSetup();
    server.SetFaults("{}");
    // This program's name carries no known edition code: its folder is OEM's, without edition or channel.
    server.AddFile(kSetup, setup);
    const std::wstring sources = L"ftp://127.0.0.1:" + std::to_wstring(server.Port());
    ::SetEnvironmentVariableW(L"QV_TEST_UPDATE_SOURCES", sources.c_str());
    ::SetEnvironmentVariableW(L"QV_SETUP_AUTOCLOSE_MS", L"300");
    ::DeleteFileW(kLaunchRecord);
    return setup;
}

std::shared_ptr<CUiTaskQueue> ThreadTasks() {
    MSG msg;
    ::PeekMessageW(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
    return std::make_shared<CUiTaskQueue>(::GetCurrentThreadId(), kWakeUp);
}

bool SetupLaunched() {
    const DWORD start = ::GetTickCount();
    while (ReadWholeFile(kLaunchRecord).empty() && ::GetTickCount() - start < 30000) ::Sleep(50);
    return !ReadWholeFile(kLaunchRecord).empty();
}

// The launched setup program has ended (it closes itself), so its file can go: a next download
// into the work folder must not race the setup this run started.
bool LaunchedSetupEnded() {
    const wchar_t launched[] = L"c:\\Windows\\Temp\\QVUpdate\\TALVIX_FULL_250101.EXE";
    const DWORD start = ::GetTickCount();
    while (!::DeleteFileW(launched) && ::GetLastError() != ERROR_FILE_NOT_FOUND &&
           ::GetLastError() != ERROR_PATH_NOT_FOUND) {
        if (::GetTickCount() - start > 30000) return false;
        ::Sleep(50);
    }
    return true;
}

}  // namespace

TEST(UpdateEngine, FactsOfOneRoadArriveInOrderAndTheEngineHandsOffByItself) {
    FtpTestServer& server = Server();
    ASSERT_TRUE(server.Port() != 0 || server.Start());
    ASSERT_FALSE(ServeDemoSetup(server).empty());
    auto tasks = ThreadTasks();
    Recorder recorder;
    {
        CUpdateEngine engine(recorder, tasks);
        recorder.engine = &engine;
        EXPECT_FALSE(engine.Start({0}));  // nothing offered yet
        ASSERT_TRUE(engine.Check());
        EXPECT_TRUE(recorder.facts.empty());  // told as a task, not from inside the command
        ASSERT_TRUE(PumpUntil(
            *tasks, [&] { return recorder.Told(RoadFactKind::Checked); }, 5000));
        ASSERT_EQ(engine.State(), RoadState::Ready) << "requests: " << server.Requests().size();
        ASSERT_EQ(engine.Offer().setups.size(), 1u);
        EXPECT_FALSE(engine.Busy());

        ASSERT_TRUE(engine.Start({0}));
        EXPECT_TRUE(engine.Busy());
        EXPECT_FALSE(engine.Check());     // Check Server while the worker runs
        EXPECT_FALSE(engine.Start({0}));  // a second start
        ASSERT_TRUE(PumpUntil(
            *tasks, [&] { return recorder.Told(RoadFactKind::HandedOff); }, 60000));
        EXPECT_TRUE(recorder.busyWhileVerifying);
        EXPECT_EQ(engine.State(), RoadState::Done);
        EXPECT_EQ(engine.Outcome(), RoadOutcome::Launched);
        EXPECT_TRUE(engine.Busy());  // the launched setup owns the work folder
        EXPECT_FALSE(engine.Check());
    }
    tasks->Close();

    // Checked, then the item's progress from connecting to completed, the check of the setup, and
    // the hand-off's end.
    ASSERT_GE(recorder.facts.size(), 4u);
    EXPECT_EQ(recorder.facts.front(), RoadFactKind::Checked);
    const std::vector<RoadFactKind> tail(recorder.facts.end() - 2, recorder.facts.end());
    EXPECT_EQ(tail, (std::vector<RoadFactKind>{RoadFactKind::Verifying, RoadFactKind::HandedOff}));
    ASSERT_FALSE(recorder.states.empty());
    EXPECT_EQ(recorder.states.front(), DownloadState::Connecting);
    EXPECT_EQ(recorder.states.back(), DownloadState::Completed);
    EXPECT_TRUE(SetupLaunched());
    EXPECT_TRUE(LaunchedSetupEnded());  // the next test downloads into the same work folder
}

TEST(UpdateEngine, StartWorksAgainAfterAFailureBeforeTheFirstBlockButNotAfterOneDuringTheTransfer) {
    FtpTestServer& server = Server();
    ASSERT_TRUE(server.Port() != 0 || server.Start());
    const std::string setup = ServeDemoSetup(server);
    auto tasks = ThreadTasks();
    Recorder recorder;
    {
        CUpdateEngine engine(recorder, tasks);
        const auto told = [&](RoadFactKind kind) {
            return PumpUntil(
                *tasks, [&] { return recorder.Told(kind); }, 60000);
        };
        // The setup program is gone from the server between the check and Start.
        server.SetFaults(std::string(R"({"remove_after_list": [")") + kRemote + R"("]})");
        ASSERT_TRUE(engine.Check());
        ASSERT_TRUE(told(RoadFactKind::Checked));
        ASSERT_TRUE(engine.Start({0}));
        ASSERT_TRUE(told(RoadFactKind::DownloadFailed));
        EXPECT_EQ(recorder.failure, DownloadResult::RemoteFileUnopenable);
        EXPECT_EQ(engine.State(), RoadState::Failed);
        EXPECT_TRUE(engine.Offer().updatable[0]);

        // It is back: the same offer starts again, without a check, and goes to the launch.
        server.SetFaults("{}");
        server.AddFile(kSetup, setup);
        recorder.facts.clear();
        ASSERT_TRUE(engine.Start({0}));
        ASSERT_TRUE(told(RoadFactKind::HandedOff));
        EXPECT_EQ(engine.Outcome(), RoadOutcome::Launched);
    }
    EXPECT_TRUE(SetupLaunched());
    ASSERT_TRUE(LaunchedSetupEnded());
    {
        // A file shorter than listed fails during its transfer: its row keeps its percentage, so
        // Start is refused until a check has offered the setup again.
        CUpdateEngine engine(recorder, tasks);
        ::DeleteFileW(kLaunchRecord);
        ::SetEnvironmentVariableW(L"QV_TEST_LINE_BOUNDS", L"2000,60000,200");  // a short wait between retries
        server.SetFaults(std::string(R"({"size_override": {")") + kRemote + R"(": 9999999}})");
        recorder.facts.clear();
        ASSERT_TRUE(engine.Check());
        ASSERT_TRUE(PumpUntil(
            *tasks, [&] { return recorder.Told(RoadFactKind::Checked); }, 5000));
        ASSERT_TRUE(engine.Start({0}));
        ASSERT_TRUE(PumpUntil(
            *tasks, [&] { return recorder.Told(RoadFactKind::DownloadFailed); }, 120000));
        EXPECT_EQ(engine.State(), RoadState::Failed);
        EXPECT_FALSE(engine.Offer().updatable[0]);
        EXPECT_FALSE(engine.Start({0}));
        server.SetFaults("{}");
        recorder.facts.clear();
        ASSERT_TRUE(engine.Check());
        ASSERT_TRUE(PumpUntil(
            *tasks, [&] { return recorder.Told(RoadFactKind::Checked); }, 5000));
        EXPECT_TRUE(engine.Offer().updatable[0]);
        EXPECT_TRUE(engine.Start({0}));
        EXPECT_TRUE(engine.Stop());
        EXPECT_EQ(engine.Outcome(), RoadOutcome::Stopped);
    }
    tasks->Close();
}
