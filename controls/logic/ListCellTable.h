// The multi-line list's storage: a fixed table of rows of cells (text, and the row's data in column
// 0) and a check state per row. Every access outside the table is refused, so nothing is ever
// written past it.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

struct ListCell {
    std::wstring text = L" ";
    std::int32_t data = -1;  // only the cell of column 0 carries the row's data
};

class ListCellTable {
public:
    static constexpr int kMaxRows = 350;
    static constexpr int kCellsPerRow = 6;

    ListCellTable();

    static bool HasRow(int row) { return row >= 0 && row < kMaxRows; }
    static bool HasCell(int row, int column) { return HasRow(row) && column >= 0 && column < kCellsPerRow; }

    // A copy of the cell's text; empty outside the table.
    std::wstring Text(int row, int column) const;
    // Stores the text; false when it equals the stored one or the cell is outside the table.
    bool SetText(int row, int column, std::wstring text);
    // The row's data; -1 outside the table.
    int Data(int row) const;
    void SetData(int row, int data);
    bool Checked(int row) const;
    void SetChecked(int row, bool checked);
    void ClearChecks();
    // Makes room at row: the texts of the first `columns` cells and the data of rows row .. last - 1
    // move down by one row, and every row they move into is unchecked.
    void ShiftDown(int row, int last, int columns);

private:
    // On the heap, so that a list can live inside a dialog object on the stack.
    std::vector<std::array<ListCell, kCellsPerRow>> m_cells;
    std::array<std::uint8_t, kMaxRows> m_checked{};
};
