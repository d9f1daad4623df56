// A run without any window: /check asks the server and ends; /update /quiet runs the whole road.
// The engine's facts arrive through a message-only window's task queue; the run ends with the road's
// exit code.
#pragma once

#include "framework/UiTaskQueue.h"
#include "framework/Wnd.h"
#include "update/UpdateEngine.h"
#include "update/logic/CommandLine.h"

#include <memory>

class CQuietRun : public CWnd, private IRoadObserver {
public:
    explicit CQuietRun(const RunCommand& command) : m_command(command) {}
    ~CQuietRun() override;
    // Runs the road to its end and returns the exit code.
    int Run();

protected:
    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    void OnRoadFact(const RoadFact& fact) override;
    void Finish();

    const RunCommand m_command;
    std::shared_ptr<CUiTaskQueue> m_pTasks;
    std::unique_ptr<CUpdateEngine> m_pEngine;
    bool m_bFinished = false;
};
