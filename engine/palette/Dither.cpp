#include "engine/palette/Dither.h"

#include "engine/palette/PaletteCodes.h"
#include "engine/palette/Quantisers.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

namespace pictrove {

namespace codes = palette_codes;

bool isDitherCode(std::int32_t code)
{
    switch (code) {
    case codes::DitherNone:
    case codes::DitherBinary:
    case codes::DitherOrdered:
    case codes::DitherHalftone:
    case codes::DitherForwardDiagonal:
    case codes::DitherBackwardDiagonal:
    case codes::DitherHorizontal:
    case codes::DitherVertical:
    case codes::DitherOdd:
    case codes::DitherEven:
    case codes::DitherEqual:
        return true;
    default:
        return false;
    }
}

namespace {

inline int clamp255(int v) { return v < 0 ? 0 : v > 255 ? 255 : v; }

template <class Q>
typename Q::Code *targetLine(QImage &target, int y)
{
    return reinterpret_cast<typename Q::Code *>(target.scanLine(y));
}

template <class Q>
void nearestOnly(const QImage &source, QImage &target, Q &q)
{
    for (int y = 0; y < source.height(); ++y) {
        const auto *in = reinterpret_cast<const QRgb *>(source.constScanLine(y));
        auto *out = targetLine<Q>(target, y);
        for (int x = 0; x < source.width(); ++x)
            out[x] = q.code(qRed(in[x]), qGreen(in[x]), qBlue(in[x]));
    }
}

// ---- ordered dithers: a 8x8 threshold map, ranks 0..63 ----------------------

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
            m[size_t(y * 8 + x)] = std::uint8_t(kLineProfile[size_t(across)] * 8 + kBayer8[size_t(along)]);
        }
    return m;
}

template <class Q>
void ordered(const QImage &source, QImage &target, Q &q, const ThresholdMap &map)
{
    // Rank t shifts by (t + 0.5) / 64 - 0.5 of a palette step.
    const int step = q.spread();
    std::array<int, 64> offset{};
    for (int i = 0; i < 64; ++i)
        offset[size_t(i)] = int(std::lround(((map[size_t(i)] + 0.5) / 64.0 - 0.5) * step));
    for (int y = 0; y < source.height(); ++y) {
        const auto *in = reinterpret_cast<const QRgb *>(source.constScanLine(y));
        auto *out = targetLine<Q>(target, y);
        const int *row = &offset[size_t((y & 7) * 8)];
        for (int x = 0; x < source.width(); ++x) {
            const int d = row[x & 7];
            out[x] = q.code(clamp255(qRed(in[x]) + d), clamp255(qGreen(in[x]) + d),
                            clamp255(qBlue(in[x]) + d));
        }
    }
}

// ---- error diffusion ---------------------------------------------------------

struct Tap {
    int dx, dy, weight;
};

struct Kernel {
    std::vector<Tap> taps;
    int divisor;
};

const Kernel &floydSteinberg()
{
    static const Kernel k{{{1, 0, 7}, {-1, 1, 3}, {0, 1, 5}, {1, 1, 1}}, 16};
    return k;
}

const Kernel &jarvisJudiceNinke()
{
    static const Kernel k{{{1, 0, 7}, {2, 0, 5},
                           {-2, 1, 3}, {-1, 1, 5}, {0, 1, 7}, {1, 1, 5}, {2, 1, 3},
                           {-2, 2, 1}, {-1, 2, 3}, {0, 2, 5}, {1, 2, 3}, {2, 2, 1}},
                          48};
    return k;
}

const Kernel &equalShares()
{
    static const Kernel k{{{1, 0, 1}, {-1, 1, 1}, {0, 1, 1}, {1, 1, 1}}, 4};
    return k;
}

// Errors are kept in 1/65536 of a level so that every kernel's weights
// divide without a division per pixel. Three error rows (this one and two
// below) cover every kernel here; rows carry two spare pixels on each side
// so taps need no bounds checks.
template <class Q>
void diffuse(const QImage &source, QImage &target, Q &q, const Kernel &kernel, bool serpentine)
{
    const int width = source.width(), height = source.height();
    constexpr int margin = 2;
    const int stride = (width + 2 * margin) * 3;
    std::vector<int> rows(size_t(stride) * 3, 0);
    const int scale = 65536 / kernel.divisor;
    struct ScaledTap {
        int offset;
        int dy;
        int weight;
    };
    std::vector<ScaledTap> forward, backward;
    for (const Tap &t : kernel.taps) {
        forward.push_back({t.dx * 3, t.dy, t.weight * scale});
        backward.push_back({-t.dx * 3, t.dy, t.weight * scale});
    }

    for (int y = 0; y < height; ++y) {
        int *err[3];
        for (int dy = 0; dy < 3; ++dy)
            err[dy] = rows.data() + size_t(((y + dy) % 3) * stride) + margin * 3;
        // The row two below starts fresh.
        std::fill(err[2] - margin * 3, err[2] - margin * 3 + stride, 0);

        const bool reverse = serpentine && (y & 1);
        const auto &taps = reverse ? backward : forward;
        const auto *in = reinterpret_cast<const QRgb *>(source.constScanLine(y));
        auto *out = targetLine<Q>(target, y);
        const int step = reverse ? -1 : 1;
        for (int i = 0, x = reverse ? width - 1 : 0; i < width; ++i, x += step) {
            int *e = err[0] + 3 * x;
            const int r = clamp255(qRed(in[x]) + ((e[0] + 32768) >> 16));
            const int g = clamp255(qGreen(in[x]) + ((e[1] + 32768) >> 16));
            const int b = clamp255(qBlue(in[x]) + ((e[2] + 32768) >> 16));
            const auto code = q.code(r, g, b);
            out[x] = code;
            const std::int16_t *c = q.colour(code);
            const int er = r - c[0], eg = g - c[1], eb = b - c[2];
            for (const ScaledTap &t : taps) {
                int *d = err[t.dy] + 3 * x + t.offset;
                d[0] += er * t.weight;
                d[1] += eg * t.weight;
                d[2] += eb * t.weight;
            }
        }
        // Done with this row: it becomes the row two below next time.
    }
}

// Floyd-Steinberg, unrolled: the common case and the one the preview hits
// most, so it gets its own loop.
template <class Q>
void floydSteinbergFast(const QImage &source, QImage &target, Q &q)
{
    const int width = source.width(), height = source.height();
    // Errors in 1/16 of a level; one row ahead, padded by one pixel each side.
    std::vector<int> cur(size_t(width + 2) * 3, 0), next(size_t(width + 2) * 3, 0);
    for (int y = 0; y < height; ++y) {
        std::fill(next.begin(), next.end(), 0);
        const auto *in = reinterpret_cast<const QRgb *>(source.constScanLine(y));
        auto *out = targetLine<Q>(target, y);
        int *ec = cur.data() + 3;
        int *en = next.data() + 3;
        int carryR = 0, carryG = 0, carryB = 0; // 7/16 going right
        for (int x = 0; x < width; ++x) {
            const QRgb px = in[x];
            const int r = clamp255(qRed(px) + ((ec[0] + carryR + 8) >> 4));
            const int g = clamp255(qGreen(px) + ((ec[1] + carryG + 8) >> 4));
            const int b = clamp255(qBlue(px) + ((ec[2] + carryB + 8) >> 4));
            const auto code = q.code(r, g, b);
            out[x] = code;
            const std::int16_t *c = q.colour(code);
            const int er = r - c[0], eg = g - c[1], eb = b - c[2];
            carryR = er * 7; carryG = eg * 7; carryB = eb * 7;
            en[-3] += er * 3; en[-2] += eg * 3; en[-1] += eb * 3;
            en[0] += er * 5; en[1] += eg * 5; en[2] += eb * 5;
            en[3] += er; en[4] += eg; en[5] += eb;
            ec += 3;
            en += 3;
        }
        std::swap(cur, next);
    }
}

template <class Q>
void ditherWith(std::int32_t code, const QImage &source, QImage &target, Q &q)
{
    switch (code) {
    case codes::DitherBinary:
        floydSteinbergFast(source, target, q);
        break;
    case codes::DitherOrdered: {
        static const ThresholdMap map = bayerMap();
        ordered(source, target, q, map);
        break;
    }
    case codes::DitherHalftone: {
        static const ThresholdMap map = clusteredDotMap();
        ordered(source, target, q, map);
        break;
    }
    case codes::DitherForwardDiagonal: {
        static const ThresholdMap map = lineScreenMap(Lines::Forward);
        ordered(source, target, q, map);
        break;
    }
    case codes::DitherBackwardDiagonal: {
        static const ThresholdMap map = lineScreenMap(Lines::Backward);
        ordered(source, target, q, map);
        break;
    }
    case codes::DitherHorizontal: {
        static const ThresholdMap map = lineScreenMap(Lines::Horizontal);
        ordered(source, target, q, map);
        break;
    }
    case codes::DitherVertical: {
        static const ThresholdMap map = lineScreenMap(Lines::Vertical);
        ordered(source, target, q, map);
        break;
    }
    case codes::DitherOdd:
        diffuse(source, target, q, floydSteinberg(), true);
        break;
    case codes::DitherEven:
        diffuse(source, target, q, jarvisJudiceNinke(), false);
        break;
    case codes::DitherEqual:
        diffuse(source, target, q, equalShares(), false);
        break;
    default:
        nearestOnly(source, target, q);
        break;
    }
}

} // namespace

void dither(std::int32_t code, const QImage &source, QImage &target, PaletteQuantiser &q)
{
    ditherWith(code, source, target, q);
}

void dither(std::int32_t code, const QImage &source, QImage &target, Rgb555Quantiser &q)
{
    ditherWith(code, source, target, q);
}

} // namespace pictrove
