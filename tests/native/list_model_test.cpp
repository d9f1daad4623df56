// The multi-line list's data, scrolling, gestures and painting rules, without a window.
#include "controls/logic/ListModel.h"

#include <gtest/gtest.h>

namespace {

// The item list as the main dialog sets it up: 535 x 255 with a border, four columns.
class ListModelTest : public ::testing::Test {
protected:
    void SetUp() override {
        list.SetViewport({0, 0, 533, 253}, 0);  // list height 219
        list.SetExactScroll(1);
        list.SetGridSize(5, 4, false);
        list.SetColumnWidth(0, 185);
        list.SetColumnWidth(1, 110);
        list.SetColumnWidth(2, 110);
        list.SetColumnWidth(3, 127);
    }
    void AddRows(int n) {
        for (int i = 0; i < n; ++i) list.InsertItem(list.GetItemCount(), L"row " + std::to_wstring(i), i);
    }
    static bool Posted(const ListEffects& fx, ListNotice notice, int row) {
        for (const auto& n : fx.notices)
            if (n.first == notice && n.second == row) return true;
        return false;
    }
    ListModel list;
};

TEST_F(ListModelTest, SetItemTextIgnoresEmptyTextAndStripsTrailingBlanks) {
    AddRows(2);
    list.SetItemText(1, 3, L"Updatable  \t ");
    EXPECT_EQ(list.GetItemText(1, 3), L"Updatable");
    list.SetItemText(1, 3, L"");
    EXPECT_EQ(list.GetItemText(1, 3), L"Updatable");
    list.SetItemText(1, 3, L"  leading kept");
    EXPECT_EQ(list.GetItemText(1, 3), L"  leading kept");
    // Rows past the grid are ignored; a column past the count is a failed check.
    list.SetItemText(2, 1, L"beyond");
    EXPECT_EQ(list.GetItemText(2, 1), L" ");
    EXPECT_NE(list.SetItemText(0, 4, L"x").fault, nullptr);
}

TEST_F(ListModelTest, SetItemTextDropsOnlyThatRowsCachedHeight) {
    AddRows(3);
    list.RefreshRowHeights();
    list.SetItemText(1, 2, L"changed");
    EXPECT_EQ(list.RowHeight(1), 0);
    EXPECT_EQ(list.RowHeight(0), 39);
    list.RefreshRowHeights();
    list.SetItemText(1, 2, L"changed  ");  // same text once trimmed: the cache stays
    EXPECT_EQ(list.RowHeight(1), 39);
}

TEST_F(ListModelTest, InsertAtRowZeroMovesTextsAndDataDownAndUnchecksMovedRows) {
    list.InsertItem(0, L"a", 10);
    list.InsertItem(1, L"b", 11);
    list.SetItemText(0, 3, L"status a");
    list.SetItemText(1, 3, L"status b");
    list.SetCheck(0, 1);
    list.SetCheck(1, 1);

    ListEffects fx = list.InsertItem(0, L"new", 7);
    EXPECT_EQ(fx.repaint, ListEffects::Repaint::Erase);
    EXPECT_FALSE(fx.updateScrollBar);
    EXPECT_EQ(list.GetItemCount(), 3);
    EXPECT_EQ(list.RowCount(), 3);
    EXPECT_EQ(list.GetItemText(0, 0), L"new");
    EXPECT_EQ(list.GetItemText(0, 3), L" ");
    EXPECT_EQ(list.GetItemData(0), 7);
    EXPECT_EQ(list.GetItemText(1, 0), L"a");
    EXPECT_EQ(list.GetItemText(1, 3), L"status a");
    EXPECT_EQ(list.GetItemData(1), 10);
    EXPECT_EQ(list.GetItemText(2, 0), L"b");
    EXPECT_EQ(list.GetItemData(2), 11);
    EXPECT_FALSE(list.IsChecked(1));
    EXPECT_FALSE(list.IsChecked(2));
    // The inserted row keeps whatever check its index had.
    EXPECT_TRUE(list.IsChecked(0));
}

TEST_F(ListModelTest, DeleteAllItemsBlanksFromFirstColumnAndKeepsSelection) {
    AddRows(8);
    list.SetItemText(2, 1, L"v1");
    list.SetCheck(2, 1);
    list.LButtonDown(500, 34 + 39 + 5);
    list.VScroll(kScrollLineDown, 0);
    ASSERT_EQ(list.ScrollY(), 39);
    list.DeleteAllItems(1);
    EXPECT_EQ(list.GetItemCount(), 0);
    EXPECT_EQ(list.RowCount(), 0);
    EXPECT_EQ(list.ScrollY(), 0);
    EXPECT_EQ(list.GetItemText(2, 0), L"row 2");
    EXPECT_EQ(list.GetItemText(2, 1), L" ");
    EXPECT_FALSE(list.IsChecked(2));
    EXPECT_EQ(list.Selection(), 1);
    EXPECT_EQ(list.RowHeight(0), 0);
}

TEST_F(ListModelTest, PressOnAnEdgeKeepsTheSelectionAndStillReportsIt) {
    AddRows(3);
    ListEffects fx = list.LButtonDown(500, 34 + 39 * 2 + 1);
    EXPECT_EQ(list.Selection(), 2);
    EXPECT_TRUE(Posted(fx, ListNotice::RowPressed, 2));

    fx = list.LButtonDown(0, 40);
    EXPECT_EQ(list.Selection(), 2);
    EXPECT_TRUE(Posted(fx, ListNotice::RowPressed, 2));
    fx = list.LButtonDown(300, 0);
    EXPECT_EQ(list.Selection(), 2);

    // Below the last row the selection goes and nothing is posted.
    fx = list.LButtonDown(500, 34 + 39 * 4);
    EXPECT_EQ(list.Selection(), -1);
    EXPECT_TRUE(fx.notices.empty());
    EXPECT_EQ(fx.repaint, ListEffects::Repaint::NoErase);
}

TEST_F(ListModelTest, CheckTapTogglesInCheckZoneEvenAfterMoving) {
    AddRows(2);
    list.LButtonDown(100, 34 + 39 + 10);  // row 1, check zone armed
    ListEffects fx = list.LButtonUp(250, 34 + 10);
    EXPECT_TRUE(list.IsChecked(1));
    EXPECT_TRUE(Posted(fx, ListNotice::CheckChanged, 1));
    EXPECT_EQ(fx.repaint, ListEffects::Repaint::None);
    // The tap is used up by its release.
    EXPECT_FALSE(Posted(list.LButtonUp(250, 34 + 10), ListNotice::CheckChanged, 1));
    EXPECT_TRUE(list.IsChecked(1));

    // A press right of x 570 never arms the check zone.
    list.LButtonDown(575, 34 + 39 + 10);
    list.LButtonUp(100, 34 + 39 + 10);
    EXPECT_TRUE(list.IsChecked(1));

    // Without check mode the same tap does nothing to the checks.
    list.SetCheckMode(0);
    list.LButtonDown(100, 34 + 5);
    fx = list.LButtonUp(100, 34 + 5);
    EXPECT_FALSE(list.IsChecked(0));
    EXPECT_TRUE(fx.notices.empty());
}

TEST_F(ListModelTest, ReleaseInUnitZoneReportsTheUnitTap) {
    AddRows(1);
    // The zone was computed from column 2's width before it was set (100): 295 .. 431.
    list.SetCheckMode(0);
    list.LButtonDown(350, 40);
    EXPECT_TRUE(Posted(list.LButtonUp(350, 45), ListNotice::UnitTapped, 0));
    EXPECT_TRUE(Posted(list.LButtonUp(295, 852), ListNotice::UnitTapped, 0));
    EXPECT_TRUE(list.LButtonUp(431, 45).notices.empty());
    EXPECT_TRUE(list.LButtonUp(294, 45).notices.empty());
    EXPECT_TRUE(list.LButtonUp(350, 853).notices.empty());
}

TEST_F(ListModelTest, VerticalSwipesScrollByLinesAndPages) {
    AddRows(20);
    list.SetCheckMode(0);
    list.LButtonDown(500, 200);
    ListEffects fx = list.LButtonUp(500, 160);  // exactly 40 px: nothing
    EXPECT_EQ(list.ScrollY(), 0);
    EXPECT_EQ(fx.repaint, ListEffects::Repaint::None);

    list.LButtonDown(500, 200);
    fx = list.LButtonUp(500, 100);  // 100 px up: lines at 0, 40 and 80
    EXPECT_EQ(list.ScrollY(), 3 * 39);
    EXPECT_EQ(fx.repaint, ListEffects::Repaint::Erase);
    EXPECT_TRUE(fx.updateScrollBar);

    list.LButtonDown(500, 100);
    list.LButtonUp(500, 141);  // 41 px down: two lines up
    EXPECT_EQ(list.ScrollY(), 39);
}

TEST_F(ListModelTest, HorizontalSwipesPage) {
    AddRows(20);
    list.SetCheckMode(0);
    list.LButtonDown(200, 100);
    list.LButtonUp(451, 100);  // 251 px to the right: page down by 219 - 3
    EXPECT_EQ(list.ScrollY(), 216);
    list.LButtonDown(200, 100);
    list.LButtonUp(450, 100);  // exactly 250 px: no page
    EXPECT_EQ(list.ScrollY(), 216);
    list.LButtonDown(520, 100);
    list.LButtonUp(269, 100);  // to the left: page up
    EXPECT_EQ(list.ScrollY(), 0);
}

TEST_F(ListModelTest, LineDownStopsOnceTheRemainingRowsFit) {
    AddRows(10);  // 390 px of rows in a 219 px list
    const int expected[] = {39, 78, 117, 156, 156, 156};
    for (int want : expected) {
        list.VScroll(kScrollLineDown, 0);
        EXPECT_EQ(list.ScrollY(), want);
    }
    list.VScroll(kScrollLineUp, 0);
    EXPECT_EQ(list.ScrollY(), 117);
    list.VScroll(kScrollPageDown, 0);  // rest 54 < 219: to the end plus the overlap
    EXPECT_EQ(list.ScrollY(), 174);
    for (int i = 0; i < 4; ++i) list.VScroll(kScrollLineUp, 0);
    EXPECT_EQ(list.ScrollY(), 18);
    list.VScroll(kScrollLineUp, 0);  // never above the first row
    EXPECT_EQ(list.ScrollY(), 0);
}

TEST_F(ListModelTest, ThumbSnapsToWholeRowsAndPagesKeepOverlap) {
    AddRows(20);  // 780 px
    list.VScroll(kScrollThumbTrack, 100);
    EXPECT_EQ(list.ScrollY(), 78);
    list.VScroll(kScrollThumbPosition, 38);
    EXPECT_EQ(list.ScrollY(), 0);
    list.VScroll(kScrollPageDown, 0);
    EXPECT_EQ(list.ScrollY(), 216);
    list.VScroll(kScrollPageDown, 0);
    EXPECT_EQ(list.ScrollY(), 432);
    list.VScroll(kScrollPageDown, 0);  // rest 129 < 219: to the end plus the overlap
    EXPECT_EQ(list.ScrollY(), 564);
    list.VScroll(kScrollPageUp, 0);
    EXPECT_EQ(list.ScrollY(), 348);
    list.VScroll(kScrollThumbTrack, 100);
    list.VScroll(kScrollPageUp, 0);
    EXPECT_EQ(list.ScrollY(), 0);
    list.Wheel(-120);
    EXPECT_EQ(list.ScrollY(), 39);
    list.Wheel(1);
    EXPECT_EQ(list.ScrollY(), 0);
}

TEST_F(ListModelTest, HorizontalScrollRules) {
    list.SetViewport({0, 0, 300, 253}, 0);  // columns total 532 px
    list.HScroll(kScrollLineDown, 0);
    EXPECT_EQ(list.ScrollX(), 25);
    list.HScroll(kScrollPageDown, 0);  // rest 207 < 300
    EXPECT_EQ(list.ScrollX(), 232);
    list.HScroll(kScrollLineDown, 0);  // 300 < 300 fails: no step
    EXPECT_EQ(list.ScrollX(), 232);
    list.HScroll(kScrollPageUp, 0);
    EXPECT_EQ(list.ScrollX(), 0);
    list.HScroll(kScrollThumbTrack, 77);
    EXPECT_EQ(list.ScrollX(), 77);
}

TEST_F(ListModelTest, ScrollRangeAndEnsureVisible) {
    AddRows(5);  // 195 px fits in 219
    EXPECT_FALSE(list.ScrollRange().needed);
    AddRows(1);  // 234 px
    ListScrollRange range = list.ScrollRange();
    EXPECT_TRUE(range.needed);
    EXPECT_EQ(range.max, 234);
    EXPECT_EQ(range.page, 219);
    list.SetExactScroll(0);
    EXPECT_EQ(list.ScrollRange().max, 236);

    ListEffects fx = list.EnsureVisible(5);
    EXPECT_EQ(list.ScrollY(), 234 - 219);
    EXPECT_TRUE(fx.updateScrollBar);
    fx = list.EnsureVisible(2);
    EXPECT_EQ(fx.repaint, ListEffects::Repaint::None);
    list.EnsureVisible(0);
    EXPECT_EQ(list.ScrollY(), 0);
    EXPECT_NE(list.EnsureVisible(6).fault, nullptr);
    EXPECT_EQ(list.ScrollY(), 0);
}

TEST_F(ListModelTest, HitTestFollowsScrollAndListRectangle) {
    AddRows(8);
    EXPECT_EQ(list.HitTest(10, 33), -1);
    EXPECT_EQ(list.HitTest(10, 34), 0);
    EXPECT_EQ(list.HitTest(10, 34 + 39), 1);
    list.VScroll(kScrollThumbTrack, 39);
    EXPECT_EQ(list.HitTest(10, 34), 1);
    EXPECT_EQ(list.TopRow(), 1);
    list.SetViewport({0, 0, 533, 253}, 30);
    EXPECT_EQ(list.HitTest(503, 40), -1);
    EXPECT_EQ(list.HitTest(502, 40), 1);
}

TEST_F(ListModelTest, ResizeStepsBackWhenTheRowsDrawnDoNotCoverTheItems) {
    AddRows(6);
    list.VScroll(kScrollThumbTrack, 78);
    ASSERT_EQ(list.PlanPaintRows(MakeQvRect(0, 34, 533, 112)).size(), 3u);  // top row 2 + 3 drawn < 6 + 2
    list.Resize(533, 253);
    EXPECT_EQ(list.ScrollY(), 39);
    list.SetExactScroll(0);
    list.Resize(533, 253);  // 253 / 39 = 6: no step
    EXPECT_EQ(list.ScrollY(), 39);
    list.Resize(533, 195);  // exactly five rows: top row 1 + 5 < 8
    EXPECT_EQ(list.ScrollY(), 0);
}

TEST_F(ListModelTest, DoubleClickReportsTheSelectedRow) {
    EXPECT_TRUE(list.LButtonDblClk().notices.empty());
    AddRows(2);
    list.LButtonDown(500, 34 + 39 + 1);
    ListEffects fx = list.LButtonDblClk();
    EXPECT_TRUE(Posted(fx, ListNotice::CheckChanged, 1));
    EXPECT_FALSE(list.IsChecked(1));
}

TEST_F(ListModelTest, SetColorsReplacesOnlyNonZeroColours) {
    list.SetColors(0, 0, 0, 0, 0);
    EXPECT_EQ(list.Colours().header, ListRgb(239, 239, 239));
    EXPECT_EQ(list.Colours().second, ListRgb(255, 255, 255));
    EXPECT_EQ(list.Colours().altRow, ListRgb(235, 235, 235));
    EXPECT_EQ(list.Colours().selection, ListRgb(162, 215, 254));
    EXPECT_EQ(list.Colours().headerText, 0u);
    list.SetColors(ListRgb(118, 148, 178), 0, 0, ListRgb(1, 2, 3), 0);
    EXPECT_EQ(list.Colours().header, 0x00B29476u);
    EXPECT_EQ(list.Colours().altRow, ListRgb(235, 235, 235));
    EXPECT_EQ(list.Colours().selection, 0x00030201u);
}

TEST_F(ListModelTest, SetColumnTitleAndShrinkingColumns) {
    list.SetColumnTitle(3, L"Updating Status");
    EXPECT_EQ(list.ColumnHeading(3), L"Updating Status");
    EXPECT_EQ(list.ColumnWidth(3), 127);
    EXPECT_NE(list.SetColumnTitle(4, L"x").fault, nullptr);
    AddRows(2);
    list.RefreshRowHeights();
    list.SetGridSize(list.RowCount(), 2, false);
    // The dropped columns' definitions go: they count with the defaults again.
    EXPECT_EQ(list.ColumnWidth(2), 100);
    EXPECT_EQ(list.ColumnHeading(3), L" ");
    EXPECT_EQ(list.ColumnWidth(1), 110);
    EXPECT_EQ(list.RowHeight(0), 0);
}

TEST(ListUnits, UnitsAreTrimmedAndCaseInsensitive) {
    EXPECT_TRUE(listpaint::IsUnitText(L" kpa "));
    EXPECT_TRUE(listpaint::IsUnitText(L"KM/H"));
    EXPECT_TRUE(listpaint::IsUnitText(L"\t\u00B0c\r\n"));
    EXPECT_TRUE(listpaint::IsUnitText(L"\u00B0F"));
    EXPECT_TRUE(listpaint::IsUnitText(L"bar"));
    EXPECT_FALSE(listpaint::IsUnitText(L"kPa/s"));
    EXPECT_FALSE(listpaint::IsUnitText(L"k Pa"));
    EXPECT_FALSE(listpaint::IsUnitText(L"C"));
    EXPECT_FALSE(listpaint::IsUnitText(L" "));
}

TEST(ListOverflow, TheTablesNeverGrowPastTheirRowsAndColumns) {
    ListModel list;
    ListEffects fx = list.SetGridSize(351, 7, true);
    EXPECT_TRUE(fx.showOverflowMessage);
    EXPECT_EQ(list.RowCount(), 350);
    EXPECT_EQ(list.ColumnCount(), 6);
    EXPECT_FALSE(list.SetGridSize(350, 6, false).showOverflowMessage);

    // Every cell of the last row and column is reachable; nothing beyond is touched.
    list.SetItemText(349, 5, L"last");
    EXPECT_EQ(list.GetItemText(349, 5), L"last");
    list.SetItemText(350, 0, L"past");
    list.SetItemText(0, 6, L"past");
    EXPECT_EQ(list.GetItemText(350, 0), L"");
    EXPECT_EQ(list.GetItemText(0, 6), L"");
    EXPECT_NE(list.SetCheck(350, 1).fault, nullptr);
    EXPECT_NE(list.ToggleCheck(-1).fault, nullptr);
    EXPECT_FALSE(list.IsChecked(350));
    EXPECT_EQ(list.GetItemData(350), -1);

    list.SetGridSize(0, 6, false);
    for (int i = 0; i < 350; ++i) EXPECT_FALSE(list.InsertItem(0, L"r", i).showOverflowMessage);
    EXPECT_EQ(list.GetItemData(349), 0);
    fx = list.InsertItem(0, L"351st", 350);
    EXPECT_TRUE(fx.showOverflowMessage);
    EXPECT_EQ(list.GetItemCount(), 350);
    EXPECT_EQ(list.GetItemData(0), 349);
    EXPECT_EQ(list.GetItemData(349), 0);  // the last row was not pushed out
    EXPECT_NE(list.InsertItem(350, L"x", 1).fault, nullptr);
    list.DeleteAllItems(0);
    EXPECT_EQ(list.GetItemText(349, 0), L" ");
}

TEST(ListPainting, OnlyInsertedRowsAreDrawn) {
    ListModel list;
    list.SetViewport({0, 0, 533, 253}, 0);
    list.SetGridSize(5, 4, false);
    list.InsertItem(0, L"setup.exe", 1);
    list.SetGridSize(5, 4, false);  // grid rows back to five, one item
    std::vector<ListPaintRow> rows = list.PlanPaintRows(list.ListRect());
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].row, 0);
    EXPECT_EQ(rows[0].y, 34);

    // Scrolled by a page the first row drawn is the one partly above the list.
    for (int i = 1; i < 20; ++i) list.InsertItem(i, L"more", i);
    list.VScroll(kScrollPageDown, 0);  // 216: row 5 spans 195 .. 234
    rows = list.PlanPaintRows(list.ListRect());
    ASSERT_GE(rows.size(), 2u);
    EXPECT_EQ(rows[0].row, 5);
    EXPECT_EQ(rows[0].y, 34 - (216 - 195));
    EXPECT_EQ(rows[1].y, 34 - (216 - 195) + 39);
}

TEST(ListPainting, CellTextPlacementByMeasuredWidth) {
    const QvRect t = listpaint::CellTextRect(0, 100, 185);  // column 0 of a row at y 100
    EXPECT_EQ(t, MakeQvRect(2, 108, 183, 139));
    EXPECT_EQ(listpaint::CheckImageOrigin(0, 100).x, 7);
    EXPECT_EQ(listpaint::CheckImageOrigin(0, 100).y, 108);

    ListCellPlacement p = listpaint::PlaceCellText(0, t, 112, 50);  // 112 < 183 - 20 - 50
    EXPECT_EQ(p.font, ListFont::Line);
    EXPECT_EQ(p.text, MakeQvRect(40, 113, 183, 139));
    p = listpaint::PlaceCellText(0, t, 113, 50);
    EXPECT_EQ(p.font, ListFont::Small);
    EXPECT_EQ(p.text.top, 108);
    p = listpaint::PlaceCellText(0, t, 184, 0);
    EXPECT_EQ(p.font, ListFont::Small);
    EXPECT_EQ(p.text.top, 113);

    const QvRect t1 = listpaint::CellTextRect(185, 100, 110);
    EXPECT_EQ(listpaint::PlaceCellText(1, t1, 105, 0).font, ListFont::Cell);
    p = listpaint::PlaceCellText(2, t1, 106, 0);
    EXPECT_EQ(p.font, ListFont::Small);
    EXPECT_EQ(p.text.top, 103);
    p = listpaint::PlaceCellText(3, t1, 1000, 0);
    EXPECT_EQ(p.font, ListFont::Cell);
    EXPECT_EQ(p.text.top, 113);
}

TEST(ListPainting, UnitMarkAndFontsFollowTheLanguage) {
    const QvRect t = MakeQvRect(297, 113, 403, 139);
    auto mark = listpaint::UnitMarkPoints(t, false);
    EXPECT_EQ(mark[0].x, 385);
    EXPECT_EQ(mark[1].x, 401);
    EXPECT_EQ(mark[2].x, 393);
    EXPECT_EQ(mark[2].y, 126);
    mark = listpaint::UnitMarkPoints(t, listpaint::IsRightAlignedLanguage(19));
    EXPECT_EQ(mark[0].x, 315);
    EXPECT_FALSE(listpaint::IsRightAlignedLanguage(1));

    ListRowFonts korean = listpaint::RowFontsFor(1);
    EXPECT_EQ(korean.lineFont.height, 16);
    EXPECT_EQ(korean.smallFont.height, 15);
    EXPECT_EQ(korean.cellFont.charSet, 129);
    EXPECT_EQ(std::wstring(korean.cellFont.face), L"NanumGothic");
    ListRowFonts arabic = listpaint::RowFontsFor(20);
    EXPECT_EQ(arabic.lineFont.weight, 500);
    EXPECT_EQ(arabic.smallFont.height, 14);
    ListRowFonts english = listpaint::RowFontsFor(0);
    EXPECT_EQ(english.lineFont.height, 20);
    EXPECT_EQ(english.cellFont.weight, 400);
}

}  // namespace
