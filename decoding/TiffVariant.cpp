// TIFFs that both tables' libraries read wrongly: 12-bit samples (refused),
// 16-bit samples with alpha (alpha lost), an orientation other than the
// first (applied partly or not at all) and CIE L*a*b* colour (wrong
// colours). libtiff reads them here in their stored order; the orientation
// is applied after decoding, as for every other route (PhotoAdjust.h).
#include "decoding/VariantDecoders.h"

#include <QFile>

#include <tiffio.h>

#include <array>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <memory>
#include <vector>

namespace pictrove {

namespace {

thread_local QString lastTiffError;

void recordTiffError(const char *, const char *format, va_list arguments)
{
    std::array<char, 512> text{};
    std::vsnprintf(text.data(), text.size(), format, arguments);
    lastTiffError = QString::fromUtf8(text.data());
}

void ignoreTiffWarning(const char *, const char *, va_list) {}

struct TiffCloser {
    void operator()(TIFF *tiff) const noexcept
    {
        if (tiff)
            TIFFClose(tiff);
    }
};
using TiffHandle = std::unique_ptr<TIFF, TiffCloser>;

// Ends a TIFFRGBAImage that has begun, on every path.
struct RgbaImage {
    TIFFRGBAImage image{};
    bool begun = false;
    ~RgbaImage()
    {
        if (begun)
            TIFFRGBAImageEnd(&image);
    }
};

LoadResult damaged()
{
    return loadFailure(lastTiffError.isEmpty() ? QStringLiteral("the file is damaged")
                                               : QStringLiteral("the file is damaged: ") + lastTiffError);
}

LoadResult unsupported(const QString &what)
{
    return loadFailure(QStringLiteral("unsupported variant of this format: ") + what);
}

int to8(quint32 value, quint32 maximum) { return int((quint64(value) * 255 + maximum / 2) / maximum); }

// Pixels through libtiff's own conversion, in stored order. Its output is
// premultiplied.
std::optional<QImage> readThroughRgba(TIFF *tiff, quint32 width, quint32 height, QString &refusal)
{
    std::array<char, 1024> message{};
    RgbaImage rgba;
    if (!TIFFRGBAImageOK(tiff, message.data())) {
        refusal = QString::fromUtf8(message.data());
        return std::nullopt;
    }
    if (!TIFFRGBAImageBegin(&rgba.image, tiff, 0, message.data())) {
        lastTiffError = QString::fromUtf8(message.data());
        return std::nullopt;
    }
    rgba.begun = true;
    rgba.image.req_orientation = rgba.image.orientation;
    std::vector<quint32> raster(size_t(width) * height);
    if (!TIFFRGBAImageGet(&rgba.image, raster.data(), width, height))
        return std::nullopt;
    const bool alpha = rgba.image.alpha != 0;
    QImage out(int(width), int(height), alpha ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
    if (out.isNull())
        return std::nullopt;
    for (quint32 y = 0; y < height; ++y) {
        auto *line = reinterpret_cast<QRgb *>(out.scanLine(int(y)));
        const quint32 *src = raster.data() + size_t(y) * width;
        for (quint32 x = 0; x < width; ++x)
            line[x] = qRgba(int(TIFFGetR(src[x])), int(TIFFGetG(src[x])), int(TIFFGetB(src[x])),
                            alpha ? int(TIFFGetA(src[x])) : 255);
    }
    return out;
}

// CIE L*a*b* to sRGB, the white point the file names (D65 when it names
// none) adapted to sRGB's D65 by the Bradford method.
class LabToRgb {
public:
    explicit LabToRgb(TIFF *tiff)
    {
        float *white = nullptr;
        double x = 0.3127, y = 0.3290;
        if (TIFFGetField(tiff, TIFFTAG_WHITEPOINT, &white) && white && white[1] > 0.0f) {
            x = white[0];
            y = white[1];
        }
        const std::array<double, 3> source{x / y, 1.0, (1.0 - x - y) / y};
        m_white = source;
        const std::array<double, 3> d65{0.95047, 1.0, 1.08883};
        const auto cone = [](const std::array<double, 3> &v) {
            return std::array<double, 3>{0.8951 * v[0] + 0.2664 * v[1] - 0.1614 * v[2],
                                         -0.7502 * v[0] + 1.7135 * v[1] + 0.0367 * v[2],
                                         0.0389 * v[0] - 0.0685 * v[1] + 1.0296 * v[2]};
        };
        const auto s = cone(source), d = cone(d65);
        for (int i = 0; i < 3; ++i)
            m_scale[size_t(i)] = d[size_t(i)] / s[size_t(i)];
    }

    QRgb operator()(double L, double a, double b) const
    {
        const double fy = (L + 16.0) / 116.0, fx = fy + a / 500.0, fz = fy - b / 200.0;
        const auto inverse = [](double t) {
            return t > 6.0 / 29.0 ? t * t * t : 3.0 * (6.0 / 29.0) * (6.0 / 29.0) * (t - 4.0 / 29.0);
        };
        std::array<double, 3> xyz{m_white[0] * inverse(fx), m_white[1] * inverse(fy), m_white[2] * inverse(fz)};
        // Bradford: into cone responses, scaled to the new white, and back.
        const std::array<double, 3> c{0.8951 * xyz[0] + 0.2664 * xyz[1] - 0.1614 * xyz[2],
                                      -0.7502 * xyz[0] + 1.7135 * xyz[1] + 0.0367 * xyz[2],
                                      0.0389 * xyz[0] - 0.0685 * xyz[1] + 1.0296 * xyz[2]};
        const std::array<double, 3> k{c[0] * m_scale[0], c[1] * m_scale[1], c[2] * m_scale[2]};
        xyz = {0.9869929 * k[0] - 0.1470543 * k[1] + 0.1599627 * k[2],
               0.4323053 * k[0] + 0.5183603 * k[1] + 0.0492912 * k[2],
               -0.0085287 * k[0] + 0.0400428 * k[1] + 0.9684867 * k[2]};
        const double r = 3.2406 * xyz[0] - 1.5372 * xyz[1] - 0.4986 * xyz[2];
        const double g = -0.9689 * xyz[0] + 1.8758 * xyz[1] + 0.0415 * xyz[2];
        const double bl = 0.0557 * xyz[0] - 0.2040 * xyz[1] + 1.0570 * xyz[2];
        const auto encode = [](double v) {
            v = std::clamp(v, 0.0, 1.0);
            v = v <= 0.0031308 ? 12.92 * v : 1.055 * std::pow(v, 1.0 / 2.4) - 0.055;
            return int(std::lround(v * 255.0));
        };
        return qRgb(encode(r), encode(g), encode(bl));
    }

private:
    std::array<double, 3> m_white{};
    std::array<double, 3> m_scale{};
};

struct SampleLayout {
    quint16 bits = 8;
    quint16 samples = 1;
    quint16 photometric = PHOTOMETRIC_MINISBLACK;
    quint16 planar = PLANARCONFIG_CONTIG;
    int alphaSample = -1; // the extra sample that is alpha, if any
    bool associated = false;
};

// One sample of a row as libtiff hands it over: bytes, native 16-bit
// words, or 12-bit samples packed from the high bit down.
quint32 sampleAt(const std::vector<quint8> &row, quint16 bits, size_t index)
{
    switch (bits) {
    case 8:
        return row[index];
    case 16: {
        quint16 v = 0;
        std::memcpy(&v, row.data() + index * 2, 2);
        return v;
    }
    default: {
        const size_t bit = index * 12, at = bit / 8;
        return bit % 8 == 0 ? quint32(row[at]) << 4 | row[at + 1] >> 4
                            : quint32(row[at] & 0x0F) << 8 | row[at + 1];
    }
    }
}

// Samples read row by row and scaled by their own depth: the layouts
// libtiff's conversion refuses (12 bits) or gets wrong (L*a*b*).
std::optional<QImage> readSamples(TIFF *tiff, quint32 width, quint32 height, const SampleLayout &s,
                                  QString &refusal)
{
    const bool lab = s.photometric == PHOTOMETRIC_CIELAB || s.photometric == PHOTOMETRIC_ICCLAB;
    const bool colour = lab || s.photometric == PHOTOMETRIC_RGB;
    const int colourSamples = colour ? 3 : 1;
    if (TIFFIsTiled(tiff) || (s.bits != 8 && s.bits != 12 && s.bits != 16) || s.samples < colourSamples
        || (lab && s.bits == 12)
        || (!colour && s.photometric != PHOTOMETRIC_MINISBLACK && s.photometric != PHOTOMETRIC_MINISWHITE)) {
        refusal = QStringLiteral("%1-bit samples, photometric %2%3")
                      .arg(s.bits).arg(s.photometric).arg(TIFFIsTiled(tiff) ? QStringLiteral(", tiled") : QString());
        return std::nullopt;
    }
    const bool separate = s.planar == PLANARCONFIG_SEPARATE && s.samples > 1;
    const tmsize_t rowBytes = TIFFScanlineSize(tiff);
    const size_t perRow = separate ? 1 : s.samples;
    if (rowBytes <= 0 || quint64(rowBytes) * 8 < quint64(width) * perRow * s.bits)
        return std::nullopt;
    const int planes = separate ? s.samples : 1;
    std::vector<std::vector<quint8>> rows(size_t(planes), std::vector<quint8>(size_t(rowBytes) + 2, 0));
    const quint32 maximum = (1u << s.bits) - 1;
    const bool alpha = s.alphaSample >= 0 && s.alphaSample < s.samples;
    QImage out(int(width), int(height), !alpha ? QImage::Format_RGB32
                                        : s.associated ? QImage::Format_ARGB32_Premultiplied
                                                       : QImage::Format_ARGB32);
    if (out.isNull())
        return std::nullopt;
    const LabToRgb labToRgb(tiff);
    for (quint32 y = 0; y < height; ++y) {
        for (int p = 0; p < planes; ++p)
            if (TIFFReadScanline(tiff, rows[size_t(p)].data(), y, quint16(p)) < 0)
                return std::nullopt;
        const auto sample = [&](quint32 x, int k) {
            return separate ? sampleAt(rows[size_t(k)], s.bits, x) : sampleAt(rows[0], s.bits, size_t(x) * s.samples + size_t(k));
        };
        auto *line = reinterpret_cast<QRgb *>(out.scanLine(int(y)));
        for (quint32 x = 0; x < width; ++x) {
            const int a = alpha ? to8(sample(x, s.alphaSample), maximum) : 255;
            QRgb c;
            if (lab) {
                // Lightness from 0 to 100 over the full range; a* and b*
                // signed (CIELab) or offset by half the range (ICCLab).
                const double L = sample(x, 0) * 100.0 / maximum;
                const double scale = s.bits == 16 ? 256.0 : 1.0;
                const auto chroma = [&](int k) {
                    const quint32 v = sample(x, k);
                    if (s.photometric == PHOTOMETRIC_ICCLAB)
                        return (double(v) - (maximum + 1) / 2.0) / scale;
                    return (s.bits == 16 ? double(qint16(v)) : double(qint8(v))) / scale;
                };
                c = labToRgb(L, chroma(1), chroma(2));
            } else if (colour) {
                c = qRgb(to8(sample(x, 0), maximum), to8(sample(x, 1), maximum), to8(sample(x, 2), maximum));
            } else {
                int v = to8(sample(x, 0), maximum);
                if (s.photometric == PHOTOMETRIC_MINISWHITE)
                    v = 255 - v;
                c = qRgb(v, v, v);
            }
            line[x] = (c & 0xFFFFFFu) | (quint32(a) << 24);
        }
    }
    return out;
}

} // namespace

std::optional<LoadResult> decodeTiffVariant(const QString &path, const DecodeLimits &limits)
{
    static const bool quiet = [] {
        TIFFSetErrorHandler(recordTiffError);
        TIFFSetWarningHandler(ignoreTiffWarning);
        return true;
    }();
    (void)quiet;
    lastTiffError.clear();
    // Not even a header libtiff knows: the table's library says why.
    TiffHandle tiff(TIFFOpen(QFile::encodeName(path).constData(), "r"));
    if (!tiff)
        return std::nullopt;
    quint32 width = 0, height = 0;
    SampleLayout s;
    quint16 orientation = ORIENTATION_TOPLEFT, extraCount = 0;
    quint16 *extras = nullptr;
    if (!TIFFGetField(tiff.get(), TIFFTAG_IMAGEWIDTH, &width) || !TIFFGetField(tiff.get(), TIFFTAG_IMAGELENGTH, &height)
        || !TIFFGetField(tiff.get(), TIFFTAG_PHOTOMETRIC, &s.photometric))
        return std::nullopt;
    TIFFGetFieldDefaulted(tiff.get(), TIFFTAG_BITSPERSAMPLE, &s.bits);
    TIFFGetFieldDefaulted(tiff.get(), TIFFTAG_SAMPLESPERPIXEL, &s.samples);
    TIFFGetFieldDefaulted(tiff.get(), TIFFTAG_PLANARCONFIG, &s.planar);
    TIFFGetFieldDefaulted(tiff.get(), TIFFTAG_ORIENTATION, &orientation);
    TIFFGetFieldDefaulted(tiff.get(), TIFFTAG_EXTRASAMPLES, &extraCount, &extras);
    const bool lab = s.photometric == PHOTOMETRIC_CIELAB || s.photometric == PHOTOMETRIC_ICCLAB
        || s.photometric == PHOTOMETRIC_ITULAB;
    const bool turned = orientation >= 2 && orientation <= 8;
    if (s.bits != 12 && !lab && !(s.bits == 16 && extraCount > 0) && !turned)
        return std::nullopt;
    if (width == 0 || height == 0)
        return damaged();
    if (std::int64_t(width) * height > limits.maxPixels)
        return loadFailure(QStringLiteral("the picture is too large"));
    if (extraCount > 0 && extras && (extras[0] == EXTRASAMPLE_ASSOCALPHA || extras[0] == EXTRASAMPLE_UNASSALPHA)) {
        s.alphaSample = s.samples - extraCount;
        s.associated = extras[0] == EXTRASAMPLE_ASSOCALPHA;
    }

    QString refusal;
    const std::optional<QImage> stored = s.bits == 12 || (lab && s.photometric != PHOTOMETRIC_ITULAB)
        ? readSamples(tiff.get(), width, height, s, refusal)
        : readThroughRgba(tiff.get(), width, height, refusal);
    if (!stored)
        return refusal.isEmpty() ? damaged() : unsupported(refusal);
    const bool alpha = stored->hasAlphaChannel();
    LoadResult result;
    result.ok = true;
    result.image = stored->convertToFormat(alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    if (result.image.isNull())
        return loadFailure(QStringLiteral("not enough memory for the picture"));
    const bool grey = s.photometric == PHOTOMETRIC_MINISBLACK || s.photometric == PHOTOMETRIC_MINISWHITE;
    result.depth = alpha ? 32 : grey ? 8 : 24;
    return result;
}

} // namespace pictrove
