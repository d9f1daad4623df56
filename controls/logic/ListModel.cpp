// The multi-line list's data, geometry and paint plan. Scrolling and input are in
// ListModelInput.cpp.
#include "controls/logic/ListModel.h"

#include "controls/logic/TextBlanks.h"

#include <algorithm>

void ListEffects::Invalidate(bool erase) {
    if (erase)
        repaint = Repaint::Erase;
    else if (repaint == Repaint::None)
        repaint = Repaint::NoErase;
}

void ListEffects::Merge(const ListEffects& other) {
    if (other.repaint == Repaint::Erase || (other.repaint == Repaint::NoErase && repaint == Repaint::None))
        repaint = other.repaint;
    updateScrollBar = updateScrollBar || other.updateScrollBar;
    showOverflowMessage = showOverflowMessage || other.showOverflowMessage;
    if (!fault) fault = other.fault;
    notices.insert(notices.end(), other.notices.begin(), other.notices.end());
}

// --- Data ---------------------------------------------------------------------------------------

ListEffects ListModel::SetGridSize(int rows, int cols, bool redraw) {
    ListEffects fx;
    if (rows < 0 || cols < 0) {
        fx.fault = "SetGridSize: negative row or column count";
        rows = std::max(rows, 0);
        cols = std::max(cols, 0);
    }
    // The tables never grow: the excess is refused and the user told.
    if (rows > kMaxRows) {
        rows = kMaxRows;
        fx.showOverflowMessage = true;
    }
    if (cols > kCellsPerRow) {
        cols = kCellsPerRow;
        fx.showOverflowMessage = true;
    }
    if (rows == m_nRows && cols == m_nCols) return fx;

    const bool columnsShrink = cols < m_nCols;
    if (columnsShrink) {
        m_columns.erase(m_columns.lower_bound(cols), m_columns.end());
        m_rowHeights.clear();
    }
    if (rows == 0 && m_nRows > 0 && !columnsShrink) m_rowHeights.clear();
    m_nRows = rows;
    m_nCols = cols;
    if (redraw) {
        fx.Invalidate(false);
        fx.updateScrollBar = true;
    }
    return fx;
}

ListEffects ListModel::SetColumnWidth(int column, int width) {
    ListEffects fx;
    if (column < 0 || column >= m_nCols || width < 0) fx.fault = "SetColumnWidth: column or width out of range";
    if (column == 2) {
        // The unit zone follows the widths as they were before this change.
        const int left = m_columns[0].width + m_columns[1].width;
        m_rcUnitZone = {left, 0, left + m_columns[2].width + UiPx(kUnitZoneExtraWidth),
                        m_rcClient.bottom + UiPx(kUnitZoneExtraHeight)};
    }
    auto it = m_columns.find(column);
    if (it != m_columns.end() && it->second.width == width) return fx;
    m_columns[column].width = width;
    m_rowHeights.clear();
    fx.Invalidate(false);
    fx.updateScrollBar = true;
    return fx;
}

ListEffects ListModel::SetColumnTitle(int column, const std::wstring& text) {
    ListEffects fx;
    if (column < 0 || column >= m_nCols || text.empty()) fx.fault = "SetColumnTitle: column out of range or no text";
    auto it = m_columns.find(column);
    if (it != m_columns.end() && it->second.heading == text) return fx;
    m_columns[column].heading = text;
    return fx;
}

ListEffects ListModel::SetItemText(int row, int column, std::wstring text) {
    ListEffects fx;
    if (column < 0 || row < 0 || column >= m_nCols) fx.fault = "SetItemText: row or column out of range";
    if (text.empty() || row >= m_nRows) return fx;
    if (m_table.SetText(row, column, TrimRight(std::move(text)))) m_rowHeights.erase(row);
    return fx;
}

ListEffects ListModel::InsertItem(int row, const std::wstring& text, int data) {
    ListEffects fx;
    if (!ListCellTable::HasRow(row)) {
        fx.fault = "InsertItem: row outside the table";
        return fx;
    }
    // A full table refuses the row rather than pushing the last one out.
    if (m_nItemCount >= kMaxRows) {
        fx.showOverflowMessage = true;
        return fx;
    }
    ++m_nItemCount;
    fx.Merge(SetGridSize(m_nItemCount, m_nCols, false));
    m_table.ShiftDown(row, m_nRows - 1, m_nCols);
    for (int c = 1; c < m_nCols; ++c) m_table.SetText(row, c, L" ");
    m_table.SetText(row, 0, text);
    m_table.SetData(row, data);
    fx.Invalidate(true);
    return fx;
}

ListEffects ListModel::DeleteAllItems(int firstColumn) {
    ListEffects fx;
    if (firstColumn < 0) {
        fx.fault = "DeleteAllItems: negative first column";
        firstColumn = 0;
    }
    m_table.ClearChecks();
    m_nScrollY = 0;
    for (int r = 0; r < m_nItemCount; ++r) {
        for (int c = firstColumn; c < m_nCols; ++c) m_table.SetText(r, c, L" ");
    }
    m_nItemCount = 0;
    fx.Merge(SetGridSize(0, m_nCols, false));
    return fx;
}

ListEffects ListModel::SetCheck(int row, std::uint8_t flag) {
    ListEffects fx;
    if (!ListCellTable::HasRow(row))
        fx.fault = "SetCheck: row outside the table";
    else
        m_table.SetChecked(row, flag == 1);
    return fx;
}

ListEffects ListModel::ToggleCheck(int row) {
    ListEffects fx;
    if (!ListCellTable::HasRow(row))
        fx.fault = "ToggleCheck: row outside the table";
    else
        m_table.SetChecked(row, !m_table.Checked(row));
    return fx;
}

void ListModel::SetColors(ListColour header, ListColour second, ListColour altRow, ListColour selection,
                          ListColour headerText) {
    if (header) m_colours.header = header;
    if (second) m_colours.second = second;
    if (altRow) m_colours.altRow = altRow;
    if (selection) m_colours.selection = selection;
    if (headerText) m_colours.headerText = headerText;
}

// --- Geometry -----------------------------------------------------------------------------------

void ListModel::SetViewport(const QvRect& client, int scrollBarWidth) {
    m_rcClient = client;
    m_nScrollBarWidth = scrollBarWidth;
}

QvRect ListModel::ListRect() const {
    return {m_rcClient.left, m_rcClient.top + UiPx(kHeaderInset), m_rcClient.right - m_nScrollBarWidth,
            m_rcClient.bottom};
}

int ListModel::ColumnWidth(int column) const {
    auto it = m_columns.find(column);
    return it != m_columns.end() ? it->second.width : 100;
}

std::wstring ListModel::ColumnHeading(int column) const {
    auto it = m_columns.find(column);
    return it != m_columns.end() ? it->second.heading : std::wstring(L" ");
}

int ListModel::TotalWidth() const {
    int total = 0;
    for (int c = 0; c < m_nCols; ++c) total += ColumnWidth(c);
    return total;
}

int ListModel::RowHeight(int row) const {
    auto it = m_rowHeights.find(row);
    return it != m_rowHeights.end() ? UiPx(it->second) : 0;
}

void ListModel::RefreshRowHeights() {
    for (int r = 0; r < m_nRows; ++r) {
        if (m_nRows == 1 || m_rowHeights.find(r) == m_rowHeights.end()) m_rowHeights[r] = m_nRowHeight;
    }
}

int ListModel::HeightOfRows(int count) const {
    int sum = 0;
    for (int r = 0; r < count; ++r) sum += RowHeight(r);
    return sum;
}

int ListModel::FirstRowEndingBelow(int y) const {
    int bottom = 0;
    for (int r = 0; r < m_nRows; ++r) {
        bottom += RowHeight(r);
        if (y < bottom) return r;
    }
    return m_nRows;
}

int ListModel::TopRow() {
    RefreshRowHeights();
    return FirstRowEndingBelow(m_nScrollY);
}

int ListModel::HitTest(int x, int y) {
    RefreshRowHeights();
    const QvRect list = ListRect();
    if (!list.Contains(x, y)) return -1;
    const int r = FirstRowEndingBelow(y + m_nScrollY - list.top);
    return r < m_nRows ? r : -1;
}

QvRect ListModel::ScrollBarRect(int systemScrollWidth) const {
    return {m_rcClient.right - systemScrollWidth - UiPx(kScrollBarExtraWidth), m_rcClient.top + UiPx(kHeaderBand),
            m_rcClient.right, m_rcClient.bottom};
}

ListScrollRange ListModel::ScrollRange() {
    RefreshRowHeights();
    const QvRect list = ListRect();
    const int page = list.bottom - list.top;
    const int total = TotalHeight() + (m_bExactScroll ? 0 : kScrollAllowance);
    return {page < total, total, page, m_nScrollY};
}

std::vector<ListPaintRow> ListModel::PlanPaintRows(const QvRect& R) {
    RefreshRowHeights();
    std::vector<ListPaintRow> rows;
    int r = FirstRowEndingBelow(m_nScrollY);
    int y = R.top - (m_nScrollY - HeightOfRows(r));
    m_nRowsDrawn = 0;
    for (; r < m_nRows && y <= R.bottom; ++r) {
        ++m_nRowsDrawn;
        if (m_nRowsDrawn > m_nItemCount) break;
        rows.push_back({r, y, RowHeight(r)});
        y += UiPx(kRowHeight);
    }
    return rows;
}

std::wstring ListModel::TrimRight(std::wstring text) {
    size_t end = text.size();
    while (end > 0 && IsBlank(text[end - 1])) --end;
    text.erase(end);
    return text;
}
