// The skinned scroll bar in a real window: its own scroll state, auto-repeat timing, the thumb drag
// and the pressed frames.
#include "controls/CustomSkinScrollBar.h"
#include "controls/logic/ScrollCodes.h"
#include "support/ui_capture.h"
#include "support/ui_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

const UINT kId = 9102;
const int kWidth = 17;
const int kHeight = 182;

class ScrollBarTest : public UiSharedHostTest {
protected:
    void SetUp() override {
        UiSharedHostTest::SetUp();
        ASSERT_TRUE(
            bar.Create(WS_CHILD | WS_VISIBLE | SBS_VERT, RECT{200, 10, 200 + kWidth, 10 + kHeight}, &host, kId));
        bar.SetUpImage(L"C:\\IMAGES\\DIAGNOSIS_SCROLLBAR_UP.BMP");
        bar.SetDownImage(L"C:\\IMAGES\\DIAGNOSIS_SCROLLBAR_DOWN.BMP");
        bar.SetThumbImage(L"C:\\IMAGES\\DIAGNOSIS_SCROLLBAR_THUMB.BMP");
        SCROLLINFO si{sizeof si, SIF_RANGE | SIF_PAGE | SIF_POS, 0, 390, 219, 0, 0};
        ASSERT_EQ(bar.SendMessage(SBM_SETSCROLLINFO, TRUE, reinterpret_cast<LPARAM>(&si)), 1);
        UiPumpFor(20);
        host.ClearLog();
    }
    void TearDown() override {
        bar.DestroyWindow();
        UiPumpFor(5);
    }

    std::vector<UiRecordedMessage> Scrolls() const { return host.Messages(WM_VSCROLL); }
    // A press holds the mouse capture until its release.
    bool Held() const { return ::GetCapture() == bar.GetSafeHwnd(); }

    CCustomSkinScrollBar bar;
};

TEST_F(ScrollBarTest, ScrollInfoIsKeptByTheControl) {
    SCROLLINFO si{sizeof si, SIF_ALL};
    ASSERT_TRUE(bar.SendMessage(SBM_GETSCROLLINFO, 0, reinterpret_cast<LPARAM>(&si)));
    EXPECT_EQ(si.nMin, 0);
    EXPECT_EQ(si.nMax, 390);
    EXPECT_EQ(si.nPage, 219u);
    EXPECT_EQ(si.nPos, 0);

    // The list sets positions through the system's scroll functions as well.
    SCROLLINFO pos{sizeof pos, SIF_POS, 0, 0, 0, 120, 0};
    ::SetScrollInfo(bar, SB_CTL, &pos, TRUE);
    EXPECT_EQ(bar.SendMessage(SBM_GETPOS), 120);
    SCROLLINFO back{sizeof back, SIF_RANGE | SIF_PAGE | SIF_POS};
    ASSERT_TRUE(::GetScrollInfo(bar, SB_CTL, &back));
    EXPECT_EQ(back.nMax, 390);
    EXPECT_EQ(back.nPage, 219u);
    EXPECT_EQ(back.nPos, 120);
    EXPECT_EQ(::GetScrollPos(bar, SB_CTL), 120);
}

TEST_F(ScrollBarTest, PartsFollowTheClientHeight) {
    EXPECT_EQ(bar.GetPartRect(SB_LINEUP).bottom, 18);
    EXPECT_EQ(bar.GetPartRect(SB_LINEDOWN).top, 164);
    EXPECT_EQ(bar.GetPartRect(SB_THUMBTRACK).bottom - bar.GetPartRect(SB_THUMBTRACK).top, 81);
    EXPECT_EQ(bar.GetPartRect(kScrollPartTrack).bottom, 18 + 145);
}

TEST_F(ScrollBarTest, HeldDownButtonRepeatsEvery100Ms) {
    const double pressed = UiNowMs();
    UiPostMouse(bar, WM_LBUTTONDOWN, 8, 175, MK_LBUTTON);
    ASSERT_TRUE(UiPumpUntil([&] { return Scrolls().size() == 1; }, 2000));
    EXPECT_LT(Scrolls()[0].ms - pressed, 90.0);  // the first comes at once, not with the first tick
    EXPECT_TRUE(Held());
    UiPumpFor(540);
    UiPostMouse(bar, WM_LBUTTONUP, 8, 175);
    ASSERT_TRUE(UiPumpUntil([&] { return !Held(); }, 2000));
    const size_t atRelease = Scrolls().size();
    UiPumpFor(250);
    const std::vector<UiRecordedMessage> scrolls = Scrolls();
    EXPECT_EQ(scrolls.size(), atRelease);  // nothing after the release
    // About five repeats in 540 ms, allowing for a slow machine.
    EXPECT_GE(scrolls.size(), 1u + 3u);
    EXPECT_LE(scrolls.size(), 1u + 6u);
    std::vector<double> gaps;
    for (size_t i = 1; i < scrolls.size(); ++i) gaps.push_back(scrolls[i].ms - scrolls[i - 1].ms);
    std::sort(gaps.begin(), gaps.end());
    ASSERT_FALSE(gaps.empty());
    EXPECT_NEAR(gaps[gaps.size() / 2], 100.0, 35.0);
    for (const UiRecordedMessage& m : scrolls) {
        EXPECT_EQ(LOWORD(m.wParam), SB_LINEDOWN);
        EXPECT_EQ(HIWORD(m.wParam), 0);
        EXPECT_EQ(reinterpret_cast<HWND>(m.lParam), bar.GetSafeHwnd());
    }
    EXPECT_NE(::GetCapture(), bar.GetSafeHwnd());
}

TEST_F(ScrollBarTest, PressesSendTheirPartsAndTheThumbTopEdgeIsLineUp) {
    const RECT thumb = bar.GetPartRect(SB_THUMBTRACK);
    const struct {
        int y;
        int code;
    } presses[] = {{5, SB_LINEUP},
                   {static_cast<int>(thumb.top), SB_LINEUP},
                   {static_cast<int>(thumb.bottom) + 5, SB_PAGEDOWN},
                   {176, SB_LINEDOWN}};
    for (const auto& p : presses) {
        host.ClearLog();
        UiPostClick(bar, 8, p.y);
        ASSERT_TRUE(UiPumpUntil([&] { return !Scrolls().empty() && !Held(); }, 2000)) << p.y;
        EXPECT_EQ(LOWORD(Scrolls()[0].wParam), p.code) << p.y;
    }
    SCROLLINFO si{sizeof si, SIF_POS, 0, 0, 0, 172, 0};
    bar.SendMessage(SBM_SETSCROLLINFO, TRUE, reinterpret_cast<LPARAM>(&si));
    host.ClearLog();
    UiPostClick(bar, 8, 30);
    ASSERT_TRUE(UiPumpUntil([&] { return !Scrolls().empty(); }, 2000));
    EXPECT_EQ(LOWORD(Scrolls()[0].wParam), SB_PAGEUP);
}

TEST_F(ScrollBarTest, DoubleClickOnAButtonScrollsOnce) {
    UiPostClick(bar, 8, 176);
    UiPostMouse(bar, WM_LBUTTONDBLCLK, 8, 176, MK_LBUTTON);
    UiPostMouse(bar, WM_LBUTTONUP, 8, 176);
    UiPumpFor(60);
    EXPECT_EQ(Scrolls().size(), 1u);
}

TEST_F(ScrollBarTest, ThumbDragTracksAndClamps) {
    const RECT thumb = bar.GetPartRect(SB_THUMBTRACK);
    const int grab = thumb.top + 10;
    UiPostMouse(bar, WM_LBUTTONDOWN, 8, grab, MK_LBUTTON);
    ASSERT_TRUE(UiPumpUntil([&] { return Held(); }, 2000));
    EXPECT_TRUE(Scrolls().empty());  // a press on the thumb only starts the drag

    UiPostMouse(bar, WM_MOUSEMOVE, 8, grab + 40, MK_LBUTTON);
    UiPostMouse(bar, WM_MOUSEMOVE, 8, -300, MK_LBUTTON);
    UiPostMouse(bar, WM_MOUSEMOVE, 8, 900, MK_LBUTTON);
    ASSERT_TRUE(UiPumpUntil([&] { return Scrolls().size() == 3; }, 2000));
    const std::vector<UiRecordedMessage> s = Scrolls();
    for (const UiRecordedMessage& m : s) EXPECT_EQ(LOWORD(m.wParam), SB_THUMBTRACK);
    const double step = (145.6 - 81) / 172;
    EXPECT_EQ(HIWORD(s[0].wParam), static_cast<int>(40 / step));
    EXPECT_EQ(HIWORD(s[1].wParam), 0);
    EXPECT_EQ(HIWORD(s[2].wParam), 390 - 219 + 1);
    SCROLLINFO si{sizeof si, SIF_TRACKPOS | SIF_POS};
    bar.SendMessage(SBM_GETSCROLLINFO, 0, reinterpret_cast<LPARAM>(&si));
    EXPECT_EQ(si.nTrackPos, 172);
    EXPECT_EQ(si.nPos, 172);

    UiPostMouse(bar, WM_LBUTTONUP, 8, 900);
    ASSERT_TRUE(UiPumpUntil([&] { return !Held(); }, 2000));
    UiPostMouse(bar, WM_MOUSEMOVE, 8, 20);
    UiPumpFor(30);
    EXPECT_EQ(Scrolls().size(), 3u);  // no tracking after the release
}

TEST_F(ScrollBarTest, PressedPartsDrawTheirPressedFrames) {
    bar.UpdateWindow();
    const UiImage idle = UiCaptureClient(bar);
    auto differs = [](const UiImage& a, const UiImage& b, const RECT& r) {
        int n = 0;
        for (int y = r.top + 1; y < r.bottom - 1; ++y)
            for (int x = 1; x < kWidth - 1; ++x)
                if (a.At(x, y) != b.At(x, y)) ++n;
        return n;
    };
    const RECT down = bar.GetPartRect(SB_LINEDOWN);
    const RECT up = bar.GetPartRect(SB_LINEUP);
    const RECT thumb = bar.GetPartRect(SB_THUMBTRACK);

    UiPostMouse(bar, WM_LBUTTONDOWN, 8, 176, MK_LBUTTON);
    ASSERT_TRUE(UiPumpUntil([&] { return Held(); }, 2000));
    bar.UpdateWindow();
    const UiImage held = UiCaptureClient(bar);
    EXPECT_GT(differs(idle, held, down), 20);
    EXPECT_EQ(differs(idle, held, up), 0);
    EXPECT_EQ(differs(idle, held, thumb), 0);
    UiPostMouse(bar, WM_LBUTTONUP, 8, 176);
    ASSERT_TRUE(UiPumpUntil([&] { return !Held(); }, 2000));
    bar.UpdateWindow();
    EXPECT_EQ(differs(idle, UiCaptureClient(bar), down), 0);

    UiPostMouse(bar, WM_LBUTTONDOWN, 8, thumb.top + 10, MK_LBUTTON);
    ASSERT_TRUE(UiPumpUntil([&] { return Held(); }, 2000));
    bar.UpdateWindow();
    const UiImage dragging = UiCaptureClient(bar);
    EXPECT_GT(differs(idle, dragging, thumb), 20);
    // While dragging the track outside the thumb is black.
    EXPECT_EQ(dragging.At(8, thumb.bottom + 10), RGB(0, 0, 0));
    EXPECT_NE(idle.At(8, thumb.bottom + 10), RGB(0, 0, 0));
    UiPostMouse(bar, WM_LBUTTONUP, 8, thumb.top + 10);
    ASSERT_TRUE(UiPumpUntil([&] { return !Held(); }, 2000));
}

TEST_F(ScrollBarTest, ImagesComeFromTheResourcesNotThePaths) {
    bar.SetUpImage(L"Z:\\does\\not\\exist.bmp");
    bar.UpdateWindow();
    const UiImage image = UiCaptureClient(bar);
    // The up button is drawn from its bitmap, not left as the track's light gradient.
    int dark = 0;
    for (int y = 2; y < 16; ++y)
        for (int x = 2; x < kWidth - 2; ++x)
            if (GetRValue(image.At(x, y)) < 200) ++dark;
    EXPECT_GT(dark, 0);
}

}  // namespace
