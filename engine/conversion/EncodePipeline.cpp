#include "engine/conversion/EncodePipeline.h"

#include "engine/conversion/StageClock.h"
#include "platform/WriteFailure.h"
#include "engine/core/FreeImageBridge.h"
#include "decoding/FreeImageHandles.h"
#include "engine/core/FreeImageSave.h"
#include "engine/core/JpegWriter.h"
#include "engine/core/PcxWriter.h"
#include "engine/core/PngWriter.h"
#include "engine/core/Resample.h"
#include "engine/palette/PaletteCodes.h"
#include "engine/palette/PaletteEncoder.h"
#include "metadata/FileMetadata.h"

#include <QFile>

#include <cstring>
#include <utility>

namespace pictrove {

namespace {

// A stage boundary: a preview nobody waits for any more ends here.
bool abandonedAt(const ConversionContext &context, EncodeOutcome &out)
{
    if (!context.hooks.abandoned || !context.hooks.abandoned())
        return false;
    out.abandoned = true;
    out.error = QStringLiteral("a newer encode was asked for");
    return true;
}

// reason: what the failing library already said in words (the palette
// encoder's), preferred to anything else.
QString withReason(const QString &text, const QString &reason = {})
{
    // The system's reason for a failed write says more than the library's.
    const QString failure = takeWriteFailure();
    const QString detail = !reason.isEmpty() ? reason
                           : failure.isEmpty() ? bridge::BridgeErrorText()
                                               : failure;
    return detail.isEmpty() ? text : text + QStringLiteral(" (") + detail + QLatin1Char(')');
}

// FreeImage's writers of the library route, by LibraryFormat, all with
// flags 0 (format 17 is TARGA); PCX has a writer of its own. A Targa header
// keeps width and height in 16 bits, and FreeImage's writer cuts larger
// sizes down without a word, which would give a wrong picture.
struct LibraryWriter {
    std::int16_t libraryFormat;
    FREE_IMAGE_FORMAT format;
    const char *typeText;
    unsigned maxSide; // 0: no limit of the format's own
};
constexpr LibraryWriter LibraryWriters[] = {
    {LibraryFormat::Bmp, FIF_BMP, "BMP", 0},
    {LibraryFormat::Png, FIF_PNG, "PNG", 0},
    {LibraryFormat::Tga, FREE_IMAGE_FORMAT(17), "TGA", 0xFFFF},
    {LibraryFormat::Tiff, FIF_TIFF, "TIF", 0},
};

bool fitsWriter(const LibraryWriter &writer, FIBITMAP *dib)
{
    return writer.maxSide == 0
           || (FreeImage_GetWidth(dib) <= writer.maxSide && FreeImage_GetHeight(dib) <= writer.maxSide);
}

const LibraryWriter *libraryWriter(std::int16_t libraryFormat)
{
    for (const LibraryWriter &writer : LibraryWriters) {
        if (writer.libraryFormat == libraryFormat)
            return &writer;
    }
    return nullptr;
}

// What the PaletteEncoder left: its last result, and the encoded picture
// when it was kept in memory instead of being written as a BMP.
struct PaletteRun {
    std::int32_t result = 0;
    QImage picture;
    QString failure; // the encoder's reason when result is 0
};

// The PaletteEncoder calls: one EncodePicture, or the chain when a flip or
// the inversion is asked for, each call made only after a non-zero one. In
// memory, the chain stops after Process and hands over the picture the BMP
// would have held.
PaletteRun runPaletteEncoder(const PictureSurface &picture, const QString &path,
                             const OutputSettings &s, std::int32_t transform, bool inMemory,
                             int threads)
{
    PaletteEncoder encoder;
    encoder.setThreads(threads);
    PaletteRun run;
    if (transform == 0 && !inMemory) {
        run.result = encoder.EncodePicture(picture, path, code(s.EncoderKind), code(s.ColorMode),
                                           s.BitDepth, s.PaletteFlags, code(s.DitherCode), -1, -1,
                                           -1, -1);
        run.failure = run.result ? QString() : encoder.failure();
        if (run.result && s.EncoderKind != EncoderKind::Bmp)
            run.picture = encoder.result();
        return run;
    }
    std::int32_t r = encoder.SetOptions(code(s.EncoderKind), code(s.ColorMode), s.BitDepth,
                                        s.PaletteFlags, code(s.DitherCode));
    if (r)
        r = encoder.AttachPicture(picture, -1, -1, -1, -1);
    if (r && transform != 0)
        r = encoder.Transform(transform, 0, 0);
    if (r && inMemory) {
        r = encoder.Process();
        run.picture = r ? encoder.result() : QImage();
        run.result = run.picture.isNull() ? 0 : 1;
        run.failure = run.result ? QString() : encoder.failure();
        return run;
    }
    run.result = r ? encoder.ProcessAndSave(path) : 0;
    run.failure = run.result ? QString() : encoder.failure();
    if (run.result && s.EncoderKind != EncoderKind::Bmp)
        run.picture = encoder.result();
    return run;
}

// A 24-bit or 16-bit BMP read back by FreeImage holds exactly the encoder's
// picture (true colour, or 5-5-5 words): build that bitmap without the file.
FiBitmap directColourBitmap(const QImage &picture)
{
    const bool words = picture.format() == QImage::Format_RGB555;
    const QImage rgb = words ? picture : picture.convertToFormat(QImage::Format_RGB32); // shares when it is
    const int width = rgb.width();
    const int height = rgb.height();
    FiBitmap dib(words ? FreeImage_Allocate(width, height, 16, FI16_555_RED_MASK, FI16_555_GREEN_MASK,
                                            FI16_555_BLUE_MASK)
                       : FreeImage_Allocate(width, height, 24));
    if (!dib)
        return dib;
    for (int y = 0; y < height; ++y) { // FreeImage keeps rows bottom-up
        BYTE *target = FreeImage_GetScanLine(dib.get(), height - 1 - y);
        if (words)
            std::memcpy(target, rgb.constScanLine(y), std::size_t(width) * 2);
        else
            FreeImage_ConvertLine32To24(target, const_cast<BYTE *>(rgb.constScanLine(y)), width);
    }
    return dib;
}

// A 5-5-5 picture widened as FreeImage widens a 16-bit bitmap (v * 255 / 31)
// when the BMP is read back, without the two full-size bitmaps between: for
// a large picture those doubled the memory of a PCX row.
QImage widenRgb555(const QImage &picture)
{
    QImage wide(picture.size(), QImage::Format_RGB32);
    if (wide.isNull())
        return wide;
    std::uint8_t level[32];
    for (int v = 0; v < 32; ++v)
        level[v] = std::uint8_t(v * 0xFF / 0x1F);
    for (int y = 0; y < picture.height(); ++y) {
        const auto *in = reinterpret_cast<const std::uint16_t *>(picture.constScanLine(y));
        auto *out = reinterpret_cast<QRgb *>(wide.scanLine(y));
        for (int x = 0; x < picture.width(); ++x) {
            const std::uint16_t w = in[x];
            out[x] = qRgb(level[(w >> 10) & 0x1F], level[(w >> 5) & 0x1F], level[w & 0x1F]);
        }
    }
    return wide;
}

// Draws the picture into the optimized surface, whose client area becomes
// exactly its size, and writes that client area as PCX. The picture is the
// encoder's own, or the BMP's bitmap turned into a window bitmap.
bool writePcxThroughSurface(const QImage &inMemory, FIBITMAP *dib, PictureSurface &surface,
                            const QString &path, StageTimes *times, QString *error)
{
    {
        StageClock clock(times, StageTimes::PcxDraw);
        QImage bitmap = inMemory;
        if (bitmap.isNull() && !bridge::FreeImage_BMP_From_DIB(dib, bitmap)) {
            *error = withReason(QStringLiteral("cannot convert the picture for the PCX writer"));
            return false;
        }
        // Sizing the client area to the bitmap and drawing the bitmap at
        // (0, 0) over all of it leaves exactly the bitmap: let the surface
        // share it instead of clearing, repainting and copying the pixels.
        surface.setPicture(bitmap);
    }
    StageClock clock(times, StageTimes::PcxWrite);
    try {
        cPCX writer;
        writer.SavePCXinFile(path, surface, true);
    } catch (const std::exception &e) {
        *error = QStringLiteral("PCX writer: ") + QString::fromLocal8Bit(e.what());
        return false;
    }
    return true;
}

// The source's metadata put into the encoded file, for the writers that
// can hold it and only when the options keep it. Nothing to carry (no
// metadata, or a block that did not check out) leaves the writer's file
// exactly as it would be without.
FinishFile carryMetadata(const ConversionContext &context, const PictureSurface &picture,
                         FREE_IMAGE_FORMAT format, QSize written)
{
    if (!context.options.keepMetadata || picture.metadata().isEmpty() || written.isEmpty())
        return {};
    QByteArray (*add)(const QByteArray &, const PictureMetadata &) = nullptr;
    if (format == FIF_JPEG)
        add = filemetadata::addToJpeg;
    else if (format == FIF_PNG)
        add = filemetadata::addToPng;
    else if (format == FIF_TIFF)
        add = filemetadata::addToTiff;
    else
        return {};
    PictureMetadata prepared = filemetadata::forWriting(picture.metadata(), written);
    if (prepared.isEmpty())
        return {};
    return [add, prepared = std::move(prepared)](const QByteArray &file) {
        return add(file, prepared);
    };
}

FinishFile carryMetadata(const ConversionContext &context, const PictureSurface &picture,
                         FREE_IMAGE_FORMAT format, FIBITMAP *dib)
{
    if (!dib)
        return {};
    return carryMetadata(context, picture, format,
                         QSize(int(FreeImage_GetWidth(dib)), int(FreeImage_GetHeight(dib))));
}

} // namespace

bool resizeForEncoding(ConversionContext &context, PictureSurface &surface, QSize fullSize,
                       QString *error)
{
    const ResizeSetting &setting = context.options.resize;
    if (setting.mode == ResizeMode::Original || surface.isEmpty())
        return true;
    // With its transparency, when it has one: the rows that keep alpha need
    // it resized too, and the others get it put on white afterwards, as ever.
    const QImage &picture = surface.picture();
    if (fullSize.isEmpty())
        fullSize = picture.size();
    const QSize target = resizedSize(fullSize, setting);
    if (target == picture.size())
        return true;
    if (std::int64_t(target.width()) * target.height() > maxResizedPixels) {
        *error = QStringLiteral("the resized picture would be too large (%1 x %2)")
                     .arg(target.width())
                     .arg(target.height());
        return false;
    }
    ConversionContext::ResizedPicture &last = context.lastResize;
    if (last.from != picture.cacheKey() || last.target != target || last.picture.isNull()) {
        StageClock clock(context.stageTimes, StageTimes::Resize);
        QImage resized = resampleLanczos3(picture, target);
        if (resized.isNull()) {
            *error = QStringLiteral("not enough memory to resize the picture");
            return false;
        }
        last = {picture.cacheKey(), target, std::move(resized)};
    }
    surface.setPicture(last.picture, surface.metadata());
    return true;
}

EncodeOutcome encodeWithPalette(ConversionContext &context, const PictureSurface &picture,
                                const QString &path)
{
    EncodeOutcome out;
    bridge::FreeImageScope freeImage;

    if (abandonedAt(context, out))
        return out;

    effectivePaletteFlags(context.options.settings);
    const OutputSettings settings = context.options.settings;
    const std::int32_t transform = context.options.transform;
    out.kind = settings.EncoderKind;
    out.libraryFormat = settings.LibraryFormat;
    out.depthText = settings.DepthText;

    // 24 and 16 bits on the library route: the BMP written and read back
    // would hold exactly the encoder's picture, so keep it in memory.
    const bool inMemory = context.directColourInMemory && settings.EncoderKind == EncoderKind::Bmp
                          && (settings.BitDepth == 24 || settings.BitDepth == 16);
    PaletteRun encoded;
    {
        StageClock clock(context.stageTimes, StageTimes::Palette);
        encoded = runPaletteEncoder(picture, path, settings, transform, inMemory, context.threads);
    }

    if (abandonedAt(context, out))
        return out;
    if (settings.EncoderKind != EncoderKind::Bmp) {
        out.typeText = QStringLiteral("GIF");
        out.written = encoded.result != 0;
        if (out.written)
            out.written8 = std::move(encoded.picture);
        if (!out.written)
            out.error = withReason(QStringLiteral("the palette encoder could not write the GIF file"),
                                   encoded.failure);
        return out;
    }

    // The bitmap FreeImage writes, or for true-colour PCX the picture the
    // surface takes (5-5-5 colours widened as for a BMP read back).
    FiBitmap dib;
    QImage pcxPicture;
    {
        StageClock clock(context.stageTimes, StageTimes::Reload);
        if (!inMemory) {
            dib.reset(FreeImage_Load(FIF_BMP, QFile::encodeName(path).constData(), 0));
        } else if (!encoded.picture.isNull()) {
            if (settings.LibraryFormat != LibraryFormat::Pcx)
                dib = directColourBitmap(encoded.picture);
            else if (settings.BitDepth == 24)
                pcxPicture = encoded.picture;
            else
                pcxPicture = widenRgb555(std::exchange(encoded.picture, QImage()));
        }
    }
    if (!dib && pcxPicture.isNull()) {
        out.status = QString::fromLatin1(CannotApplyFormatText);
        out.error = withReason(QString::fromLatin1(CannotApplyFormatText), // a full disk, say
                               encoded.failure);
        return out;
    }

    if (abandonedAt(context, out))
        return out;
    bool saved = false;
    QString reason; // a writer's own words for its failure
    if (settings.LibraryFormat == LibraryFormat::Pcx) {
        out.typeText = QStringLiteral("PCX");
        saved = writePcxThroughSurface(pcxPicture, dib.get(), context.optimized, path,
                                       context.stageTimes, &out.error);
    } else if (const LibraryWriter *writer = libraryWriter(settings.LibraryFormat)) {
        StageClock clock(context.stageTimes, StageTimes::LibrarySave);
        out.typeText = QString::fromLatin1(writer->typeText);
        if (!fitsWriter(*writer, dib.get()))
            out.error = QStringLiteral("the picture is too large for a %1 file").arg(out.typeText);
        else if (writer->format == FIF_PNG)
            saved = savePngChecked(dib.get(), path, context.threads,
                                   carryMetadata(context, picture, writer->format, dib.get()), &reason);
        else
            saved = saveBitmapChecked(writer->format, dib.get(), path, 0,
                                      carryMetadata(context, picture, writer->format, dib.get()));
    } else {
        out.error = QStringLiteral("no writer for library format %1").arg(settings.LibraryFormat);
        return out;
    }
    if (!saved && out.error.isEmpty())
        out.error = withReason(QStringLiteral("FreeImage could not write the %1 file").arg(out.typeText), reason);
    out.written = saved;
    // These writers keep every pixel of a 24-bit bitmap, which was made from
    // this picture: reading a large file back would show the same, later.
    if (saved && settings.LibraryFormat != LibraryFormat::Pcx && settings.BitDepth == 24)
        out.written8 = std::move(encoded.picture);
    return out;
}

EncodeOutcome encodeJpeg(ConversionContext &context, const PictureSurface &picture,
                         const QString &path, std::int32_t quality)
{
    EncodeOutcome out;
    out.typeText = QStringLiteral("JPG");
    out.depthText = QStringLiteral("24 bit");
    bridge::FreeImageScope freeImage;

    if (picture.isEmpty()) {
        out.error = QStringLiteral("there is no picture to encode");
        return out;
    }
    if (abandonedAt(context, out))
        return out;
    context.options.settings.JpegQuality = quality;
    // Straight from the surface's rows: the file FreeImage's writer makes of
    // the 24-bit bitmap below, without that bitmap.
    {
        StageClock clock(context.stageTimes, StageTimes::Jpeg);
        const JpegWrite direct =
            writeJpegRows(picture.image(), quality, path,
                          carryMetadata(context, picture, FIF_JPEG, picture.image().size()));
        if (direct != JpegWrite::NotHandled) {
            out.written = direct == JpegWrite::Written;
            if (!out.written)
                out.error = withReason(QStringLiteral("the JPEG file could not be written"));
            return out;
        }
    }

    // The 24-bit bitmap the window bitmap would give through a 32-bit copy
    // and a conversion, made in one pass.
    FiBitmap dib;
    {
        StageClock clock(context.stageTimes, StageTimes::Convert);
        dib = directColourBitmap(picture.image());
    }
    StageClock clock(context.stageTimes, StageTimes::Jpeg);
    if (!dib) {
        out.error = QStringLiteral("cannot convert the picture to 24 bits");
        return out;
    }
    out.written = saveBitmapChecked(FIF_JPEG, dib.get(), path, quality,
                                    carryMetadata(context, picture, FIF_JPEG, dib.get()));
    if (!out.written)
        out.error = withReason(QStringLiteral("FreeImage could not write the JPEG file"));
    return out;
}

} // namespace pictrove
