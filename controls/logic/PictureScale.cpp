// The box filter, applied along rows and then along columns.
#include "controls/logic/PictureScale.h"

#include <algorithm>
#include <array>

namespace {

struct Tap {
    int index;
    double weight;
};

// For each of dst cells over [0, src), the source cells it covers and the share of each.
std::vector<std::vector<Tap>> BoxTaps(int src, int dst) {
    std::vector<std::vector<Tap>> taps(static_cast<size_t>(dst));
    const double step = static_cast<double>(src) / dst;
    for (int i = 0; i < dst; ++i) {
        const double from = i * step;
        const double to = std::min<double>((i + 1) * step, src);
        for (int s = static_cast<int>(from); s < src && s < to; ++s) {
            const double covered = std::min<double>(s + 1, to) - std::max<double>(s, from);
            if (covered > 0) taps[static_cast<size_t>(i)].push_back({s, covered / (to - from)});
        }
    }
    return taps;
}

using Channels = std::array<double, 4>;

void Add(Channels& sum, std::uint32_t pixel, double weight) {
    for (int c = 0; c < 4; ++c) sum[static_cast<size_t>(c)] += weight * ((pixel >> (8 * c)) & 0xFF);
}

std::uint32_t Pack(const Channels& sum) {
    std::uint32_t pixel = 0;
    for (int c = 0; c < 4; ++c) {
        const int v = std::clamp(static_cast<int>(sum[static_cast<size_t>(c)] + 0.5), 0, 255);
        pixel |= static_cast<std::uint32_t>(v) << (8 * c);
    }
    return pixel;
}

}  // namespace

std::vector<std::uint32_t> ScaleFrames(const std::vector<std::uint32_t>& src, int srcFrameWidth, int srcHeight,
                                       int frames, int dstFrameWidth, int dstHeight) {
    if (srcFrameWidth <= 0 || srcHeight <= 0 || frames <= 0 || dstFrameWidth <= 0 || dstHeight <= 0) return {};
    const size_t srcStride = static_cast<size_t>(srcFrameWidth) * static_cast<size_t>(frames);
    if (src.size() != srcStride * static_cast<size_t>(srcHeight)) return {};
    const size_t dstStride = static_cast<size_t>(dstFrameWidth) * static_cast<size_t>(frames);

    const auto across = BoxTaps(srcFrameWidth, dstFrameWidth);
    const auto down = BoxTaps(srcHeight, dstHeight);
    // Along rows first: srcHeight rows of the result's width.
    std::vector<Channels> rows(dstStride * static_cast<size_t>(srcHeight));
    for (size_t y = 0; y < static_cast<size_t>(srcHeight); ++y)
        for (size_t f = 0; f < static_cast<size_t>(frames); ++f)
            for (size_t x = 0; x < static_cast<size_t>(dstFrameWidth); ++x) {
                Channels& sum = rows[y * dstStride + f * static_cast<size_t>(dstFrameWidth) + x];
                sum = {};
                for (const Tap& t : across[x])
                    Add(sum, src[y * srcStride + f * static_cast<size_t>(srcFrameWidth) + static_cast<size_t>(t.index)],
                        t.weight);
            }
    std::vector<std::uint32_t> out(dstStride * static_cast<size_t>(dstHeight));
    for (size_t y = 0; y < static_cast<size_t>(dstHeight); ++y)
        for (size_t x = 0; x < dstStride; ++x) {
            Channels sum{};
            for (const Tap& t : down[y])
                for (int c = 0; c < 4; ++c)
                    sum[static_cast<size_t>(c)] +=
                        t.weight * rows[static_cast<size_t>(t.index) * dstStride + x][static_cast<size_t>(c)];
            out[y * dstStride + x] = Pack(sum);
        }
    return out;
}
