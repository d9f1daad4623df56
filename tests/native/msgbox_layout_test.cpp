// Rules of the program's message box: text tops, button sets and places, keyboard, screen rule.
#include "controls/logic/MsgBoxLayout.h"

#include <gtest/gtest.h>

using namespace msgbox;

namespace {

const int H = 280;
const int W = 564;
const int A = (W - 5) - 165;  // 394
const int cy = 24;

TEST(MsgBoxLayout, OneLineWithoutSecondText) {
    const TextTops t = PlaceTexts(H, A, 200, cy, true, false, cy);
    EXPECT_EQ(t.lines, 1);
    EXPECT_EQ(t.mainTop, (H - 32) / 2 - cy);  // 100
    EXPECT_EQ(PlaceTexts(H, A, 200, cy, true, true, cy).mainTop, H / 2 - cy);
}

TEST(MsgBoxLayout, OneLineWithSecondTextStartsHalfALineHigher) {
    const TextTops t = PlaceTexts(H, A, A, cy, false, false, cy);
    EXPECT_EQ(t.lines, 1);
    EXPECT_EQ(t.mainTop, 88);  // trunc(124 - 36)
    EXPECT_EQ(t.secondTop, 88 + cy + 10);
    // Odd line heights truncate the half line.
    EXPECT_EQ(PlaceTexts(H, A, 10, 25, false, false, 25).mainTop, static_cast<int>(124 - 37.5));
    EXPECT_EQ(PlaceTexts(H, A, 10, 25, false, true, 25).mainTop, static_cast<int>(140 - 37.5));
}

TEST(MsgBoxLayout, TwoLinesStartOneLineHigherThanOne) {
    const TextTops one = PlaceTexts(H, A, A, cy, true, false, cy);
    const TextTops two = PlaceTexts(H, A, A + 1, cy, true, false, 2 * cy);
    EXPECT_EQ(two.lines, 2);
    EXPECT_EQ(two.mainTop, (H - 32) / 2 - 2 * cy);
    EXPECT_EQ(one.mainTop - two.mainTop, cy);
    EXPECT_EQ(two.secondTop, two.mainTop + 2 * cy + 10);
}

TEST(MsgBoxLayout, ThreeAndFourLines) {
    EXPECT_EQ(PlaceTexts(H, A, 3 * A, cy, true, false, 0).mainTop, 124 - 72);
    const TextTops four = PlaceTexts(H, A, 4 * A, cy, false, false, 0);
    EXPECT_EQ(four.lines, 4);
    EXPECT_EQ(four.mainTop, static_cast<int>(104 - 4.5 * cy));
    EXPECT_EQ(PlaceTexts(H, A, 4 * A, 25, false, true, 0).mainTop, static_cast<int>(140 - 112.5));
}

TEST(MsgBoxLayout, LongerTextsStartAtTheTopAndTheSecondFollowsTheDrawnText) {
    const TextTops t = PlaceTexts(H, A, 4 * A + 1, cy, false, false, 130);
    EXPECT_EQ(t.lines, 0);
    EXPECT_EQ(t.mainTop, 25);
    EXPECT_EQ(t.secondTop, 25 + 130 + 10);
    EXPECT_EQ(PlaceTexts(H, A, 4 * A + 1, cy, false, true, 130).mainTop, 45);
}

TEST(MsgBoxLayout, ButtonCentresForOneTwoAndThreeButtons) {
    EXPECT_EQ(ButtonCentre(W, 1, 0), 282);
    EXPECT_EQ(ButtonCentre(W, 2, 0), 188);
    EXPECT_EQ(ButtonCentre(W, 2, 1), 376);
    EXPECT_EQ(ButtonCentre(W, 3, 0), 141);
    EXPECT_EQ(ButtonCentre(W, 3, 1), 282);
    EXPECT_EQ(ButtonCentre(W, 3, 2), 423);
    EXPECT_EQ(ButtonCentre(565, 2, 1), 376);  // 2 * W / 3, not 2 * (W / 3)
    EXPECT_EQ(ButtonCentre(567, 3, 2), 423);  // 3 * (W / 4)
    EXPECT_EQ(ButtonRect(282, H), MakeQvRect(195, 210, 370, 265));
}

TEST(MsgBoxLayout, ButtonSets) {
    EXPECT_EQ(ButtonsForSet(6, 10).buttons.size(), 1u);
    EXPECT_EQ(ButtonsForSet(6, 10).buttons[0].id, 10);
    EXPECT_EQ(ButtonsForSet(6, 10).buttons[0].caption, L"OK");
    const ButtonSetLayout two = ButtonsForSet(2, 0);
    ASSERT_EQ(two.buttons.size(), 2u);
    EXPECT_EQ(two.buttons[1].id, 11);
    EXPECT_EQ(two.buttons[1].caption, L"CANCEL");
    const ButtonSetLayout five = ButtonsForSet(5, 0);
    ASSERT_EQ(five.buttons.size(), 3u);
    EXPECT_EQ(five.buttons[2].id, 12);
    EXPECT_EQ(five.buttons[2].caption, L"ERASE");
    EXPECT_EQ(ButtonsForSet(0, 10).buttons[0].id, 12);
    EXPECT_EQ(ButtonsForSet(9, 11).buttons[0].id, 12);
    EXPECT_EQ(ButtonsForSet(0, 4).buttons[0].id, 10);
    EXPECT_TRUE(ButtonsForSet(0, 3).known);
    EXPECT_TRUE(ButtonsForSet(0, 3).buttons.empty());
    EXPECT_FALSE(ButtonsForSet(3, 0).known);
    EXPECT_FALSE(ButtonsForSet(11, 0).known);
    EXPECT_EQ(ButtonsForSet(10, 0).buttons[1].caption, L"ESC");
}

TEST(MsgBoxLayout, KeyboardChoices) {
    EXPECT_EQ(EnterChoice(6, 1, 0), 10);
    EXPECT_EQ(EnterChoice(2, 2, 0), 10);
    EXPECT_EQ(EnterChoice(2, 2, 1), 11);
    EXPECT_EQ(EnterChoice(0, 0, 0), 10);
    EXPECT_EQ(EscapeChoice(0), 0);
    EXPECT_EQ(EscapeChoice(8), 10);
    EXPECT_EQ(EscapeChoice(6), 11);
    EXPECT_EQ(MoveFocus(0, -1, 2), 0);
    EXPECT_EQ(MoveFocus(0, 1, 2), 1);
    EXPECT_EQ(MoveFocus(1, 1, 2), 1);
    EXPECT_EQ(MoveFocus(0, 1, 0), 0);  // no buttons: the index never goes negative
}

TEST(MsgBoxLayout, IconTop) {
    EXPECT_EQ(IconTop(H, true), 70);
    EXPECT_EQ(IconTop(H, false), 68);
}

TEST(MsgBoxLayout, BoxCentredOverOwnerAndScreenRule) {
    const QvRect owner = MakeQvRect(100, 50, 662, 648);  // 562 x 598
    EXPECT_EQ(CentreOver(owner, 564, 280), MakeQvRect(99, 209, 663, 489));
    EXPECT_EQ(CentreOver(MakeQvRect(-10, 0, -5, 5), 20, 20).left, -17);  // truncation toward zero
    EXPECT_FALSE(NeedsScreenCentre(owner, 564, 280, 768));
    EXPECT_TRUE(NeedsScreenCentre(MakeQvRect(100, 400, 662, 998), 564, 280, 768));
    EXPECT_TRUE(NeedsScreenCentre(MakeQvRect(-300, 50, 262, 648), 564, 280, 768));
}

}  // namespace
