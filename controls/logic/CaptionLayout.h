// Placement of a skinned button's caption from the measured size of its text.
#pragma once

#include "controls/logic/Geometry.h"

struct CaptionPlacement {
    QvRect rect;    // where the caption is drawn (word-wrapped, centred by the caller's flags)
    int lines = 1;  // 1, 2 or 3: how many lines the caption is expected to take
};

// client: the button's client rectangle; imageHeight: the frame height (the client height when the
// button has no image); textWidth/textHeight: the caption measured on one line; markerShift: the
// caption sits 7 pixels lower (the 320 x 48 strip in its normal and third state).
CaptionPlacement PlaceCaption(const QvRect& client, int imageHeight, int textWidth, int textHeight, bool markerShift);

// Whether a strip of this size and a state get the 7-pixel shift and the "\n" marker rules.
bool IsMarkerStrip(int imageWidth, int imageHeight);
bool HasMarkerShift(int imageWidth, int imageHeight, unsigned state);

// A caption split at a carriage return: the first part starts a quarter of the height down, the
// second part right below the first part's drawn height.
struct SplitCaptionTops {
    int first;
    int second;
};
SplitCaptionTops PlaceSplitCaption(const QvRect& client, int firstPartHeight);
