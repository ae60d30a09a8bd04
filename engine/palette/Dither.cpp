#include "engine/palette/Dither.h"

#include "engine/palette/PaletteCodes.h"
#include "engine/palette/Quantisers.h"
#include "engine/palette/RowProgress.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
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

inline void rowDone(RowProgress *progress, int y)
{
    if (progress)
        progress->publish(y + 1);
}

template <class Q>
typename Q::Code *targetLine(QImage &target, int y)
{
    return reinterpret_cast<typename Q::Code *>(target.scanLine(y));
}

template <class Q>
void nearestOnly(const QImage &source, QImage &target, Q &q, RowProgress *progress)
{
    const int width = source.width(), height = source.height();
    for (int y = 0; y < height; ++y) {
        const auto *in = reinterpret_cast<const QRgb *>(source.constScanLine(y));
        auto *out = targetLine<Q>(target, y);
        for (int x = 0; x < width; ++x)
            out[x] = q.code(qRed(in[x]), qGreen(in[x]), qBlue(in[x]));
        rowDone(progress, y);
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
void ordered(const QImage &source, QImage &target, Q &q, const ThresholdMap &map,
             RowProgress *progress)
{
    // Rank t shifts by (t + 0.5) / 64 - 0.5 of a palette step.
    const int step = q.spread();
    std::array<int, 64> offset{};
    for (int i = 0; i < 64; ++i)
        offset[size_t(i)] = int(std::lround(((map[size_t(i)] + 0.5) / 64.0 - 0.5) * step));
    const int width = source.width(), height = source.height();
    for (int y = 0; y < height; ++y) {
        const auto *in = reinterpret_cast<const QRgb *>(source.constScanLine(y));
        auto *out = targetLine<Q>(target, y);
        const int *row = &offset[size_t((y & 7) * 8)];
        for (int x = 0; x < width; ++x) {
            const int d = row[x & 7];
            out[x] = q.code(clamp255(qRed(in[x]) + d), clamp255(qGreen(in[x]) + d),
                            clamp255(qBlue(in[x]) + d));
        }
        rowDone(progress, y);
    }
}

// ---- error diffusion ---------------------------------------------------------

struct Tap {
    int dx, dy, weight;
};

template <size_t N>
struct Kernel {
    std::array<Tap, N> taps;
    int divisor;
};

constexpr Kernel<4> kFloydSteinberg{{{{1, 0, 7}, {-1, 1, 3}, {0, 1, 5}, {1, 1, 1}}}, 16};
constexpr Kernel<12> kJarvisJudiceNinke{{{{1, 0, 7}, {2, 0, 5},
                                         {-2, 1, 3}, {-1, 1, 5}, {0, 1, 7}, {1, 1, 5}, {2, 1, 3},
                                         {-2, 2, 1}, {-1, 2, 3}, {0, 2, 5}, {1, 2, 3}, {2, 2, 1}}},
                                       48};
constexpr Kernel<4> kEqualShares{{{{1, 0, 1}, {-1, 1, 1}, {0, 1, 1}, {1, 1, 1}}}, 4};

// Local activity: the summed absolute Laplacian of the three channels.
inline int activity(const QRgb *above, const QRgb *row, const QRgb *below, int x, int last)
{
    const QRgb c = row[x], l = row[x > 0 ? x - 1 : x], r = row[x < last ? x + 1 : x];
    const QRgb u = above[x], d = below[x];
    auto lap = [](int centre, int a, int b, int e, int f) {
        const int v = 4 * centre - a - b - e - f;
        return v < 0 ? -v : v;
    };
    return lap(qRed(c), qRed(l), qRed(r), qRed(u), qRed(d))
           + lap(qGreen(c), qGreen(l), qGreen(r), qGreen(u), qGreen(d))
           + lap(qBlue(c), qBlue(l), qBlue(r), qBlue(u), qBlue(d));
}

// The activity of a whole row, byte lane by byte lane so that the compiler
// can vectorise it (the alpha lane of Format_RGB32 is constant and adds 0),
// capped at 1023.
void rowActivity(const QRgb *above, const QRgb *row, const QRgb *below, int width,
                 std::vector<std::uint16_t> &lanes, std::vector<std::uint16_t> &out)
{
    const auto *a = reinterpret_cast<const std::uint8_t *>(above);
    const auto *c = reinterpret_cast<const std::uint8_t *>(row);
    const auto *b = reinterpret_cast<const std::uint8_t *>(below);
    const int bytes = 4 * width;
    std::uint16_t *lane = lanes.data();
    for (int i = 4; i < bytes - 4; ++i) {
        const int v = 4 * c[i] - c[i - 4] - c[i + 4] - a[i] - b[i];
        lane[i] = std::uint16_t(v < 0 ? -v : v);
    }
    for (int x = 1; x < width - 1; ++x)
        out[size_t(x)] = std::uint16_t(
            std::min(lane[4 * x] + lane[4 * x + 1] + lane[4 * x + 2] + lane[4 * x + 3], 1023));
    out[0] = std::uint16_t(std::min(activity(above, row, below, 0, width - 1), 1023));
    out[size_t(width - 1)] =
        std::uint16_t(std::min(activity(above, row, below, width - 1, width - 1), 1023));
}

// Error diffusion with the tempering that keeps photos clean (libimagequant
// tempers its Floyd-Steinberg the same way):
// - the error a pixel receives is scaled down where the picture is busy
//   (texture, noise and edges mask quantisation steps by themselves, so
//   diffusion there only adds noise), with full strength below an activity
//   of two palette steps falling off as knee / (knee + activity);
// - an error grown beyond three palette steps is damped (by 4/5 on the way
//   in, 3/4 on the way out) so that it cannot smear across an edge.
// Smooth gradients, where dithering matters, get the classic diffusion, so
// the mean colour of an area is kept.
//
// Errors are kept in 1/65536 of a level so that every kernel's weights
// divide without a division per pixel. Rows carry two spare pixels on each
// side so that taps need no bounds checks.
//
// Each pixel waits for the one before it (its error goes on to the right),
// so one row is a single long chain of dependent steps. Rows that run the
// same way are therefore done two at a time, the lower one `lag` pixels
// behind the upper one: by then every pixel above that sends it error is
// finished, and the processor overlaps the two chains. Serpentine rows
// alternate direction and go one at a time.
template <const auto &kernel>
class Diffusion {
public:
    template <class Q>
    static void run(const QImage &source, QImage &target, Q &q, bool serpentine,
                    RowProgress *progress)
    {
        const int width = source.width(), height = source.height();
        constexpr int margin = 2;
        const int stride = (width + 2 * margin) * 3;
        std::vector<int> rows(size_t(stride) * kRingRows, 0);
        std::vector<std::uint16_t> lanes(size_t(width) * 4);
        std::vector<std::uint16_t> busyUpper(static_cast<size_t>(width)),
            busyLower(static_cast<size_t>(width));

        Context<Q> context{q, {}, 3 * q.spread()};
        const int knee = std::max(1, 2 * q.spread());
        for (int a = 0; a < 1024; ++a)
            context.strength[size_t(a)] = 256 * knee / (knee + a);

        auto prepare = [&](int y, std::vector<std::uint16_t> &busy) {
            Row<Q> row;
            row.in = reinterpret_cast<const QRgb *>(source.constScanLine(y));
            const auto *above = reinterpret_cast<const QRgb *>(source.constScanLine(y > 0 ? y - 1 : y));
            const auto *below =
                reinterpret_cast<const QRgb *>(source.constScanLine(y + 1 < height ? y + 1 : y));
            rowActivity(above, row.in, below, width, lanes, busy);
            row.busy = busy.data();
            row.out = targetLine<Q>(target, y);
            for (int dy = 0; dy < 3; ++dy)
                row.err[dy] = rows.data() + size_t(((y + dy) % kRingRows) * stride) + margin * 3;
            return row;
        };
        auto clear = [&](int y) {
            int *start = rows.data() + size_t((y % kRingRows) * stride);
            std::fill(start, start + stride, 0);
        };

        for (int y = 0; y < height;) {
            if (serpentine || y + 1 == height) {
                clear(y + 2); // receives from this row and the next only
                const Row<Q> row = prepare(y, busyUpper);
                if (serpentine && (y & 1))
                    for (int x = width - 1; x >= 0; --x)
                        step<-1>(row, x, context);
                else
                    for (int x = 0; x < width; ++x)
                        step<1>(row, x, context);
                rowDone(progress, y);
                y += 1;
                continue;
            }
            clear(y + 2);
            clear(y + 3);
            const Row<Q> upper = prepare(y, busyUpper);
            const Row<Q> lower = prepare(y + 1, busyLower);
            const int lead = std::min(kLag, width);
            for (int x = 0; x < lead; ++x)
                step<1>(upper, x, context);
            for (int x = lead; x < width; ++x) {
                step<1>(upper, x, context);
                step<1>(lower, x - kLag, context);
            }
            for (int x = std::max(0, width - kLag); x < width; ++x)
                step<1>(lower, x, context);
            rowDone(progress, y + 1);
            y += 2;
        }
    }

private:
    // Four rows: the pair being done and the two below that they feed.
    static constexpr int kRingRows = 4;
    // How far the lower row of a pair trails: one more than the widest tap.
    static constexpr int kLag = [] {
        int reach = 0;
        for (const Tap &t : kernel.taps)
            reach = std::max(reach, t.dx < 0 ? -t.dx : t.dx);
        return reach + 1;
    }();

    template <class Q>
    struct Row {
        const QRgb *in;
        typename Q::Code *out;
        int *err[3];
        const std::uint16_t *busy;
    };
    template <class Q>
    struct Context {
        Q &q;
        std::array<int, 1024> strength;
        int limit;
    };

    template <int direction, class Q>
    static inline void step(const Row<Q> &row, int x, Context<Q> &context)
    {
        int *e = row.err[0] + 3 * x;
        int dr = (e[0] + 32768) >> 16, dg = (e[1] + 32768) >> 16, db = (e[2] + 32768) >> 16;
        const int s = context.strength[row.busy[x]];
        dr = (dr * s + 128) >> 8;
        dg = (dg * s + 128) >> 8;
        db = (db * s + 128) >> 8;
        if (std::abs(dr) + std::abs(dg) + std::abs(db) > context.limit) {
            dr = dr * 4 / 5;
            dg = dg * 4 / 5;
            db = db * 4 / 5;
        }
        const QRgb px = row.in[x];
        const int r = clamp255(qRed(px) + dr), g = clamp255(qGreen(px) + dg),
                  b = clamp255(qBlue(px) + db);
        const auto code = context.q.code(r, g, b);
        row.out[x] = code;
        const std::int16_t *c = context.q.colour(code);
        int er = r - c[0], eg = g - c[1], eb = b - c[2];
        if (std::abs(er) + std::abs(eg) + std::abs(eb) > context.limit) {
            er = er * 3 / 4;
            eg = eg * 3 / 4;
            eb = eb * 3 / 4;
        }
        for (const Tap &t : kernel.taps) {
            constexpr int scale = 65536 / kernel.divisor;
            int *d = row.err[t.dy] + 3 * (x + direction * t.dx);
            const int w = t.weight * scale;
            d[0] += er * w;
            d[1] += eg * w;
            d[2] += eb * w;
        }
    }
};
template <class Q>
void ditherWith(std::int32_t code, const QImage &source, QImage &target, Q &q,
                RowProgress *progress)
{
    switch (code) {
    case codes::DitherBinary:
        Diffusion<kFloydSteinberg>::run(source, target, q, false, progress);
        break;
    case codes::DitherOrdered: {
        static const ThresholdMap map = bayerMap();
        ordered(source, target, q, map, progress);
        break;
    }
    case codes::DitherHalftone: {
        static const ThresholdMap map = clusteredDotMap();
        ordered(source, target, q, map, progress);
        break;
    }
    case codes::DitherForwardDiagonal: {
        static const ThresholdMap map = lineScreenMap(Lines::Forward);
        ordered(source, target, q, map, progress);
        break;
    }
    case codes::DitherBackwardDiagonal: {
        static const ThresholdMap map = lineScreenMap(Lines::Backward);
        ordered(source, target, q, map, progress);
        break;
    }
    case codes::DitherHorizontal: {
        static const ThresholdMap map = lineScreenMap(Lines::Horizontal);
        ordered(source, target, q, map, progress);
        break;
    }
    case codes::DitherVertical: {
        static const ThresholdMap map = lineScreenMap(Lines::Vertical);
        ordered(source, target, q, map, progress);
        break;
    }
    case codes::DitherOdd:
        Diffusion<kFloydSteinberg>::run(source, target, q, true, progress);
        break;
    case codes::DitherEven:
        Diffusion<kJarvisJudiceNinke>::run(source, target, q, false, progress);
        break;
    case codes::DitherEqual:
        Diffusion<kEqualShares>::run(source, target, q, false, progress);
        break;
    default:
        nearestOnly(source, target, q, progress);
        break;
    }
}

} // namespace

void dither(std::int32_t code, const QImage &source, QImage &target, PaletteQuantiser &q,
            RowProgress *progress)
{
    ditherWith(code, source, target, q, progress);
}

void dither(std::int32_t code, const QImage &source, QImage &target, Rgb555Quantiser &q,
            RowProgress *progress)
{
    ditherWith(code, source, target, q, progress);
}

} // namespace pictrove
