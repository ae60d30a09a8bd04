#include "engine/core/WebCodecs.h"

#include <avif/avif.h>
#include <webp/decode.h>
#include <webp/encode.h>
#include <webp/mux.h>

#include <QThread>

#include <algorithm>
#include <memory>
#include <new>

namespace pictrove::web {

namespace {

// The handles of both libraries, each released by its own function.
struct WebpPictureDeleter {
    void operator()(WebPPicture *p) const
    {
        WebPPictureFree(p);
        delete p;
    }
};
struct WebpWriterDeleter {
    void operator()(WebPMemoryWriter *w) const
    {
        WebPMemoryWriterClear(w);
        delete w;
    }
};
struct WebpMuxDeleter {
    void operator()(WebPMux *m) const { WebPMuxDelete(m); }
};
struct WebpDataDeleter {
    void operator()(WebPData *d) const
    {
        WebPDataClear(d);
        delete d;
    }
};
struct AvifImageDeleter {
    void operator()(avifImage *i) const { avifImageDestroy(i); }
};
struct AvifEncoderDeleter {
    void operator()(avifEncoder *e) const { avifEncoderDestroy(e); }
};
struct AvifDecoderDeleter {
    void operator()(avifDecoder *d) const { avifDecoderDestroy(d); }
};
struct AvifDataDeleter {
    void operator()(avifRWData *d) const
    {
        avifRWDataFree(d);
        delete d;
    }
};

int processors() { return std::max(1, QThread::idealThreadCount()); }

const char *webpErrorText(WebPEncodingError error)
{
    switch (error) {
    case VP8_ENC_ERROR_OUT_OF_MEMORY:
    case VP8_ENC_ERROR_BITSTREAM_OUT_OF_MEMORY: return "not enough memory for the picture";
    case VP8_ENC_ERROR_BAD_DIMENSION: return "the picture is too large for a WebP file (16383 pixels a side at most)";
    case VP8_ENC_ERROR_PARTITION0_OVERFLOW:
    case VP8_ENC_ERROR_PARTITION_OVERFLOW: return "the picture is too large for a lossy WebP file";
    case VP8_ENC_ERROR_FILE_TOO_BIG: return "the WebP file would exceed 4 GiB";
    case VP8_ENC_ERROR_USER_ABORT: return "a newer encode was asked for";
    default: return "libwebp could not encode the picture";
    }
}

int continueEncoding(int, const WebPPicture *picture)
{
    const auto *abandoned = static_cast<const std::function<bool()> *>(picture->user_data);
    return abandoned && *abandoned && (*abandoned)() ? 0 : 1;
}

// The EXIF and XMP chunks added to a finished WebP file (an extended file
// header is made for them by the muxer).
QByteArray withWebpMetadata(const QByteArray &file, const PictureMetadata &metadata, QString *error)
{
    if (metadata.isEmpty())
        return file;
    const WebPData input{reinterpret_cast<const uint8_t *>(file.constData()), size_t(file.size())};
    std::unique_ptr<WebPMux, WebpMuxDeleter> mux(WebPMuxCreate(&input, 0));
    if (!mux) {
        *error = QStringLiteral("libwebp could not add the metadata");
        return {};
    }
    auto add = [&](const char *fourcc, const QByteArray &block) {
        if (block.isEmpty())
            return true;
        const WebPData chunk{reinterpret_cast<const uint8_t *>(block.constData()), size_t(block.size())};
        return WebPMuxSetChunk(mux.get(), fourcc, &chunk, 1) == WEBP_MUX_OK;
    };
    std::unique_ptr<WebPData, WebpDataDeleter> assembled(new WebPData);
    WebPDataInit(assembled.get());
    if (!add("EXIF", metadata.exif) || !add("XMP ", metadata.xmp)
        || WebPMuxAssemble(mux.get(), assembled.get()) != WEBP_MUX_OK) {
        *error = QStringLiteral("libwebp could not add the metadata");
        return {};
    }
    return QByteArray(reinterpret_cast<const char *>(assembled->bytes), qsizetype(assembled->size));
}

Encoded encodeWebp(const EncodeRequest &request)
{
    Encoded out;
    const bool lossless = request.codec == Codec::WebpLossless;
    const QImage &picture = request.picture;
    WebPConfig config;
    if (!WebPConfigPreset(&config, WEBP_PRESET_DEFAULT, lossless ? 75.0f : float(request.quality))) {
        out.error = QStringLiteral("libwebp does not match the version it was built against");
        return out;
    }
    config.lossless = lossless ? 1 : 0;
    config.method = WebpMethod;
    config.thread_level = processors() > 1 ? 1 : 0;
    if (!WebPValidateConfig(&config)) {
        out.error = QStringLiteral("libwebp refused the settings");
        return out;
    }

    std::unique_ptr<WebPPicture, WebpPictureDeleter> pic(new WebPPicture);
    if (!WebPPictureInit(pic.get())) {
        out.error = QStringLiteral("libwebp does not match the version it was built against");
        return out;
    }
    pic->use_argb = lossless ? 1 : 0;
    pic->width = picture.width();
    pic->height = picture.height();
    if (pic->width > WEBP_MAX_DIMENSION || pic->height > WEBP_MAX_DIMENSION) {
        out.error = QString::fromLatin1(webpErrorText(VP8_ENC_ERROR_BAD_DIMENSION));
        return out;
    }
    // QImage's 32-bit pixels are blue-green-red-alpha bytes on this machine.
    const auto *bits = picture.constBits();
    const int stride = int(picture.bytesPerLine());
    const int imported = request.keepAlpha ? WebPPictureImportBGRA(pic.get(), bits, stride)
                                           : WebPPictureImportBGRX(pic.get(), bits, stride);
    if (!imported) {
        out.error = QString::fromLatin1(webpErrorText(pic->error_code));
        return out;
    }
    std::unique_ptr<WebPMemoryWriter, WebpWriterDeleter> writer(new WebPMemoryWriter);
    WebPMemoryWriterInit(writer.get());
    pic->writer = WebPMemoryWrite;
    pic->custom_ptr = writer.get();
    pic->progress_hook = continueEncoding;
    pic->user_data = const_cast<std::function<bool()> *>(&request.abandoned);
    if (!WebPEncode(&config, pic.get())) {
        out.abandoned = pic->error_code == VP8_ENC_ERROR_USER_ABORT;
        out.error = QString::fromLatin1(webpErrorText(pic->error_code));
        return out;
    }
    const QByteArray file(reinterpret_cast<const char *>(writer->mem), qsizetype(writer->size));
    out.bytes = withWebpMetadata(file, request.metadata, &out.error);
    return out;
}

Encoded encodeAvif(const EncodeRequest &request)
{
    Encoded out;
    QString reason;
    if (!avifEncoderAvailable(&reason)) {
        out.error = reason;
        return out;
    }
    const QImage &picture = request.picture;
    std::unique_ptr<avifImage, AvifImageDeleter> image(
        avifImageCreate(uint32_t(picture.width()), uint32_t(picture.height()), 8, AVIF_PIXEL_FORMAT_YUV420));
    if (!image) {
        out.error = QStringLiteral("not enough memory for the picture");
        return out;
    }
    // sRGB pictures, full range, BT.601 coefficients: what browsers assume
    // for a file without a colour profile.
    image->colorPrimaries = AVIF_COLOR_PRIMARIES_BT709;
    image->transferCharacteristics = AVIF_TRANSFER_CHARACTERISTICS_SRGB;
    image->matrixCoefficients = AVIF_MATRIX_COEFFICIENTS_BT601;
    image->yuvRange = AVIF_RANGE_FULL;

    avifRGBImage rgb;
    avifRGBImageSetDefaults(&rgb, image.get());
    rgb.format = AVIF_RGB_FORMAT_BGRA;
    rgb.depth = 8;
    rgb.ignoreAlpha = request.keepAlpha ? AVIF_FALSE : AVIF_TRUE;
    rgb.pixels = const_cast<uint8_t *>(picture.constBits());
    rgb.rowBytes = uint32_t(picture.bytesPerLine());
    if (const avifResult r = avifImageRGBToYUV(image.get(), &rgb); r != AVIF_RESULT_OK) {
        out.error = QStringLiteral("libavif could not convert the picture: %1")
                        .arg(QString::fromUtf8(avifResultToString(r)));
        return out;
    }
    if (!request.metadata.exif.isEmpty())
        avifImageSetMetadataExif(image.get(), reinterpret_cast<const uint8_t *>(request.metadata.exif.constData()),
                                 size_t(request.metadata.exif.size()));
    if (!request.metadata.xmp.isEmpty())
        avifImageSetMetadataXMP(image.get(), reinterpret_cast<const uint8_t *>(request.metadata.xmp.constData()),
                                size_t(request.metadata.xmp.size()));

    std::unique_ptr<avifEncoder, AvifEncoderDeleter> encoder(avifEncoderCreate());
    if (!encoder) {
        out.error = QStringLiteral("not enough memory for the encoder");
        return out;
    }
    encoder->codecChoice = AVIF_CODEC_CHOICE_AOM;
    encoder->maxThreads = processors();
    encoder->speed = AvifSpeed;
    const int quantizer = avifQuantizer(request.quality);
    encoder->minQuantizer = quantizer;
    encoder->maxQuantizer = quantizer;
    // Edges stay exact: a lossless alpha plane costs little beside the colour.
    encoder->minQuantizerAlpha = AVIF_QUANTIZER_LOSSLESS;
    encoder->maxQuantizerAlpha = AVIF_QUANTIZER_LOSSLESS;
    // Two tile columns let AOM share a large picture between threads (a
    // 12-megapixel photo in 14% less time); a small one gains nothing and
    // would pay the tiles' few bytes.
    if (encoder->maxThreads > 1 && picture.width() >= 2048)
        encoder->tileColsLog2 = 1;

    std::unique_ptr<avifRWData, AvifDataDeleter> output(new avifRWData{nullptr, 0});
    if (request.abandoned && request.abandoned()) {
        out.abandoned = true;
        out.error = QStringLiteral("a newer encode was asked for");
        return out;
    }
    if (const avifResult r = avifEncoderWrite(encoder.get(), image.get(), output.get()); r != AVIF_RESULT_OK) {
        out.error = r == AVIF_RESULT_OUT_OF_MEMORY
            ? QStringLiteral("not enough memory for the picture")
            : QStringLiteral("libavif could not encode the picture: %1").arg(QString::fromUtf8(avifResultToString(r)));
        return out;
    }
    out.bytes = QByteArray(reinterpret_cast<const char *>(output->data), qsizetype(output->size));
    return out;
}

QImage decodeWebp(const QByteArray &bytes)
{
    WebPDecoderConfig config;
    if (!WebPInitDecoderConfig(&config))
        return {};
    const auto *data = reinterpret_cast<const uint8_t *>(bytes.constData());
    if (WebPGetFeatures(data, size_t(bytes.size()), &config.input) != VP8_STATUS_OK)
        return {};
    QImage image(config.input.width, config.input.height,
                 config.input.has_alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    if (image.isNull())
        return {};
    // The loop filter on a thread of its own: the shown result a little sooner.
    config.options.use_threads = processors() > 1 ? 1 : 0;
    config.output.colorspace = MODE_BGRA;
    config.output.is_external_memory = 1;
    config.output.u.RGBA.rgba = image.bits();
    config.output.u.RGBA.stride = int(image.bytesPerLine());
    config.output.u.RGBA.size = size_t(image.sizeInBytes());
    const VP8StatusCode status = WebPDecode(data, size_t(bytes.size()), &config);
    WebPFreeDecBuffer(&config.output); // external memory: frees nothing of ours
    return status == VP8_STATUS_OK ? image : QImage();
}

QImage decodeAvif(const QByteArray &bytes)
{
    std::unique_ptr<avifDecoder, AvifDecoderDeleter> decoder(avifDecoderCreate());
    std::unique_ptr<avifImage, AvifImageDeleter> image(avifImageCreateEmpty());
    if (!decoder || !image)
        return {};
    decoder->maxThreads = processors();
    if (avifDecoderReadMemory(decoder.get(), image.get(), reinterpret_cast<const uint8_t *>(bytes.constData()),
                              size_t(bytes.size()))
        != AVIF_RESULT_OK)
        return {};
    const bool alpha = image->alphaPlane != nullptr;
    QImage out(int(image->width), int(image->height), alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    if (out.isNull())
        return {};
    avifRGBImage rgb;
    avifRGBImageSetDefaults(&rgb, image.get());
    rgb.format = AVIF_RGB_FORMAT_BGRA;
    rgb.depth = 8;
    rgb.pixels = out.bits();
    rgb.rowBytes = uint32_t(out.bytesPerLine());
    if (avifImageYUVToRGB(image.get(), &rgb) != AVIF_RESULT_OK)
        return {};
    return out; // without an alpha plane libavif fills the fourth byte opaque
}

} // namespace

int avifQuantizer(int quality)
{
    const int q = std::clamp(quality, 1, 100);
    return ((100 - q) * 63 + 50) / 100;
}

bool avifEncoderAvailable(QString *reason)
{
    if (avifCodecName(AVIF_CODEC_CHOICE_AOM, AVIF_CODEC_FLAG_CAN_ENCODE))
        return true;
    if (reason)
        *reason = QStringLiteral("this libavif was built without its AOM encoder, so no AVIF file can be written");
    return false;
}

Encoded encode(const EncodeRequest &request)
{
    if (request.picture.isNull()) {
        Encoded out;
        out.error = QStringLiteral("there is no picture to encode");
        return out;
    }
    // Both libraries take blue-green-red-alpha bytes of straight alpha.
    EncodeRequest prepared = request;
    const QImage::Format wanted = request.keepAlpha ? QImage::Format_ARGB32 : QImage::Format_RGB32;
    if (prepared.picture.format() != wanted)
        prepared.picture = prepared.picture.convertToFormat(wanted);
    try {
        return request.codec == Codec::Avif ? encodeAvif(prepared) : encodeWebp(prepared);
    } catch (const std::bad_alloc &) {
        Encoded out;
        out.error = QStringLiteral("not enough memory for the picture");
        return out;
    }
}

QImage decodeOwn(Codec codec, const QByteArray &bytes)
{
    try {
        return codec == Codec::Avif ? decodeAvif(bytes) : decodeWebp(bytes);
    } catch (const std::bad_alloc &) {
        return {};
    }
}

} // namespace pictrove::web
