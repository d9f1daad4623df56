// The window's scale factor and the rule that keeps a window on its monitor.
#include "controls/logic/DpiScale.h"

#include <algorithm>

namespace {
DpiScale g_uiScale;
}  // namespace

const DpiScale& UiScale() { return g_uiScale; }

void SetUiScale(const DpiScale& scale) { g_uiScale = scale; }

QvRect KeepInside(const QvRect& window, const QvRect& workArea) {
    const int left = std::max(std::min(window.left, workArea.right - window.Width()), workArea.left);
    const int top = std::max(std::min(window.top, workArea.bottom - window.Height()), workArea.top);
    return MakeQvRect(left, top, left + window.Width(), top + window.Height());
}
