// The keyboard focus cue of the skinned controls: a dotted frame in the skin's caption colour,
// shown only once the user has pressed a key in the control's top-level window, as Windows hides
// focus rectangles of a window opened with the mouse until the first key press.
#pragma once

#include "framework/Win32.h"

// The user pressed a key in wnd's top-level window: from now on its controls show focus cues.
void NoteKeyboardUse(HWND wnd);
// Back to hidden cues for wnd's top-level window (until the next key press).
void ForgetKeyboardUse(HWND wnd);
bool KeyboardUsed(HWND wnd);
// A key has been pressed in wnd's top-level window and the system's state does not hide focus.
bool FocusCuesShown(HWND wnd);
// A key message that the dialog manager hands to WM_GETDLGCODE (lParam), or null.
bool IsKeyPress(LPARAM dlgCodeMessage);
// A one-pixel dotted frame just inside rc.
void DrawFocusCue(HDC dc, const RECT& rc, COLORREF colour);
