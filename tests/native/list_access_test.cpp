// The item list for the keyboard and for screen readers: key rules and the list's window text.
#include "controls/logic/ListAccess.h"

#include <gtest/gtest.h>

namespace {

TEST(ListAccessTest, ArrowsHomeAndEndStayWithinTheRowsAndSpaceTogglesTheSelectedRow) {
    EXPECT_EQ(ListKeyDown(kListKeyDown, -1, 3, true).selection, 0);
    EXPECT_EQ(ListKeyDown(kListKeyDown, 2, 3, true).selection, 2);
    EXPECT_EQ(ListKeyDown(kListKeyUp, 0, 3, true).selection, 0);
    EXPECT_EQ(ListKeyDown(kListKeyUp, 2, 3, true).selection, 1);
    EXPECT_EQ(ListKeyDown(kListKeyEnd, 0, 3, true).selection, 2);
    EXPECT_EQ(ListKeyDown(kListKeyHome, 2, 3, true).selection, 0);
    // A selection left over from rows that have gone counts from the last row.
    EXPECT_EQ(ListKeyDown(kListKeyUp, 7, 3, true).selection, 1);

    const ListKeyResult space = ListKeyDown(kListKeySpace, 1, 3, true);
    EXPECT_TRUE(space.handled && space.toggle);
    EXPECT_EQ(space.selection, 1);
    EXPECT_EQ(ListKeyDown(kListKeySpace, -1, 3, true).selection, 0);
    EXPECT_FALSE(ListKeyDown(kListKeySpace, 1, 3, false).handled);  // no check boxes
    EXPECT_FALSE(ListKeyDown(kListKeyDown, -1, 0, true).handled);   // no rows
    EXPECT_FALSE(ListKeyDown('A', 1, 3, true).handled);

    EXPECT_EQ(ListFocusRow(-1, 3), 0);
    EXPECT_EQ(ListFocusRow(2, 3), 2);
    EXPECT_EQ(ListFocusRow(-1, 0), -1);
}

TEST(ListAccessTest, WindowTextGivesRowsWithTheirCheckStateOrTheHeadingsOfAnEmptyList) {
    ListModel items;
    items.SetGridSize(5, 2, false);
    EXPECT_EQ(ListWindowText(items), L"");  // blank headings, no rows
    items.InsertItem(0, L"Main", 1);
    items.InsertItem(1, L"Extra", 2);
    items.SetItemText(0, 1, L"Updatable");
    items.SetCheck(0, 1);
    EXPECT_EQ(ListWindowText(items), L"Main\tUpdatable\tchecked\r\nExtra\t \tnot checked");
    items.SetCheckMode(0);
    EXPECT_EQ(ListWindowText(items), L"Main\tUpdatable\r\nExtra\t ");

    // The keyboard selects only inserted rows.
    items.SelectRow(1);
    EXPECT_EQ(items.Selection(), 1);
    items.SelectRow(2);
    EXPECT_EQ(items.Selection(), 1);

    ListModel headings;
    headings.SetGridSize(1, 3, false);
    headings.SetColumnTitle(0, L"Setup Program");
    headings.SetColumnTitle(2, L"Final Ver");
    EXPECT_EQ(ListWindowText(headings), L"Setup Program\t \tFinal Ver");
}

}  // namespace
