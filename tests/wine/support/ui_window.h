// Helpers for Windows-side tests of real windows: a host window that records what its children
// send or post to it, message pumping with deadlines, and posted mouse and keyboard input.
//
//   UiHostWindow host;
//   ASSERT_TRUE(host.Create(50, 50, 400, 300));
//   UiPostClick(button, 10, 10);
//   ASSERT_TRUE(UiPumpUntil([&] { return host.Count(WM_COMMAND) == 1; }, 2000));
#pragma once

#include "framework/Wnd.h"

#include <functional>
#include <vector>

struct UiRecordedMessage {
    UINT msg;
    WPARAM wParam;
    LPARAM lParam;
    double ms;  // UiNowMs() when it arrived
};

// A plain top-level window that records WM_COMMAND, WM_VSCROLL, WM_HSCROLL and WM_USER and
// later messages.
class UiHostWindow : public CWnd {
public:
    BOOL Create(int x, int y, int cx, int cy, bool visible = true);
    std::vector<UiRecordedMessage> Messages(UINT msg) const;
    size_t Count(UINT msg) const { return Messages(msg).size(); }
    void ClearLog() { m_log.clear(); }

protected:
    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    std::vector<UiRecordedMessage> m_log;
};

// Milliseconds from a fixed start, with sub-millisecond resolution.
double UiNowMs();

// Handles the thread's messages, with the framework's pre-translation, for ms milliseconds.
void UiPumpFor(DWORD ms);
// Handles messages until the condition holds or the time is up; returns the condition.
bool UiPumpUntil(const std::function<bool()>& condition, DWORD timeoutMs);
// Waits without handling messages (for helper threads); returns the condition.
bool UiWaitUntil(const std::function<bool()>& condition, DWORD timeoutMs);

// Posted mouse input in client coordinates; buttons held are given by keys (MK_LBUTTON, ...).
void UiPostMouse(HWND wnd, UINT msg, int x, int y, WPARAM keys = 0);
// Button down and up at one point.
void UiPostClick(HWND wnd, int x, int y);
// Key down and key up, through the message queue so that pre-translation sees them.
void UiPostKey(HWND wnd, UINT vk);
