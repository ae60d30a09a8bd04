#include "engine/palette/ErrorDiffusion.h"

#include "engine/palette/DitherRows.h"
#include "engine/palette/PaletteCodes.h"
#include "engine/palette/Quantisers.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <vector>

namespace pictrove {

using namespace dither_rows;

namespace {

using Lanes = Rgb555Quantiser::Lanes;

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
//   diffusion there only adds noise): by knee / (knee + activity), where
//   knee is one palette step (at most 24), so flat areas get all of it and
//   an activity of one knee half of it;
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
// and each step waits for its colour's table lookup, which often misses the
// cache: one row is a single long chain of dependent steps. Rows that run
// the same way are therefore done four at a time, each `lag` pixels behind
// the one above: by then every pixel above that sends it error is finished,
// and the processor overlaps the four chains. The sums each pixel receives
// are the same whatever the order, so are the codes. Serpentine rows
// alternate direction and go one at a time.
template <const auto &kernel>
class Diffusion {
public:
    // Inlined into each instruction-set variant below.
    template <class Q>
    __attribute__((always_inline)) static inline void run(const QImage &source, QImage &target, Q &q,
                                                          bool serpentine, RowProgress *progress)
    {
        const int width = source.width(), height = source.height();
        constexpr int margin = 2;
        const int stride = width + 2 * margin; // pixels
        std::vector<Lanes> rows(size_t(stride) * kRingRows, Lanes{0, 0, 0, 0});
        std::vector<std::uint16_t> lanes(size_t(width) * 4);
        std::array<std::vector<std::uint16_t>, kChains> busy;
        for (auto &b : busy)
            b.resize(static_cast<size_t>(width));

        Context<Q> context{q, {}, 3 * q.spread()};
        const int knee = std::clamp(q.spread(), 1, kMaxKnee);
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
                row.err[dy] = rows.data() + size_t(((y + dy) % kRingRows) * stride) + margin;
            return row;
        };
        auto clear = [&](int y) {
            Lanes *start = rows.data() + size_t((y % kRingRows) * stride);
            std::fill(start, start + stride, Lanes{0, 0, 0, 0});
        };

        // Before the rows from y on are done, rows y and y + 1 hold what the
        // rows above sent them; the rows below start afresh.
        for (int y = 0; y < height;) {
            if (serpentine) {
                clear(y + 2); // receives from this row and the next only
                const Row<Q> row = prepare(y, busy[0]);
                if (y & 1)
                    for (int x = width - 1; x >= 0; --x)
                        step<-1>(row, x, context);
                else
                    for (int x = 0; x < width; ++x)
                        step<1>(row, x, context);
                rowDone(progress, y);
                y += 1;
                continue;
            }
            const int chains = std::min(kChains, height - y);
            std::array<Row<Q>, kChains> chain;
            for (int k = 0; k < chains; ++k) {
                clear(y + k + 2);
                chain[size_t(k)] = prepare(y + k, busy[size_t(k)]);
            }
            if (chains == kChains && width >= kChains * kLag) {
                // Every chain at work but at the two ends.
                const int steady = (kChains - 1) * kLag;
                for (int x = 0; x < steady; ++x)
                    for (int k = 0; k * kLag <= x; ++k)
                        step<1>(chain[size_t(k)], x - k * kLag, context);
                for (int x = steady; x < width; ++x)
                    for (int k = 0; k < kChains; ++k)
                        step<1>(chain[size_t(k)], x - k * kLag, context);
                for (int x = width; x < width + steady; ++x)
                    for (int k = 0; k < kChains; ++k)
                        if (x - k * kLag < width)
                            step<1>(chain[size_t(k)], x - k * kLag, context);
            } else {
                for (int x = 0; x < width + (chains - 1) * kLag; ++x)
                    for (int k = 0; k < chains; ++k)
                        if (x - k * kLag >= 0 && x - k * kLag < width)
                            step<1>(chain[size_t(k)], x - k * kLag, context);
            }
            rowDone(progress, y + chains - 1);
            y += chains;
        }
    }

private:
    // Beyond this activity even a coarse palette's steps are lost in the
    // texture (measured on photos at 2 to 16 colours: more diffusion there
    // only adds noise).
    static constexpr int kMaxKnee = 24;
    // Rows done together.
    static constexpr int kChains = 4;
    // The rows being done and the two below that they feed, and a power of two.
    static constexpr int kRingRows = 8;
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
        Lanes *err[3];
        const std::uint16_t *busy;
    };
    template <class Q>
    struct Context {
        Q &q;
        std::array<int, 1024> strength;
        int limit;
    };

    template <int direction, class Q>
    __attribute__((always_inline)) static inline void step(const Row<Q> &row, int x, Context<Q> &context)
    {
        // Red, green and blue travel together in the lanes of one vector
        // (the fourth lane stays 0).
        Lanes d = (row.err[0][x] + 32768) >> 16;
        d = (d * context.strength[row.busy[x]] + 128) >> 8;
        if (magnitude(d) > context.limit)
            d = d * 4 / 5;
        const QRgb px = row.in[x];
        Lanes v = Lanes{qRed(px), qGreen(px), qBlue(px), 0} + d;
        v = v < 0 ? 0 : v;
        v = v > 255 ? 255 : v;
        const auto code = context.q.code(v[0], v[1], v[2]);
        row.out[x] = code;
        Lanes err = v - context.q.lanes(code);
        if (magnitude(err) > context.limit)
            err = err * 3 / 4;
        for (const Tap &t : kernel.taps) {
            constexpr int scale = 65536 / kernel.divisor;
            row.err[t.dy][x + direction * t.dx] += err * (t.weight * scale);
        }
    }

    __attribute__((always_inline)) static inline int magnitude(Lanes v)
    {
        const Lanes a = v < 0 ? -v : v;
        return a[0] + a[1] + a[2];
    }
};

} // namespace

bool isErrorDiffusion(Dither code)
{
    return code == Dither::Binary || code == Dither::Odd || code == Dither::Even
           || code == Dither::Equal;
}

namespace {

// The error is carried in 32-bit lanes; SSE4.1 multiplies them in one
// instruction where the x86-64 baseline takes five. Integer arithmetic
// either way, so both give the same codes.
template <const auto &kernel, class Q>
void runBaseline(const QImage &source, QImage &target, Q &q, bool serpentine, RowProgress *progress)
{
    Diffusion<kernel>::run(source, target, q, serpentine, progress);
}

#if defined(__x86_64__) || defined(__i386__)
template <const auto &kernel, class Q>
__attribute__((target("sse4.1"))) void runSse41(const QImage &source, QImage &target, Q &q,
                                                 bool serpentine, RowProgress *progress)
{
    Diffusion<kernel>::run(source, target, q, serpentine, progress);
}
#endif

template <const auto &kernel, class Q>
void runBest(const QImage &source, QImage &target, Q &q, bool serpentine, RowProgress *progress)
{
#if defined(__x86_64__) || defined(__i386__)
    static const bool sse41 = __builtin_cpu_supports("sse4.1");
    if (sse41)
        return runSse41<kernel>(source, target, q, serpentine, progress);
#endif
    runBaseline<kernel>(source, target, q, serpentine, progress);
}

} // namespace

template <class Q>
void diffuseError(Dither code, const QImage &source, QImage &target, Q &q,
                  RowProgress *progress)
{
    switch (code) {
    case Dither::Binary:
        runBest<kFloydSteinberg>(source, target, q, false, progress);
        break;
    case Dither::Odd:
        runBest<kFloydSteinberg>(source, target, q, true, progress);
        break;
    case Dither::Even:
        runBest<kJarvisJudiceNinke>(source, target, q, false, progress);
        break;
    case Dither::Equal:
        runBest<kEqualShares>(source, target, q, false, progress);
        break;
    default:
        break;
    }
}

template void diffuseError(Dither, const QImage &, QImage &, PaletteQuantiser &, RowProgress *);
template void diffuseError(Dither, const QImage &, QImage &, Rgb555Quantiser &, RowProgress *);

} // namespace pictrove
