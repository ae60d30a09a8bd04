#include "decoding/BufferedFile.h"
#include "decoding/DeclaredSize.h"
#include "decoding/Decoders.h"
#include "decoding/PixelHandOver.h"

#include <IL/il.h>

#include <QFile>

#include <atomic>
#include <cstdlib>

// Exported by DevIL for its readers but left out of its public header.
extern "C" void ILAPIENTRY ilSetError(ILenum error);

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

// DevIL's own file reading asks for the end of the file by seeking there
// and back, which its readers do for every few bytes; these keep its rules
// (fread, fseek, ftell, and fgetc that notes a read error at the end).
ILHANDLE ILAPIENTRY openFile(ILconst_string path)
{
    return BufferedFile::open(path).release();
}

void ILAPIENTRY closeFile(ILHANDLE handle)
{
    delete static_cast<BufferedFile *>(handle);
}

ILboolean ILAPIENTRY fileAtEnd(ILHANDLE handle)
{
    return static_cast<BufferedFile *>(handle)->atEnd() ? IL_TRUE : IL_FALSE;
}

ILint ILAPIENTRY fileByte(ILHANDLE handle)
{
    const int byte = static_cast<BufferedFile *>(handle)->getc();
    if (byte < 0)
        ilSetError(IL_FILE_READ_ERROR);
    return byte < 0 ? IL_EOF : byte;
}

ILint ILAPIENTRY readFile(void *buffer, ILuint size, ILuint count, ILHANDLE handle)
{
    return ILint(static_cast<BufferedFile *>(handle)->read(buffer, size, count));
}

ILint ILAPIENTRY seekFile(ILHANDLE handle, ILint offset, ILint origin)
{
    return static_cast<BufferedFile *>(handle)->seek(offset, origin);
}

ILint ILAPIENTRY tellFile(ILHANDLE handle)
{
    return ILint(static_cast<BufferedFile *>(handle)->tell());
}

void initialiseDevil()
{
    static const bool done = [] {
        ilSetMemory(cappedAlloc, cappedFree);
        ilInit();
        ilSetRead(openFile, closeFile, fileAtEnd, fileByte, readFile, seekFile, tellFile);
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

// DevIL's tightly packed rows as QImage's 0xAARRGGBB words; rows without
// alpha come out opaque whatever their fourth byte holds.
template <bool RedFirst>
void copyRows(const ILubyte *data, int bytesPerPixel, bool alpha, QImage &out)
{
    const int width = out.width();
    const std::size_t rowBytes = std::size_t(width) * std::size_t(bytesPerPixel);
    uchar *bits = out.bits();
    const qsizetype stride = out.bytesPerLine();
    for (int y = 0; y < out.height(); ++y) {
        const ILubyte *from = data + rowBytes * std::size_t(y);
        auto *to = reinterpret_cast<QRgb *>(bits + stride * y);
        if (bytesPerPixel == 3) {
            for (int x = 0; x < width; ++x, from += 3)
                to[x] = RedFirst ? qRgb(from[0], from[1], from[2]) : qRgb(from[2], from[1], from[0]);
        } else if (alpha) {
            for (int x = 0; x < width; ++x, from += 4)
                to[x] = RedFirst ? qRgba(from[0], from[1], from[2], from[3])
                                 : qRgba(from[2], from[1], from[0], from[3]);
        } else {
            for (int x = 0; x < width; ++x, from += 4)
                to[x] = RedFirst ? qRgb(from[0], from[1], from[2]) : qRgb(from[2], from[1], from[0]);
        }
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
    const ILint format = ilGetInteger(IL_IMAGE_FORMAT);
    const bool alpha = hasAlpha(format, ilGetInteger(IL_PALETTE_TYPE));
    // 8-bit colour rows, most of what is read, are laid out straight into the
    // picture; the rest goes through DevIL's conversion first, which costs
    // one more picture's memory and pass.
    const bool direct = ilGetInteger(IL_IMAGE_TYPE) == IL_UNSIGNED_BYTE
        && (format == IL_RGB || format == IL_RGBA || format == IL_BGR || format == IL_BGRA);
    if (!direct && ilConvertImage(IL_BGRA, IL_UNSIGNED_BYTE) != IL_TRUE)
        return loadFailure(devilError());
    const ILubyte *data = ilGetData();
    if (!data || ilGetInteger(IL_IMAGE_WIDTH) != width || ilGetInteger(IL_IMAGE_HEIGHT) != height)
        return loadFailure(devilError());

    QImage out = handover::newPicture(int(width), int(height),
                                      alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    if (out.isNull())
        return loadFailure(QStringLiteral("not enough memory for the picture"));
    const ILint layout = direct ? format : IL_BGRA;
    const bool threeBytes = layout == IL_RGB || layout == IL_BGR;
    if (layout == IL_RGB || layout == IL_RGBA)
        copyRows<true>(data, threeBytes ? 3 : 4, alpha, out);
    else
        copyRows<false>(data, threeBytes ? 3 : 4, alpha, out);
    LoadResult result;
    result.ok = true;
    result.image = std::move(out);
    result.depth = alpha ? 32 : 24; // handed over as 8-bit RGB or RGBA
    return result;
}

} // namespace pictrove
