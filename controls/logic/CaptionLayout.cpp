// Caption placement: one line is centred on the frame's middle; longer captions start half a line
// or a line and a half higher and are inset by 10 pixels on both sides.
#include "controls/logic/CaptionLayout.h"

#include "controls/logic/DpiScale.h"

namespace {
const int kSideSpace = 20;
const int kWrapInset = 10;
const int kMarkerShift = 7;
}  // namespace

CaptionPlacement PlaceCaption(const QvRect& client, int imageHeight, int textWidth, int textHeight, bool markerShift) {
    CaptionPlacement p;
    p.rect = client;
    const int available = client.Width() - UiPx(kSideSpace);
    const int wrapWidth = available - UiPx(kSideSpace);
    if (textWidth < available) {
        p.lines = 1;
        p.rect.top = imageHeight / 2 - textHeight / 2;
    } else {
        // A button too narrow for the wrap estimate takes the caption as three lines.
        p.lines = (wrapWidth <= 0 || textWidth / wrapWidth >= 2) ? 3 : 2;
        p.rect.top = p.lines == 3 ? imageHeight / 2 - (3 * textHeight) / 2 : imageHeight / 2 - textHeight;
        p.rect.left += UiPx(kWrapInset);
        p.rect.right -= UiPx(kWrapInset);
    }
    if (markerShift) p.rect.top += UiPx(kMarkerShift);
    return p;
}

bool IsMarkerStrip(int imageWidth, int imageHeight) { return imageWidth == 320 && imageHeight == 48; }

bool HasMarkerShift(int imageWidth, int imageHeight, unsigned state) {
    return IsMarkerStrip(imageWidth, imageHeight) && (state == 0 || state == 3);
}

SplitCaptionTops PlaceSplitCaption(const QvRect& client, int firstPartHeight) {
    SplitCaptionTops tops{};
    tops.first = client.top + client.Height() / 4;
    tops.second = tops.first + firstPartHeight;
    return tops;
}
