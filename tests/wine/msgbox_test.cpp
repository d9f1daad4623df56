// The program's message box in real windows: button sets, keyboard, the wait from the
// user-interface thread and from another thread, placement, and screenshots in both languages.
#include "controls/DlgMsgBox.h"
#include "controls/FocusCue.h"
#include "framework/WinApp.h"
#include "resources/resource.h"
#include "support/ui_capture.h"
#include "support/ui_window.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <thread>

namespace {

const wchar_t kFailureEn[] = L"Server connection failure";
const wchar_t kCheckEn[] = L"Please check internet connection and try again";
const wchar_t kFailureKo[] = L"서버 연결 실패";
const wchar_t kCheckKo[] = L"인터넷 연결 확인 후 다시 시도해 주세요.";
const int kBoxW = 564;
const int kBoxH = 280;
const POINT kOwnerPlace = {100, 50};

// Runs an action on a helper thread once a condition holds, the way a user acts on what is shown.
class WhenShown {
public:
    WhenShown(std::function<bool()> condition, std::function<void()> action)
        : m_thread([condition, action, this] {
              m_bHappened = UiWaitUntil(condition, 5000);
              if (m_bHappened) action();
          }) {}
    ~WhenShown() { m_thread.join(); }
    bool Happened() {
        m_thread.join();
        m_thread = std::thread([] {});
        return m_bHappened;
    }

private:
    std::atomic<bool> m_bHappened{false};
    std::thread m_thread;
};

RECT ChildRect(HWND child) {
    RECT rc{};
    ::GetWindowRect(child, &rc);
    ::MapWindowPoints(nullptr, ::GetParent(child), reinterpret_cast<POINT*>(&rc), 2);
    return rc;
}

bool Shown(HWND wnd) { return (::GetWindowLongW(wnd, GWL_STYLE) & WS_VISIBLE) != 0; }

class MsgBoxTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        sharedOwner_ = new UiHostWindow;
        sharedOwner_->Create(kOwnerPlace.x, kOwnerPlace.y, 562, 598);
        sharedBox_ = new CDlg_MSG_Box(sharedOwner_);
        sharedBox_->Create(IDD_MSG_BOX, sharedOwner_);
    }
    static void TearDownTestSuite() {
        delete sharedBox_;
        delete sharedOwner_;
        sharedBox_ = nullptr;
        sharedOwner_ = nullptr;
    }
    void SetUp() override {
        ASSERT_TRUE(box.GetSafeHwnd());
        box.ShowWindow(SW_HIDE);
        box.Deactivate();
        UiPumpFor(250);  // lets the buttons' click locks of an earlier test run out
    }

    HWND Button(int id) { return box.GetButton(id)->GetSafeHwnd(); }
    bool BoxUp() { return box.IsWindowVisible() && box.IsActive(); }

    static UiHostWindow* sharedOwner_;
    static CDlg_MSG_Box* sharedBox_;
    UiHostWindow& owner = *sharedOwner_;
    CDlg_MSG_Box& box = *sharedBox_;
};

UiHostWindow* MsgBoxTest::sharedOwner_ = nullptr;
CDlg_MSG_Box* MsgBoxTest::sharedBox_ = nullptr;

TEST_F(MsgBoxTest, CreatedHiddenWithTheBackgroundSize) {
    const RECT rc = box.GetWindowRect();
    EXPECT_EQ(rc.right - rc.left, kBoxW);
    EXPECT_EQ(rc.bottom - rc.top, kBoxH);
    EXPECT_FALSE(box.IsWindowVisible());
    EXPECT_FALSE(box.IsActive());
    EXPECT_EQ(::GetWindow(box, GW_OWNER), owner.GetSafeHwnd());
}

TEST_F(MsgBoxTest, ButtonSet6ShowsOneUnselectedOkCentredAndAClickReturns10) {
    WhenShown click([&] { return BoxUp(); }, [&] { UiPostClick(Button(10), 80, 25); });
    EXPECT_EQ(box.ShowAndWait(kFailureEn, kCheckEn, 10, 6), 10);
    EXPECT_TRUE(click.Happened());
    EXPECT_FALSE(box.IsWindowVisible());
    EXPECT_FALSE(box.IsActive());

    EXPECT_TRUE(Shown(Button(10)));
    EXPECT_FALSE(Shown(Button(11)));
    EXPECT_FALSE(Shown(Button(12)));
    const RECT ok = ChildRect(Button(10));
    EXPECT_EQ(ok.left, kBoxW / 2 - 87);
    EXPECT_EQ(ok.top, kBoxH - 55 - 15);
    EXPECT_EQ(ok.right - ok.left, 175);
    EXPECT_FALSE(box.GetButton(10)->IsSelected());
    EXPECT_EQ(box.GetButton(10)->GetWindowText(), L"OK");
    // The box centres on its owner and carries its texts for automation.
    const RECT rc = box.GetWindowRect();
    EXPECT_EQ(rc.left, kOwnerPlace.x + (562 - kBoxW) / 2);
    EXPECT_EQ(rc.top, kOwnerPlace.y + (598 - kBoxH) / 2);
    EXPECT_EQ(box.GetWindowText(), std::wstring(kFailureEn) + L"\n" + kCheckEn);
}

TEST_F(MsgBoxTest, ButtonSet6EnterReturns10AndEscapeReturns11) {
    {
        WhenShown enter([&] { return BoxUp(); }, [&] { UiPostKey(box, VK_RETURN); });
        EXPECT_EQ(box.ShowAndWait(kFailureEn, L"", 10, 6), 10);
        EXPECT_TRUE(enter.Happened());
        EXPECT_FALSE(box.IsWindowVisible());
    }
    {
        // Keys reach the focused button first; the box's pre-translation still sees them.
        WhenShown escape([&] { return BoxUp(); }, [&] { UiPostKey(Button(10), VK_ESCAPE); });
        EXPECT_EQ(box.ShowAndWait(kFailureEn, L"", 10, 6), 11);
        EXPECT_TRUE(escape.Happened());
        EXPECT_FALSE(box.IsWindowVisible());
    }
}

TEST_F(MsgBoxTest, ButtonSet2ArrowKeysMoveTheSelection) {
    box.ShowMessage(L"Question", L"", 3, 2);
    auto* ok = box.GetButton(10);
    auto* cancel = box.GetButton(11);
    EXPECT_EQ(ok->GetWindowText(), L"OK");
    EXPECT_EQ(cancel->GetWindowText(), L"CANCEL");
    EXPECT_EQ(ChildRect(*ok).left, kBoxW / 3 - 87);
    EXPECT_EQ(ChildRect(*cancel).left, 2 * kBoxW / 3 - 87);
    EXPECT_TRUE(ok->IsSelected());
    EXPECT_FALSE(cancel->IsSelected());

    UiPostKey(box, VK_RIGHT);
    ASSERT_TRUE(UiPumpUntil([&] { return cancel->IsSelected() != FALSE; }, 2000));
    EXPECT_FALSE(ok->IsSelected());
    UiPostKey(box, VK_RIGHT);  // already at the last button
    UiPumpFor(30);
    EXPECT_FALSE(ok->IsSelected());
    EXPECT_TRUE(cancel->IsSelected());
    // A repaint of the box keeps the keyboard's choice.
    box.Invalidate(TRUE);
    box.UpdateWindow();
    EXPECT_TRUE(cancel->IsSelected());
    UiPostKey(box, VK_LEFT);
    ASSERT_TRUE(UiPumpUntil([&] { return ok->IsSelected() != FALSE; }, 2000));
    EXPECT_TRUE(ok->IsSelected());
    EXPECT_FALSE(cancel->IsSelected());

    WhenShown keys([&] { return BoxUp(); },
                   [&] {
                       UiPostKey(box, VK_RIGHT);
                       UiPostKey(box, VK_RETURN);
                   });
    EXPECT_EQ(box.ShowAndWait(L"Question", L"", 3, 2), 11);  // Enter on "CANCEL"
    EXPECT_TRUE(keys.Happened());
    WhenShown enter([&] { return BoxUp(); }, [&] { UiPostKey(box, VK_RETURN); });
    EXPECT_EQ(box.ShowAndWait(L"Question", L"", 3, 2), 10);  // a new message selects "OK" again
}

TEST_F(MsgBoxTest, FocusCueMarksTheKeyboardChoiceOnceAKeyHasBeenPressed) {
    auto* ok = box.GetButton(10);
    auto* cancel = box.GetButton(11);
    auto picture = [](CMultiTextBtn* button) {
        button->UpdateWindow();
        return UiCaptureClient(*button);
    };
    auto same = [](const UiImage& a, const UiImage& b) { return a.width == b.width && a.pixels == b.pixels; };
    ForgetKeyboardUse(owner);
    box.ShowMessage(L"Question", L"", 3, 2);
    const UiImage okPlain = picture(ok);
    const UiImage cancelPlain = picture(cancel);

    UiPostKey(box, VK_RIGHT);
    ASSERT_TRUE(UiPumpUntil([&] { return cancel->IsSelected() != FALSE; }, 2000));
    UiPostKey(box, VK_LEFT);
    ASSERT_TRUE(UiPumpUntil([&] { return ok->IsSelected() != FALSE; }, 2000));
    const UiImage okCued = picture(ok);
    EXPECT_FALSE(same(okCued, okPlain));
    EXPECT_TRUE(same(picture(cancel), cancelPlain));

    // A message that appears while the owner shows keyboard cues shows them at once.
    box.ShowMessage(L"Question", L"", 3, 2);
    EXPECT_TRUE(same(picture(ok), okPlain));
    NoteKeyboardUse(owner);
    box.ShowMessage(L"Question", L"", 3, 2);
    EXPECT_TRUE(same(picture(ok), okCued));
    box.ShowWindow(SW_HIDE);
    ForgetKeyboardUse(owner);
    ForgetKeyboardUse(box);
}

TEST_F(MsgBoxTest, EraseButtonOfSet5Returns12AndLeavesTheBoxVisible) {
    WhenShown click([&] { return BoxUp(); }, [&] { UiPostClick(Button(12), 80, 25); });
    EXPECT_EQ(box.ShowAndWait(L"Memory", L"", 12, 5), 12);
    EXPECT_TRUE(click.Happened());
    EXPECT_TRUE(box.IsWindowVisible());
    EXPECT_FALSE(box.IsActive());
    EXPECT_EQ(box.GetButton(12)->GetWindowText(), L"ERASE");
    EXPECT_EQ(ChildRect(Button(12)).left, 3 * (kBoxW / 4) - 87);
}

TEST_F(MsgBoxTest, ShowAndWaitFromASecondThreadReturnsThePressedId) {
    std::atomic<int> result{0};
    std::atomic<bool> done{false};
    std::atomic<DWORD> callerThread{0};
    std::atomic<bool> waitedForTheUser{false};
    WhenShown click([&] { return BoxUp(); },
                    [&] {
                        ::Sleep(50);
                        waitedForTheUser = !done.load();
                        UiPostClick(Button(10), 80, 25);
                    });
    std::thread worker([&] {
        callerThread = ::GetCurrentThreadId();
        result = box.ShowAndWait(kFailureEn, kCheckEn, 10, 6);
        done = true;
    });
    // This thread owns the box: it shows it and handles the click while the worker waits.
    const bool finished = UiPumpUntil([&] { return done.load(); }, 8000);
    worker.join();
    ASSERT_TRUE(finished);
    EXPECT_TRUE(click.Happened());
    EXPECT_TRUE(waitedForTheUser.load());
    EXPECT_NE(::GetWindowThreadProcessId(box, nullptr), callerThread.load());
    EXPECT_EQ(result.load(), 10);
    EXPECT_FALSE(box.IsWindowVisible());
}

TEST_F(MsgBoxTest, QuitRequestEndsTheWaitAndReachesTheOuterLoop) {
    CWinApp app;
    const DWORD uiThread = ::GetCurrentThreadId();
    WhenShown quit([&] { return BoxUp(); }, [&] { ::PostThreadMessageW(uiThread, WM_QUIT, 7, 0); });
    EXPECT_EQ(box.ShowAndWait(kFailureEn, L"", 10, 6), 11);
    EXPECT_TRUE(quit.Happened());
    MSG msg{};
    ASSERT_TRUE(::PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 7u);
    EXPECT_FALSE(box.IsActive());
}

TEST_F(MsgBoxTest, WaitingDoesNotBurnTheProcessor) {
    FILETIME created, exited, kernelBefore, userBefore, kernelAfter, userAfter;
    HANDLE self = ::GetCurrentThread();
    WhenShown click([&] { return BoxUp(); },
                    [&] {
                        ::Sleep(600);
                        UiPostClick(Button(10), 80, 25);
                    });
    ::GetThreadTimes(self, &created, &exited, &kernelBefore, &userBefore);
    EXPECT_EQ(box.ShowAndWait(kFailureEn, L"", 10, 6), 10);
    ::GetThreadTimes(self, &created, &exited, &kernelAfter, &userAfter);
    EXPECT_TRUE(click.Happened());
    auto ticks = [](const FILETIME& f) {
        return (static_cast<unsigned long long>(f.dwHighDateTime) << 32) | f.dwLowDateTime;
    };
    const double busyMs =
        static_cast<double>(ticks(kernelAfter) - ticks(kernelBefore) + ticks(userAfter) - ticks(userBefore)) / 10000.0;
    EXPECT_LT(busyMs, 300.0);  // the 600 ms of waiting were spent blocked, not polling
}

TEST_F(MsgBoxTest, NewMessageWhileActiveReusesTheWindow) {
    const HWND wnd = box.GetSafeHwnd();
    box.ShowMessage(L"First", L"", 10, 6);
    EXPECT_TRUE(box.IsActive());
    box.Deactivate();
    EXPECT_FALSE(box.IsActive());
    EXPECT_TRUE(box.IsWindowVisible());
    box.ShowMessage(L"Second", L"More", 4, 0);
    EXPECT_EQ(box.GetSafeHwnd(), wnd);
    EXPECT_TRUE(box.IsActive());
    EXPECT_EQ(box.GetWindowText(), L"Second\nMore");
    // Button set 0 with kind 4: one centred "OK" with id 10.
    EXPECT_TRUE(Shown(Button(10)));
    EXPECT_FALSE(Shown(Button(11)));
    EXPECT_FALSE(Shown(Button(12)));
    EXPECT_EQ(ChildRect(Button(10)).left, kBoxW / 2 - 87);
    box.ShowMessage(L"Third", L"", 10, 0);  // kind 10: the "OK" of id 12
    EXPECT_FALSE(Shown(Button(10)));
    EXPECT_TRUE(Shown(Button(12)));
    EXPECT_EQ(box.GetButton(12)->GetWindowText(), L"OK");
    box.ShowMessage(L"Fourth", L"", 3, 0);  // other kinds: no buttons
    EXPECT_FALSE(Shown(Button(10)));
    EXPECT_FALSE(Shown(Button(12)));
}

TEST_F(MsgBoxTest, TextTopsFollowTheLineCount) {
    box.ShowMessage(L"One line", L"", 10, 6);
    const int cy = (kBoxH - 32) / 2 - box.GetMainTextRect().top;  // one line, no second text
    ASSERT_GT(cy, 10);
    ASSERT_LT(cy, 40);
    box.ShowMessage(L"One line", L"and a second text", 10, 6);
    const int withSecond = box.GetMainTextRect().top;
    EXPECT_EQ(withSecond, static_cast<int>((kBoxH - 32) / 2 - 1.5 * cy));
    EXPECT_EQ(box.GetSecondTextRect().top, withSecond + cy + 10);
    std::wstring two;
    while (two.size() < 60) two += L"word word ";
    box.ShowMessage(two, L"", 10, 6);
    EXPECT_EQ(box.GetMainTextRect().top, (kBoxH - 32) / 2 - 2 * cy);
    box.ShowMessage(L"One line", L"", 10, 9);  // set 9 is set 0: no buttons, centred on H / 2
    EXPECT_EQ(box.GetMainTextRect().top, kBoxH / 2 - cy);
    std::wstring longText;
    while (longText.size() < 400) longText += L"a rather long message ";
    box.ShowMessage(longText, L"Second", 10, 6);
    EXPECT_EQ(box.GetMainTextRect().top, 25);
    EXPECT_GT(box.GetSecondTextRect().top, 25 + 4 * cy);  // below the drawn main text
}

TEST_F(MsgBoxTest, BoxMovesToTheScreenCentreWhenItWouldLeaveTheScreen) {
    // The owner low on the screen (y 500 of 768): the box centred on it would pass the bottom.
    const int lowOnScreen = ::GetSystemMetrics(SM_CYSCREEN) - 268;
    owner.SetWindowPos(nullptr, 100, lowOnScreen, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    box.ShowMessage(kFailureEn, L"", 10, 6);
    const RECT rc = box.GetWindowRect();
    owner.SetWindowPos(nullptr, kOwnerPlace.x, kOwnerPlace.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    EXPECT_EQ(rc.left, ::GetSystemMetrics(SM_CXFULLSCREEN) / 2 - kBoxW / 2);
    EXPECT_EQ(rc.top, ::GetSystemMetrics(SM_CYSCREEN) / 2 - kBoxH / 2);
    EXPECT_EQ(rc.right - rc.left, kBoxW);
}

// What a screenshot must show: the panel everywhere except the icon, the texts and the button.
void CheckAndSaveScreenshot(CDlg_MSG_Box& box, const wchar_t* file) {
    box.UpdateWindow();
    const UiImage shot = UiCaptureClient(box);
    ASSERT_EQ(shot.width, kBoxW);
    ASSERT_EQ(shot.height, kBoxH);
    EXPECT_TRUE(shot.SaveBmp(UiScreenshotDir() + file)) << "screenshot not saved";

    CDIBSectionLite panel, icon;
    ASSERT_TRUE(panel.LoadResourceBitmap(IDB_MSGBOX_BACKGROUND));
    ASSERT_TRUE(icon.LoadResourceBitmap(IDB_MSGBOX_ICON_FIRST + 10));
    const UiImage background = UiCaptureDC(panel.AcquireMemoryDC(nullptr), 0, 0, kBoxW, kBoxH);
    panel.FreeMemoryDC();
    const UiImage iconPixels = UiCaptureDC(icon.AcquireMemoryDC(nullptr), 0, 0, 136, 136);
    icon.FreeMemoryDC();

    const int iconTop = kBoxH / 2 - 72;
    for (int y = 0; y < 136; y += 5)
        for (int x = 0; x < 136; x += 5)
            ASSERT_EQ(shot.At(20 + x, iconTop + y), iconPixels.At(x, y)) << "icon at " << x << "," << y;

    const RECT ok = ChildRect(box.GetButton(10)->GetSafeHwnd());
    const RECT mainText = box.GetMainTextRect();
    const RECT secondText = box.GetSecondTextRect();
    int textInk = 0, secondInk = 0, stray = 0, white = 0;
    for (int y = 0; y < kBoxH; ++y) {
        for (int x = 0; x < kBoxW; ++x) {
            if (shot.At(x, y) == background.At(x, y)) continue;
            const bool inIcon = x >= 20 && x < 156 && y >= iconTop && y < iconTop + 136;
            const bool inButton = x >= ok.left && x < ok.right && y >= ok.top && y < ok.bottom;
            const bool inMain = x >= 165 && x < kBoxW - 5 && y >= mainText.top && y < secondText.top - 8;
            const bool inSecond = x >= 165 && x < kBoxW - 5 && y >= secondText.top && y < ok.top;
            if ((inMain || inSecond) && UiColoursClose(shot.At(x, y), RGB(255, 255, 255), 8)) ++white;
            if (inMain)
                ++textInk;
            else if (inSecond)
                ++secondInk;
            else if (!inIcon && !inButton)
                ++stray;
        }
    }
    EXPECT_GT(textInk, 100);
    EXPECT_GT(secondInk, 100);
    EXPECT_EQ(stray, 0);
    EXPECT_GT(white, 50);  // the texts are white
    EXPECT_LT(mainText.top, secondText.top);
    EXPECT_LT(secondText.top + 10, ok.top);
}

TEST_F(MsgBoxTest, ScreenshotInEnglish) {
    box.ShowMessage(kFailureEn, kCheckEn, 10, 6);
    CheckAndSaveScreenshot(box, L"msgbox_en.bmp");
}

TEST_F(MsgBoxTest, ScreenshotInKorean) {
    CDlg_MSG_Box korean(&owner);
    korean.SetLanguage(1);
    ASSERT_TRUE(korean.Create(IDD_MSG_BOX, &owner));
    korean.ShowMessage(kFailureKo, kCheckKo, 10, 6);
    CheckAndSaveScreenshot(korean, L"msgbox_ko.bmp");
    korean.ShowWindow(SW_HIDE);
}

}  // namespace
