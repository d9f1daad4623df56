// Scroll codes as the system's scroll-bar notifications number them (SB_LINEUP and so on), for code
// that has no platform header. The skinned scroll bar's hit parts are these codes as well: the part
// pressed is the code it sends.
#pragma once

enum ScrollCode : int {
    kScrollLineUp = 0,
    kScrollLineDown = 1,
    kScrollPageUp = 2,
    kScrollPageDown = 3,
    kScrollThumbPosition = 4,
    kScrollThumbTrack = 5,
};

// The track between the scroll bar's buttons: a part of the bar's geometry, never a code sent.
constexpr int kScrollPartTrack = 10;
