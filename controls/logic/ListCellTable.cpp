// The multi-line list's cell and check tables.
#include "controls/logic/ListCellTable.h"

#include <algorithm>

ListCellTable::ListCellTable() : m_cells(kMaxRows) {}

std::wstring ListCellTable::Text(int row, int column) const {
    if (!HasCell(row, column)) return std::wstring();
    return m_cells[static_cast<size_t>(row)][static_cast<size_t>(column)].text;
}

bool ListCellTable::SetText(int row, int column, std::wstring text) {
    if (!HasCell(row, column)) return false;
    std::wstring& stored = m_cells[static_cast<size_t>(row)][static_cast<size_t>(column)].text;
    if (stored == text) return false;
    stored = std::move(text);
    return true;
}

int ListCellTable::Data(int row) const { return HasRow(row) ? m_cells[static_cast<size_t>(row)][0].data : -1; }

void ListCellTable::SetData(int row, int data) {
    if (HasRow(row)) m_cells[static_cast<size_t>(row)][0].data = data;
}

bool ListCellTable::Checked(int row) const { return HasRow(row) && m_checked[static_cast<size_t>(row)] != 0; }

void ListCellTable::SetChecked(int row, bool checked) {
    if (HasRow(row)) m_checked[static_cast<size_t>(row)] = checked ? 1 : 0;
}

void ListCellTable::ClearChecks() { m_checked.fill(0); }

void ListCellTable::ShiftDown(int row, int last, int columns) {
    last = std::min(last, kMaxRows - 1);
    columns = std::min(columns, kCellsPerRow);
    for (int r = last; r > row && r > 0; --r) {
        auto& to = m_cells[static_cast<size_t>(r)];
        const auto& from = m_cells[static_cast<size_t>(r - 1)];
        for (int c = 0; c < columns; ++c) to[static_cast<size_t>(c)].text = from[static_cast<size_t>(c)].text;
        m_checked[static_cast<size_t>(r)] = 0;
        to[0].data = from[0].data;
    }
}
