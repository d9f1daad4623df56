// The box filter, applied along rows and then along columns, in fixed-point arithmetic: each
// target pixel's shares of its source pixels add up to exactly one.
#include "controls/logic/PictureScale.h"

#include <algorithm>

namespace {

// Shares are in 256ths, so a channel times its share fits 16 bits and two channels of a pixel are
// weighed in one 32-bit multiplication (red and blue, then alpha and green).
constexpr int kShareBits = 8;
constexpr std::uint32_t kWhole = 1u << kShareBits;
constexpr std::uint32_t kLanes = 0x00FF00FF;

struct Taps {
    std::vector<int> first;             // per target cell: its first source cell
    std::vector<int> count;             // how many source cells it covers
    std::vector<std::uint32_t> shares;  // their shares, kWhole in all per target cell
    std::vector<std::size_t> start;     // where a target cell's shares begin
};

// For each of dst cells over [0, src), the source cells it covers and the share of each.
Taps BoxTaps(int src, int dst) {
    Taps t;
    const double step = static_cast<double>(src) / dst;
    for (int i = 0; i < dst; ++i) {
        const double from = i * step;
        const double to = std::min<double>((i + 1) * step, src);
        const int first = static_cast<int>(from);
        const int last = std::min(src - 1, static_cast<int>(to - 1e-9));
        t.first.push_back(first);
        t.count.push_back(last - first + 1);
        t.start.push_back(t.shares.size());
        std::uint32_t given = 0;
        for (int s = first; s <= last; ++s) {
            const double covered = std::min<double>(s + 1, to) - std::max<double>(s, from);
            const std::uint32_t share = s == last ? kWhole - std::min(given, kWhole)
                                                  : static_cast<std::uint32_t>(covered / (to - from) * kWhole + 0.5);
            t.shares.push_back(share);
            given += share;
        }
    }
    return t;
}

// Sums of weighed lanes back to a pixel, rounded.
std::uint32_t Pack(std::uint32_t redBlue, std::uint32_t alphaGreen) {
    return (((redBlue + 0x00800080u) >> kShareBits) & kLanes) | ((alphaGreen + 0x00800080u) & ~kLanes);
}

}  // namespace

std::vector<std::uint32_t> ScaleFrames(const std::vector<std::uint32_t>& src, int srcFrameWidth, int srcHeight,
                                       int frames, int dstFrameWidth, int dstHeight) {
    if (srcFrameWidth <= 0 || srcHeight <= 0 || frames <= 0 || dstFrameWidth <= 0 || dstHeight <= 0) return {};
    const std::size_t srcStride = static_cast<std::size_t>(srcFrameWidth) * static_cast<std::size_t>(frames);
    if (src.size() != srcStride * static_cast<std::size_t>(srcHeight)) return {};
    const std::size_t dstStride = static_cast<std::size_t>(dstFrameWidth) * static_cast<std::size_t>(frames);

    const Taps across = BoxTaps(srcFrameWidth, dstFrameWidth);
    const Taps down = BoxTaps(srcHeight, dstHeight);
    // Along rows first: srcHeight rows of the result's width.
    std::vector<std::uint32_t> rows(dstStride * static_cast<std::size_t>(srcHeight));
    for (std::size_t y = 0; y < static_cast<std::size_t>(srcHeight); ++y) {
        const std::uint32_t* in = src.data() + y * srcStride;
        std::uint32_t* out = rows.data() + y * dstStride;
        for (std::size_t f = 0; f < static_cast<std::size_t>(frames); ++f) {
            const std::uint32_t* frame = in + f * static_cast<std::size_t>(srcFrameWidth);
            for (std::size_t x = 0; x < static_cast<std::size_t>(dstFrameWidth); ++x) {
                const std::uint32_t* share = across.shares.data() + across.start[x];
                const std::uint32_t* pixel = frame + across.first[x];
                std::uint32_t redBlue = 0, alphaGreen = 0;
                for (int k = 0; k < across.count[x]; ++k) {
                    redBlue += (pixel[k] & kLanes) * share[k];
                    alphaGreen += ((pixel[k] >> 8) & kLanes) * share[k];
                }
                out[f * static_cast<std::size_t>(dstFrameWidth) + x] = Pack(redBlue, alphaGreen);
            }
        }
    }
    // Then along columns, a whole row at a time.
    std::vector<std::uint32_t> out(dstStride * static_cast<std::size_t>(dstHeight));
    std::vector<std::uint32_t> redBlue(dstStride), alphaGreen(dstStride);
    for (std::size_t y = 0; y < static_cast<std::size_t>(dstHeight); ++y) {
        std::fill(redBlue.begin(), redBlue.end(), 0u);
        std::fill(alphaGreen.begin(), alphaGreen.end(), 0u);
        for (int k = 0; k < down.count[y]; ++k) {
            const std::uint32_t share = down.shares[down.start[y] + static_cast<std::size_t>(k)];
            const std::uint32_t* in = rows.data() + static_cast<std::size_t>(down.first[y] + k) * dstStride;
            for (std::size_t x = 0; x < dstStride; ++x) {
                redBlue[x] += (in[x] & kLanes) * share;
                alphaGreen[x] += ((in[x] >> 8) & kLanes) * share;
            }
        }
        std::uint32_t* row = out.data() + y * dstStride;
        for (std::size_t x = 0; x < dstStride; ++x) row[x] = Pack(redBlue[x], alphaGreen[x]);
    }
    return out;
}
