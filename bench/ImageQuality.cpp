#include "ImageQuality.h"

#include <cmath>
#include <limits>
#include <vector>

namespace pictrove::bench {

namespace {
std::vector<float> luma(const QImage &image)
{
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    std::vector<float> out(size_t(rgb.width()) * size_t(rgb.height()));
    for (int y = 0; y < rgb.height(); ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(rgb.constScanLine(y));
        for (int x = 0; x < rgb.width(); ++x)
            out[size_t(y) * size_t(rgb.width()) + size_t(x)] =
                0.299f * float(qRed(line[x])) + 0.587f * float(qGreen(line[x])) + 0.114f * float(qBlue(line[x]));
    }
    return out;
}
} // namespace

double psnr(const QImage &reference, const QImage &test)
{
    if (reference.size() != test.size() || reference.isNull())
        return 0;
    const QImage a = reference.convertToFormat(QImage::Format_RGB32);
    const QImage b = test.convertToFormat(QImage::Format_RGB32);
    double sum = 0;
    for (int y = 0; y < a.height(); ++y) {
        const auto *p = reinterpret_cast<const QRgb *>(a.constScanLine(y));
        const auto *q = reinterpret_cast<const QRgb *>(b.constScanLine(y));
        for (int x = 0; x < a.width(); ++x) {
            const int dr = qRed(p[x]) - qRed(q[x]), dg = qGreen(p[x]) - qGreen(q[x]),
                      db = qBlue(p[x]) - qBlue(q[x]);
            sum += double(dr * dr + dg * dg + db * db);
        }
    }
    const double mse = sum / (3.0 * a.width() * a.height());
    return mse == 0 ? std::numeric_limits<double>::infinity() : 10 * std::log10(255.0 * 255.0 / mse);
}

double ssim(const QImage &reference, const QImage &test)
{
    if (reference.size() != test.size() || reference.width() < 8 || reference.height() < 8)
        return 0;
    const int width = reference.width(), height = reference.height();
    const std::vector<float> a = luma(reference), b = luma(test);
    constexpr double c1 = (0.01 * 255) * (0.01 * 255), c2 = (0.03 * 255) * (0.03 * 255);
    double total = 0;
    long windows = 0;
    for (int y = 0; y + 8 <= height; y += 4)
        for (int x = 0; x + 8 <= width; x += 4) {
            double sa = 0, sb = 0, saa = 0, sbb = 0, sab = 0;
            for (int j = 0; j < 8; ++j) {
                const size_t row = size_t(y + j) * size_t(width) + size_t(x);
                for (int i = 0; i < 8; ++i) {
                    const double p = a[row + size_t(i)], q = b[row + size_t(i)];
                    sa += p; sb += q; saa += p * p; sbb += q * q; sab += p * q;
                }
            }
            const double n = 64, ma = sa / n, mb = sb / n;
            const double va = saa / n - ma * ma, vb = sbb / n - mb * mb, cov = sab / n - ma * mb;
            total += ((2 * ma * mb + c1) * (2 * cov + c2)) / ((ma * ma + mb * mb + c1) * (va + vb + c2));
            ++windows;
        }
    return windows ? total / double(windows) : 0;
}

} // namespace pictrove::bench
