// A run without any window: /check asks the server and ends; /update /quiet runs the whole road,
// waits for an unattended setup's end and ends with its code, all within the run's deadline.
// The engine's facts arrive as tasks announced by a thread message, so no window (and none of the
// platform's desktop start-up) is made; the run ends with the road's exit code.
#pragma once

#include "app/logic/CommandLine.h"
#include "framework/UiTaskQueue.h"
#include "update/engine/UpdateEngine.h"

#include <memory>

class CQuietRun : private IRoadObserver {
public:
    explicit CQuietRun(const RunCommand& command) : m_command(command) {}
    ~CQuietRun() override;
    CQuietRun(const CQuietRun&) = delete;
    CQuietRun& operator=(const CQuietRun&) = delete;
    // Runs the road to its end and returns the exit code.
    int Run();

private:
    void OnRoadFact(const RoadFact& fact) override;

    const RunCommand m_command;
    std::shared_ptr<CUiTaskQueue> m_pTasks;
    std::unique_ptr<CUpdateEngine> m_pEngine;
    bool m_bFinished = false;
    RoadFact m_handedOff;  // the hand-off's fact: the setup's own end when it was waited for
};
