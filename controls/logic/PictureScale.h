// Resizing of the skin's pictures to the window's scale: a box filter, where every pixel of the
// result is the average of the source pixels it covers, weighted by the area it covers of each. A
// picture drawn at twice the layout's size stays sharp at any size up to that.
#pragma once

#include <cstdint>
#include <vector>

// Pixels are 32-bit values, four 8-bit channels averaged apart, rows top to bottom. A strip of
// `frames` frames side by side is scaled frame by frame, so no frame takes colour from its
// neighbour. Sizes must be positive and src must hold frames * srcFrameWidth * srcHeight pixels;
// otherwise the result is empty.
std::vector<std::uint32_t> ScaleFrames(const std::vector<std::uint32_t>& src, int srcFrameWidth, int srcHeight,
                                       int frames, int dstFrameWidth, int dstHeight);
