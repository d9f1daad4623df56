// The fit rule: search down from the layout's height.
#include "controls/logic/TextFit.h"

int FittingFontHeight(int layoutHeight, int minHeight, int placeSize, const std::function<int(int)>& sizeAt) {
    int height = layoutHeight;
    while (height > minHeight && sizeAt(height) > placeSize) --height;
    return height;
}
