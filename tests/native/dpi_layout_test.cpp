// The scale rule, the fit rule, the work-area rule and the picture filter of the window's DPI.
#include "controls/logic/DpiScale.h"
#include "controls/logic/PictureScale.h"
#include "controls/logic/TextFit.h"

#include <gtest/gtest.h>

TEST(DpiScale, LayoutDpiKeepsEveryValueAndOthersRoundToNearestPixel) {
    const DpiScale same(96);
    for (int v : {-7, 0, 1, 37, 562}) EXPECT_EQ(same(v), v);
    EXPECT_EQ(DpiScale(120)(562), 703);  // 702.5 rounds up
    EXPECT_EQ(DpiScale(120)(-2), -3);    // halves away from zero, as positive ones
    EXPECT_EQ(DpiScale(144)(598), 897);
    EXPECT_EQ(DpiScale(192)(598), 1196);
    // Out-of-range DPIs (a failed query answers 0) fall back to the layout's.
    EXPECT_TRUE(DpiScale(0).IsLayoutDpi());
    EXPECT_TRUE(DpiScale(96 * 9).IsLayoutDpi());
    // Edges are scaled, so neighbours still touch: 15..550 and 550..560 at 125 %.
    const DpiScale s(120);
    EXPECT_EQ(s(MakeQvRect(15, 325, 550, 580)).right, s(MakeQvRect(550, 0, 560, 1)).left);
}

TEST(DpiScale, KeepInsideMovesTheWindowOntoTheWorkArea) {
    const QvRect area = MakeQvRect(0, 0, 1920, 1040);
    EXPECT_EQ(KeepInside(MakeQvRect(100, 50, 943, 947), area), MakeQvRect(100, 50, 943, 947));
    EXPECT_EQ(KeepInside(MakeQvRect(1500, 900, 2343, 1797), area), MakeQvRect(1077, 143, 1920, 1040));
    EXPECT_EQ(KeepInside(MakeQvRect(-300, -20, 543, 877), area), MakeQvRect(0, 0, 843, 897));
    // Larger than the area: the top-left corner stays visible (the caption-less window is dragged there).
    EXPECT_EQ(KeepInside(MakeQvRect(-50, 100, 1074, 1296), MakeQvRect(0, 0, 1024, 768)), MakeQvRect(0, 0, 1124, 1196));
}

TEST(TextFit, LargestHeightUpToTheLayoutsAtWhichTheLineFits) {
    // Width grows about 31 px per height step, like the first warning line (494 px at 16, 448 at 15).
    const auto warning = [](int h) { return h * 31 - 2; };
    EXPECT_EQ(FittingFontHeight(16, 8, 460, warning), 14);
    EXPECT_EQ(FittingFontHeight(16, 8, 494, warning), 16);  // fits exactly: unchanged
    EXPECT_EQ(FittingFontHeight(16, 8, 10, warning), 8);    // nothing fits: the smallest
    int calls = 0;
    FittingFontHeight(18, 8, 1000, [&](int) { return ++calls, 5; });
    EXPECT_EQ(calls, 1);  // a fitting text is measured once
}

TEST(PictureScale, BoxFilterAveragesCoveredPixelsFrameByFrame) {
    // Two frames of 2 x 2: black/white checks, then flat red. Halved: grey, and red with no grey.
    const std::uint32_t k = 0xFF000000, w = 0xFFFFFFFF, r = 0xFF0000FF;
    const std::vector<std::uint32_t> strip{k, w, r, r, w, k, r, r};
    const auto half = ScaleFrames(strip, 2, 2, 2, 1, 1);
    ASSERT_EQ(half.size(), 2u);
    EXPECT_EQ(half[0], 0xFF808080u);
    EXPECT_EQ(half[1], r);
    // 4 -> 3 (a 2x picture shown at 150 %): the middle pixel covers half of each inner source pixel.
    const auto three = ScaleFrames({0, 0, 0xFF, 0xFF}, 4, 1, 1, 3, 1);
    ASSERT_EQ(three.size(), 3u);
    EXPECT_EQ(three[0], 0u);
    EXPECT_NEAR(three[1], 0x80, 1);
    EXPECT_EQ(three[2], 0xFFu);
    // Sizes that do not match the buffer give nothing rather than reading past it.
    EXPECT_TRUE(ScaleFrames(strip, 2, 2, 3, 1, 1).empty());
    EXPECT_TRUE(ScaleFrames(strip, 2, 2, 2, 0, 1).empty());
}
