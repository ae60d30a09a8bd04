#include "engine/conversion/PreviewEncoder.h"

#include "engine/conversion/EncodePipeline.h"
#include "platform/SizeText.h"
#include "engine/conversion/StageClock.h"
#include "engine/conversion/StagedOutput.h"
#include "engine/core/FreeImageBridge.h"
#include "decoding/FreeImageHandles.h"

#include <QFile>
#include <QFileInfo>
#include <QImageReader>

#include <tiffio.h>

#include <mutex>

namespace pictrove {

namespace {

// FreeImage reads a TIFF's Exif directory by asking libtiff for every tag
// it knows, and libtiff tells stderr about each one that directory lacks:
// dozens of lines for every TIFF shown with its photo's details. In this
// process libtiff only ever reads and writes our own files, through
// FreeImage, which reports failures itself.
void quietLibTiff()
{
    static std::once_flag once;
    std::call_once(once, [] {
        TIFFSetErrorHandler(nullptr);
        TIFFSetWarningHandler(nullptr);
    });
}

// Our own freshly written file, read back in this process for display by the
// reader its format calls for, unless the encoder kept the picture the file
// holds exactly. The PCX drawing made before writing stays.
void showWrittenFile(PictureSurface &view, const EncodeOutcome &outcome, const QString &path)
{
    const QByteArray nativePath = QFile::encodeName(path);
    auto drawWithFreeImage = [&](FREE_IMAGE_FORMAT format, int flags) {
        bridge::FreeImageScope freeImage;
        FiBitmap dib(FreeImage_Load(format, nativePath.constData(), flags));
        if (!dib)
            return;
        view.reset(); // nothing of the previous picture needs keeping
        view.resize(QSize(int(FreeImage_GetWidth(dib.get())), int(FreeImage_GetHeight(dib.get()))));
        bridge::FreeImage_RenderDIB(dib.get(), view, 0, 0, -1, -1);
    };
    if (!outcome.written8.isNull()) {
        view.setPicture(outcome.written8);
    } else if (outcome.typeText == QLatin1String("PNG")) {
        drawWithFreeImage(FIF_PNG, 0);
    } else if (outcome.typeText == QLatin1String("TGA")) {
        drawWithFreeImage(FIF_TARGA, 1);
    } else if (outcome.typeText == QLatin1String("TIF")) {
        quietLibTiff();
        drawWithFreeImage(FIF_TIFF, 0);
    } else if (outcome.typeText != QLatin1String("PCX")) {
        QImageReader reader(path); // by content: GIF, BMP, JPEG
        reader.setAutoTransform(false);
        const QImage picture = reader.read();
        if (!picture.isNull())
            view.setPicture(picture);
    }
}

// The common frame of both preview encoders: keep 0 clears the path first,
// the file is built beside it and swapped in whole, then shown and measured.
template <typename Encode>
PreviewResult writePreviewFile(ConversionContext &context, const QString &path, std::int16_t keep,
                               bool jpeg, Encode encode)
{
    PreviewResult result;
    if (keep == 0 && QFileInfo::exists(path))
        QFile::remove(path);
    // Checked before the work as well as at the swap: an encode of a large
    // picture is not spent on a file that will not be replaced.
    if (StagedOutput::isReadOnly(path)) {
        result.file = FileResult::failed(path, StagedOutput::readOnlyReason());
        return result;
    }

    QString error;
    if (!resizeForEncoding(context, context.original, {}, &error)) {
        result.file = FileResult::failed(path, error);
        return result;
    }
    if (context.hooks.abandoned && context.hooks.abandoned()) {
        result.abandoned = true;
        result.file = FileResult::failed(path, QStringLiteral("a newer encode was asked for"));
        return result;
    }
    StagedOutput staged(path);
    if (!staged.create(&error)) {
        result.file = FileResult::failed(path, error);
        return result;
    }
    const EncodeOutcome outcome = encode(staged.workPath());
    result.status = outcome.status;
    result.abandoned = outcome.abandoned;
    if (!outcome.written) {
        result.file = FileResult::failed(path, outcome.error);
        return result;
    }
    if (staged.commit(true, &error) != StagedOutput::Commit::Done) {
        result.file = FileResult::failed(path, error);
        return result;
    }
    result.file = FileResult::written(path);
    {
        StageClock clock(context.stageTimes, StageTimes::Show);
        showWrittenFile(context.optimized, outcome, path);
    }
    PreviewLabels labels;
    labels.bytes = QFileInfo(path).size();
    labels.FileType4 = outcome.typeText;
    labels.FileSize4 = kilobyteText(labels.bytes, jpeg);
    labels.Depth4 = outcome.depthText;
    labels.Resolution4 = QStringLiteral("%1 x %2").arg(context.optimized.width()).arg(context.optimized.height());
    result.labels = labels;
    return result;
}

} // namespace

PreviewResult EncodePreview(ConversionContext &context, const QString &path, std::int16_t keep)
{
    return writePreviewFile(context, path, keep, false, [&context](const QString &work) {
        if (context.options.settings.Web != WebFormat::None)
            return encodeWeb(context, context.original, work, true);
        return encodeWithPalette(context, context.original, work);
    });
}

PreviewResult EncodePreviewJpeg(ConversionContext &context, const QString &path,
                                std::int32_t quality, std::int16_t keep)
{
    return writePreviewFile(context, path, keep, true, [&context, quality](const QString &work) {
        return encodeJpeg(context, context.original, work, quality);
    });
}

} // namespace pictrove
