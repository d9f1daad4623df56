// Message-box rules. The main text starts higher the more line widths it needs, so that together
// with the second text it stays centred above the buttons.
#include "controls/logic/MsgBoxLayout.h"

#include "controls/logic/DpiScale.h"

#include <cstdlib>

namespace msgbox {

TextTops PlaceTexts(int clientHeight, int availableWidth, int mainWidth, int lineHeight, bool secondEmpty,
                    bool buttonSetZero, int mainDrawnHeight) {
    const int H = clientHeight;
    const int cy = lineHeight;
    const int cx = mainWidth;
    const int A = availableWidth;
    TextTops t;
    int withButtons = 0;
    int withoutButtons = 0;
    const int band = UiPx(32), bandOfFour = UiPx(72), gap = UiPx(10);
    if (cx <= A && !secondEmpty) {
        withButtons = static_cast<int>((H - band) / 2 - 1.5 * cy);
        withoutButtons = static_cast<int>(H / 2 - 1.5 * cy);
        t.lines = 1;
    } else if (cx <= A) {
        withButtons = (H - band) / 2 - cy;
        withoutButtons = H / 2 - cy;
        t.lines = 1;
    } else if (cx <= 2 * A) {
        withButtons = (H - band) / 2 - 2 * cy;
        withoutButtons = H / 2 - 2 * cy;
        t.lines = 2;
    } else if (cx <= 3 * A) {
        withButtons = (H - band) / 2 - 3 * cy;
        withoutButtons = H / 2 - 3 * cy;
        t.lines = 3;
    } else if (cx <= 4 * A) {
        withButtons = static_cast<int>((H - bandOfFour) / 2 - 4.5 * cy);
        withoutButtons = static_cast<int>(H / 2 - 4.5 * cy);
        t.lines = 4;
    } else {
        t.lines = 0;
        t.mainTop = UiPx(buttonSetZero ? 15 + 30 : 15 + 10);
        t.secondTop = t.mainTop + mainDrawnHeight + gap;
        return t;
    }
    t.mainTop = buttonSetZero ? withoutButtons : withButtons;
    t.secondTop = t.mainTop + t.lines * cy + gap;
    return t;
}

ButtonSetLayout ButtonsForSet(int buttonSet, int kind) {
    ButtonSetLayout l;
    l.known = true;
    switch (buttonSet) {
    case 0:
    case 9:
        if (kind == 9 || kind == 10 || kind == 11)
            l.buttons = {{kIdThird, L"OK"}};
        else if (kind == 4)
            l.buttons = {{kIdFirst, L"OK"}};
        break;
    case 1: l.buttons = {{kIdFirst, L"YES"}, {kIdSecond, L"NO"}}; break;
    case 2: l.buttons = {{kIdFirst, L"OK"}, {kIdSecond, L"CANCEL"}}; break;
    case 4: l.buttons = {{kIdFirst, L"ABORT"}, {kIdSecond, L"RETRY"}}; break;
    case 5: l.buttons = {{kIdFirst, L"READ"}, {kIdSecond, L"WRITE"}, {kIdThird, L"ERASE"}}; break;
    case 6: l.buttons = {{kIdFirst, L"OK"}}; break;
    case 7: l.buttons = {{kIdFirst, L"ENTER"}}; break;
    case 8: l.buttons = {{kIdFirst, L"ESC"}}; break;
    case 10: l.buttons = {{kIdFirst, L"ENTER"}, {kIdSecond, L"ESC"}}; break;
    default: l.known = false; break;
    }
    return l;
}

int ButtonCentre(int clientWidth, int count, int index) {
    const int W = clientWidth;
    switch (count) {
    case 1: return W / 2;
    case 2: return index == 0 ? W / 3 : 2 * W / 3;
    default: return (index + 1) * (W / 4);
    }
}

QvRect ButtonRect(int centreX, int clientHeight) {
    const int width = UiPx(kButtonWidth), height = UiPx(kButtonHeight);
    const int left = centreX - width / 2;
    const int top = clientHeight - height - UiPx(kButtonBottomMargin);
    return MakeQvRect(left, top, left + width, top + height);
}

int IconTop(int clientHeight, bool buttonSetZero) { return clientHeight / 2 - UiPx(buttonSetZero ? 70 : 72); }

int EnterChoice(int buttonSet, int activeCount, int focusIndex) {
    if (buttonSet == 0 || activeCount == 1 || focusIndex == 0) return kIdFirst;
    return kIdSecond;
}

int EscapeChoice(int buttonSet) {
    if (buttonSet == 0) return 0;
    return buttonSet == 8 ? kIdFirst : kIdSecond;
}

int MoveFocus(int focusIndex, int delta, int activeCount) {
    int next = focusIndex + delta;
    if (next > activeCount - 1) next = activeCount - 1;
    if (next < 0) next = 0;
    return next;
}

bool NeedsScreenCentre(const QvRect& ownerNormal, int imageWidth, int imageHeight, int screenHeight) {
    const int oh = ownerNormal.Height();
    const int ow = ownerNormal.Width();
    const int dy = (oh - oh / 2) - imageHeight / 2;
    const int dx = std::abs((ow - ow / 2) - imageWidth / 2);
    return ownerNormal.bottom - dy > screenHeight || ownerNormal.left + dx < 0;
}

QvRect CentreOver(const QvRect& owner, int imageWidth, int imageHeight) {
    const int left = owner.left + (owner.Width() - imageWidth) / 2;
    const int top = owner.top + (owner.Height() - imageHeight) / 2;
    return MakeQvRect(left, top, left + imageWidth, top + imageHeight);
}

}  // namespace msgbox
