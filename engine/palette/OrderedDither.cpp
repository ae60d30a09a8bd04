#include "engine/palette/OrderedDither.h"

#include "engine/palette/DitherRows.h"
#include "engine/palette/PaletteCodes.h"
#include "engine/palette/Quantisers.h"
#include "engine/palette/RowBands.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace pictrove {

using namespace dither_rows;

namespace {

// An 8x8 threshold map of ranks 0..63.
using ThresholdMap = std::array<std::uint8_t, 64>;

// 1-D Bayer order of 8: each step halves the gaps left by the ones before.
constexpr std::array<int, 8> kBayer8{0, 4, 2, 6, 1, 5, 3, 7};
// Across a line screen: thresholds rise from the line's centre outwards, so
// darker tones widen the lines instead of scattering dots.
constexpr std::array<int, 8> kLineProfile{6, 4, 2, 0, 1, 3, 5, 7};

ThresholdMap bayerMap()
{
    // Recursive Bayer matrix: M(2n) = [4M, 4M+2; 4M+3, 4M+1].
    ThresholdMap m{};
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            int v = 0;
            for (int bit = 0; bit < 3; ++bit) {
                const int xb = (x >> bit) & 1, yb = (y >> bit) & 1;
                v |= ((xb ^ yb) << (5 - 2 * bit)) | (yb << (4 - 2 * bit));
            }
            m[size_t(y * 8 + x)] = std::uint8_t(v);
        }
    return m;
}

ThresholdMap clusteredDotMap()
{
    // Rank the cells by distance from the centre, ties by angle, so dots
    // grow as compact round clusters.
    std::array<std::pair<double, int>, 64> order{};
    for (int i = 0; i < 64; ++i) {
        const double dx = i % 8 - 3.5, dy = i / 8 - 3.5;
        order[size_t(i)] = {std::hypot(dx, dy) * 1000.0 + std::atan2(dy, dx), i};
    }
    std::sort(order.begin(), order.end());
    ThresholdMap m{};
    for (int rank = 0; rank < 64; ++rank)
        m[size_t(order[size_t(rank)].second)] = std::uint8_t(rank);
    return m;
}

enum class Lines { Forward, Backward, Horizontal, Vertical };

ThresholdMap lineScreenMap(Lines lines)
{
    // Position across the line picks the coarse level, position along it a
    // Bayer fine level, so the screen keeps 64 levels.
    ThresholdMap m{};
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            int across = 0, along = 0;
            switch (lines) {
            case Lines::Forward: across = (x + y) & 7; along = (x - y) & 7; break;
            case Lines::Backward: across = (x - y) & 7; along = (x + y) & 7; break;
            case Lines::Horizontal: across = y; along = x; break;
            case Lines::Vertical: across = x; along = y; break;
            }
            m[size_t(y * 8 + x)] =
                std::uint8_t(kLineProfile[size_t(across)] * 8 + kBayer8[size_t(along)]);
        }
    return m;
}

template <class Q>
void ordered(const QImage &source, QImage &target, Q &q, const ThresholdMap &map,
             RowProgress *progress, int threads)
{
    // Rank t shifts by (t + 0.5) / 64 - 0.5 of a palette step.
    const int step = q.spread();
    std::array<int, 64> offset{};
    for (int i = 0; i < 64; ++i)
        offset[size_t(i)] = int(std::lround(((map[size_t(i)] + 0.5) / 64.0 - 0.5) * step));
    const int width = source.width();
    inPixelRowBands(source, target, threads, q, progress, [&](int y, Q &own, const QRgb *in, auto *out) {
        const int *row = &offset[size_t((y & 7) * 8)];
        for (int x = 0; x < width; ++x) {
            const int d = row[x & 7];
            out[x] = own.code(clamp255(qRed(in[x]) + d), clamp255(qGreen(in[x]) + d),
                              clamp255(qBlue(in[x]) + d));
        }
    });
}

// The threshold map of an ordered dither code, null for the others.
const ThresholdMap *screenFor(Dither code)
{
    static const ThresholdMap bayer = bayerMap(), clustered = clusteredDotMap(),
                              forward = lineScreenMap(Lines::Forward),
                              backward = lineScreenMap(Lines::Backward),
                              horizontal = lineScreenMap(Lines::Horizontal),
                              vertical = lineScreenMap(Lines::Vertical);
    switch (code) {
    case Dither::Ordered: return &bayer;
    case Dither::Halftone: return &clustered;
    case Dither::ForwardDiagonal: return &forward;
    case Dither::BackwardDiagonal: return &backward;
    case Dither::Horizontal: return &horizontal;
    case Dither::Vertical: return &vertical;
    default: return nullptr;
    }
}

} // namespace

bool isOrderedDither(Dither code) { return screenFor(code) != nullptr; }

template <class Q>
void orderedDither(Dither code, const QImage &source, QImage &target, Q &q,
                   RowProgress *progress, int threads)
{
    if (const ThresholdMap *map = screenFor(code))
        ordered(source, target, q, *map, progress, threads);
}

template void orderedDither(Dither, const QImage &, QImage &, PaletteQuantiser &, RowProgress *, int);
template void orderedDither(Dither, const QImage &, QImage &, Rgb555Quantiser &, RowProgress *, int);

} // namespace pictrove
