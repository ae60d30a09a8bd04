#include "decoding/ColourProfile.h"

#include <lcms2.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <mutex>
#include <optional>
#include <thread>

namespace pictrove {

namespace {

struct ProfileCloser {
    void operator()(void *profile) const noexcept { cmsCloseProfile(profile); }
};
using Profile = std::unique_ptr<void, ProfileCloser>;

struct TransformDeleter {
    void operator()(void *transform) const noexcept { cmsDeleteTransform(transform); }
};
using Transform = std::unique_ptr<void, TransformDeleter>;

// Little CMS reports a profile it cannot use through its return values; its
// words would only reach a terminal nobody reads.
void quietLcms()
{
    static std::once_flag once;
    std::call_once(once, [] {
        cmsSetLogErrorHandler([](cmsContext, cmsUInt32Number, const char *) {});
    });
}

Profile openProfile(const QByteArray &icc)
{
    quietLcms();
    if (icc.size() < 132) // a header and a tag count
        return Profile(nullptr);
    return Profile(cmsOpenProfileFromMem(icc.constData(), cmsUInt32Number(icc.size())));
}

double srgbToLinear(double v)
{
    return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
}

bool describedAsSrgb(cmsHPROFILE profile)
{
    std::array<char, 256> text{};
    if (cmsGetProfileInfoASCII(profile, cmsInfoDescription, "en", "US", text.data(),
                               cmsUInt32Number(text.size())) == 0)
        return false;
    const QByteArray description(text.data());
    return description.startsWith("sRGB") && !description.contains("inear");
}

// sRGB's colorants as Little CMS's own sRGB profile states them (adapted to
// D50), and how far another writer's rounding may be from them.
constexpr std::array<cmsCIEXYZ, 3> srgbColorants{{{0.4360747, 0.2225045, 0.0139322},
                                                  {0.3850649, 0.7168786, 0.0971045},
                                                  {0.1430804, 0.0606169, 0.7141733}}};
constexpr double colorantTolerance = 0.003;
constexpr double curveTolerance = 0.6 / 255.0;

bool isSrgbCurve(const cmsToneCurve *curve)
{
    for (int i = 0; i <= 32; ++i) {
        const double v = i / 32.0;
        if (std::abs(cmsEvalToneCurveFloat(curve, cmsFloat32Number(v)) - srgbToLinear(v)) > curveTolerance)
            return false;
    }
    return true;
}

bool sameAsSrgb(cmsHPROFILE profile)
{
    if (cmsGetColorSpace(profile) == cmsSigGrayData) {
        // A grey profile whose curve is sRGB's changes nothing either.
        const auto *curve = static_cast<const cmsToneCurve *>(cmsReadTag(profile, cmsSigGrayTRCTag));
        return curve && !cmsIsTag(profile, cmsSigAToB0Tag) && isSrgbCurve(curve);
    }
    if (cmsGetColorSpace(profile) != cmsSigRgbData)
        return false;
    // A table profile is used through its table, which says nothing simple;
    // its name is all there is to go by.
    if (cmsIsTag(profile, cmsSigAToB0Tag))
        return describedAsSrgb(profile);
    const cmsTagSignature colorants[] = {cmsSigRedColorantTag, cmsSigGreenColorantTag, cmsSigBlueColorantTag};
    const cmsTagSignature curves[] = {cmsSigRedTRCTag, cmsSigGreenTRCTag, cmsSigBlueTRCTag};
    for (int c = 0; c < 3; ++c) {
        const auto *xyz = static_cast<const cmsCIEXYZ *>(cmsReadTag(profile, colorants[c]));
        const auto *curve = static_cast<const cmsToneCurve *>(cmsReadTag(profile, curves[c]));
        if (!xyz || !curve)
            return false;
        const cmsCIEXYZ &want = srgbColorants[size_t(c)];
        if (std::abs(xyz->X - want.X) > colorantTolerance || std::abs(xyz->Y - want.Y) > colorantTolerance
            || std::abs(xyz->Z - want.Z) > colorantTolerance)
            return false;
        if (!isSrgbCurve(curve))
            return false;
    }
    return true;
}

// Rows [0, height) cut into `threads` bands, each handed to work(first, count)
// on a thread of its own (the first on this one).
template <typename Work>
void inBands(int height, int threads, const Work &work)
{
    threads = std::clamp(threads, 1, std::max(1, height));
    if (threads == 1) {
        work(0, height);
        return;
    }
    std::vector<std::thread> helpers;
    const int band = (height + threads - 1) / threads;
    for (int t = 1; t < threads; ++t) {
        const int first = t * band;
        const int count = std::min(band, height - first);
        if (count > 0)
            helpers.emplace_back([&work, first, count] { work(first, count); });
    }
    work(0, std::min(band, height));
    for (std::thread &helper : helpers)
        helper.join();
}

// Below this many pixels a second thread costs more than it saves.
constexpr qint64 pixelsForThreads = 256 * 1024;

int threadsFor(const QImage &image, int threads)
{
    return qint64(image.width()) * image.height() < pixelsForThreads ? 1 : threads;
}

struct CacheEntry {
    QByteArray icc;
    ProfileInput input;
    SrgbTransform::Found found;
};

std::mutex cacheMutex;
std::vector<CacheEntry> cache; // newest last
constexpr size_t cacheEntries = 8;

} // namespace

// A matrix profile into sRGB is three sums of three products between curves:
// each channel through its tone curve to linear light, the matrix from the
// profile's primaries to sRGB's, sRGB's curve back. Little CMS does the
// same in 1.14 fixed point behind a call per pixel; the tables here do it
// without the calls, and are used only when they give what Little CMS
// gives (within 1) on colours from every corner of the cube.
struct SrgbTransform::MatrixTables {
    static constexpr int one = 1 << 14;
    std::array<std::array<std::int32_t, 256>, 3> linear{}; // per channel, 0 to one
    std::array<std::int32_t, 9> matrix{};                  // rows of sRGB red, green, blue; one = 1.0
    std::vector<quint8> encode;                            // linear 0 to one, to 8-bit sRGB

    QRgb convert(QRgb c) const
    {
        const std::int32_t r = linear[0][size_t(qRed(c))], g = linear[1][size_t(qGreen(c))],
                           b = linear[2][size_t(qBlue(c))];
        const auto channel = [&](int row) {
            const std::int32_t v = (matrix[size_t(3 * row)] * r + matrix[size_t(3 * row + 1)] * g
                                    + matrix[size_t(3 * row + 2)] * b + one / 2) >> 14;
            return std::uint32_t(encode[size_t(std::clamp(v, 0, one))]);
        };
        return (c & 0xFF000000u) | channel(0) << 16 | channel(1) << 8 | channel(2);
    }
};

namespace {

using MatrixTables = SrgbTransform::MatrixTables;

using Matrix3 = std::array<double, 9>;

// The colorants as columns: linear RGB to XYZ (D50).
std::optional<Matrix3> colorantMatrix(cmsHPROFILE profile)
{
    const cmsTagSignature tags[] = {cmsSigRedColorantTag, cmsSigGreenColorantTag, cmsSigBlueColorantTag};
    Matrix3 m{};
    for (int c = 0; c < 3; ++c) {
        const auto *xyz = static_cast<const cmsCIEXYZ *>(cmsReadTag(profile, tags[c]));
        if (!xyz)
            return std::nullopt;
        m[size_t(c)] = xyz->X;
        m[size_t(3 + c)] = xyz->Y;
        m[size_t(6 + c)] = xyz->Z;
    }
    return m;
}

std::optional<Matrix3> inverse(const Matrix3 &m)
{
    const double det = m[0] * (m[4] * m[8] - m[5] * m[7]) - m[1] * (m[3] * m[8] - m[5] * m[6])
        + m[2] * (m[3] * m[7] - m[4] * m[6]);
    if (std::abs(det) < 1e-9)
        return std::nullopt;
    const double d = 1.0 / det;
    return Matrix3{(m[4] * m[8] - m[5] * m[7]) * d, (m[2] * m[7] - m[1] * m[8]) * d, (m[1] * m[5] - m[2] * m[4]) * d,
                   (m[5] * m[6] - m[3] * m[8]) * d, (m[0] * m[8] - m[2] * m[6]) * d, (m[2] * m[3] - m[0] * m[5]) * d,
                   (m[3] * m[7] - m[4] * m[6]) * d, (m[1] * m[6] - m[0] * m[7]) * d, (m[0] * m[4] - m[1] * m[3]) * d};
}

Matrix3 product(const Matrix3 &a, const Matrix3 &b)
{
    Matrix3 m{};
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            for (int k = 0; k < 3; ++k)
                m[size_t(3 * r + c)] += a[size_t(3 * r + k)] * b[size_t(3 * k + c)];
    return m;
}

// Colours from every corner and edge of the cube, dense near black where
// the curves are steepest, and every level of each channel alone.
std::vector<quint8> probeColours()
{
    static constexpr std::array<int, 19> levels{0, 1, 2, 3, 4, 6, 8, 12, 16, 24, 32, 48, 64, 96, 128, 160, 192, 224, 255};
    std::vector<quint8> rgb;
    for (int r : levels)
        for (int g : levels)
            for (int b : levels)
                rgb.insert(rgb.end(), {quint8(r), quint8(g), quint8(b)});
    for (int v = 0; v < 256; ++v)
        for (const std::array<int, 3> &c : {std::array{v, 0, 0}, std::array{0, v, 0}, std::array{0, 0, v},
                                            std::array{v, v, v}})
            rgb.insert(rgb.end(), {quint8(c[0]), quint8(c[1]), quint8(c[2])});
    return rgb;
}

// Tables for a matrix profile, or nothing when the profile is not one or the
// tables would not give what the transform gives.
std::unique_ptr<const MatrixTables> matrixTables(cmsHPROFILE profile, cmsHPROFILE srgb, cmsHTRANSFORM transform)
{
    // A profile with tables is used through them for the perceptual intent.
    if (!cmsIsMatrixShaper(profile) || cmsIsTag(profile, cmsSigAToB0Tag) || cmsIsTag(profile, cmsSigDToB0Tag))
        return nullptr;
    const auto source = colorantMatrix(profile);
    const auto target = colorantMatrix(srgb);
    const auto toTarget = target ? inverse(*target) : std::nullopt;
    if (!source || !toTarget)
        return nullptr;
    const Matrix3 m = product(*toTarget, *source);
    auto tables = std::make_unique<MatrixTables>();
    constexpr int one = MatrixTables::one;
    // Products and their sums must stay within 32 bits.
    double reach = 0;
    for (int row = 0; row < 3; ++row) {
        double sum = 0;
        for (int c = 0; c < 3; ++c)
            sum += std::abs(m[size_t(3 * row + c)]);
        reach = std::max(reach, sum);
    }
    if (reach * one * one >= double(1u << 31) - 1)
        return nullptr;
    for (size_t i = 0; i < 9; ++i)
        tables->matrix[i] = std::int32_t(std::lround(m[i] * one));
    const cmsTagSignature curves[] = {cmsSigRedTRCTag, cmsSigGreenTRCTag, cmsSigBlueTRCTag};
    for (int c = 0; c < 3; ++c) {
        const auto *curve = static_cast<const cmsToneCurve *>(cmsReadTag(profile, curves[c]));
        if (!curve)
            return nullptr;
        for (int v = 0; v < 256; ++v) {
            const double linear = cmsEvalToneCurveFloat(curve, cmsFloat32Number(v / 255.0));
            tables->linear[size_t(c)][size_t(v)] = std::int32_t(std::lround(std::clamp(linear, 0.0, 1.0) * one));
        }
    }
    tables->encode.resize(one + 1);
    for (int i = 0; i <= one; ++i) {
        const double v = double(i) / one;
        const double encoded = v <= 0.0031308 ? 12.92 * v : 1.055 * std::pow(v, 1.0 / 2.4) - 0.055;
        tables->encode[size_t(i)] = quint8(std::lround(std::clamp(encoded, 0.0, 1.0) * 255.0));
    }
    // What Little CMS makes of the probes is what the tables must make.
    const std::vector<quint8> probes = probeColours();
    const size_t count = probes.size() / 3;
    std::vector<quint8> expected(probes.size());
    cmsDoTransform(transform, probes.data(), expected.data(), cmsUInt32Number(count));
    for (size_t i = 0; i < count; ++i) {
        const QRgb got = tables->convert(qRgb(probes[3 * i], probes[3 * i + 1], probes[3 * i + 2]));
        if (std::abs(qRed(got) - expected[3 * i]) > 1 || std::abs(qGreen(got) - expected[3 * i + 1]) > 1
            || std::abs(qBlue(got) - expected[3 * i + 2]) > 1)
            return nullptr;
    }
    return tables;
}

} // namespace

SrgbTransform::~SrgbTransform()
{
    if (m_transform)
        cmsDeleteTransform(m_transform);
}

int SrgbTransform::defaultThreads()
{
    return int(std::clamp(std::thread::hardware_concurrency(), 1u, 2u));
}

SrgbTransform::Found SrgbTransform::build(const QByteArray &icc, ProfileInput input)
{
    const Profile profile = openProfile(icc);
    if (!profile)
        return {Verdict::Damaged, nullptr};
    const cmsColorSpaceSignature space = cmsGetColorSpace(profile.get());
    const cmsColorSpaceSignature wanted = input == ProfileInput::Bgra ? cmsSigRgbData
        : input == ProfileInput::Grey                               ? cmsSigGrayData
                                                                    : cmsSigCmykData;
    if (space != wanted)
        return {Verdict::Unusable, nullptr};
    if (input != ProfileInput::Cmyk && sameAsSrgb(profile.get()))
        return {Verdict::AlreadySrgb, nullptr};

    const Profile srgb(cmsCreate_sRGBProfile());
    if (!srgb)
        return {Verdict::Unusable, nullptr};
    const cmsUInt32Number flags = cmsFLAGS_BLACKPOINTCOMPENSATION;
    std::shared_ptr<SrgbTransform> made(new SrgbTransform);
    made->m_input = input;
    switch (input) {
    case ProfileInput::Bgra: {
        // In place, the fourth byte (alpha) is left as it was.
        made->m_transform = cmsCreateTransform(profile.get(), TYPE_BGRA_8, srgb.get(), TYPE_BGRA_8,
                                               INTENT_PERCEPTUAL, flags);
        const Transform probe(cmsCreateTransform(profile.get(), TYPE_RGB_8, srgb.get(), TYPE_RGB_8,
                                                 INTENT_PERCEPTUAL, flags));
        if (made->m_transform && probe)
            made->m_matrix = matrixTables(profile.get(), srgb.get(), probe.get());
        break;
    }
    case ProfileInput::Cmyk:
        made->m_transform = cmsCreateTransform(profile.get(), TYPE_CMYK_8, srgb.get(), TYPE_BGRA_8,
                                               INTENT_PERCEPTUAL, flags);
        break;
    case ProfileInput::Grey: {
        // 256 grey levels are all there are: a table, and no transform kept.
        const Transform grey(cmsCreateTransform(profile.get(), TYPE_GRAY_8, srgb.get(), TYPE_RGB_8,
                                                INTENT_PERCEPTUAL, flags));
        if (!grey)
            return {Verdict::Unusable, nullptr};
        std::array<quint8, 256> levels{};
        std::array<quint8, 256 * 3> colours{};
        for (int i = 0; i < 256; ++i)
            levels[size_t(i)] = quint8(i);
        cmsDoTransform(grey.get(), levels.data(), colours.data(), 256);
        made->m_greyTable.resize(256);
        for (size_t i = 0; i < 256; ++i)
            made->m_greyTable[i] = qRgb(colours[3 * i], colours[3 * i + 1], colours[3 * i + 2]);
        return {Verdict::Ready, made};
    }
    }
    if (!made->m_transform)
        return {Verdict::Unusable, nullptr};
    return {Verdict::Ready, made};
}

SrgbTransform::Found SrgbTransform::forProfile(const QByteArray &icc, ProfileInput input)
{
    {
        const std::lock_guard lock(cacheMutex);
        const auto hit = std::find_if(cache.begin(), cache.end(), [&](const CacheEntry &e) {
            return e.input == input && e.icc == icc;
        });
        if (hit != cache.end()) {
            std::rotate(hit, hit + 1, cache.end());
            return cache.back().found;
        }
    }
    Found found = build(icc, input);
    const std::lock_guard lock(cacheMutex);
    if (cache.size() >= cacheEntries)
        cache.erase(cache.begin());
    cache.push_back({icc, input, found});
    return found;
}

void SrgbTransform::clearCache()
{
    const std::lock_guard lock(cacheMutex);
    cache.clear();
}

void SrgbTransform::apply(QImage &image, int threads) const
{
    Q_ASSERT(image.format() == QImage::Format_RGB32 || image.format() == QImage::Format_ARGB32);
    const int width = image.width();
    const qsizetype stride = image.bytesPerLine();
    uchar *bits = image.bits();
    if (m_input == ProfileInput::Grey) {
        const std::uint32_t *table = m_greyTable.data();
        inBands(image.height(), threadsFor(image, threads), [&](int first, int count) {
            for (int y = first; y < first + count; ++y) {
                auto *px = reinterpret_cast<QRgb *>(bits + stride * y);
                for (int x = 0; x < width; ++x) {
                    const QRgb c = px[x];
                    px[x] = (c & 0xFF000000u) | (table[qRed(c)] & 0x00FF0000u)
                        | (table[qGreen(c)] & 0x0000FF00u) | (table[qBlue(c)] & 0x000000FFu);
                }
            }
        });
        return;
    }
    if (m_input != ProfileInput::Bgra)
        return;
    if (const MatrixTables *tables = m_matrix.get()) {
        inBands(image.height(), threadsFor(image, threads), [&](int first, int count) {
            for (int y = first; y < first + count; ++y) {
                auto *px = reinterpret_cast<QRgb *>(bits + stride * y);
                for (int x = 0; x < width; ++x)
                    px[x] = tables->convert(px[x]);
            }
        });
        return;
    }
    inBands(image.height(), threadsFor(image, threads), [&](int first, int count) {
        uchar *rows = bits + stride * first;
        cmsDoTransformLineStride(m_transform, rows, rows, cmsUInt32Number(width), cmsUInt32Number(count),
                                 cmsUInt32Number(stride), cmsUInt32Number(stride), 0, 0);
    });
}

QImage SrgbTransform::applyCmyk(const uchar *samples, qsizetype stride, int width, int height,
                                int threads) const
{
    if (m_input != ProfileInput::Cmyk)
        return {};
    QImage out(width, height, QImage::Format_RGB32);
    if (out.isNull())
        return {};
    const qsizetype outStride = out.bytesPerLine();
    uchar *bits = out.bits();
    inBands(height, threadsFor(out, threads), [&](int first, int count) {
        uchar *rows = bits + outStride * first;
        cmsDoTransformLineStride(m_transform, samples + stride * first, rows, cmsUInt32Number(width),
                                 cmsUInt32Number(count), cmsUInt32Number(stride),
                                 cmsUInt32Number(outStride), 0, 0);
        // The transform leaves the fourth byte alone.
        for (int y = 0; y < count; ++y) {
            auto *px = reinterpret_cast<QRgb *>(rows + outStride * y);
            for (int x = 0; x < width; ++x)
                px[x] |= 0xFF000000u;
        }
    });
    return out;
}

bool isSrgbProfile(const QByteArray &icc)
{
    const Profile profile = openProfile(icc);
    return profile && sameAsSrgb(profile.get());
}

} // namespace pictrove
