// The skinned push button in a real window: frames by state, caption colours, the click rules and
// the posted command.
#include "controls/MultiTextBtn.h"
#include "resources/resource.h"
#include "support/ui_capture.h"
#include "support/ui_fixture.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

const UINT kId = 77;
const int kW = 175;
const int kH = 55;

class MultiTextBtnTest : public UiSharedHostTest {
protected:
    void SetUp() override {
        UiSharedHostTest::SetUp();
        ASSERT_TRUE(strip.LoadResourceBitmap(IDB_MSGBOX_BUTTON));
        ASSERT_TRUE(button.Create(&strip, 10, 10, kW, kH, L"", &host, kId, 4));
        UiPumpFor(20);
        host.ClearLog();
    }
    void TearDown() override {
        button.DestroyWindow();
        UiPumpFor(5);
    }

    // The strip's own pixels, to compare drawn frames with.
    UiImage StripPixels() {
        HDC dc = strip.AcquireMemoryDC(nullptr);
        UiImage image = UiCaptureDC(dc, 0, 0, strip.Width(), strip.Height());
        strip.FreeMemoryDC();
        return image;
    }

    UiImage Drawn() {
        button.UpdateWindow();
        return UiCaptureClient(button);
    }

    size_t Commands() const { return host.Count(WM_COMMAND); }

    CDIBSectionLite strip;
    CMultiTextBtn button;
};

// How many probe points of the drawn button match frame f of the strip.
int MatchingProbes(const UiImage& drawn, const UiImage& source, int frame, int* probes) {
    int matches = 0, total = 0;
    for (int x = 2; x < kW; x += 12) {
        for (int y = 2; y < kH; y += 8) {
            ++total;
            if (drawn.At(x, y) == source.At(frame * kW + x, y)) ++matches;
        }
    }
    *probes = total;
    return matches;
}

TEST_F(MultiTextBtnTest, EachStateDrawsItsOwn175PixelFrame) {
    const UiImage source = StripPixels();
    for (UINT state = 0; state < 4; ++state) {
        ASSERT_TRUE(button.SetState(state, TRUE));
        const UiImage drawn = Drawn();
        ASSERT_FALSE(drawn.Empty());
        int probes = 0;
        EXPECT_EQ(MatchingProbes(drawn, source, static_cast<int>(state), &probes), probes) << "state " << state;
        // The frames differ, so a wrong frame would not pass the check above.
        for (int other = 0; other < 4; ++other) {
            if (other == static_cast<int>(state)) continue;
            EXPECT_LT(MatchingProbes(drawn, source, other, &probes), probes) << state << " vs " << other;
        }
    }
}

TEST_F(MultiTextBtnTest, WmPrintClientDrawsTheSameAsThePaint) {
    ASSERT_TRUE(button.SetState(2, TRUE));
    const UiImage drawn = Drawn();
    const UiImage printed = UiPrintClient(button);
    int probes = 0;
    EXPECT_EQ(MatchingProbes(printed, StripPixels(), 2, &probes), probes);
    EXPECT_EQ(drawn.At(80, 20), printed.At(80, 20));
}

TEST_F(MultiTextBtnTest, SystemButtonLookNeverPaintsOverTheFrame) {
    const UiImage source = StripPixels();
    button.SetText(L"OK");
    const UiImage ours = Drawn();
    int probes = 0;
    const int matching = MatchingProbes(ours, source, 0, &probes);
    ASSERT_GE(matching, probes - 3);  // all but the probes on the caption
    // Whatever the button class draws on its own, before the next paint, must not show.
    auto unchanged = [&] {
        const UiImage now = UiCaptureClient(button);
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x)
                if (now.At(x, y) != ours.At(x, y)) return false;
        return true;
    };
    ::SetForegroundWindow(host);
    ::SetFocus(button);
    EXPECT_TRUE(unchanged()) << "focus";
    button.SendMessage(BM_SETSTATE, TRUE);
    EXPECT_TRUE(unchanged()) << "push state";
    button.SendMessage(BM_SETSTYLE, BS_DEFPUSHBUTTON, TRUE);
    EXPECT_TRUE(unchanged()) << "default style";
    button.SendMessage(WM_UPDATEUISTATE, MAKEWPARAM(UIS_CLEAR, UISF_HIDEFOCUS | UISF_HIDEACCEL));
    EXPECT_TRUE(unchanged()) << "ui state";
    button.SendMessage(WM_ENABLE, FALSE);
    button.SendMessage(WM_ENABLE, TRUE);
    EXPECT_TRUE(unchanged()) << "enable";
    button.SendMessage(WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"OK"));
    EXPECT_TRUE(unchanged()) << "text";
    ::SetFocus(host);
    button.SendMessage(BM_SETSTATE, FALSE);
    EXPECT_TRUE(unchanged()) << "focus lost";
    UiPumpFor(50);
    EXPECT_TRUE(unchanged()) << "after painting";
}

TEST_F(MultiTextBtnTest, CaptionColourFollowsStateAndSelection) {
    button.SetFont(L"Arial", 26, 0, 1, DT_CENTER, ANSI_CHARSET);
    button.SetText(L"MMMM");
    auto countRed = [&] {
        const UiImage drawn = Drawn();
        int red = 0;
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x)
                if (UiColoursClose(drawn.At(x, y), RGB(255, 0, 0), 60)) ++red;
        return red;
    };
    const int plain = countRed();
    button.SetSelected(TRUE, TRUE);
    EXPECT_GT(countRed(), plain + 20);  // the selected colour is red
    button.SetState(1, TRUE);
    EXPECT_TRUE(button.IsSelected());
    EXPECT_GT(countRed(), plain + 20);
    button.SetState(0, TRUE);  // state 0 clears the selection
    EXPECT_FALSE(button.IsSelected());
    EXPECT_LE(countRed(), plain + 5);
    button.SetTextColor(0, RGB(255, 0, 0));  // colours take effect at the next paint
    EXPECT_TRUE(button.Paint(nullptr));
    EXPECT_GT(countRed(), plain + 20);
}

TEST_F(MultiTextBtnTest, RefusedArguments) {
    EXPECT_FALSE(button.SetImage(nullptr));
    EXPECT_FALSE(button.SetTextColor(5, RGB(1, 2, 3)));
    EXPECT_TRUE(button.SetTextColor(4, RGB(1, 2, 3)));
    EXPECT_FALSE(button.SetState(5, TRUE));
    EXPECT_EQ(button.GetState(), 0u);
    EXPECT_TRUE(button.SetState(4, TRUE));
    EXPECT_TRUE(button.ChangeState(0));
    CMultiTextBtn unborn;
    EXPECT_TRUE(unborn.SetText(L"x"));
    EXPECT_EQ(unborn.GetText(), L"");
}

TEST_F(MultiTextBtnTest, ClickPostsTheIdAsCommand) {
    UiPostClick(button, 20, 20);
    ASSERT_TRUE(UiPumpUntil([&] { return Commands() == 1; }, 2000));
    const UiRecordedMessage m = host.Messages(WM_COMMAND)[0];
    EXPECT_EQ(m.wParam, static_cast<WPARAM>(kId));
    EXPECT_EQ(m.lParam, 0);
    EXPECT_EQ(button.GetState(), 0u);
}

TEST_F(MultiTextBtnTest, PressMoveOffAndReleasePostsNothing) {
    const UiImage source = StripPixels();
    UiPostMouse(button, WM_LBUTTONDOWN, 20, 20, MK_LBUTTON);
    ASSERT_TRUE(UiPumpUntil([&] { return button.GetState() == 1; }, 2000));
    EXPECT_EQ(::GetCapture(), button.GetSafeHwnd());
    int probes = 0;
    EXPECT_EQ(MatchingProbes(Drawn(), source, 1, &probes), probes);  // pressed frame while held
    UiPostMouse(button, WM_MOUSEMOVE, 300, 20, MK_LBUTTON);
    UiPostMouse(button, WM_LBUTTONUP, 300, 20);
    UiPumpFor(150);
    EXPECT_EQ(Commands(), 0u);
    EXPECT_EQ(button.GetState(), 0u);
    EXPECT_NE(::GetCapture(), button.GetSafeHwnd());
    EXPECT_EQ(MatchingProbes(Drawn(), source, 0, &probes), probes);
}

TEST_F(MultiTextBtnTest, TwoClicksWithin100MsPostOneCommand) {
    UiPostClick(button, 20, 20);
    UiPostClick(button, 21, 20);
    UiPumpFor(40);
    EXPECT_EQ(Commands(), 1u);
    // Once the lock has run out a click counts again.
    UiPumpFor(250);
    UiPostClick(button, 20, 20);
    ASSERT_TRUE(UiPumpUntil([&] { return Commands() == 2; }, 2000));
}

TEST_F(MultiTextBtnTest, SecondClickOfADoubleClickIsIgnored) {
    UiPostClick(button, 20, 20);
    UiPumpFor(250);  // past the click lock
    UiPostMouse(button, WM_LBUTTONDBLCLK, 20, 20, MK_LBUTTON);
    UiPostMouse(button, WM_LBUTTONUP, 20, 20);
    UiPumpFor(150);
    EXPECT_EQ(Commands(), 1u);
}

TEST_F(MultiTextBtnTest, DisabledButtonIgnoresClicks) {
    button.SetEnabled(FALSE);
    UiPostClick(button, 20, 20);
    UiPumpFor(100);
    EXPECT_EQ(Commands(), 0u);
    EXPECT_EQ(button.GetState(), 0u);
    button.SetEnabled(TRUE);
    UiPostClick(button, 20, 20);
    EXPECT_TRUE(UiPumpUntil([&] { return Commands() == 1; }, 2000));
}

TEST_F(MultiTextBtnTest, LosingTheCaptureEndsThePressWithoutCommand) {
    UiPostMouse(button, WM_LBUTTONDOWN, 20, 20, MK_LBUTTON);
    ASSERT_TRUE(UiPumpUntil([&] { return button.GetState() == 1; }, 2000));
    ::SetCapture(host);
    ::ReleaseCapture();
    UiPostMouse(button, WM_LBUTTONUP, 20, 20);
    UiPumpFor(50);
    EXPECT_EQ(button.GetState(), 0u);
    EXPECT_EQ(Commands(), 0u);
}

TEST_F(MultiTextBtnTest, WindowTextFollowsTheCaptionFromAnyThread) {
    button.SetText(L"Check Server");
    EXPECT_EQ(button.GetWindowText(), L"Check Server");
    std::thread worker([&] { button.SetText(L"서버 연결 실패"); });
    worker.join();
    EXPECT_EQ(button.GetText(), L"서버 연결 실패");
    EXPECT_TRUE(UiPumpUntil([&] { return button.GetWindowText() == L"서버 연결 실패"; }, 2000));
}

TEST_F(MultiTextBtnTest, CaptionsDrawInsideTheButton) {
    // One, two and three line captions, a carriage-return split and the marker rules draw ink
    // without crossing the button's edges.
    const UiImage blank = Drawn();
    auto inkRows = [&](const std::wstring& caption, int* first, int* last) {
        button.SetText(caption);
        const UiImage drawn = Drawn();
        *first = -1;
        *last = -1;
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x)
                if (drawn.At(x, y) != blank.At(x, y)) {
                    if (*first < 0) *first = y;
                    *last = y;
                }
    };
    int first = 0, last = 0;
    inkRows(L"OK", &first, &last);
    ASSERT_GE(first, 0);
    const int oneLineMiddle = (first + last) / 2;
    EXPECT_NEAR(oneLineMiddle, kH / 2, 6);
    inkRows(L"Two lines of caption text", &first, &last);
    ASSERT_GE(first, 0);
    EXPECT_LT(first, oneLineMiddle - 4);  // starts higher than a one-line caption
    int splitFirst = 0, splitLast = 0;
    inkRows(L"Top\rBottom", &splitFirst, &splitLast);
    ASSERT_GE(splitFirst, 0);
    EXPECT_GE(splitFirst, kH / 4 - 2);      // the first part starts a quarter down
    EXPECT_GT(splitLast - splitFirst, 18);  // the second part sits below it
}

}  // namespace
