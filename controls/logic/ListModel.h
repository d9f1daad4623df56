// The multi-line list's data and rules, free of window code: the cell and check tables, columns,
// row heights, geometry, scrolling, hit testing and the decisions behind presses, releases and
// double clicks. Every operation that changes the list returns the effects the window must carry
// out (repaint, scroll-bar update, notifications, the overflow message).
#pragma once

#include "controls/logic/Geometry.h"

#include <array>
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

struct ListColumn {
    std::int32_t width = 100;
    std::wstring heading = L" ";
};

struct ListCell {
    std::wstring text = L" ";
    std::int32_t data = -1;  // only the cell of column 0 carries the row's data
};

struct ListPoint {
    int x = 0;
    int y = 0;
};

// Scroll codes as the system's scroll-bar messages number them.
enum ListScrollCode : int {
    kScrollLineUp = 0,
    kScrollLineDown = 1,
    kScrollPageUp = 2,
    kScrollPageDown = 3,
    kScrollThumbPosition = 4,
    kScrollThumbTrack = 5,
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

enum class ListFont { Line, Cell, Small };

// Font and text rectangle of one cell after measuring its text.
struct ListCellPlacement {
    ListFont font = ListFont::Cell;
    QvRect text{};
};

struct ListFontDesc {
    int height = 0;
    int weight = 0;
    const wchar_t* face = L"";
    int charSet = 0;
};

struct ListRowFonts {
    ListFontDesc lineFont;
    ListFontDesc cellFont;
    ListFontDesc smallFont;
};

class ListModel {
public:
    static constexpr int kMaxRows = 350;
    static constexpr int kCellsPerRow = 6;
    static constexpr int kRowHeight = 39;
    static constexpr int kHeaderBand = 37;
    static constexpr int kHeaderInset = 34;
    static constexpr int kPageOverlap = 3;
    // Left x of column-0 text and the indent the check image takes.
    static constexpr int kColumn0TextLeft = 40;
    static constexpr int kCheckIndent = 50;
    // Presses left of this x (in check mode) arm the check tap.
    static constexpr int kCheckZoneRight = 570;
    static constexpr int kSwipePage = 250;
    static constexpr int kSwipeLine = 40;

    ListModel();

    // --- Data -----------------------------------------------------------------------------
    ListEffects SetGridSize(int rows, int cols, bool redraw);
    ListEffects SetColumnWidth(int column, int width);
    ListEffects SetColumnTitle(int column, const std::wstring& text);
    ListEffects SetItemText(int row, int column, std::wstring text);
    // A copy of the cell's text; empty outside the tables.
    std::wstring GetItemText(int row, int column) const;
    // The row's data (column 0); -1 outside the tables.
    int GetItemData(int row) const;
    int GetItemCount() const { return m_nItemCount; }
    ListEffects InsertItem(int row, const std::wstring& text, int data);
    ListEffects DeleteAllItems(int firstColumn);
    ListEffects SetCheck(int row, std::uint8_t flag);
    ListEffects ToggleCheck(int row);
    bool IsChecked(int row) const;
    // Each non-zero colour replaces the current one.
    void SetColors(ListColour header, ListColour second, ListColour altRow, ListColour selection,
                   ListColour headerText);

    // --- Geometry -------------------------------------------------------------------------
    // The client rectangle and the width of the scroll bar's client area (0 while it is hidden).
    void SetViewport(const QvRect& client, int scrollBarWidth);
    const QvRect& ClientRect() const { return m_rcClient; }
    QvRect ListRect() const;
    int ColumnWidth(int column) const;
    std::wstring ColumnHeading(int column) const;
    // x where the column starts, in client pixels.
    int ColumnLeft(int column) const;
    // y where the row's content starts, in client pixels.
    int RowTop(int row);
    int RowHeight(int row) const;
    void RefreshRowHeights();
    int TopRow();
    int HitTest(int x, int y);
    // Where the vertical scroll bar goes, given the system's scroll-bar width.
    QvRect ScrollBarRect(int systemScrollWidth) const;
    ListScrollRange ScrollRange();

    // --- Scrolling and input --------------------------------------------------------------
    ListEffects EnsureVisible(int row);
    ListEffects VScroll(int code, unsigned position);
    ListEffects HScroll(int code, int position);
    ListEffects Wheel(int delta);
    // The window places and updates its scroll bar after this.
    ListEffects Resize(int width, int height);
    ListEffects LButtonDown(int x, int y);
    ListEffects LButtonUp(int x, int y);
    ListEffects LButtonDblClk() const;

    // --- Painting rules -------------------------------------------------------------------
    // The rows a paint over R draws, first visible one first; sets m_nRowsDrawn.
    std::vector<ListPaintRow> PlanPaintRows(const QvRect& R);
    // The text rectangle of a cell before measuring, for a column starting at x in a row at y.
    static QvRect CellTextRect(int x, int y, int width);
    static ListPoint CheckImageOrigin(int x, int y);
    // Font and final text rectangle from the measured text width (checkIndent 50 or 0).
    static ListCellPlacement PlaceCellText(int column, const QvRect& text, int textWidth, int checkIndent);
    // The three corners of the unit mark drawn in a cell's text rectangle.
    static std::array<ListPoint, 3> UnitMarkPoints(const QvRect& text, bool rightAligned);
    static bool IsRightAlignedLanguage(int languageIndex) { return languageIndex == 19 || languageIndex == 20; }
    static ListRowFonts RowFontsFor(int languageIndex);
    static bool IsUnitText(const std::wstring& text);
    static std::wstring TrimRight(std::wstring text);

    // The inserted rows as text: cells separated by tabs, rows by CR LF (the window's text).
    std::wstring RowsText() const;

    // --- State (names as the control's members) -------------------------------------------
    ListPoint m_ptDown;
    int m_nItemCount = 0;
    int m_nRowsDrawn = 0;
    int m_nRowHeight = kRowHeight;
    int m_nPageOverlap = kPageOverlap;
    ListColour m_crHeader = ListRgb(239, 239, 239);
    ListColour m_crSecond = ListRgb(255, 255, 255);
    ListColour m_crAltRow = ListRgb(235, 235, 235);
    ListColour m_crSelection = ListRgb(162, 215, 254);
    ListColour m_crHeaderText = ListRgb(0, 0, 0);
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
    // kMaxRows rows of kCellsPerRow cells, indexed [row][column]; on the heap so that a list can
    // live inside a dialog object on the stack.
    std::vector<std::array<ListCell, kCellsPerRow>> m_cells;
    std::array<int, kMaxRows> m_checked{};
    std::map<int, int> m_rowHeights;

private:
    static bool InRowTable(int row) { return row >= 0 && row < kMaxRows; }
    static bool InCellTable(int row, int column) {
        return InRowTable(row) && column >= 0 && column < kCellsPerRow;
    }
    // Sum of the heights of rows 0 .. count - 1 of the grid.
    int HeightOfRows(int count) const;
    int TotalHeight() const { return HeightOfRows(m_nRows); }
    int TotalWidth() const;
    // First grid row whose accumulated bottom is greater than y; m_nRows when there is none.
    int FirstRowEndingBelow(int y) const;
    ListEffects AfterScroll();

    QvRect m_rcClient{0, 0, 0, 0};
    int m_nScrollBarWidth = 0;
};
