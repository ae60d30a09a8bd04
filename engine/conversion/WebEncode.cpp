#include "engine/conversion/EncodePipeline.h"

#include "engine/catalogue/FormatCatalogue.h"
#include "engine/conversion/StageClock.h"
#include "engine/core/WebCodecs.h"
#include "engine/palette/PaletteEncoder.h"
#include "metadata/FileMetadata.h"
#include "platform/WriteFailure.h"

#include <QSaveFile>

namespace pictrove {

namespace {

web::Codec codecOf(WebFormat format)
{
    switch (format) {
    case WebFormat::WebpLossless: return web::Codec::WebpLossless;
    case WebFormat::Avif: return web::Codec::Avif;
    default: return web::Codec::WebpLossy;
    }
}

// The picture as the options turn it, still with its alpha.
QImage prepared(const QImage &source, const EncodingOptions &options)
{
    QImage picture = source;
    const bool flipH = has(options.transform, Transform::FlipHorizontal);
    const bool flipV = has(options.transform, Transform::FlipVertical);
    if (flipH || flipV)
        picture = picture.mirrored(flipH, flipV);
    if (has(options.transform, Transform::Invert))
        picture.invertPixels(QImage::InvertRgb);
    if (options.settings.ColorMode == ColourMode::Greyscale)
        makeGrey(picture);
    return picture;
}

bool writeWhole(const QByteArray &bytes, const QString &path)
{
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.flush()
        && file.commit())
        return true;
    noteWriteFailure();
    return false;
}

} // namespace

EncodeOutcome encodeWeb(ConversionContext &context, const PictureSurface &picture,
                        const QString &path, bool forView)
{
    EncodeOutcome out;
    StageClock clock(context.stageTimes, StageTimes::Web);
    const OutputSettings &settings = context.options.settings;
    const web::Codec codec = codecOf(settings.Web);
    out.typeText = codec == web::Codec::Avif ? QStringLiteral("AVIF") : QStringLiteral("WEBP");
    if (picture.isEmpty()) {
        out.error = QStringLiteral("there is no picture to encode");
        return out;
    }
    const bool alpha = !picture.transparent().isNull();
    out.depthText = webDepthText(alpha);

    web::EncodeRequest request;
    request.codec = codec;
    request.keepAlpha = alpha;
    request.quality = settings.WebQuality > 0 ? settings.WebQuality
                      : codec == web::Codec::Avif ? DefaultAvifQuality
                                                  : DefaultWebpQuality;
    request.abandoned = context.hooks.abandoned;
    try {
        request.picture = prepared(picture.picture(), context.options);
    } catch (const std::bad_alloc &) {
        out.error = QStringLiteral("not enough memory for the picture");
        return out;
    }
    if (request.picture.isNull()) {
        out.error = QStringLiteral("not enough memory for the picture");
        return out;
    }
    if (context.options.keepMetadata && !picture.metadata().isEmpty())
        request.metadata = filemetadata::forWriting(picture.metadata(), request.picture.size());

    const web::Encoded encoded = web::encode(request);
    if (encoded.abandoned || (context.hooks.abandoned && context.hooks.abandoned())) {
        out.abandoned = true;
        out.error = QStringLiteral("a newer encode was asked for");
        return out;
    }
    if (encoded.bytes.isEmpty()) {
        out.error = encoded.error;
        return out;
    }
    if (!writeWhole(encoded.bytes, path)) {
        const QString reason = takeWriteFailure();
        out.error = QStringLiteral("could not write the %1 file").arg(out.typeText)
                    + (reason.isEmpty() ? QString() : QStringLiteral(" (") + reason + u')');
        return out;
    }
    out.written = true;
    if (forView) {
        // A lossless file holds exactly the prepared picture.
        out.written8 = codec == web::Codec::WebpLossless ? request.picture
                                                         : web::decodeOwn(codec, encoded.bytes);
    }
    return out;
}

} // namespace pictrove
