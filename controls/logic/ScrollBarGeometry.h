// Geometry of the skinned scroll bar: the rectangles of its parts, the hit test and the mapping of a
// thumb drag to a scroll position. Vertical bars work along y, horizontal bars along x.
#pragma once

#include "controls/logic/Geometry.h"

// Part codes; all but the track are also the scroll codes sent to the owner.
enum ScrollPart {
    kPartLineUp = 0,
    kPartLineDown = 1,
    kPartPageUp = 2,
    kPartPageDown = 3,
    kPartThumb = 5,
    kPartTrack = 10,
};

struct ScrollState {
    int minPos = 0;
    int maxPos = 0;
    unsigned page = 0;
    int pos = 0;
};

// The rectangle of a part in a client rectangle of origin (0, 0); any other code gives the client.
QvRect ScrollPartRect(int part, const QvRect& client, const ScrollState& state, bool vertical);

// The part under the point (x, y): line up/down, page up/down or thumb.
int ScrollHitTest(int x, int y, const QvRect& client, const ScrollState& state, bool vertical);

// The position for a drag point (y for a vertical bar, x for a horizontal one) pressed dragOffset
// pixels below the thumb's top, clamped to minPos .. maxPos - page + 1.
int ScrollDragPosition(int coord, int dragOffset, const QvRect& client, const ScrollState& state, bool vertical);
