// The formats of today's phones, web pages and cameras: WebP through libwebp,
// HEIC, HEIF and AVIF through libheif, JPEG XL through libjxl, and camera raw
// files through FreeImage's RAW plugin (LibRaw).
#include "decoding/Decoders.h"

#include <FreeImage.h>
#include <jxl/decode.h>
#include <libheif/heif.h>
#include <webp/decode.h>
#include <webp/demux.h>

#include <QFile>

#include <algorithm>
#include <memory>
#include <optional>

namespace pictrove {

namespace {

// Whole files are read into memory; a picture file beyond this is not one
// the limits on pixels would let through anyway.
constexpr qint64 maxFileBytes = qint64(1) << 30;

std::optional<QByteArray> readWhole(const QString &path, QString &error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("the file cannot be opened");
        return std::nullopt;
    }
    if (file.size() > maxFileBytes) {
        error = QStringLiteral("the file is too large");
        return std::nullopt;
    }
    QByteArray bytes = file.readAll();
    if (bytes.size() != file.size()) {
        error = QStringLiteral("the file cannot be read");
        return std::nullopt;
    }
    return bytes;
}

bool tooLarge(std::int64_t width, std::int64_t height, const DecodeLimits &limits)
{
    return width <= 0 || height <= 0 || width * height > limits.maxPixels;
}

// Opaque pictures are handed over without an alpha channel, so that nothing
// downstream mixes a channel that says nothing.
LoadResult finished(QImage image, bool alpha, int depth)
{
    if (!alpha)
        image = image.convertToFormat(QImage::Format_RGB32);
    return loadedPicture(std::move(image), depth);
}

// ---- WebP ------------------------------------------------------------------

// libwebp's byte order whose words are QImage's ARGB32 on this machine.
constexpr WEBP_CSP_MODE webpMode = Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? MODE_BGRA : MODE_ARGB;

struct AnimDecoderDelete {
    void operator()(WebPAnimDecoder *d) const { WebPAnimDecoderDelete(d); }
};
using AnimDecoder = std::unique_ptr<WebPAnimDecoder, AnimDecoderDelete>;

QString webpFailure()
{
    return QStringLiteral("libwebp could not read the WebP picture");
}

} // namespace

LoadResult decodeWebP(const QString &path, const DecodeLimits &limits)
{
    QString error;
    const auto bytes = readWhole(path, error);
    if (!bytes)
        return loadFailure(error);
    const auto *data = reinterpret_cast<const uint8_t *>(bytes->constData());
    const auto size = std::size_t(bytes->size());
    WebPBitstreamFeatures features{};
    if (WebPGetFeatures(data, size, &features) != VP8_STATUS_OK)
        return loadFailure(QStringLiteral("the file is not a readable WebP picture"));
    if (tooLarge(features.width, features.height, limits))
        return loadFailure(QStringLiteral("the picture is too large"));
    const bool alpha = features.has_alpha != 0;
    const int depth = alpha ? 32 : 24;

    if (!features.has_animation) {
        QImage image(features.width, features.height, QImage::Format_ARGB32);
        if (image.isNull())
            return loadFailure(QStringLiteral("the picture is too large"));
        WebPDecoderConfig config;
        if (!WebPInitDecoderConfig(&config))
            return loadFailure(webpFailure());
        config.output.colorspace = webpMode;
        config.output.is_external_memory = 1;
        config.output.u.RGBA.rgba = image.bits();
        config.output.u.RGBA.stride = int(image.bytesPerLine());
        config.output.u.RGBA.size = std::size_t(image.sizeInBytes());
        const VP8StatusCode status = WebPDecode(data, size, &config);
        WebPFreeDecBuffer(&config.output);
        if (status != VP8_STATUS_OK)
            return loadFailure(webpFailure());
        return finished(std::move(image), alpha, depth);
    }

    // An animation: its first frame as shown, on the canvas it belongs on.
    WebPAnimDecoderOptions options;
    if (!WebPAnimDecoderOptionsInit(&options))
        return loadFailure(webpFailure());
    options.color_mode = webpMode;
    options.use_threads = 0;
    const WebPData webpData{data, size};
    const AnimDecoder decoder(WebPAnimDecoderNew(&webpData, &options));
    if (!decoder)
        return loadFailure(webpFailure());
    WebPAnimInfo info{};
    if (!WebPAnimDecoderGetInfo(decoder.get(), &info))
        return loadFailure(webpFailure());
    if (tooLarge(info.canvas_width, info.canvas_height, limits))
        return loadFailure(QStringLiteral("the picture is too large"));
    uint8_t *frame = nullptr;
    int timestamp = 0;
    if (!WebPAnimDecoderGetNext(decoder.get(), &frame, &timestamp) || !frame)
        return loadFailure(webpFailure());
    const int w = int(info.canvas_width), h = int(info.canvas_height);
    QImage image = QImage(frame, w, h, qsizetype(w) * 4, QImage::Format_ARGB32).copy();
    if (image.isNull())
        return loadFailure(QStringLiteral("the picture is too large"));
    return finished(std::move(image), alpha, depth);
}

// ---- HEIF and AVIF -----------------------------------------------------------
//
// AVIF goes through libheif like HEIC: both are the same container, whose
// size property, rotation and mirroring, alpha image and colour profile
// libheif reads once for both, and Debian's libheif decodes AV1 with dav1d
// or libaom already. libavif would be a second library for the same boxes.

namespace {

struct HeifContextFree {
    void operator()(heif_context *c) const { heif_context_free(c); }
};
struct HeifHandleRelease {
    void operator()(heif_image_handle *h) const { heif_image_handle_release(h); }
};
struct HeifImageRelease {
    void operator()(heif_image *i) const { heif_image_release(i); }
};
using HeifContext = std::unique_ptr<heif_context, HeifContextFree>;
using HeifHandle = std::unique_ptr<heif_image_handle, HeifHandleRelease>;
using HeifImage = std::unique_ptr<heif_image, HeifImageRelease>;

bool isAvif(const QByteArray &bytes, QStringView extension)
{
    const heif_brand2 brand = heif_read_main_brand(reinterpret_cast<const uint8_t *>(bytes.constData()),
                                                   int(std::min<qsizetype>(bytes.size(), 64)));
    if (brand == heif_fourcc('a', 'v', 'i', 'f') || brand == heif_fourcc('a', 'v', 'i', 's'))
        return true;
    if (brand != 0)
        return false;
    return extension.compare(u"avif", Qt::CaseInsensitive) == 0;
}

QString heifFailure(const QString &format, const heif_error &error)
{
    if (error.code == heif_error_Unsupported_feature
        && error.subcode == heif_suberror_Unsupported_codec)
        return QStringLiteral("no %1 decoder is installed for libheif").arg(format);
    QString text = QStringLiteral("libheif could not read the %1 picture").arg(format);
    if (error.message && *error.message)
        text += QStringLiteral(": ") + QString::fromUtf8(error.message);
    return text;
}

// 10- and 12-bit samples to 8 bits, to the nearest level.
inline uchar toEight(quint16 value, quint32 maximum)
{
    return uchar((quint32(value) * 255u + maximum / 2) / maximum);
}

} // namespace

LoadResult decodeHeif(const QString &path, QStringView extension, const DecodeLimits &limits)
{
    QString error;
    const auto bytes = readWhole(path, error);
    if (!bytes)
        return loadFailure(error);
    const bool avif = isAvif(*bytes, extension);
    const QString format = avif ? QStringLiteral("AVIF") : QStringLiteral("HEIC");
    const heif_compression_format codec = avif ? heif_compression_AV1 : heif_compression_HEVC;
    if (!heif_have_decoder_for_format(codec))
        return loadFailure(QStringLiteral("no %1 decoder is installed for libheif").arg(format));

    const HeifContext context(heif_context_alloc());
    if (!context)
        return loadFailure(QStringLiteral("libheif could not start"));
    heif_error status = heif_context_read_from_memory_without_copy(
        context.get(), bytes->constData(), std::size_t(bytes->size()), nullptr);
    if (status.code != heif_error_Ok)
        return loadFailure(heifFailure(format, status));
    heif_image_handle *primary = nullptr;
    status = heif_context_get_primary_image_handle(context.get(), &primary);
    const HeifHandle handle(primary);
    if (status.code != heif_error_Ok || !handle)
        return loadFailure(heifFailure(format, status));
    if (tooLarge(heif_image_handle_get_width(handle.get()), heif_image_handle_get_height(handle.get()),
                 limits))
        return loadFailure(QStringLiteral("the picture is too large"));

    const bool alpha = heif_image_handle_has_alpha_channel(handle.get()) != 0;
    const int bits = heif_image_handle_get_luma_bits_per_pixel(handle.get());
    const bool deep = bits > 8;
    const heif_chroma chroma = deep ? (alpha ? heif_chroma_interleaved_RRGGBBAA_LE
                                             : heif_chroma_interleaved_RRGGBB_LE)
                                    : (alpha ? heif_chroma_interleaved_RGBA
                                             : heif_chroma_interleaved_RGB);
    // Default options: the format's own rotation and mirroring are applied.
    heif_image *decodedRaw = nullptr;
    status = heif_decode_image(handle.get(), &decodedRaw, heif_colorspace_RGB, chroma, nullptr);
    const HeifImage decoded(decodedRaw);
    if (status.code != heif_error_Ok || !decoded)
        return loadFailure(heifFailure(format, status));

    const int w = heif_image_get_width(decoded.get(), heif_channel_interleaved);
    const int h = heif_image_get_height(decoded.get(), heif_channel_interleaved);
    int stride = 0;
    const uint8_t *plane = heif_image_get_plane_readonly(decoded.get(), heif_channel_interleaved, &stride);
    if (!plane || tooLarge(w, h, limits))
        return loadFailure(heifFailure(format, status));
    const int planeBits = deep ? heif_image_get_bits_per_pixel_range(decoded.get(), heif_channel_interleaved) : 8;
    if (deep && (planeBits <= 8 || planeBits > 16))
        return loadFailure(QStringLiteral("libheif handed over samples of an unknown depth"));
    const quint32 maximum = (1u << planeBits) - 1;
    QImage image(w, h, QImage::Format_ARGB32);
    if (image.isNull())
        return loadFailure(QStringLiteral("the picture is too large"));
    const int channels = alpha ? 4 : 3;
    for (int y = 0; y < h; ++y) {
        const uint8_t *row = plane + std::ptrdiff_t(y) * stride;
        auto *out = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < w; ++x) {
            uchar c[4] = {0, 0, 0, 255};
            for (int k = 0; k < channels; ++k) {
                if (deep) {
                    const uint8_t *s = row + (std::ptrdiff_t(x) * channels + k) * 2;
                    c[k] = toEight(quint16(s[0] | (s[1] << 8)), maximum);
                } else {
                    c[k] = row[std::ptrdiff_t(x) * channels + k];
                }
            }
            out[x] = qRgba(c[0], c[1], c[2], c[3]);
        }
    }

    LoadResult result = finished(std::move(image), alpha, bits * channels);
    const heif_color_profile_type profile = heif_image_handle_get_color_profile_type(handle.get());
    if (profile == heif_color_profile_type_rICC || profile == heif_color_profile_type_prof) {
        QByteArray icc(qsizetype(heif_image_handle_get_raw_color_profile_size(handle.get())), '\0');
        if (!icc.isEmpty()
            && heif_image_handle_get_raw_color_profile(handle.get(), icc.data()).code == heif_error_Ok)
            result.iccProfile = icc;
    }
    return result;
}

// ---- JPEG XL -----------------------------------------------------------------

namespace {

struct JxlDecoderDelete {
    void operator()(JxlDecoder *d) const { JxlDecoderDestroy(d); }
};
using JxlDecoderHandle = std::unique_ptr<JxlDecoder, JxlDecoderDelete>;

bool isPlainSrgb(const JxlColorEncoding &c)
{
    return c.color_space == JXL_COLOR_SPACE_RGB && c.white_point == JXL_WHITE_POINT_D65
        && c.primaries == JXL_PRIMARIES_SRGB && c.transfer_function == JXL_TRANSFER_FUNCTION_SRGB;
}

// The profile of the decoded pixels, unless it is plain sRGB (or grey with
// sRGB's curve), which needs no transform.
QByteArray jxlProfile(const JxlDecoder *decoder)
{
    JxlColorEncoding encoding{};
    if (JxlDecoderGetColorAsEncodedProfile(decoder, nullptr, JXL_COLOR_PROFILE_TARGET_DATA, &encoding)
            == JXL_DEC_SUCCESS
        && (isPlainSrgb(encoding)
            || (encoding.color_space == JXL_COLOR_SPACE_GRAY
                && encoding.transfer_function == JXL_TRANSFER_FUNCTION_SRGB)))
        return {};
    std::size_t size = 0;
    if (JxlDecoderGetICCProfileSize(decoder, nullptr, JXL_COLOR_PROFILE_TARGET_DATA, &size)
            != JXL_DEC_SUCCESS
        || size == 0 || size > (std::size_t(1) << 24))
        return {};
    QByteArray icc(qsizetype(size), '\0');
    if (JxlDecoderGetColorAsICCProfile(decoder, nullptr, JXL_COLOR_PROFILE_TARGET_DATA,
                                       reinterpret_cast<uint8_t *>(icc.data()), size)
        != JXL_DEC_SUCCESS)
        return {};
    return icc;
}

} // namespace

LoadResult decodeJpegXl(const QString &path, const DecodeLimits &limits)
{
    QString error;
    const auto bytes = readWhole(path, error);
    if (!bytes)
        return loadFailure(error);
    const JxlDecoderHandle decoder(JxlDecoderCreate(nullptr));
    if (!decoder)
        return loadFailure(QStringLiteral("libjxl could not start"));
    const QString failure = QStringLiteral("libjxl could not read the JPEG XL picture");
    if (JxlDecoderSubscribeEvents(decoder.get(),
                                  JXL_DEC_BASIC_INFO | JXL_DEC_COLOR_ENCODING | JXL_DEC_FULL_IMAGE)
        != JXL_DEC_SUCCESS)
        return loadFailure(failure);
    if (JxlDecoderSetInput(decoder.get(), reinterpret_cast<const uint8_t *>(bytes->constData()),
                           std::size_t(bytes->size()))
        != JXL_DEC_SUCCESS)
        return loadFailure(failure);
    JxlDecoderCloseInput(decoder.get());

    const JxlPixelFormat pixels{4, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};
    JxlBasicInfo info{};
    QImage image;
    QByteArray icc;
    for (;;) {
        const JxlDecoderStatus status = JxlDecoderProcessInput(decoder.get());
        switch (status) {
        case JXL_DEC_BASIC_INFO:
            if (JxlDecoderGetBasicInfo(decoder.get(), &info) != JXL_DEC_SUCCESS)
                return loadFailure(failure);
            if (tooLarge(info.xsize, info.ysize, limits))
                return loadFailure(QStringLiteral("the picture is too large"));
            break;
        case JXL_DEC_COLOR_ENCODING:
            icc = jxlProfile(decoder.get());
            break;
        case JXL_DEC_NEED_IMAGE_OUT_BUFFER: {
            std::size_t needed = 0;
            if (JxlDecoderImageOutBufferSize(decoder.get(), &pixels, &needed) != JXL_DEC_SUCCESS)
                return loadFailure(failure);
            image = QImage(int(info.xsize), int(info.ysize), QImage::Format_RGBA8888);
            if (image.isNull() || std::size_t(image.sizeInBytes()) != needed)
                return loadFailure(image.isNull() ? QStringLiteral("the picture is too large") : failure);
            if (JxlDecoderSetImageOutBuffer(decoder.get(), &pixels, image.bits(), needed)
                != JXL_DEC_SUCCESS)
                return loadFailure(failure);
            break;
        }
        case JXL_DEC_FULL_IMAGE: {
            // The first frame is the picture; an animation's others are left.
            const bool alpha = info.alpha_bits > 0;
            const int channels = info.num_color_channels == 1 ? 1 : 3;
            const int depth = int(info.bits_per_sample) * channels + int(info.alpha_bits);
            LoadResult result =
                finished(image.convertToFormat(QImage::Format_ARGB32), alpha, depth);
            result.iccProfile = icc;
            return result;
        }
        case JXL_DEC_SUCCESS:
        case JXL_DEC_NEED_MORE_INPUT:
            return loadFailure(QStringLiteral("the JPEG XL file ends before its picture does"));
        default:
            return loadFailure(failure);
        }
    }
}

// ---- Camera raw ----------------------------------------------------------------

LoadResult decodeRawPreview(const QString &path, const DecodeLimits &limits)
{
    // Without an embedded picture the plugin demosaics the whole one, as
    // conversion does; a small embedded one would show blurred.
    LoadResult preview = decodeWithFreeImage(path, FIF_RAW, RAW_PREVIEW, limits);
    if (preview.ok && std::max(preview.image.width(), preview.image.height()) >= rawPreviewMinimum)
        return preview;
    return decodeWithFreeImage(path, FIF_RAW, RAW_DISPLAY, limits);
}

} // namespace pictrove
