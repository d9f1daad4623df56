// Rules of the program's message box that need no window: where the two texts start, which buttons
// a button set shows and where, what the keyboard chooses, and when the box moves to the screen's
// centre.
#pragma once

#include "controls/logic/Geometry.h"

#include <string>
#include <vector>

namespace msgbox {

// Lengths here are the layout's (96 DPI); the rules give places at the window's scale.

const int kTextLeft = 165;
const int kTextRightMargin = 5;
const int kButtonWidth = 175;
const int kButtonHeight = 55;
const int kButtonBottomMargin = 15;
const int kIconLeft = 20;
const int kIdFirst = 10;
const int kIdSecond = 11;
const int kIdThird = 12;

struct TextTops {
    int mainTop = 0;
    int lines = 0;      // line widths the main text needs (1 to 4); 0 when it needs more
    int secondTop = 0;  // where the second text starts
};

// clientHeight: H; availableWidth: the text area's width; mainWidth/lineHeight: the main text
// measured on one line; buttonSetZero: the box shows its button-less layout; mainDrawnHeight: the
// height the word-wrapped main text takes (used only when it needs more than four lines, where the
// second text follows it).
TextTops PlaceTexts(int clientHeight, int availableWidth, int mainWidth, int lineHeight, bool secondEmpty,
                    bool buttonSetZero, int mainDrawnHeight);

struct ButtonSpec {
    int id;
    std::wstring caption;
};

struct ButtonSetLayout {
    bool known = false;               // false: the layout leaves the buttons as they were
    std::vector<ButtonSpec> buttons;  // left to right
};

// The buttons of a button set; set 0 (and 9, which is treated as 0) depends on the kind.
ButtonSetLayout ButtonsForSet(int buttonSet, int kind);

// The x of the centre of button i of count buttons across a client of width W.
int ButtonCentre(int clientWidth, int count, int index);
// The rectangle of a button centred on x at the bottom of a client of height H.
QvRect ButtonRect(int centreX, int clientHeight);
// The icon's top for a client of height H.
int IconTop(int clientHeight, bool buttonSetZero);

// Keyboard choices; 0 means no choice.
int EnterChoice(int buttonSet, int activeCount, int focusIndex);
int EscapeChoice(int buttonSet);
// The focus index after a Left (delta -1) or Right (+1) key, kept within the active buttons.
int MoveFocus(int focusIndex, int delta, int activeCount);

// Whether the box centred on its owner would leave the screen (past the bottom or the left edge).
bool NeedsScreenCentre(const QvRect& ownerNormal, int imageWidth, int imageHeight, int screenHeight);
// The box centred over its owner's window rectangle.
QvRect CentreOver(const QvRect& owner, int imageWidth, int imageHeight);

}  // namespace msgbox
