// How the multi-line list draws a cell.
#include "controls/logic/ListPaintRules.h"

#include "controls/logic/TextBlanks.h"

#include <algorithm>
#include <iterator>

namespace listpaint {

QvRect CellTextRect(int x, int y, int width) {
    return {x + UiPx(2), y + UiPx(2 + 6), x + width - UiPx(2), y + UiPx(kRowHeight)};
}

ListPoint CheckImageOrigin(int x, int y) {
    const QvRect text = CellTextRect(x, y, 0);
    return {text.left + UiPx(5), text.top};
}

ListCellPlacement PlaceCellText(int column, const QvRect& text, int textWidth, int checkIndent) {
    ListCellPlacement p;
    p.text = text;
    if (column == 0) {
        p.text.left = UiPx(kColumn0TextLeft);
        if (textWidth < text.right - UiPx(20) - checkIndent) {
            p.text.top += UiPx(5);
            p.font = ListFont::Line;
        } else {
            p.font = ListFont::Small;
            if (textWidth > text.right) p.text.top += UiPx(5);
        }
    } else if (column == 1 || column == 2) {
        if (textWidth < text.right - text.left) {
            p.text.top += UiPx(5);
            p.font = ListFont::Cell;
        } else {
            p.text.top -= UiPx(5);
            p.font = ListFont::Small;
        }
    } else {
        p.text.top += UiPx(5);
        p.font = ListFont::Cell;
    }
    return p;
}

std::array<ListPoint, 3> UnitMarkPoints(const QvRect& text, bool rightAligned) {
    const int top = text.top + UiPx(5), tip = text.top + UiPx(13);
    if (rightAligned) return {{{text.left + UiPx(18), top}, {text.left + UiPx(2), top}, {text.left + UiPx(10), tip}}};
    return {{{text.right - UiPx(18), top}, {text.right - UiPx(2), top}, {text.right - UiPx(10), tip}}};
}

ListRowFonts RowFontsFor(int languageIndex) {
    ListRowFonts fonts = LayoutRowFontsFor(languageIndex);
    for (ListFontDesc* font : {&fonts.lineFont, &fonts.cellFont, &fonts.smallFont}) font->height = UiPx(font->height);
    return fonts;
}

ListRowFonts LayoutRowFontsFor(int languageIndex) {
    const int h = languageIndex == 1 ? 18 : 20;
    if (IsRightAlignedLanguage(languageIndex))
        return {{h, 500, L"Arial", 0}, {h - 2, 500, L"Arial", 0}, {h - 6, 500, L"Arial", 0}};
    if (languageIndex == 1)
        return {
            {h - 2, 700, L"NanumGothic", 129}, {h - 2, 700, L"NanumGothic", 129}, {h - 3, 700, L"NanumGothic", 129}};
    return {{h, 400, L"Arial", 0}, {h - 2, 400, L"Arial", 0}, {h - 6, 400, L"Arial", 0}};
}

bool IsUnitText(const std::wstring& text) {
    static const wchar_t* const kUnits[] = {L"Km/h", L"MPH",  L"\u00B0C", L"\u00B0F", L"kPa",  L"mmHg", L"inHg",
                                            L"psi",  L"mBar", L"Bar",     L"gm/s",    L"lb/m", L"hPa"};
    size_t first = 0, last = text.size();
    while (first < last && IsBlank(text[first])) ++first;
    while (last > first && IsBlank(text[last - 1])) --last;
    const std::wstring word = ToLowerAscii(text.substr(first, last - first));
    return std::any_of(std::begin(kUnits), std::end(kUnits),
                       [&](const wchar_t* unit) { return word == ToLowerAscii(unit); });
}

}  // namespace listpaint
