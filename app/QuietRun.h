// A run without any window: /check asks the server and ends; /update /quiet runs the whole road.
// The engine's facts arrive as tasks announced by a thread message, so no window (and none of the
// platform's desktop start-up) is made; the run ends with the road's exit code.
#pragma once

#include "framework/UiTaskQueue.h"
#include "update/UpdateEngine.h"
#include "app/logic/CommandLine.h"

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
};
