// The road's engine against a real FTP server under Wine: the facts of one installation arrive in
// order on the driver's thread, from the check to the launch, and the road stays busy from the start
// of the download until the hand-off has run (the gap between the worker's end and the hand-off
// included), so no check or second start slips in.
#include "support/ftp_test_server.h"
#include "update/UpdateEngine.h"

#include <gtest/gtest.h>

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
    }
    std::vector<RoadFactKind> facts;
    std::vector<DownloadState> states;
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

std::string DemoSetup() {
    wchar_t self[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    const std::wstring here(self);
    return ReadWholeFile(here.substr(0, here.find_last_of(L'\\') + 1) + L"DemoSetupSigned.exe");
}

}  // namespace

TEST(UpdateEngine, FactsOfOneRoadArriveInOrderAndTheRoadIsBusyUntilTheHandOff) {
    FtpTestServer server;
    ASSERT_TRUE(server.Start());
    const std::string setup = DemoSetup();
    ASSERT_FALSE(setup.empty());
    // This program's name carries no known edition code: its folder is OEM's, without edition or channel.
    server.AddFile(L"OEM\\Software\\TALVIX_FULL_250101.exe", setup);
    const std::wstring sources = L"ftp://127.0.0.1:" + std::to_wstring(server.Port());
    ::SetEnvironmentVariableW(L"QV_TEST_UPDATE_SOURCES", sources.c_str());
    ::SetEnvironmentVariableW(L"QV_SETUP_AUTOCLOSE_MS", L"300");
    ::DeleteFileW(kLaunchRecord);

    MSG msg;
    ::PeekMessageW(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
    auto tasks = std::make_shared<CUiTaskQueue>(::GetCurrentThreadId(), kWakeUp);
    Recorder recorder;
    {
        CUpdateEngine engine(recorder, tasks);
        EXPECT_FALSE(engine.Start({0}));  // nothing offered yet
        ASSERT_TRUE(engine.Check());
        ASSERT_EQ(engine.State(), RoadState::Ready) << "requests: " << server.Requests().size();
        ASSERT_EQ(engine.Offer().setups.size(), 1u);
        EXPECT_FALSE(engine.Busy());

        ASSERT_TRUE(engine.Start({0}));
        EXPECT_TRUE(engine.Busy());
        EXPECT_FALSE(engine.Check());     // Check Server while the worker runs
        EXPECT_FALSE(engine.Start({0}));  // a second start
        const auto due = [&] { return !recorder.facts.empty() && recorder.facts.back() == RoadFactKind::HandOffDue; };
        ASSERT_TRUE(PumpUntil(*tasks, due, 60000));
        // The worker has ended; until the hand-off runs the road is still busy.
        EXPECT_EQ(engine.State(), RoadState::HandingOff);
        EXPECT_TRUE(engine.Busy());
        EXPECT_FALSE(engine.Check());
        ASSERT_TRUE(engine.HandOff());
        EXPECT_FALSE(engine.HandOff());  // once
        EXPECT_EQ(engine.State(), RoadState::Done);
        EXPECT_EQ(engine.Outcome(), RoadOutcome::Launched);
    }
    tasks->Close();

    // Checked, then the item's progress from connecting to completed, the check of the setup, the
    // hand-off due, and its end.
    ASSERT_GE(recorder.facts.size(), 5u);
    EXPECT_EQ(recorder.facts.front(), RoadFactKind::Checked);
    const std::vector<RoadFactKind> tail(recorder.facts.end() - 3, recorder.facts.end());
    EXPECT_EQ(tail,
              (std::vector<RoadFactKind>{RoadFactKind::Verifying, RoadFactKind::HandOffDue, RoadFactKind::HandedOff}));
    ASSERT_FALSE(recorder.states.empty());
    EXPECT_EQ(recorder.states.front(), DownloadState::Connecting);
    EXPECT_EQ(recorder.states.back(), DownloadState::Completed);
    // The launched setup program records its start.
    const DWORD start = ::GetTickCount();
    while (ReadWholeFile(kLaunchRecord).empty() && ::GetTickCount() - start < 30000) ::Sleep(50);
    EXPECT_FALSE(ReadWholeFile(kLaunchRecord).empty());
}
