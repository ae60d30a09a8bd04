#include "engine/core/Resample.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <thread>
#include <vector>

namespace pictrove {

namespace {

// Weights in fixed point: 8-bit samples times weights whose absolute sum
// stays below 2 fit in 32 bits with 22 fraction bits.
constexpr int precisionBits = 22;
constexpr std::int32_t half = std::int32_t(1) << (precisionBits - 1);
// The row pass's weights (an error of at most a tenth of a level).
constexpr int shortBits = 14;

double sinc(double x)
{
    if (x == 0.0)
        return 1.0;
    x *= M_PI;
    return std::sin(x) / x;
}

double lanczos3(double x)
{
    return (x > -3.0 && x < 3.0) ? sinc(x) * sinc(x / 3.0) : 0.0;
}

// For each output position: the first input sample it reads and its
// weights, `stride` slots per position.
struct Taps {
    std::vector<int> first;
    std::vector<int> count;
    std::vector<std::int32_t> weights;      // 22 fraction bits
    std::vector<std::int16_t> shortWeights; // 14 fraction bits, for the row pass
    int stride = 0;
};

Taps tapsFor(int inSize, int outSize)
{
    const double scale = double(inSize) / double(outSize);
    const double filterScale = std::max(scale, 1.0);
    const double support = 3.0 * filterScale;
    Taps taps;
    taps.stride = int(std::ceil(support)) * 2 + 1;
    taps.first.resize(std::size_t(outSize));
    taps.count.resize(std::size_t(outSize));
    taps.weights.assign(std::size_t(outSize) * std::size_t(taps.stride), 0);
    taps.shortWeights.assign(std::size_t(outSize) * std::size_t(taps.stride), 0);
    std::vector<double> w(std::size_t(taps.stride));
    for (int o = 0; o < outSize; ++o) {
        const double centre = (o + 0.5) * scale;
        const int lo = std::max(0, int(std::floor(centre - support + 0.5)));
        const int hi = std::min(inSize, int(std::floor(centre + support + 0.5)));
        const int n = std::min(std::max(hi - lo, 1), taps.stride);
        double sum = 0.0;
        for (int i = 0; i < n; ++i) {
            w[std::size_t(i)] = lanczos3((lo + i - centre + 0.5) / filterScale);
            sum += w[std::size_t(i)];
        }
        std::int32_t *out = taps.weights.data() + std::size_t(o) * std::size_t(taps.stride);
        std::int16_t *shortOut = taps.shortWeights.data() + std::size_t(o) * std::size_t(taps.stride);
        if (sum == 0.0) { // cannot happen for a centred window; keep one sample anyway
            out[0] = std::int32_t(1) << precisionBits;
            shortOut[0] = std::int16_t(1 << shortBits);
        } else {
            // Rounded one by one, hundreds of weights of a large shrink
            // would no longer sum to one and would darken or lighten the
            // picture: the largest weight takes up what rounding left.
            std::int32_t total = 0, shortTotal = 0;
            int largest = 0;
            for (int i = 0; i < n; ++i) {
                const double weight = w[std::size_t(i)] / sum;
                out[i] = std::int32_t(std::lround(weight * double(1 << precisionBits)));
                shortOut[i] = std::int16_t(std::lround(weight * double(1 << shortBits)));
                total += out[i];
                shortTotal += shortOut[i];
                if (w[std::size_t(i)] > w[std::size_t(largest)])
                    largest = i;
            }
            out[largest] += (std::int32_t(1) << precisionBits) - total;
            shortOut[largest] = std::int16_t(shortOut[largest] + ((1 << shortBits) - shortTotal));
        }
        taps.first[std::size_t(o)] = std::min(lo, inSize - 1);
        taps.count[std::size_t(o)] = n;
    }
    return taps;
}

inline std::uint8_t clamp8(std::int32_t v)
{
    v >>= precisionBits;
    return std::uint8_t(v < 0 ? 0 : v > 255 ? 255 : v);
}

// Rows [from, to) of out: each a weighted sum of whole rows of in, with
// 14-bit weights so that the products fit 16-bit lanes and the inner loop,
// over every byte of a row with one weight, becomes vector code.

void verticalRows(const QImage &in, QImage &out, const Taps &taps, int from, int to)
{
    const std::size_t bytes = std::size_t(in.width()) * 4;
    std::vector<std::int32_t> acc(bytes);
    for (int y = from; y < to; ++y) {
        std::fill(acc.begin(), acc.end(), std::int32_t(1) << (shortBits - 1));
        const int first = taps.first[std::size_t(y)];
        const std::int16_t *k = taps.shortWeights.data() + std::size_t(y) * std::size_t(taps.stride);
        for (int t = 0; t < taps.count[std::size_t(y)]; ++t) {
            const std::uint8_t *row = in.constScanLine(first + t);
            const std::int16_t weight = k[t];
            std::int32_t *a = acc.data();
            for (std::size_t i = 0; i < bytes; ++i)
                a[i] += std::int32_t(std::int16_t(row[i]) * weight);
        }
        std::uint8_t *target = out.scanLine(y);
        for (std::size_t i = 0; i < bytes; ++i) {
            const std::int32_t v = acc[i] >> shortBits;
            target[i] = std::uint8_t(v < 0 ? 0 : v > 255 ? 255 : v);
        }
    }
}

// Rows [from, to) of out: each pixel a weighted sum of neighbouring pixels
// of the same row of in, four channels at once.
void horizontalRows(const QImage &in, QImage &out, const Taps &taps, int from, int to)
{
    const int width = out.width();
    for (int y = from; y < to; ++y) {
        const std::uint8_t *row = in.constScanLine(y);
        std::uint8_t *target = out.scanLine(y);
        for (int x = 0; x < width; ++x) {
            const std::uint8_t *p = row + std::size_t(taps.first[std::size_t(x)]) * 4;
            const std::int32_t *k = taps.weights.data() + std::size_t(x) * std::size_t(taps.stride);
            std::int32_t a0 = half, a1 = half, a2 = half, a3 = half;
            for (int t = 0; t < taps.count[std::size_t(x)]; ++t, p += 4) {
                const std::int32_t weight = k[t];
                a0 += std::int32_t(p[0]) * weight;
                a1 += std::int32_t(p[1]) * weight;
                a2 += std::int32_t(p[2]) * weight;
                a3 += std::int32_t(p[3]) * weight;
            }
            target[4 * x] = clamp8(a0);
            target[4 * x + 1] = clamp8(a1);
            target[4 * x + 2] = clamp8(a2);
            target[4 * x + 3] = clamp8(a3);
        }
    }
}

template <typename Work>
void splitRows(int rows, int threads, Work work)
{
    threads = std::clamp(threads, 1, std::max(1, rows / 16));
    if (threads == 1) {
        work(0, rows);
        return;
    }
    std::vector<std::thread> helpers;
    const int per = (rows + threads - 1) / threads;
    for (int i = 1; i < threads; ++i) {
        const int from = std::min(rows, i * per);
        const int to = std::min(rows, from + per);
        if (from < to)
            helpers.emplace_back([&work, from, to] { work(from, to); });
    }
    work(0, std::min(rows, per));
    for (std::thread &helper : helpers)
        helper.join();
}

// Ringing can push a premultiplied colour above its own alpha; such a
// pixel has no straight colour, and un-premultiplying would overflow.
void keepUnderAlpha(QImage &picture)
{
    for (int y = 0; y < picture.height(); ++y) {
        auto *px = reinterpret_cast<QRgb *>(picture.scanLine(y));
        for (int x = 0; x < picture.width(); ++x) {
            const QRgb p = px[x];
            const int a = qAlpha(p);
            px[x] = qRgba(std::min(qRed(p), a), std::min(qGreen(p), a), std::min(qBlue(p), a), a);
        }
    }
}

} // namespace

QImage resampleLanczos3(const QImage &picture, QSize target, int threads)
{
    if (picture.isNull() || target.isEmpty())
        return {};
    const bool alpha = picture.hasAlphaChannel();
    QImage in = picture.convertToFormat(alpha ? QImage::Format_ARGB32_Premultiplied
                                              : QImage::Format_RGB32);
    if (in.isNull())
        return {};
    if (threads <= 0)
        threads = int(std::max(1u, std::thread::hardware_concurrency()));
    // Threads cost more than they save on small pictures.
    if (std::int64_t(in.width()) * in.height() < 512 * 512)
        threads = 1;

    // Rows first: it runs on whole rows in vector code, so it is the pass
    // that should see the larger picture.
    if (target.height() != in.height()) {
        QImage out(in.width(), target.height(), in.format());
        if (out.isNull())
            return {};
        const Taps taps = tapsFor(in.height(), target.height());
        splitRows(out.height(), threads,
                  [&](int from, int to) { verticalRows(in, out, taps, from, to); });
        in = std::move(out);
    }
    if (target.width() != in.width()) {
        QImage out(target.width(), in.height(), in.format());
        if (out.isNull())
            return {};
        const Taps taps = tapsFor(in.width(), target.width());
        splitRows(out.height(), threads,
                  [&](int from, int to) { horizontalRows(in, out, taps, from, to); });
        in = std::move(out);
    }
    if (!alpha)
        return in; // Format_RGB32: the pad byte stayed 0xFF under weights that sum to one
    keepUnderAlpha(in);
    return in.convertToFormat(QImage::Format_ARGB32);
}

} // namespace pictrove
