#include "TestProfiles.h"

#include <lcms2.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

namespace pictrove::test {

namespace {

struct ProfileCloser {
    void operator()(void *p) const noexcept { cmsCloseProfile(p); }
};
using Profile = std::unique_ptr<void, ProfileCloser>;

struct TransformDeleter {
    void operator()(void *t) const noexcept { cmsDeleteTransform(t); }
};
using Transform = std::unique_ptr<void, TransformDeleter>;

struct PipelineDeleter {
    void operator()(cmsPipeline *p) const noexcept { cmsPipelineFree(p); }
};
using Pipeline = std::unique_ptr<cmsPipeline, PipelineDeleter>;

struct CurveDeleter {
    void operator()(cmsToneCurve *c) const noexcept { cmsFreeToneCurve(c); }
};
using Curve = std::unique_ptr<cmsToneCurve, CurveDeleter>;

struct MluDeleter {
    void operator()(cmsMLU *m) const noexcept { cmsMLUfree(m); }
};

QByteArray saved(cmsHPROFILE profile)
{
    cmsUInt32Number size = 0;
    if (!profile || !cmsSaveProfileToMem(profile, nullptr, &size) || size == 0)
        return {};
    QByteArray bytes(qsizetype(size), '\0');
    if (!cmsSaveProfileToMem(profile, bytes.data(), &size))
        return {};
    return bytes;
}

void describe(cmsHPROFILE profile, const char *description)
{
    std::unique_ptr<cmsMLU, MluDeleter> text(cmsMLUalloc(nullptr, 1));
    cmsMLUsetASCII(text.get(), "en", "US", description);
    cmsWriteTag(profile, cmsSigProfileDescriptionTag, text.get());
}

QByteArray rgbProfile(const cmsCIExyYTRIPLE &primaries, cmsToneCurve *curve, const char *description)
{
    cmsCIExyY d65{};
    cmsWhitePointFromTemp(&d65, 6504);
    cmsToneCurve *curves[3] = {curve, curve, curve};
    const Profile profile(cmsCreateRGBProfile(&d65, &primaries, curves));
    describe(profile.get(), description);
    return saved(profile.get());
}

// The sRGB-to-L*a*b* and back conversions the CMYK tables are sampled from.
struct NaivePress {
    Transform toLab;
    Transform fromLab;
    NaivePress()
    {
        const Profile srgb(cmsCreate_sRGBProfile());
        const Profile lab(cmsCreateLab4Profile(nullptr));
        toLab.reset(cmsCreateTransform(srgb.get(), TYPE_RGB_DBL, lab.get(), TYPE_Lab_DBL,
                                       INTENT_RELATIVE_COLORIMETRIC, cmsFLAGS_NOCACHE));
        fromLab.reset(cmsCreateTransform(lab.get(), TYPE_Lab_DBL, srgb.get(), TYPE_RGB_DBL,
                                         INTENT_RELATIVE_COLORIMETRIC, cmsFLAGS_NOCACHE));
    }
};

int cmykToLab(const cmsUInt16Number in[], cmsUInt16Number out[], void *cargo)
{
    const auto *press = static_cast<const NaivePress *>(cargo);
    // Inks that are not quite pure, and dot gain: far enough from the
    // libraries' own profile-less conversion to tell the two apart.
    const double c = in[0] / 65535.0, m = in[1] / 65535.0, y = in[2] / 65535.0, k = in[3] / 65535.0;
    const double paper = 1.0 - k;
    std::array<double, 3> rgb{std::pow(1.0 - c, 1.3) * paper, (1.0 - m) * (1.0 - 0.15 * c) * paper,
                              (1.0 - y) * (1.0 - 0.2 * m) * paper};
    cmsCIELab lab{};
    cmsDoTransform(press->toLab.get(), rgb.data(), &lab, 1);
    cmsFloat2LabEncoded(out, &lab);
    return 1;
}

int labToCmyk(const cmsUInt16Number in[], cmsUInt16Number out[], void *cargo)
{
    const auto *press = static_cast<const NaivePress *>(cargo);
    cmsCIELab lab{};
    cmsLabEncoded2Float(&lab, in);
    std::array<double, 3> rgb{};
    cmsDoTransform(press->fromLab.get(), &lab, rgb.data(), 1);
    for (double &v : rgb)
        v = std::clamp(v, 0.0, 1.0);
    const double k = 1.0 - std::max({rgb[0], rgb[1], rgb[2]});
    for (int i = 0; i < 3; ++i)
        out[i] = cmsUInt16Number(k >= 1.0 ? 0 : (1.0 - rgb[size_t(i)] - k) / (1.0 - k) * 65535.0 + 0.5);
    out[3] = cmsUInt16Number(k * 65535.0 + 0.5);
    return 1;
}

Pipeline sampledTable(int inputs, int outputs, cmsSAMPLER16 sampler, NaivePress &press)
{
    Pipeline pipeline(cmsPipelineAlloc(nullptr, cmsUInt32Number(inputs), cmsUInt32Number(outputs)));
    cmsStage *table = cmsStageAllocCLut16bit(nullptr, 9, cmsUInt32Number(inputs), cmsUInt32Number(outputs), nullptr);
    cmsStageSampleCLut16bit(table, sampler, &press, 0);
    // Version 4 tables are written with curves on both sides of the grid.
    cmsPipelineInsertStage(pipeline.get(), cmsAT_END, cmsStageAllocToneCurves(nullptr, cmsUInt32Number(inputs), nullptr));
    cmsPipelineInsertStage(pipeline.get(), cmsAT_END, table);
    cmsPipelineInsertStage(pipeline.get(), cmsAT_END, cmsStageAllocToneCurves(nullptr, cmsUInt32Number(outputs), nullptr));
    return pipeline;
}

QImage transformed(const QImage &picture, const QByteArray &icc, cmsUInt32Number inputType,
                   const std::function<void(const QRgb *, uchar *, int)> &gather)
{
    const Profile source(cmsOpenProfileFromMem(icc.constData(), cmsUInt32Number(icc.size())));
    const Profile srgb(cmsCreate_sRGBProfile());
    const Transform transform(cmsCreateTransform(source.get(), inputType, srgb.get(), TYPE_RGB_8,
                                                 INTENT_PERCEPTUAL, cmsFLAGS_BLACKPOINTCOMPENSATION));
    if (!transform)
        return {};
    QImage out(picture.size(), QImage::Format_RGB32);
    std::vector<uchar> in(size_t(picture.width()) * 4), rgb(size_t(picture.width()) * 3);
    for (int y = 0; y < picture.height(); ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(picture.constScanLine(y));
        gather(line, in.data(), picture.width());
        cmsDoTransform(transform.get(), in.data(), rgb.data(), cmsUInt32Number(picture.width()));
        auto *outLine = reinterpret_cast<QRgb *>(out.scanLine(y));
        for (int x = 0; x < picture.width(); ++x)
            outLine[x] = qRgb(rgb[size_t(3 * x)], rgb[size_t(3 * x + 1)], rgb[size_t(3 * x + 2)]);
    }
    return out;
}

} // namespace

QByteArray adobeRgbLikeProfile()
{
    const cmsCIExyYTRIPLE primaries{{0.64, 0.33, 1.0}, {0.21, 0.71, 1.0}, {0.15, 0.06, 1.0}};
    const Curve gamma(cmsBuildGamma(nullptr, 563.0 / 256.0));
    return rgbProfile(primaries, gamma.get(), "Adobe RGB (1998) compatible");
}

QByteArray displayP3Profile()
{
    const cmsCIExyYTRIPLE primaries{{0.680, 0.320, 1.0}, {0.265, 0.690, 1.0}, {0.150, 0.060, 1.0}};
    const cmsFloat64Number srgbCurve[5] = {2.4, 1.0 / 1.055, 0.055 / 1.055, 1.0 / 12.92, 0.04045};
    const Curve curve(cmsBuildParametricToneCurve(nullptr, 4, srgbCurve));
    return rgbProfile(primaries, curve.get(), "Display P3");
}

QByteArray srgbProfile()
{
    const Profile profile(cmsCreate_sRGBProfile());
    return saved(profile.get());
}

QByteArray greyProfile(double gamma)
{
    const Curve curve(cmsBuildGamma(nullptr, gamma));
    const Profile profile(cmsCreateGrayProfile(cmsD50_xyY(), curve.get()));
    describe(profile.get(), "Grey");
    return saved(profile.get());
}

QByteArray cmykProfile()
{
    NaivePress press;
    const Profile profile(cmsCreateProfilePlaceholder(nullptr));
    cmsSetProfileVersion(profile.get(), 4.3);
    cmsSetDeviceClass(profile.get(), cmsSigOutputClass);
    cmsSetColorSpace(profile.get(), cmsSigCmykData);
    cmsSetPCS(profile.get(), cmsSigLabData);
    cmsSetHeaderRenderingIntent(profile.get(), INTENT_PERCEPTUAL);
    describe(profile.get(), "Made-up press CMYK");
    cmsWriteTag(profile.get(), cmsSigMediaWhitePointTag, cmsD50_XYZ());
    const Pipeline toLab = sampledTable(4, 3, cmykToLab, press);
    const Pipeline fromLab = sampledTable(3, 4, labToCmyk, press);
    for (cmsTagSignature tag : {cmsSigAToB0Tag, cmsSigAToB1Tag})
        cmsWriteTag(profile.get(), tag, toLab.get());
    for (cmsTagSignature tag : {cmsSigBToA0Tag, cmsSigBToA1Tag})
        cmsWriteTag(profile.get(), tag, fromLab.get());
    return saved(profile.get());
}

QImage lcmsToSrgb(const QImage &picture, const QByteArray &icc, bool grey)
{
    const QImage rgb = picture.convertToFormat(QImage::Format_RGB32);
    if (grey)
        return transformed(rgb, icc, TYPE_GRAY_8, [](const QRgb *line, uchar *in, int width) {
            for (int x = 0; x < width; ++x)
                in[x] = uchar(qBlue(line[x]));
        });
    return transformed(rgb, icc, TYPE_RGB_8, [](const QRgb *line, uchar *in, int width) {
        for (int x = 0; x < width; ++x) {
            in[3 * x] = uchar(qRed(line[x]));
            in[3 * x + 1] = uchar(qGreen(line[x]));
            in[3 * x + 2] = uchar(qBlue(line[x]));
        }
    });
}

QImage lcmsCmykToSrgb(const QByteArray &cmyk, int width, int height, const QByteArray &icc)
{
    if (cmyk.size() != qsizetype(width) * height * 4)
        return {};
    // The samples ride in a 32-bit picture only to share the row loop.
    QImage carrier(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        std::memcpy(carrier.scanLine(y), cmyk.constData() + qsizetype(y) * width * 4, size_t(width) * 4);
    return transformed(carrier, icc, TYPE_CMYK_8, [](const QRgb *line, uchar *in, int w) {
        std::memcpy(in, line, size_t(w) * 4);
    });
}

} // namespace pictrove::test
