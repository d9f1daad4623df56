// The multi-line list as a real window: bound from the main dialog's template, painted into a
// bitmap and probed pixel by pixel, clicked, scrolled and read.
#include "controls/MultilineList.h"
#include "framework/Dialog.h"
#include "resources/resource.h"
#include "support/ui_capture.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

// Binds the template's two lists the way the main dialog does.
class CListHostDlg : public CDialog {
public:
    CListHostDlg() : CDialog(IDD_QUORVELDOWNLOAD_DIALOG, nullptr) {}
    CMultilineList m_listItems;
    CMultilineList m_listHeader;

protected:
    void DoDataExchange() override {
        m_listItems.SetExactScroll(1);
        m_listHeader.SetExactScroll(1);
        m_listItems.SubclassDlgItem(IDC_LIST_ITEMS, this);
        m_listHeader.SubclassDlgItem(IDC_LIST_HEADER, this);
    }
};

// True when every pixel of the rectangle has the colour; the first other one goes to *other.
bool AllOf(const UiImage& picture, const RECT& rc, COLORREF colour, POINT* other = nullptr) {
    for (int y = rc.top; y < rc.bottom; ++y)
        for (int x = rc.left; x < rc.right; ++x)
            if (picture.At(x, y) != colour) {
                if (other) *other = POINT{x, y};
                return false;
            }
    return true;
}

bool Contains(const UiImage& picture, const RECT& rc, COLORREF colour) {
    for (int y = rc.top; y < rc.bottom; ++y)
        for (int x = rc.left; x < rc.right; ++x)
            if (picture.At(x, y) == colour) return true;
    return false;
}

// True when the picture holds the image's pixels with its top-left corner at (x, y).
bool ShowsImageAt(const UiImage& picture, UINT imageId, int x, int y) {
    CDIBSectionLite image;
    if (!image.LoadResourceBitmap(imageId)) return false;
    const UiImage expected = UiCaptureDC(image.AcquireMemoryDC(nullptr), 0, 0, image.Width(), image.Height());
    image.FreeMemoryDC();
    if (expected.Empty()) return false;
    for (int j = 0; j < expected.height; ++j)
        for (int i = 0; i < expected.width; ++i)
            if (expected.At(i, j) != picture.At(x + i, y + j)) return false;
    return true;
}

bool TakePosted(HWND wnd, UINT msg, MSG* out) { return ::PeekMessageW(out, wnd, msg, msg, PM_REMOVE) != FALSE; }

void DrainPosted(HWND wnd) {
    MSG msg;
    while (::PeekMessageW(&msg, wnd, UM_CHECK_CHANGED, UM_UNIT_TAPPED, PM_REMOVE)) {
    }
}

LPARAM At(int x, int y) { return MAKELPARAM(x, y); }

constexpr int kRowTop = 34;  // row 0's top in the list's client area
int RowY(int row) { return kRowTop + 39 * row; }

class MultilineListWindow : public ::testing::Test {
protected:
    void SetUp() override {
        dlg = std::make_unique<CListHostDlg>();
        ASSERT_TRUE(dlg->Create(IDD_QUORVELDOWNLOAD_DIALOG, nullptr));
        ::MoveWindow(dlg->m_hWnd, 0, 0, 562, 598, TRUE);
        CMultilineList& list = dlg->m_listItems;
        ASSERT_NE(list.m_hWnd, nullptr);
        list.m_bDrawFrame = 1;
        list.MoveWindow(15, 325, 535, 255, TRUE);
        list.SetGridSize(5, 4, false, 1);
        const int widths[] = {185, 110, 110, 127};
        for (int c = 0; c < 4; ++c) list.SetColumnWidth(c, widths[c]);
        list.SetCheckMode(1);
        list.SetColors(RGB(118, 148, 178), RGB(255, 255, 255), RGB(235, 235, 235), RGB(162, 215, 254), 0);
        list.RequestFrame();
        DrainPosted(dlg->m_hWnd);
    }
    void TearDown() override {
        if (dlg) dlg->DestroyWindow();
        dlg.reset();
    }
    CMultilineList& List() { return dlg->m_listItems; }
    void AddRow(const std::wstring& name, const std::wstring& unit) {
        CMultilineList& list = List();
        const int row = list.GetItemCount();
        list.InsertItem(row, name, 100 + row);
        list.SetItemText(row, 1, L"1.0.0");
        list.SetItemText(row, 2, unit);
        list.SetItemText(row, 3, L"Updatable");
    }
    std::unique_ptr<CListHostDlg> dlg;
};

TEST_F(MultilineListWindow, SetUpAddsTheBorderAndAHiddenScrollBar) {
    CMultilineList& list = List();
    EXPECT_NE(list.GetStyle() & WS_BORDER, 0);
    const RECT client = list.GetClientRect();
    EXPECT_EQ(client.right, 533);
    EXPECT_EQ(client.bottom, 253);
    HWND bar = ::GetDlgItem(list.m_hWnd, CMultilineList::kScrollBarId);
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(::GetWindowLongW(bar, GWL_STYLE) & WS_VISIBLE, 0);
    wchar_t cls[64] = {};
    ::GetClassNameW(list.m_hWnd, cls, 64);
    EXPECT_STREQ(cls, L"CMultilineList");
    EXPECT_NE(::GetClassLongW(list.m_hWnd, GCL_STYLE) & CS_DBLCLKS, 0u);
}

TEST_F(MultilineListWindow, OneInsertedRowOfFiveGridRowsIsDrawnWithItsCheckAndUnitMark) {
    CMultilineList& list = List();
    AddRow(L"TALVIX_Setup.exe", L" kpa ");
    list.SetCheck(0, 1);
    list.SetGridSize(5, 4, true);  // five grid rows, one item

    const UiImage picture = UiPrintClient(list.m_hWnd);
    const COLORREF window = ::GetSysColor(COLOR_WINDOW);
    // Header band gradient on top; it ends at y 37.
    EXPECT_EQ(picture.At(300, 0), RGB(239, 239, 239));
    // Row 0: the checked image at (x + 7, y + 8) of column 0.
    EXPECT_TRUE(ShowsImageAt(picture, CMultilineList::kCheckedImageId, 7, RowY(0) + 8));
    // The unit mark: a dark downward triangle at the right end of column 2's text.
    EXPECT_EQ(picture.At(393, RowY(0) + 21), RGB(52, 52, 52));
    EXPECT_EQ(picture.At(393, RowY(0) + 28), window);
    // Row 0's bottom grid line, then nothing but background below it.
    EXPECT_EQ(picture.At(300, RowY(0) + 40), RGB(220, 220, 220));
    POINT other{};
    EXPECT_TRUE(AllOf(picture, RECT{0, RowY(1) + 2, picture.width, picture.height}, window, &other))
        << "first differing pixel at " << other.x << ", " << other.y;
    EXPECT_EQ(list.GetWindowText(), L"TALVIX_Setup.exe\t1.0.0\t kpa\tUpdatable\tchecked");
}

// The owner's language, not a process-wide one, aligns the cells.
TEST_F(MultilineListWindow, RightToLeftLanguageMovesTheUnitMarkToTheCellsLeftEnd) {
    CMultilineList& list = List();
    list.SetLanguage(19);
    AddRow(L"TALVIX_Setup.exe", L" kpa ");
    const UiImage picture = UiPrintClient(list.m_hWnd);
    EXPECT_EQ(picture.At(307, RowY(0) + 21), RGB(52, 52, 52));
    EXPECT_NE(picture.At(393, RowY(0) + 21), RGB(52, 52, 52));
}

TEST_F(MultilineListWindow, AlternateAndSelectionFillsMarkTheirRows) {
    CMultilineList& list = List();
    AddRow(L"first.exe", L"kPa/s");
    AddRow(L"second.exe", L"psi");
    AddRow(L"third.exe", L"V");
    // Released right of the unit zone: a plain selection, no check tap.
    ::SendMessageW(list.m_hWnd, WM_LBUTTONDOWN, MK_LBUTTON, At(500, RowY(2) + 5));
    ::SendMessageW(list.m_hWnd, WM_LBUTTONUP, 0, At(500, RowY(2) + 5));
    EXPECT_EQ(list.GetSelection(), 2);
    MSG msg{};
    ASSERT_TRUE(TakePosted(dlg->m_hWnd, UM_ROW_PRESSED, &msg));
    EXPECT_EQ(msg.lParam, 2);
    EXPECT_FALSE(TakePosted(dlg->m_hWnd, UM_CHECK_CHANGED, &msg));

    const UiImage picture = UiPrintClient(list.m_hWnd);
    picture.SaveBmp(UiScreenshotDir() + L"multiline_list_rows.bmp");
    const COLORREF window = ::GetSysColor(COLOR_WINDOW);
    // Right end of column 3, above the text: fill only.
    EXPECT_EQ(picture.At(525, RowY(0) + 5), window);
    EXPECT_EQ(picture.At(525, RowY(1) + 5), RGB(235, 235, 235));
    EXPECT_EQ(picture.At(525, RowY(2) + 5), RGB(162, 215, 254));
    // The selection fill starts one pixel higher than the alternate fill would.
    EXPECT_EQ(picture.At(525, RowY(2) + 1), RGB(162, 215, 254));
    EXPECT_EQ(picture.At(525, RowY(1) + 1), RGB(220, 220, 220));  // row 0's grid line
    // Unchecked images in every row; a unit mark only where the text is a unit.
    for (int r = 0; r < 3; ++r) EXPECT_TRUE(ShowsImageAt(picture, CMultilineList::kUncheckedImageId, 7, RowY(r) + 8));
    EXPECT_FALSE(Contains(picture, RECT{380, RowY(0) + 15, 404, RowY(0) + 30}, RGB(52, 52, 52)));
    EXPECT_TRUE(Contains(picture, RECT{380, RowY(1) + 15, 404, RowY(1) + 30}, RGB(52, 52, 52)));
}

TEST_F(MultilineListWindow, TapInTheCheckZoneTogglesAndNotifiesTheParent) {
    CMultilineList& list = List();
    AddRow(L"TALVIX_Setup.exe", L" ");
    AddRow(L"second.exe", L" ");
    ASSERT_FALSE(list.IsChecked(1));
    ::SendMessageW(list.m_hWnd, WM_LBUTTONDOWN, MK_LBUTTON, At(15, RowY(1) + 12));
    ::SendMessageW(list.m_hWnd, WM_LBUTTONUP, 0, At(15, RowY(1) + 12));
    EXPECT_TRUE(list.IsChecked(1));
    MSG msg{};
    ASSERT_TRUE(TakePosted(dlg->m_hWnd, UM_ROW_PRESSED, &msg));
    EXPECT_EQ(msg.wParam, reinterpret_cast<WPARAM>(&list));
    ASSERT_TRUE(TakePosted(dlg->m_hWnd, UM_CHECK_CHANGED, &msg));
    EXPECT_EQ(msg.wParam, reinterpret_cast<WPARAM>(&list));
    EXPECT_EQ(msg.lParam, 1);

    const UiImage picture = UiPrintClient(list.m_hWnd);
    EXPECT_TRUE(ShowsImageAt(picture, CMultilineList::kCheckedImageId, 7, RowY(1) + 8));
    EXPECT_TRUE(ShowsImageAt(picture, CMultilineList::kUncheckedImageId, 7, RowY(0) + 8));

    // A double click reports the row again without toggling it.
    ::SendMessageW(list.m_hWnd, WM_LBUTTONDBLCLK, MK_LBUTTON, At(15, RowY(1) + 12));
    ASSERT_TRUE(TakePosted(dlg->m_hWnd, UM_CHECK_CHANGED, &msg));
    EXPECT_EQ(msg.lParam, 1);
    EXPECT_TRUE(list.IsChecked(1));
}

TEST_F(MultilineListWindow, ScrollBarAppearsAndFollowsScrolling) {
    CMultilineList& list = List();
    for (int i = 0; i < 10; ++i) AddRow(L"file" + std::to_wstring(i) + L".exe", L" ");
    HWND bar = ::GetDlgItem(list.m_hWnd, CMultilineList::kScrollBarId);
    ASSERT_NE(bar, nullptr);
    // Inserting rows leaves the bar alone; the next scroll brings it up to date.
    EXPECT_EQ(::GetWindowLongW(bar, GWL_STYLE) & WS_VISIBLE, 0);
    ::SendMessageW(list.m_hWnd, WM_VSCROLL, MAKEWPARAM(SB_LINEDOWN, 0), reinterpret_cast<LPARAM>(bar));
    EXPECT_NE(::GetWindowLongW(bar, GWL_STYLE) & WS_VISIBLE, 0);
    RECT rc{};
    ::GetWindowRect(bar, &rc);
    ::MapWindowPoints(HWND_DESKTOP, list.m_hWnd, reinterpret_cast<POINT*>(&rc), 2);
    EXPECT_EQ(rc.left, 533 - ::GetSystemMetrics(SM_CXVSCROLL) - 15);
    EXPECT_EQ(rc.top, 37);
    EXPECT_EQ(rc.right, 533);

    SCROLLINFO si{};
    si.cbSize = sizeof si;
    si.fMask = SIF_ALL;
    ::SendMessageW(bar, SBM_GETSCROLLINFO, 0, reinterpret_cast<LPARAM>(&si));
    EXPECT_EQ(si.nMax, 390);
    EXPECT_EQ(si.nPage, 219u);
    EXPECT_EQ(si.nPos, 39);
    // Row 1 is now the top row.
    EXPECT_EQ(list.HitTest(20, kRowTop + 1), 1);

    ::SendMessageW(list.m_hWnd, WM_VSCROLL, MAKEWPARAM(SB_THUMBTRACK, 100), reinterpret_cast<LPARAM>(bar));
    ::SendMessageW(bar, SBM_GETSCROLLINFO, 0, reinterpret_cast<LPARAM>(&si));
    EXPECT_EQ(si.nPos, 78);
}

TEST_F(MultilineListWindow, FrameIsDrawnAroundTheWindowAfterEveryPaint) {
    CMultilineList& list = List();
    AddRow(L"TALVIX_Setup.exe", L" ");
    list.Invalidate(TRUE);
    list.UpdateWindow();
    HDC dc = ::GetWindowDC(list.m_hWnd);
    const COLORREF corner = ::GetPixel(dc, 0, 0);
    const COLORREF edge = ::GetPixel(dc, 534, 100);
    ::ReleaseDC(list.m_hWnd, dc);
    EXPECT_EQ(corner, RGB(200, 210, 220));
    EXPECT_EQ(edge, RGB(200, 210, 220));
}

TEST(MultilineListHeader, HeadingListShowsOnlyItsBand) {
    CListHostDlg dlg;
    ASSERT_TRUE(dlg.Create(IDD_QUORVELDOWNLOAD_DIALOG, nullptr));
    CMultilineList& header = dlg.m_listHeader;
    header.MoveWindow(15, 325, 535, 37, TRUE);
    header.SetGridSize(1, 4, false, 1);
    header.SetColumnTitle(0, L"Setup Program");
    const int widths[] = {185, 110, 110, 127};
    for (int c = 0; c < 4; ++c) header.SetColumnWidth(c, widths[c]);
    const UiImage picture = UiPrintClient(header.m_hWnd);
    ASSERT_EQ(picture.height, 35);
    // Separators of the painted band at each column's right edge.
    EXPECT_EQ(picture.At(185, 20), RGB(140, 150, 130));
    EXPECT_EQ(picture.At(295, 20), RGB(140, 150, 130));
    // The heading is drawn in black somewhere in column 0.
    EXPECT_TRUE(Contains(picture, RECT{5, 5, 185, 30}, RGB(0, 0, 0)));
    EXPECT_FALSE(Contains(picture, RECT{190, 5, 290, 30}, RGB(0, 0, 0)));
    dlg.DestroyWindow();
}

}  // namespace
