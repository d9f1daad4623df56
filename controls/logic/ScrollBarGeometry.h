// Geometry of the skinned scroll bar: the rectangles of its parts, the hit test and the mapping of a
// thumb drag to a scroll position. Vertical bars work along y, horizontal bars along x.
#pragma once

#include "controls/logic/Geometry.h"
#include "controls/logic/ScrollCodes.h"

struct ScrollState {
    int minPos = 0;
    int maxPos = 0;
    unsigned page = 0;
    int pos = 0;
};

// The rectangle of a part (kScrollLineUp, kScrollLineDown, kScrollThumbTrack for the thumb,
// kScrollPartTrack) in a client rectangle of origin (0, 0); any other code gives the client.
QvRect ScrollPartRect(int part, const QvRect& client, const ScrollState& state, bool vertical);

// The part under the point (x, y): line up/down, page up/down or the thumb (kScrollThumbTrack).
int ScrollHitTest(int x, int y, const QvRect& client, const ScrollState& state, bool vertical);

// The position for a drag point (y for a vertical bar, x for a horizontal one) pressed dragOffset
// pixels below the thumb's top, clamped to minPos .. maxPos - page + 1.
int ScrollDragPosition(int coord, int dragOffset, const QvRect& client, const ScrollState& state, bool vertical);
