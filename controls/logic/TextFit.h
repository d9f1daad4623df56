// The fit rule for a line of text in a place of fixed width: the layout's font height when the
// line fits there, otherwise the largest smaller height at which it does.
#pragma once

#include <functional>

// widthAt(height): the line's width drawn at that font height. Heights go down one at a time to
// minHeight, which is used when nothing larger fits.
int FittingFontHeight(int layoutHeight, int minHeight, int placeWidth, const std::function<int(int)>& widthAt);
