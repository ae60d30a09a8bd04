#include "decoding/DeclaredSize.h"
#include "decoding/Decoders.h"
#include "decoding/PixelHandOver.h"

#include <IL/il.h>

#include <QFile>

#include <atomic>
#include <cstdlib>
#include <cstring>

namespace pictrove {

namespace {

// DevIL allocates through these once installed, so a single buffer larger
// than any picture we accept fails as "out of memory" instead of touching
// gigabytes. Zeroed memory, because some of its readers use buffers before
// filling them (the XPM reader's hash table crashes on leftovers).
std::atomic<std::size_t> largestDevilAllocation{std::size_t(1) << 30};

void *ILAPIENTRY cappedAlloc(const ILsizei size)
{
    if (size > largestDevilAllocation.load())
        return nullptr;
    return std::calloc(1, size);
}

void ILAPIENTRY cappedFree(const void *CONST_RESTRICT pointer)
{
    std::free(const_cast<void *>(pointer));
}

void initialiseDevil()
{
    static const bool done = [] {
        ilSetMemory(cappedAlloc, cappedFree);
        ilInit();
        ilEnable(IL_ORIGIN_SET);
        ilOriginFunc(IL_ORIGIN_UPPER_LEFT); // top row first, as QImage keeps it
        return true;
    }();
    (void)done;
}

// One DevIL image name, bound while it lives and deleted on every path.
class DevilImage {
public:
    DevilImage()
    {
        ilGenImages(1, &m_name);
        ilBindImage(m_name);
    }
    ~DevilImage() { ilDeleteImages(1, &m_name); }
    DevilImage(const DevilImage &) = delete;
    DevilImage &operator=(const DevilImage &) = delete;

private:
    ILuint m_name = 0;
};

bool hasAlpha(ILint format, ILint paletteType)
{
    return format == IL_RGBA || format == IL_BGRA || format == IL_LUMINANCE_ALPHA
        || (format == IL_COLOUR_INDEX
            && (paletteType == IL_PAL_RGBA32 || paletteType == IL_PAL_BGRA32));
}

// DevIL reports through a stack of numeric codes, and a reader that gives up
// may push none. Every failure of this file says it in words; the code is
// kept where it adds to them (a library's own error, an unknown code).
QString devilError()
{
    const ILenum code = ilGetError();
    const auto withCode = [code](const char *words) {
        return QStringLiteral("%1 (DevIL error 0x%2)").arg(QLatin1String(words))
            .arg(unsigned(code), 4, 16, QLatin1Char('0'));
    };
    switch (code) {
    case IL_NO_ERROR:
        return QStringLiteral("the file could not be read as a picture of this type");
    case IL_OUT_OF_MEMORY:
        return QStringLiteral("not enough memory for the picture");
    case IL_FORMAT_NOT_SUPPORTED:
    case IL_INVALID_CONVERSION:
        return QStringLiteral("unsupported variant of this format");
    case IL_INVALID_FILE_HEADER:
        return QStringLiteral("not a picture of this type");
    case IL_ILLEGAL_FILE_VALUE:
    case IL_INVALID_VALUE:
    case IL_BAD_DIMENSIONS:
        return QStringLiteral("the file is damaged");
    case IL_FILE_READ_ERROR:
        return QStringLiteral("the file is damaged or cut short");
    case IL_COULD_NOT_OPEN_FILE:
        return QStringLiteral("the file cannot be opened");
    case IL_INVALID_EXTENSION:
        return QStringLiteral("no reader for files of this type");
    case IL_LIB_GIF_ERROR:
    case IL_LIB_JPEG_ERROR:
    case IL_LIB_PNG_ERROR:
    case IL_LIB_TIFF_ERROR:
    case IL_LIB_MNG_ERROR:
    case IL_LIB_JP2_ERROR:
    case IL_LIB_EXR_ERROR:
        return withCode("the file is damaged or an unsupported variant of this format");
    case IL_INTERNAL_ERROR:
    case IL_ILLEGAL_OPERATION:
    case IL_INVALID_ENUM:
    case IL_INVALID_PARAM:
        return withCode("the picture reader failed on this file");
    default:
        return withCode("the file could not be read");
    }
}

} // namespace

LoadResult decodeWithDevil(const QString &path, QStringView extension, const DecodeLimits &limits)
{
    // DevIL multiplies header sizes in 32 bits; refuse what cannot fit first.
    if (const auto declared = declaredSizeOf(path, extension);
        declared && declared->pixels() > limits.maxPixels)
        return loadFailure(QStringLiteral("the picture is too large"));

    initialiseDevil();
    largestDevilAllocation = std::size_t(limits.maxPixels) * 8;
    while (ilGetError() != IL_NO_ERROR) {
    }
    DevilImage image;
    // The type by the extension we were given, which need not be the path's.
    const QByteArray probeName = "x." + extension.toString().toLower().toLatin1();
    const ILenum type = ilTypeFromExt(probeName.constData());
    const QByteArray localPath = QFile::encodeName(path);
    if (type == IL_TYPE_UNKNOWN || ilLoad(type, localPath.constData()) != IL_TRUE)
        return loadFailure(devilError());

    const std::int64_t width = ilGetInteger(IL_IMAGE_WIDTH);
    const std::int64_t height = ilGetInteger(IL_IMAGE_HEIGHT);
    if (width <= 0 || height <= 0 || width * height > limits.maxPixels)
        return loadFailure(QStringLiteral("the picture is too large"));
    const bool alpha = hasAlpha(ilGetInteger(IL_IMAGE_FORMAT), ilGetInteger(IL_PALETTE_TYPE));
    // Blue-green-red-alpha bytes are QImage's 32-bit layout on little-endian machines.
    static_assert(Q_BYTE_ORDER == Q_LITTLE_ENDIAN);
    if (ilConvertImage(IL_BGRA, IL_UNSIGNED_BYTE) != IL_TRUE)
        return loadFailure(devilError());
    const ILubyte *data = ilGetData();
    if (!data || ilGetInteger(IL_IMAGE_WIDTH) != width || ilGetInteger(IL_IMAGE_HEIGHT) != height)
        return loadFailure(devilError());

    QImage out = handover::newPicture(int(width), int(height),
                                      alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    if (out.isNull())
        return loadFailure(QStringLiteral("not enough memory for the picture"));
    const std::size_t rowBytes = std::size_t(width) * 4;
    for (int y = 0; y < out.height(); ++y) {
        uchar *line = out.scanLine(y);
        std::memcpy(line, data + rowBytes * std::size_t(y), rowBytes);
        if (!alpha) {
            auto *px = reinterpret_cast<QRgb *>(line);
            for (int x = 0; x < out.width(); ++x)
                px[x] |= 0xFF000000u;
        }
    }
    LoadResult result;
    result.ok = true;
    result.image = std::move(out);
    result.depth = alpha ? 32 : 24; // handed over as 8-bit RGB or RGBA
    return result;
}

} // namespace pictrove
