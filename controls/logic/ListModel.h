// The multi-line list's data and rules, free of window code: the cell and check tables, columns,
// row heights, geometry, scrolling, hit testing and the decisions behind presses, releases and
// double clicks. Every operation that changes the list returns the effects the window must carry
// out (repaint, scroll-bar update, notifications, the overflow message). How a cell is drawn is in
// ListPaintRules.
#pragma once

#include "controls/logic/Geometry.h"
#include "controls/logic/ListCellTable.h"
#include "controls/logic/ListPaintRules.h"
#include "controls/logic/ScrollCodes.h"

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

// Colours in the GDI layout 0x00BBGGRR.
using ListColour = std::uint32_t;
constexpr ListColour ListRgb(int r, int g, int b) {
    return static_cast<ListColour>(r & 0xFF) | (static_cast<ListColour>(g & 0xFF) << 8) |
           (static_cast<ListColour>(b & 0xFF) << 16);
}

struct ListColours {
    ListColour header = ListRgb(239, 239, 239);     // top of the header band when erased
    ListColour second = ListRgb(255, 255, 255);     // kept for the owner, not drawn
    ListColour altRow = ListRgb(235, 235, 235);     // fill of every odd row
    ListColour selection = ListRgb(162, 215, 254);  // fill of the selected row
    ListColour headerText = ListRgb(0, 0, 0);       // headings when erased
};

struct ListColumn {
    std::int32_t width = 100;
    std::wstring heading = L" ";
};

enum class ListNotice { CheckChanged, RowPressed, UnitTapped };

struct ListEffects {
    enum class Repaint { None, NoErase, Erase };
    Repaint repaint = Repaint::None;
    bool updateScrollBar = false;
    // The grid was asked for more rows or columns than the tables hold.
    bool showOverflowMessage = false;
    // Text of a failed argument check; the window reports it as a diagnostic assertion.
    const char* fault = nullptr;
    // Notifications to post to the parent, in order, each with its row.
    std::vector<std::pair<ListNotice, int>> notices;

    void Invalidate(bool erase);
    void Merge(const ListEffects& other);
};

// What the vertical scroll bar should show: hidden, or the range 0..max with a page and position.
struct ListScrollRange {
    bool needed = false;
    int max = 0;
    int page = 0;
    int pos = 0;
};

// One row a paint draws: its index and its top y in the target context.
struct ListPaintRow {
    int row = 0;
    int y = 0;
    int height = 0;
};

class ListModel {
public:
    static constexpr int kMaxRows = ListCellTable::kMaxRows;
    static constexpr int kCellsPerRow = ListCellTable::kCellsPerRow;
    static constexpr int kRowHeight = listpaint::kRowHeight;
    static constexpr int kHeaderBand = 37;
    static constexpr int kHeaderInset = 34;
    static constexpr int kPageOverlap = 3;
    // Presses left of this x (in check mode) arm the check tap.
    static constexpr int kCheckZoneRight = 570;
    // The unit zone reaches this far right of column 2 and this far below the client.
    static constexpr int kUnitZoneExtraWidth = 36;
    static constexpr int kUnitZoneExtraHeight = 600;
    // A release this far left or right of its press pages; this far up or down scrolls a line per step.
    static constexpr int kSwipePage = 250;
    static constexpr int kSwipeLine = 40;
    // Horizontal line scrolls move this many pixels.
    static constexpr int kHorizontalLine = 25;
    // The scroll range's allowance below the last row unless the exact range is asked for.
    static constexpr int kScrollAllowance = 2;
    // The scroll bar's rectangle: this much wider than the system's bar, below the header band.
    static constexpr int kScrollBarExtraWidth = 15;

    // --- Data -----------------------------------------------------------------------------
    ListEffects SetGridSize(int rows, int cols, bool redraw);
    ListEffects SetColumnWidth(int column, int width);
    ListEffects SetColumnTitle(int column, const std::wstring& text);
    ListEffects SetItemText(int row, int column, std::wstring text);
    // A copy of the cell's text; empty outside the tables.
    std::wstring GetItemText(int row, int column) const { return m_table.Text(row, column); }
    // The row's data (column 0); -1 outside the tables.
    int GetItemData(int row) const { return m_table.Data(row); }
    int GetItemCount() const { return m_nItemCount; }
    ListEffects InsertItem(int row, const std::wstring& text, int data);
    ListEffects DeleteAllItems(int firstColumn);
    ListEffects SetCheck(int row, std::uint8_t flag);
    ListEffects ToggleCheck(int row);
    bool IsChecked(int row) const { return m_table.Checked(row); }
    // Each non-zero colour replaces the current one.
    void SetColors(ListColour header, ListColour second, ListColour altRow, ListColour selection,
                   ListColour headerText);
    const ListColours& Colours() const { return m_colours; }
    // Check boxes are drawn and the check zone is active while this is 1.
    void SetCheckMode(std::uint8_t on) { m_bCheckMode = on; }
    bool CheckMode() const { return m_bCheckMode == 1; }
    // Scroll range without the allowance, and the resize rule by the rows drawn.
    void SetExactScroll(int value) { m_bExactScroll = value; }
    int RowCount() const { return m_nRows; }
    int ColumnCount() const { return m_nCols; }
    // The selected row, -1 for none.
    int Selection() const { return m_nSel; }

    // --- Geometry -------------------------------------------------------------------------
    // The client rectangle and the width of the scroll bar's client area (0 while it is hidden).
    void SetViewport(const QvRect& client, int scrollBarWidth);
    const QvRect& ClientRect() const { return m_rcClient; }
    QvRect ListRect() const;
    int ColumnWidth(int column) const;
    std::wstring ColumnHeading(int column) const;
    // The row's cached height; 0 while it has none.
    int RowHeight(int row) const;
    void RefreshRowHeights();
    int TopRow();
    int HitTest(int x, int y);
    int ScrollX() const { return m_nScrollX; }
    int ScrollY() const { return m_nScrollY; }
    // Where the vertical scroll bar goes, given the system's scroll-bar width.
    QvRect ScrollBarRect(int systemScrollWidth) const;
    ListScrollRange ScrollRange();
    // The rows a paint over R draws, first visible one first; the count is kept for Resize.
    std::vector<ListPaintRow> PlanPaintRows(const QvRect& R);

    // --- Scrolling and input (ListModelInput.cpp) -----------------------------------------
    ListEffects EnsureVisible(int row);
    ListEffects VScroll(int code, unsigned position);
    ListEffects HScroll(int code, int position);
    ListEffects Wheel(int delta);
    // The window places and updates its scroll bar after this.
    ListEffects Resize(int width, int height);
    ListEffects LButtonDown(int x, int y);
    ListEffects LButtonUp(int x, int y);
    ListEffects LButtonDblClk() const;
    // The keyboard's choice of row: selected and scrolled into view; rows not inserted are refused.
    ListEffects SelectRow(int row);

    static std::wstring TrimRight(std::wstring text);

private:
    // Sum of the heights of rows 0 .. count - 1 of the grid.
    int HeightOfRows(int count) const;
    int TotalHeight() const { return HeightOfRows(m_nRows); }
    int TotalWidth() const;
    // First grid row whose accumulated bottom is greater than y; m_nRows when there is none.
    int FirstRowEndingBelow(int y) const;
    ListEffects AfterScroll();
    bool CanToggleSelection() const { return m_nSel >= 0 && m_nItemCount >= 0 && m_nItemCount >= m_nSel - 1; }

    ListPoint m_ptDown;
    int m_nItemCount = 0;
    int m_nRowsDrawn = 0;
    int m_nRowHeight = kRowHeight;
    int m_nPageOverlap = kPageOverlap;
    ListColours m_colours;
    std::uint8_t m_bCheckMode = 1;
    std::uint8_t m_bCheckPressed = 0;
    QvRect m_rcUnitZone{0, 0, 0, 0};
    int m_bExactScroll = 0;
    int m_nSel = -1;
    int m_nScrollY = 0;
    int m_nScrollX = 0;
    int m_nCols = 0;
    int m_nRows = 0;
    std::map<int, ListColumn> m_columns;
    ListCellTable m_table;
    std::map<int, int> m_rowHeights;
    QvRect m_rcClient{0, 0, 0, 0};
    int m_nScrollBarWidth = 0;
};
