#include "decoding/ColourProfile.h"

#include <lcms2.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <mutex>
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

bool sameAsSrgb(cmsHPROFILE profile)
{
    if (cmsGetColorSpace(profile) == cmsSigGrayData) {
        // A grey profile whose curve is sRGB's changes nothing either.
        const auto *curve = static_cast<const cmsToneCurve *>(cmsReadTag(profile, cmsSigGrayTRCTag));
        if (!curve || cmsIsTag(profile, cmsSigAToB0Tag))
            return false;
        for (int i = 0; i <= 32; ++i) {
            const double v = i / 32.0;
            if (std::abs(cmsEvalToneCurveFloat(curve, cmsFloat32Number(v)) - srgbToLinear(v)) > curveTolerance)
                return false;
        }
        return true;
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
        for (int i = 0; i <= 32; ++i) {
            const double v = i / 32.0;
            if (std::abs(cmsEvalToneCurveFloat(curve, cmsFloat32Number(v)) - srgbToLinear(v)) > curveTolerance)
                return false;
        }
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
    case ProfileInput::Bgra:
        made->m_transform = cmsCreateTransform(profile.get(), TYPE_BGRA_8, srgb.get(), TYPE_BGRA_8,
                                               INTENT_PERCEPTUAL, flags | cmsFLAGS_COPY_ALPHA);
        break;
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
