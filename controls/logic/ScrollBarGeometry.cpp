// Scroll-bar geometry. Buttons take a tenth of the length at each end; the thumb is as long as the
// page's share of the range, without a minimum length.
#include "controls/logic/ScrollBarGeometry.h"

namespace {

// Each button takes this share of the bar's length; the track is what the two leave.
constexpr double kButtonShare = 0.1;
constexpr double kButtonsShare = 2 * kButtonShare;

// Thumb length and pixels per position step along a track of the given length. A range that the
// page covers wholly has no steps: the thumb then fills its share and stays at the track's start.
struct ThumbMetrics {
    double length;
    double step;
};

ThumbMetrics MeasureThumb(double trackLength, const ScrollState& s) {
    const double span = static_cast<double>(s.maxPos) + 1.0;
    double ratio = span > 0.0 ? static_cast<double>(s.page) / span : 1.0;
    if (ratio > 1.0) ratio = 1.0;
    ThumbMetrics m{};
    m.length = static_cast<int>(trackLength * ratio);
    const double steps = span - static_cast<double>(s.page);
    m.step = steps > 0.0 ? (trackLength - m.length) / steps : 0.0;
    return m;
}

QvRect Along(bool vertical, const QvRect& client, int from, int to) {
    return vertical ? MakeQvRect(0, from, client.Width(), to) : MakeQvRect(from, 0, to, client.Height());
}

}  // namespace

QvRect ScrollPartRect(int part, const QvRect& client, const ScrollState& state, bool vertical) {
    const int length = vertical ? client.Height() : client.Width();
    const int button = static_cast<int>(length * kButtonShare);
    const int track = static_cast<int>(length - length * kButtonsShare);
    switch (part) {
    case kScrollLineUp: return Along(vertical, client, 0, button);
    case kScrollLineDown: return Along(vertical, client, length - button, length);
    case kScrollPartTrack: return Along(vertical, client, button, button + track);
    case kScrollThumbTrack: {
        const ThumbMetrics m = MeasureThumb(track, state);
        const int start = static_cast<int>(length * kButtonShare + state.pos * m.step);
        return Along(vertical, client, start, start + static_cast<int>(m.length));
    }
    default: return client;
    }
}

int ScrollHitTest(int x, int y, const QvRect& client, const ScrollState& state, bool vertical) {
    const QvRect thumb = ScrollPartRect(kScrollThumbTrack, client, state, vertical);
    const QvRect up = ScrollPartRect(kScrollLineUp, client, state, vertical);
    const QvRect down = ScrollPartRect(kScrollLineDown, client, state, vertical);
    const int c = vertical ? y : x;
    const int thumbStart = vertical ? thumb.top : thumb.left;
    const int thumbEnd = vertical ? thumb.bottom : thumb.right;
    const int upEnd = vertical ? up.bottom : up.right;
    const int downStart = vertical ? down.top : down.left;

    if (thumbStart < c && c < thumbEnd) return kScrollThumbTrack;
    if (c < thumbStart) return c > upEnd ? kScrollPageUp : kScrollLineUp;
    // Exactly on the thumb's first or last pixel line.
    if (c <= thumbEnd) return kScrollLineUp;
    return c < downStart ? kScrollPageDown : kScrollLineDown;
}

int ScrollDragPosition(int coord, int dragOffset, const QvRect& client, const ScrollState& state, bool vertical) {
    const int length = vertical ? client.Height() : client.Width();
    const double track = length - length * kButtonsShare;
    const ThumbMetrics m = MeasureThumb(track, state);
    const int upper = state.maxPos - static_cast<int>(state.page) + 1;
    if (m.step <= 0.0) return state.minPos;
    double p = (coord - dragOffset - static_cast<int>(length * kButtonShare)) / m.step;
    // Clamp before converting so that a far drag cannot overflow the integer.
    if (p < state.minPos) p = state.minPos;
    if (p > upper) p = upper;
    const int pos = static_cast<int>(p);
    return pos < state.minPos ? state.minPos : pos;
}
