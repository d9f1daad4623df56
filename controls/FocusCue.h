// The keyboard focus cue of the skinned controls: a dotted frame in the skin's caption colour,
// shown only while the window shows keyboard cues (hidden until the first key press).
#pragma once

#include "framework/Win32.h"

// True while the window's top-level window shows focus cues (no UISF_HIDEFOCUS).
bool FocusCuesShown(HWND wnd);
// A one-pixel dotted frame just inside rc.
void DrawFocusCue(HDC dc, const RECT& rc, COLORREF colour);
