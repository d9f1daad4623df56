// The fit rule for text in a place of fixed size: the layout's font height when the text fits
// there, otherwise the largest smaller height at which it does.
#pragma once

#include <functional>

// sizeAt(height): the text's extent drawn at that font height (a line's width, or a wrapped
// text's height), compared with the place's. Heights go down one at a time to minHeight, which is
// used when nothing larger fits.
int FittingFontHeight(int layoutHeight, int minHeight, int placeSize, const std::function<int(int)>& sizeAt);
