// The multi-line list's data and rules.
#include "controls/logic/ListModel.h"

#include <algorithm>

namespace {

bool IsBlank(wchar_t c) {
    return c == L' ' || c == L'\t' || c == L'\n' || c == L'\v' || c == L'\f' || c == L'\r';
}

std::wstring ToLowerAscii(std::wstring text) {
    for (wchar_t& c : text) {
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
    }
    return text;
}

bool Contains(const QvRect& rc, int x, int y) {
    return x >= rc.left && x < rc.right && y >= rc.top && y < rc.bottom;
}

}  // namespace

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

ListModel::ListModel() : m_cells(kMaxRows) {}

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
        m_rcUnitZone = {left, 0, left + m_columns[2].width + 36, m_rcClient.bottom + 600};
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
    if (text.empty() || row >= m_nRows || !InCellTable(row, column)) return fx;
    text = TrimRight(std::move(text));
    ListCell& cell = m_cells[static_cast<size_t>(row)][static_cast<size_t>(column)];
    if (cell.text != text) {
        cell.text = std::move(text);
        m_rowHeights.erase(row);
    }
    return fx;
}

std::wstring ListModel::GetItemText(int row, int column) const {
    if (!InCellTable(row, column)) return std::wstring();
    return m_cells[static_cast<size_t>(row)][static_cast<size_t>(column)].text;
}

int ListModel::GetItemData(int row) const {
    return InRowTable(row) ? m_cells[static_cast<size_t>(row)][0].data : -1;
}

ListEffects ListModel::InsertItem(int row, const std::wstring& text, int data) {
    ListEffects fx;
    if (!InRowTable(row)) {
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
    for (int r = m_nRows - 1; r > row; --r) {
        auto& to = m_cells[static_cast<size_t>(r)];
        const auto& from = m_cells[static_cast<size_t>(r - 1)];
        for (int c = 0; c < m_nCols; ++c) to[static_cast<size_t>(c)].text = from[static_cast<size_t>(c)].text;
        m_checked[static_cast<size_t>(r)] = 0;
        to[0].data = from[0].data;
    }
    auto& cells = m_cells[static_cast<size_t>(row)];
    for (int c = 1; c < m_nCols; ++c) cells[static_cast<size_t>(c)].text = L" ";
    cells[0].text = text;
    cells[0].data = data;
    fx.Invalidate(true);
    return fx;
}

ListEffects ListModel::DeleteAllItems(int firstColumn) {
    ListEffects fx;
    if (firstColumn < 0) {
        fx.fault = "DeleteAllItems: negative first column";
        firstColumn = 0;
    }
    m_checked.fill(0);
    m_nScrollY = 0;
    const int rows = std::min(m_nItemCount, kMaxRows);
    for (int r = 0; r < rows; ++r) {
        for (int c = firstColumn; c < m_nCols; ++c) m_cells[static_cast<size_t>(r)][static_cast<size_t>(c)].text = L" ";
    }
    m_nItemCount = 0;
    fx.Merge(SetGridSize(0, m_nCols, false));
    return fx;
}

ListEffects ListModel::SetCheck(int row, std::uint8_t flag) {
    ListEffects fx;
    if (!InRowTable(row))
        fx.fault = "SetCheck: row outside the table";
    else
        m_checked[static_cast<size_t>(row)] = flag == 1 ? 1 : 0;
    return fx;
}

ListEffects ListModel::ToggleCheck(int row) {
    ListEffects fx;
    if (!InRowTable(row))
        fx.fault = "ToggleCheck: row outside the table";
    else
        m_checked[static_cast<size_t>(row)] = m_checked[static_cast<size_t>(row)] ? 0 : 1;
    return fx;
}

bool ListModel::IsChecked(int row) const { return InRowTable(row) && m_checked[static_cast<size_t>(row)] != 0; }

void ListModel::SetColors(ListColour header, ListColour second, ListColour altRow, ListColour selection,
                          ListColour headerText) {
    if (header) m_crHeader = header;
    if (second) m_crSecond = second;
    if (altRow) m_crAltRow = altRow;
    if (selection) m_crSelection = selection;
    if (headerText) m_crHeaderText = headerText;
}

// --- Geometry -----------------------------------------------------------------------------------

void ListModel::SetViewport(const QvRect& client, int scrollBarWidth) {
    m_rcClient = client;
    m_nScrollBarWidth = scrollBarWidth;
}

QvRect ListModel::ListRect() const {
    return {m_rcClient.left, m_rcClient.top + kHeaderInset, m_rcClient.right - m_nScrollBarWidth, m_rcClient.bottom};
}

int ListModel::ColumnWidth(int column) const {
    auto it = m_columns.find(column);
    return it != m_columns.end() ? it->second.width : 100;
}

std::wstring ListModel::ColumnHeading(int column) const {
    auto it = m_columns.find(column);
    return it != m_columns.end() ? it->second.heading : std::wstring(L" ");
}

int ListModel::ColumnLeft(int column) const {
    int x = ListRect().left - m_nScrollX;
    for (int c = 0; c < column; ++c) x += ColumnWidth(c);
    return x;
}

int ListModel::TotalWidth() const {
    int total = 0;
    for (int c = 0; c < m_nCols; ++c) total += ColumnWidth(c);
    return total;
}

int ListModel::RowHeight(int row) const {
    auto it = m_rowHeights.find(row);
    return it != m_rowHeights.end() ? it->second : 0;
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

int ListModel::RowTop(int row) {
    RefreshRowHeights();
    return ListRect().top - m_nScrollY + HeightOfRows(row);
}

int ListModel::TopRow() {
    RefreshRowHeights();
    return FirstRowEndingBelow(m_nScrollY);
}

int ListModel::HitTest(int x, int y) {
    RefreshRowHeights();
    const QvRect list = ListRect();
    if (!Contains(list, x, y)) return -1;
    const int r = FirstRowEndingBelow(y + m_nScrollY - list.top);
    return r < m_nRows ? r : -1;
}

QvRect ListModel::ScrollBarRect(int systemScrollWidth) const {
    return {m_rcClient.right - systemScrollWidth - 15, m_rcClient.top + kHeaderBand, m_rcClient.right,
            m_rcClient.bottom};
}

ListScrollRange ListModel::ScrollRange() {
    RefreshRowHeights();
    const QvRect list = ListRect();
    const int page = list.bottom - list.top;
    const int total = TotalHeight() + (m_bExactScroll ? 0 : 2);
    return {page < total, total, page, m_nScrollY};
}

// --- Scrolling and input ------------------------------------------------------------------------

ListEffects ListModel::EnsureVisible(int row) {
    ListEffects fx;
    if (row < 0 || row >= m_nRows) {
        fx.fault = "EnsureVisible: row out of range";
        return fx;
    }
    RefreshRowHeights();
    const QvRect list = ListRect();
    const int top = HeightOfRows(row);
    const int h = RowHeight(row);
    const int page = list.bottom - list.top;
    if (top < m_nScrollY)
        m_nScrollY = top;
    else if (top + h > m_nScrollY + page)
        m_nScrollY = h < page ? top + h - page : top;
    else
        return fx;
    fx.Invalidate(false);
    fx.updateScrollBar = true;
    return fx;
}

ListEffects ListModel::AfterScroll() {
    m_nScrollY = std::max(m_nScrollY, 0);
    m_nScrollX = std::max(m_nScrollX, 0);
    ListEffects fx;
    fx.Invalidate(true);
    fx.updateScrollBar = true;
    return fx;
}

ListEffects ListModel::VScroll(int code, unsigned position) {
    RefreshRowHeights();
    const QvRect list = ListRect();
    const int page = list.bottom - list.top;
    switch (code) {
    case kScrollThumbPosition:
    case kScrollThumbTrack:
        // Snaps to whole rows.
        m_nScrollY = static_cast<int>(position / static_cast<unsigned>(m_nRowHeight) * static_cast<unsigned>(m_nRowHeight));
        break;
    case kScrollLineUp:
    case kScrollLineDown: {
        const int r = FirstRowEndingBelow(m_nScrollY + kRowHeight);
        const int rest = TotalHeight() - HeightOfRows(r);
        if (code == kScrollLineUp) {
            m_nScrollY = std::max(m_nScrollY - RowHeight(std::max(r - 1, 0)), 0);
        } else if (rest > page) {
            m_nScrollY = std::max(m_nScrollY + RowHeight(r), 0);
        }
        break;
    }
    case kScrollPageUp:
        m_nScrollY -= page - m_nPageOverlap;
        break;
    case kScrollPageDown: {
        const int rest = TotalHeight() - (m_nScrollY + page);
        m_nScrollY += rest < page ? rest + m_nPageOverlap : page - m_nPageOverlap;
        break;
    }
    default:
        break;
    }
    return AfterScroll();
}

ListEffects ListModel::HScroll(int code, int position) {
    const QvRect list = ListRect();
    const int width = list.right - list.left;
    const int total = TotalWidth();
    switch (code) {
    case kScrollLineUp:
        m_nScrollX -= 25;
        break;
    case kScrollLineDown:
        if (width < total - m_nScrollX) m_nScrollX += 25;
        break;
    case kScrollPageUp:
        m_nScrollX -= width;
        break;
    case kScrollPageDown: {
        const int rest = total - width - m_nScrollX;
        m_nScrollX += rest < width ? rest : width;
        break;
    }
    case kScrollThumbPosition:
    case kScrollThumbTrack:
        m_nScrollX = position;
        break;
    default:
        break;
    }
    return AfterScroll();
}

ListEffects ListModel::Wheel(int delta) { return VScroll(delta < 0 ? kScrollLineDown : kScrollLineUp, 0); }

ListEffects ListModel::Resize(int width, int height) {
    ListEffects fx;
    fx.Invalidate(true);
    int shown = 0;
    if (m_bExactScroll) {
        shown = TopRow() + m_nRowsDrawn;
    } else if (height / m_nRowHeight == 5) {
        shown = TopRow() + 5;
    } else {
        return fx;
    }
    // Keeps the last rows from hanging below a grown window.
    if (shown < m_nItemCount + 2) m_nScrollY = std::max(m_nScrollY - m_nRowHeight, 0);
    return fx;
}

ListEffects ListModel::LButtonDown(int x, int y) {
    ListEffects fx;
    m_bCheckPressed = 0;
    m_ptDown = {x, y};
    if (x != 0 && y != 0) m_nSel = HitTest(x, y);
    fx.Invalidate(false);
    fx.updateScrollBar = true;
    if (m_nSel < 0) return fx;
    fx.Merge(EnsureVisible(m_nSel));
    if (m_bCheckMode == 1 && x > 0 && x < kCheckZoneRight) m_bCheckPressed = 1;
    fx.notices.push_back({ListNotice::RowPressed, m_nSel});
    return fx;
}

ListEffects ListModel::LButtonUp(int x, int y) {
    ListEffects fx;
    if (m_bCheckMode == 1 && m_bCheckPressed == 1 && x > 0 && x < m_rcUnitZone.left) {
        m_bCheckPressed = 0;
        if (m_nSel >= 0 && m_nItemCount >= 0 && m_nItemCount >= m_nSel - 1) {
            fx.Merge(ToggleCheck(m_nSel));
            fx.notices.push_back({ListNotice::CheckChanged, m_nSel});
        }
        return fx;
    }
    if (Contains(m_rcUnitZone, x, y)) {
        fx.notices.push_back({ListNotice::UnitTapped, m_nSel});
        return fx;
    }
    const int left = m_ptDown.x - x;
    const int up = m_ptDown.y - y;
    if (left > kSwipePage) {
        fx.Merge(VScroll(kScrollPageUp, 0));
    } else if (-left > kSwipePage) {
        fx.Merge(VScroll(kScrollPageDown, 0));
    } else if (up > kSwipeLine) {
        for (int step = 0; step < up; step += kSwipeLine) fx.Merge(VScroll(kScrollLineDown, 0));
    } else if (-up > kSwipeLine) {
        for (int step = 0; step < -up; step += kSwipeLine) fx.Merge(VScroll(kScrollLineUp, 0));
    }
    return fx;
}

ListEffects ListModel::LButtonDblClk() const {
    ListEffects fx;
    if (m_nSel >= 0 && m_nItemCount >= 0 && m_nItemCount >= m_nSel - 1)
        fx.notices.push_back({ListNotice::CheckChanged, m_nSel});
    return fx;
}

// --- Painting rules -----------------------------------------------------------------------------

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
        y += kRowHeight;
    }
    return rows;
}

QvRect ListModel::CellTextRect(int x, int y, int width) {
    return {x + 2, y + 2 + 6, x + width - 2, y + kRowHeight};
}

ListPoint ListModel::CheckImageOrigin(int x, int y) {
    const QvRect text = CellTextRect(x, y, 0);
    return {text.left + 5, text.top};
}

ListCellPlacement ListModel::PlaceCellText(int column, const QvRect& text, int textWidth, int checkIndent) {
    ListCellPlacement p;
    p.text = text;
    if (column == 0) {
        p.text.left = kColumn0TextLeft;
        if (textWidth < text.right - 20 - checkIndent) {
            p.text.top += 5;
            p.font = ListFont::Line;
        } else {
            p.font = ListFont::Small;
            if (textWidth > text.right) p.text.top += 5;
        }
    } else if (column == 1 || column == 2) {
        if (textWidth < text.right - text.left) {
            p.text.top += 5;
            p.font = ListFont::Cell;
        } else {
            p.text.top -= 5;
            p.font = ListFont::Small;
        }
    } else {
        p.text.top += 5;
        p.font = ListFont::Cell;
    }
    return p;
}

std::array<ListPoint, 3> ListModel::UnitMarkPoints(const QvRect& text, bool rightAligned) {
    if (rightAligned)
        return {{{text.left + 18, text.top + 5}, {text.left + 2, text.top + 5}, {text.left + 10, text.top + 13}}};
    return {{{text.right - 18, text.top + 5}, {text.right - 2, text.top + 5}, {text.right - 10, text.top + 13}}};
}

ListRowFonts ListModel::RowFontsFor(int languageIndex) {
    const int h = languageIndex == 1 ? 18 : 20;
    if (IsRightAlignedLanguage(languageIndex))
        return {{h, 500, L"Arial", 0}, {h - 2, 500, L"Arial", 0}, {h - 6, 500, L"Arial", 0}};
    if (languageIndex == 1)
        return {{h - 2, 700, L"NanumGothic", 129}, {h - 2, 700, L"NanumGothic", 129}, {h - 3, 700, L"NanumGothic", 129}};
    return {{h, 400, L"Arial", 0}, {h - 2, 400, L"Arial", 0}, {h - 6, 400, L"Arial", 0}};
}

bool ListModel::IsUnitText(const std::wstring& text) {
    static const wchar_t* const kUnits[] = {L"Km/h", L"MPH",  L"\u00B0C", L"\u00B0F", L"kPa",  L"mmHg", L"inHg",
                                            L"psi",  L"mBar", L"Bar",     L"gm/s",    L"lb/m", L"hPa"};
    size_t first = 0, last = text.size();
    while (first < last && IsBlank(text[first])) ++first;
    while (last > first && IsBlank(text[last - 1])) --last;
    const std::wstring word = ToLowerAscii(text.substr(first, last - first));
    return std::any_of(std::begin(kUnits), std::end(kUnits),
                       [&](const wchar_t* unit) { return word == ToLowerAscii(unit); });
}

std::wstring ListModel::TrimRight(std::wstring text) {
    size_t end = text.size();
    while (end > 0 && IsBlank(text[end - 1])) --end;
    text.erase(end);
    return text;
}

std::wstring ListModel::RowsText() const {
    std::wstring text;
    const int rows = std::min(m_nItemCount, kMaxRows);
    for (int r = 0; r < rows; ++r) {
        if (r > 0) text += L"\r\n";
        for (int c = 0; c < m_nCols; ++c) {
            if (c > 0) text += L'\t';
            text += m_cells[static_cast<size_t>(r)][static_cast<size_t>(c)].text;
        }
    }
    return text;
}
