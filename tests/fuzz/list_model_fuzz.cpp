// Fuzzes the list control's model with any sequence of operations and gestures; AddressSanitizer
// catches any access past the cell and check tables, and the model's invariants are checked after
// every step.
//
// Input: an op-code stream, one byte per operation followed by its arguments. What comes from
// outside takes every value its window message can carry: gesture coordinates and wheel deltas
// 16-bit signed, client sizes and thumb positions 16-bit unsigned. Row and column arguments take
// any 32-bit value wherever they index the tables; the geometry queries, whose rows and columns
// come from the painting code, get the tables' range and a little beyond; widths stay far from
// overflowing a sum of six.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzInput.h"
#include "controls/logic/ListModel.h"

namespace {

constexpr int kMaxOps = 100;

// A row at one of the edges that matter (the grid's, the inserted rows', the table's) or in the
// table's range and a little beyond. Edges come first: plain mutation rarely lands on them.
int NearRow(FuzzInput& in, const ListModel& m) {
    const int edges[] = {-1,
                         0,
                         1,
                         m.RowCount() - 1,
                         m.RowCount(),
                         m.GetItemCount() - 1,
                         m.GetItemCount(),
                         ListModel::kMaxRows - 1,
                         ListModel::kMaxRows,
                         ListModel::kMaxRows + 1};
    const uint8_t pick = in.U8();
    return pick < 160 ? edges[pick % 10] : in.Range(-2, ListModel::kMaxRows + 2);
}
int NearColumn(FuzzInput& in, const ListModel& m) {
    const int edges[] = {
        -1, 0, 1, 2, m.ColumnCount() - 1, m.ColumnCount(), ListModel::kCellsPerRow - 1, ListModel::kCellsPerRow};
    const uint8_t pick = in.U8();
    return pick < 160 ? edges[pick % 8] : in.Range(-2, ListModel::kCellsPerRow + 2);
}
// A gesture coordinate: mostly on or near a window, sometimes anything a message can carry (a
// long drag costs one line scroll per 40 pixels, so those are kept for a quarter of the presses).
int Coord(FuzzInput& in) { return in.U8() % 4 == 3 ? in.I16() : in.Range(-1000, 3000); }
// Rows and columns mostly near the edges, sometimes anything at all.
int Row(FuzzInput& in, const ListModel& m) { return in.Bool() ? NearRow(in, m) : in.I32(); }
int Column(FuzzInput& in, const ListModel& m) { return in.Bool() ? NearColumn(in, m) : in.I32(); }

// gridSetDirectly: SetGridSize ran after the last insert or delete, so the grid may hold fewer
// rows than were inserted.
void CheckInvariants(const ListModel& m, const ListEffects& fx, bool gridSetDirectly) {
    FUZZ_CHECK(m.RowCount() >= 0 && m.RowCount() <= ListModel::kMaxRows);
    FUZZ_CHECK(m.ColumnCount() >= 0 && m.ColumnCount() <= ListModel::kCellsPerRow);
    FUZZ_CHECK(m.GetItemCount() >= 0 && m.GetItemCount() <= ListModel::kMaxRows);
    if (!gridSetDirectly) FUZZ_CHECK(m.GetItemCount() <= m.RowCount());
    FUZZ_CHECK(m.ScrollY() >= 0 && m.ScrollX() >= 0);
    FUZZ_CHECK(m.Selection() >= -1 && m.Selection() < ListModel::kMaxRows);
    for (const auto& notice : fx.notices) FUZZ_CHECK(notice.second >= -1 && notice.second < ListModel::kMaxRows);
    for (int r = 0; r <= ListModel::kMaxRows; ++r) {
        const int h = m.RowHeight(r);
        FUZZ_CHECK(h == 0 || h == ListModel::kRowHeight);
    }
}

ListEffects Step(ListModel& m, FuzzInput& in) {
    switch (in.U8() % 25) {
    case 0: {
        const bool small = in.Bool();
        const int rows = small ? in.Range(-2, ListModel::kMaxRows + 20) : in.I32();
        const int cols = small ? in.Range(-2, ListModel::kCellsPerRow + 3) : in.I32();
        return m.SetGridSize(rows, cols, in.Bool());
    }
    case 1: {
        const int column = Column(in, m);
        return m.SetColumnWidth(column, in.Bool() ? in.Range(-5, 800) : in.Range(-100000, 100000));
    }
    case 2: {
        const int column = Column(in, m);
        return m.SetColumnTitle(column, in.Wide());
    }
    case 3: {
        const int row = Row(in, m);
        const int column = Column(in, m);
        return m.SetItemText(row, column, in.Wide());
    }
    case 4: {
        const int row = Row(in, m);
        const std::wstring text = in.Wide();
        return m.InsertItem(row, text, in.I32());
    }
    case 5: return m.DeleteAllItems(Column(in, m));
    case 6: {
        const int row = Row(in, m);
        return m.SetCheck(row, in.U8());
    }
    case 7: return m.ToggleCheck(Row(in, m));
    case 8: {
        const int row = Row(in, m);
        const int column = Column(in, m);
        const std::wstring text = m.GetItemText(row, column);
        if (row < 0 || row >= ListModel::kMaxRows || column < 0 || column >= ListModel::kCellsPerRow)
            FUZZ_CHECK(text.empty());
        (void)m.GetItemData(row);
        (void)m.IsChecked(row);
        return {};
    }
    case 9: {
        const int code = in.Range(-1, 8);
        return m.VScroll(code, in.U16());
    }
    case 10: {
        const int code = in.Range(-1, 8);
        return m.HScroll(code, in.U16());
    }
    case 11: return m.Wheel(in.I16());
    case 12: {
        const int width = in.U16();
        return m.Resize(width, in.U16());
    }
    case 13: {
        const int x = Coord(in);
        return m.LButtonDown(x, Coord(in));
    }
    case 14: {
        const int x = Coord(in);
        return m.LButtonUp(x, Coord(in));
    }
    case 15: return m.LButtonDblClk();
    case 16: return m.EnsureVisible(Row(in, m));
    case 17: {
        const int x = in.I16();
        const int y = in.I16();
        const int row = m.HitTest(x, y);
        FUZZ_CHECK(row >= -1 && row < m.RowCount());
        return {};
    }
    case 18: {
        const int width = in.U16() & 0x7FFF;
        const int height = in.U16() & 0x7FFF;
        m.SetViewport(MakeQvRect(0, 0, width, height), in.Range(0, 40));
        return {};
    }
    case 19: {
        QvRect area;
        area.left = in.I16();
        area.top = in.I16();
        area.right = in.I16();
        area.bottom = in.I16();
        // Rows are drawn from the first visible one, at most as many as were inserted.
        const std::vector<ListPaintRow> rows = m.PlanPaintRows(area);
        FUZZ_CHECK(rows.size() <= static_cast<size_t>(m.GetItemCount()));
        for (const ListPaintRow& row : rows) {
            FUZZ_CHECK(row.row >= 0 && row.row < m.RowCount());
            (void)m.GetItemText(row.row, 0);
        }
        return {};
    }
    case 20: {
        const ListScrollRange range = m.ScrollRange();
        FUZZ_CHECK(range.pos == m.ScrollY() && range.max >= 0);
        const int top = m.TopRow();
        FUZZ_CHECK(top >= 0 && top <= m.RowCount());
        (void)m.ColumnWidth(NearColumn(in, m));
        (void)m.RowHeight(NearRow(in, m));
        return {};
    }
    case 21:
        m.SetExactScroll(in.Bool());
        m.SetCheckMode(in.U8() % 3);
        return {};
    case 22: {
        const uint32_t a = in.U32(), b = in.U32(), c = in.U32(), d = in.U32(), e = in.U32();
        m.SetColors(a, b, c, d, e);
        return {};
    }
    case 23: {
        // Many rows at once, appended (inserting in front moves every row each time), so that a
        // short input can fill the table and go past it.
        const int count = in.Range(0, ListModel::kMaxRows + 10);
        ListEffects fx;
        for (int k = 0; k < count; ++k) fx.Merge(m.InsertItem(m.GetItemCount(), L"row", k));
        return fx;
    }
    default: {
        const ListPoint down{Coord(in), Coord(in)};
        ListEffects fx = m.LButtonDown(down.x, down.y);
        fx.Merge(m.LButtonUp(down.x + in.I16() / 4, down.y + in.I16() / 4));
        return fx;
    }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    ListModel m;
    m.SetViewport(MakeQvRect(0, 0, 600, 300), 0);
    bool gridSetDirectly = false;
    for (int op = 0; op < kMaxOps && !in.Empty(); ++op) {
        const int rows = m.RowCount(), count = m.GetItemCount();
        const ListEffects fx = Step(m, in);
        if (m.GetItemCount() != count)
            gridSetDirectly = false;
        else if (m.RowCount() != rows)
            gridSetDirectly = true;
        CheckInvariants(m, fx, gridSetDirectly);
    }
    return 0;
}
