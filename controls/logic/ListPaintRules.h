// How the multi-line list draws a cell, free of window code: the text rectangle, the check image's
// place, the font and final rectangle chosen from the measured text, the unit mark, the row fonts
// of a language and which texts are units.
#pragma once

#include "controls/logic/DpiScale.h"
#include "controls/logic/Geometry.h"

#include <array>
#include <string>

struct ListPoint {
    int x = 0;
    int y = 0;
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

namespace listpaint {

constexpr int kRowHeight = 39;
// Left x of column-0 text (absolute: it does not follow horizontal scrolling) and the indent the
// check image takes.
constexpr int kColumn0TextLeft = 40;
constexpr int kCheckIndent = 50;

// Lengths are layout lengths; the functions give places at the window's scale.
// The text rectangle of a cell before measuring, for a column starting at x in a row at y.
QvRect CellTextRect(int x, int y, int width);
ListPoint CheckImageOrigin(int x, int y);
// Font and final text rectangle from the measured text width (checkIndent UiPx(kCheckIndent) or 0).
ListCellPlacement PlaceCellText(int column, const QvRect& text, int textWidth, int checkIndent);
// The three corners of the unit mark drawn in a cell's text rectangle.
std::array<ListPoint, 3> UnitMarkPoints(const QvRect& text, bool rightAligned);
inline bool IsRightAlignedLanguage(int languageIndex) { return languageIndex == 19 || languageIndex == 20; }
ListRowFonts RowFontsFor(int languageIndex);
ListRowFonts LayoutRowFontsFor(int languageIndex);
// A unit of measure, with blanks around it and in any letter case.
bool IsUnitText(const std::wstring& text);

}  // namespace listpaint
