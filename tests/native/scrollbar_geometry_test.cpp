// Geometry of the skinned scroll bar: parts, hit test and drag mapping.
#include "controls/logic/ScrollBarGeometry.h"

#include <gtest/gtest.h>

namespace {

ScrollState ListState(int pos = 0) {
    ScrollState s;
    s.minPos = 0;
    s.maxPos = 390;
    s.page = 219;
    s.pos = pos;
    return s;
}

const QvRect kClient = MakeQvRect(0, 0, 17, 182);

TEST(ScrollBarGeometry, ListRangeGivesButtonsTrackAndThumb) {
    const ScrollState s = ListState();
    EXPECT_EQ(ScrollPartRect(kScrollLineUp, kClient, s, true), MakeQvRect(0, 0, 17, 18));
    EXPECT_EQ(ScrollPartRect(kScrollLineDown, kClient, s, true), MakeQvRect(0, 164, 17, 182));
    const QvRect track = ScrollPartRect(kScrollPartTrack, kClient, s, true);
    EXPECT_EQ(track.top, 18);
    EXPECT_EQ(track.Height(), 145);
    const QvRect thumb = ScrollPartRect(kScrollThumbTrack, kClient, s, true);
    EXPECT_EQ(thumb.top, 18);
    EXPECT_EQ(thumb.Height(), 81);
    EXPECT_EQ(ScrollPartRect(42, kClient, s, true), kClient);
}

TEST(ScrollBarGeometry, ThumbMovesWithPositionAndEndsAtTrackEnd) {
    // 145 - 81 = 64 pixels over 172 steps.
    const QvRect last = ScrollPartRect(kScrollThumbTrack, kClient, ListState(172), true);
    EXPECT_EQ(last.top, static_cast<int>(18.2 + 172 * (64.0 / 172)));
    EXPECT_LE(last.bottom, 18 + 145 + 1);
    EXPECT_GT(last.top, ScrollPartRect(kScrollThumbTrack, kClient, ListState(86), true).top);
}

TEST(ScrollBarGeometry, HitTestFollowsTheThumbEdges) {
    const ScrollState s = ListState(86);
    const QvRect thumb = ScrollPartRect(kScrollThumbTrack, kClient, s, true);
    EXPECT_EQ(ScrollHitTest(5, 3, kClient, s, true), kScrollLineUp);
    EXPECT_EQ(ScrollHitTest(5, 18, kClient, s, true), kScrollLineUp);  // the up button's bottom line
    EXPECT_EQ(ScrollHitTest(5, 19, kClient, s, true), kScrollPageUp);
    EXPECT_EQ(ScrollHitTest(5, thumb.top, kClient, s, true), kScrollLineUp);
    EXPECT_EQ(ScrollHitTest(5, thumb.top + 1, kClient, s, true), kScrollThumbTrack);
    EXPECT_EQ(ScrollHitTest(5, thumb.bottom - 1, kClient, s, true), kScrollThumbTrack);
    EXPECT_EQ(ScrollHitTest(5, thumb.bottom, kClient, s, true), kScrollLineUp);
    EXPECT_EQ(ScrollHitTest(5, thumb.bottom + 1, kClient, s, true), kScrollPageDown);
    EXPECT_EQ(ScrollHitTest(5, 163, kClient, s, true), kScrollPageDown);
    EXPECT_EQ(ScrollHitTest(5, 164, kClient, s, true), kScrollLineDown);
    EXPECT_EQ(ScrollHitTest(5, 181, kClient, s, true), kScrollLineDown);
}

TEST(ScrollBarGeometry, PressOnTopEdgeOfThumbAtStartIsTheUpButton) {
    const ScrollState s = ListState(0);
    EXPECT_EQ(ScrollPartRect(kScrollThumbTrack, kClient, s, true).top, 18);
    EXPECT_EQ(ScrollHitTest(5, 18, kClient, s, true), kScrollLineUp);
    EXPECT_EQ(ScrollHitTest(5, 19, kClient, s, true), kScrollThumbTrack);
}

TEST(ScrollBarGeometry, DragIsClampedToTheRange) {
    const ScrollState s = ListState(50);
    EXPECT_EQ(ScrollDragPosition(-400, 10, kClient, s, true), 0);
    EXPECT_EQ(ScrollDragPosition(18, 0, kClient, s, true), 0);
    EXPECT_EQ(ScrollDragPosition(1000, 10, kClient, s, true), 390 - 219 + 1);
    EXPECT_EQ(ScrollDragPosition(2000000000, 0, kClient, s, true), 172);
    // Halfway down the free track: step' = (145.6 - 81) / 172.
    const double step = (145.6 - 81) / 172;
    EXPECT_EQ(ScrollDragPosition(18 + 32 + 5, 5, kClient, s, true), static_cast<int>(32 / step));
}

TEST(ScrollBarGeometry, MinimumAboveZeroIsRespected) {
    ScrollState s = ListState();
    s.minPos = 5;
    EXPECT_EQ(ScrollDragPosition(0, 0, kClient, s, true), 5);
}

TEST(ScrollBarGeometry, FullPageOrEmptyRangeStaysFinite) {
    ScrollState s;
    s.maxPos = 9;
    s.page = 10;  // everything visible: no steps
    const QvRect thumb = ScrollPartRect(kScrollThumbTrack, kClient, s, true);
    EXPECT_EQ(thumb.top, 18);
    EXPECT_EQ(thumb.Height(), 145);
    EXPECT_EQ(ScrollDragPosition(120, 0, kClient, s, true), 0);
    s.page = 50;  // a page larger than the range does not make the thumb longer than the track
    EXPECT_EQ(ScrollPartRect(kScrollThumbTrack, kClient, s, true).Height(), 145);
    s.maxPos = -1;
    s.page = 0;
    EXPECT_EQ(ScrollPartRect(kScrollThumbTrack, kClient, s, true).top, 18);
    ScrollState empty;
    EXPECT_EQ(ScrollPartRect(kScrollThumbTrack, kClient, empty, true).Height(), 0);
}

TEST(ScrollBarGeometry, HorizontalBarWorksAlongX) {
    const QvRect client = MakeQvRect(0, 0, 182, 17);
    const ScrollState s = ListState();
    EXPECT_EQ(ScrollPartRect(kScrollLineUp, client, s, false), MakeQvRect(0, 0, 18, 17));
    EXPECT_EQ(ScrollPartRect(kScrollLineDown, client, s, false), MakeQvRect(164, 0, 182, 17));
    EXPECT_EQ(ScrollPartRect(kScrollThumbTrack, client, s, false).Width(), 81);
    EXPECT_EQ(ScrollHitTest(170, 5, client, s, false), kScrollLineDown);
    EXPECT_EQ(ScrollHitTest(40, 5, client, s, false), kScrollThumbTrack);
    EXPECT_EQ(ScrollDragPosition(1000, 0, client, s, false), 172);
}

}  // namespace
