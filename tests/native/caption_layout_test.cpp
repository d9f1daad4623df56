// Caption placement of the skinned buttons.
#include "controls/logic/CaptionLayout.h"

#include <gtest/gtest.h>

namespace {

const QvRect kButton = MakeQvRect(0, 0, 175, 55);  // A = 155, wrap estimate width 135

TEST(CaptionLayout, OneLineIsCentredOnTheFrame) {
    const CaptionPlacement p = PlaceCaption(kButton, 55, 154, 21, false);
    EXPECT_EQ(p.lines, 1);
    EXPECT_EQ(p.rect, MakeQvRect(0, 27 - 10, 175, 55));
}

TEST(CaptionLayout, TwoLinesStartALineHigherAndAreInset) {
    const CaptionPlacement p = PlaceCaption(kButton, 55, 155, 21, false);
    EXPECT_EQ(p.lines, 2);
    EXPECT_EQ(p.rect, MakeQvRect(10, 27 - 21, 165, 55));
    EXPECT_EQ(PlaceCaption(kButton, 55, 269, 21, false).lines, 2);
}

TEST(CaptionLayout, ThreeLinesStartOneAndAHalfLinesHigher) {
    const CaptionPlacement p = PlaceCaption(kButton, 55, 270, 21, false);
    EXPECT_EQ(p.lines, 3);
    EXPECT_EQ(p.rect.top, 27 - 31);
    EXPECT_EQ(p.rect.left, 10);
}

TEST(CaptionLayout, FrameHeightNotClientHeightCentres) {
    // A frame shorter than the button centres the caption on the frame.
    EXPECT_EQ(PlaceCaption(MakeQvRect(0, 0, 136, 60), 42, 50, 16, false).rect.top, 21 - 8);
}

TEST(CaptionLayout, MarkerStripMovesEveryTopDown) {
    EXPECT_TRUE(HasMarkerShift(320, 48, 0));
    EXPECT_TRUE(HasMarkerShift(320, 48, 3));
    EXPECT_FALSE(HasMarkerShift(320, 48, 1));
    EXPECT_FALSE(HasMarkerShift(320, 47, 0));
    const QvRect strip = MakeQvRect(0, 0, 320, 48);
    EXPECT_EQ(PlaceCaption(strip, 48, 100, 20, true).rect.top, 24 - 10 + 7);
    EXPECT_EQ(PlaceCaption(strip, 48, 400, 20, true).rect.top, 24 - 20 + 7);
}

TEST(CaptionLayout, NarrowButtonDoesNotDivideByZero) {
    const CaptionPlacement p = PlaceCaption(MakeQvRect(0, 0, 40, 30), 30, 50, 10, false);
    EXPECT_EQ(p.lines, 3);
}

TEST(CaptionLayout, SplitCaptionPutsTheSecondPartBelowTheFirst) {
    const SplitCaptionTops t = PlaceSplitCaption(MakeQvRect(0, 0, 490, 75), 22);
    EXPECT_EQ(t.first, 18);
    EXPECT_EQ(t.second, 40);
}

}  // namespace
