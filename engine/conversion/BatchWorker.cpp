#include "engine/conversion/BatchWorker.h"

#include "engine/conversion/EncodePipeline.h"
#include "engine/conversion/StageClock.h"
#include "engine/conversion/StagedOutput.h"
#include "decoding/ImageExtensions.h"
#include "decoding/PictureLoader.h"

#include <QFileInfo>

namespace pictrove {

namespace {

QString inputOf(const ConversionContext &context, const QString &outputPath)
{
    return context.sourcePath.isEmpty() ? outputPath : context.sourcePath;
}

// The common frame of both batch encoders: a source to encode, the
// overwrite rule, a work file beside the target, the swap when complete.
template <typename Encode>
FileResult writeBatchFile(ConversionContext &context, const QString &outputPath,
                          std::uint8_t overwrite, Encode encode)
{
    if (context.source.isEmpty()) {
        return FileResult::failed(inputOf(context, outputPath), context.sourceError.isEmpty()
                                             ? QStringLiteral("there is no source picture")
                                             : context.sourceError);
    }
    const bool replace = overwrite != 0;
    if (!replace && QFileInfo::exists(outputPath))
        return FileResult::skipped(outputPath, QStringLiteral("a file of that name exists"));
    if (replace && StagedOutput::isReadOnly(outputPath))
        return FileResult::skipped(outputPath, StagedOutput::readOnlyReason());

    QString error;
    if (!resizeForEncoding(context, context.source, context.sourceFullSize, &error))
        return FileResult::failed(inputOf(context, outputPath), error);
    StagedOutput staged(outputPath);
    if (!staged.create(&error))
        return FileResult::failed(inputOf(context, outputPath), error);
    const EncodeOutcome outcome = encode(staged.workPath());
    if (!outcome.written) {
        // The writers name the file they were given; the user knows it by
        // its real name.
        QString reason = outcome.error;
        reason.replace(staged.workPath(), outputPath);
        return FileResult::failed(inputOf(context, outputPath), reason);
    }
    switch (staged.commit(replace, &error)) {
    case StagedOutput::Commit::Done: return FileResult::written(outputPath);
    case StagedOutput::Commit::TargetExists:
        return FileResult::skipped(outputPath, QStringLiteral("a file of that name exists"));
    case StagedOutput::Commit::ReadOnly: return FileResult::skipped(outputPath, error);
    case StagedOutput::Commit::Failed: break;
    }
    return FileResult::failed(inputOf(context, outputPath), error);
}

} // namespace

bool LoadBatchSource(ConversionContext &context, const QString &path)
{
    LoadResult loaded;
    {
        StageClock clock(context.stageTimes, StageTimes::Load);
        // The batch table reads "jpeg" like "jpg" and "wal" through DevIL.
        loaded = loadPicture(path, lowerExtensionOf(path), LoaderTable::Batch, nullptr, nullptr,
                             context.options.resize);
    }
    return AdoptBatchSource(context, path, loaded);
}

bool AdoptBatchSource(ConversionContext &context, const QString &path, const LoadResult &loaded)
{
    StageClock clock(context.stageTimes, StageTimes::Convert);
    context.sourcePath = path;
    context.sourceError.clear();
    context.sourceFullSize = loaded.fullSize;
    if (!loaded.ok || loaded.image.isNull()) {
        // Never leave the previous image to be written under this file's name.
        context.source.reset();
        context.sourceError = loaded.error.isEmpty() ? QStringLiteral("nothing could be loaded")
                                                     : loaded.error;
        return false;
    }
    context.source.setPicture(loaded.image, {loaded.exif, loaded.xmp});
    return true;
}

FileResult EncodeBatchImage(ConversionContext &context, const QString &outputPath,
                            std::uint8_t overwrite)
{
    return writeBatchFile(context, outputPath, overwrite, [&context](const QString &work) {
        if (context.options.settings.Web != WebFormat::None)
            return encodeWeb(context, context.source, work, false);
        return encodeWithPalette(context, context.source, work);
    });
}

FileResult EncodeBatchJpeg(ConversionContext &context, const QString &outputPath,
                           std::int32_t quality, std::uint8_t overwrite)
{
    return writeBatchFile(context, outputPath, overwrite, [&context, quality](const QString &work) {
        return encodeJpeg(context, context.source, work, quality);
    });
}

} // namespace pictrove
