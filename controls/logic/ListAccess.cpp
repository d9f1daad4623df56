// Keyboard rules and the window text of the item list.
#include "controls/logic/ListAccess.h"

#include <algorithm>

const wchar_t kListChecked[] = L"checked";
const wchar_t kListNotChecked[] = L"not checked";

namespace {

bool IsBlank(const std::wstring& text) { return text.find_first_not_of(L" \t\r\n") == std::wstring::npos; }

}  // namespace

ListKeyResult ListKeyDown(int key, int selection, int itemCount, bool checkMode) {
    ListKeyResult result;
    result.selection = selection;
    if (itemCount <= 0) return result;
    const int last = itemCount - 1;
    const int current = std::min(selection, last);
    switch (key) {
    case kListKeyUp: result.selection = current <= 0 ? 0 : current - 1; break;
    case kListKeyDown: result.selection = current < 0 ? 0 : std::min(current + 1, last); break;
    case kListKeyHome: result.selection = 0; break;
    case kListKeyEnd: result.selection = last; break;
    case kListKeySpace:
        if (!checkMode) return result;
        result.selection = current < 0 ? 0 : current;
        result.toggle = true;
        break;
    default: return result;
    }
    result.handled = true;
    return result;
}

int ListFocusRow(int selection, int itemCount) {
    if (itemCount <= 0) return -1;
    return selection >= 0 && selection < itemCount ? selection : 0;
}

std::wstring ListWindowText(const ListModel& model) {
    std::wstring text;
    const int rows = std::min(model.GetItemCount(), ListModel::kMaxRows);
    const int cols = std::min(model.ColumnCount(), ListModel::kCellsPerRow);
    if (rows == 0) {
        bool any = false;
        for (int c = 0; c < cols; ++c) {
            const std::wstring heading = model.ColumnHeading(c);
            if (!IsBlank(heading)) any = true;
            if (c > 0) text += L'\t';
            text += heading;
        }
        return any ? text : std::wstring();
    }
    for (int r = 0; r < rows; ++r) {
        if (r > 0) text += L"\r\n";
        for (int c = 0; c < cols; ++c) {
            if (c > 0) text += L'\t';
            text += model.GetItemText(r, c);
        }
        if (model.CheckMode()) {
            text += L'\t';
            text += model.IsChecked(r) ? kListChecked : kListNotChecked;
        }
    }
    return text;
}
