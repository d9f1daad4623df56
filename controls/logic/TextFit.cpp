// The fit rule: search down from the layout's height.
#include "controls/logic/TextFit.h"

int FittingFontHeight(int layoutHeight, int minHeight, int placeWidth, const std::function<int(int)>& widthAt) {
    int height = layoutHeight;
    while (height > minHeight && widthAt(height) > placeWidth) --height;
    return height;
}
