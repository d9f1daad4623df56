// A long piece of work run off the user-interface thread while that thread waits for its answer.
#pragma once

#include "framework/Win32.h"

#include <functional>

// Runs `work` on a helper thread while the calling thread keeps painting its windows and answering
// messages sent to it; input stays queued until the answer is there. Returns the work's answer, or
// `whenLate` when none came within the timeout: the helper then finishes on its own, so `work` must
// own everything it touches.
int RunWhilePainting(std::function<int()> work, DWORD timeoutMs, int whenLate);
