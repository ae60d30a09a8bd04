#include "decoding/BufferedFile.h"
#include "decoding/DeclaredSize.h"
#include "decoding/Decoders.h"

#include "decoding/FreeImageConvert.h"
#include "decoding/FreeImageMessages.h"

#include <FreeImage.h>

#include <QFile>
#include <QSize>
#include <QtEndian>

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>

namespace pictrove {

namespace {

void initialiseFreeImage()
{
    static const bool done = [] {
        FreeImage_Initialise(FALSE);
        return true;
    }();
    (void)done;
    startFreeImageMessages();
}

unsigned DLL_CALLCONV readFile(void *buffer, unsigned size, unsigned count, fi_handle handle)
{
    return unsigned(static_cast<BufferedFile *>(handle)->read(buffer, size, count));
}

unsigned DLL_CALLCONV writeNothing(void *, unsigned, unsigned, fi_handle)
{
    return 0;
}

int DLL_CALLCONV seekFile(fi_handle handle, long offset, int origin)
{
    return static_cast<BufferedFile *>(handle)->seek(offset, origin);
}

long DLL_CALLCONV tellFile(fi_handle handle)
{
    return long(static_cast<BufferedFile *>(handle)->tell());
}

FreeImageIO bufferedIo{readFile, writeNothing, seekFile, tellFile};

// FreeImage_Load and FreeImage_GetFileType over a buffered file, with their
// messages when the file cannot be opened.
FIBITMAP *loadFile(FREE_IMAGE_FORMAT format, const QByteArray &localPath, int flags)
{
    const auto file = BufferedFile::open(localPath.constData());
    if (!file) {
        FreeImage_OutputMessageProc(format, "FreeImage_Load: failed to open file %s",
                                    localPath.constData());
        return nullptr;
    }
    return FreeImage_LoadFromHandle(format, &bufferedIo, file.get(), flags);
}

FREE_IMAGE_FORMAT fileTypeOf(const QByteArray &localPath)
{
    const auto file = BufferedFile::open(localPath.constData());
    return file ? FreeImage_GetFileTypeFromHandle(&bufferedIo, file.get(), 16) : FIF_UNKNOWN;
}

QString freeImageError(const FreeImageOperation &operation)
{
    const QString message = operation.message();
    return message.isEmpty()
        ? QStringLiteral("FreeImage could not read the file")
        : QStringLiteral("FreeImage could not read the file: ") + message;
}

bool tooLarge(std::int64_t width, std::int64_t height, const DecodeLimits &limits)
{
    return width * height > limits.maxPixels;
}

// The header's size before any pixel is allocated: FreeImage reads headers
// alone for the formats that support it, our own peek covers some others.
// Empty when the header cannot even be read.
std::optional<QString> headerRefusal(const FreeImageOperation &operation, FREE_IMAGE_FORMAT format,
                                     const QByteArray &localPath, const QString &path, int flags,
                                     const DecodeLimits &limits)
{
    if (FreeImage_FIFSupportsNoPixels(format)) {
        FiBitmap header(loadFile(format, localPath, flags | FIF_LOAD_NOPIXELS));
        if (!header)
            return freeImageError(operation);
        if (tooLarge(FreeImage_GetWidth(header.get()), FreeImage_GetHeight(header.get()), limits))
            return QStringLiteral("the picture is too large");
        return std::nullopt;
    }
    const QString ext = path.mid(path.lastIndexOf(u'.') + 1);
    const auto declared = declaredSizeOf(path, ext);
    if (declared && declared->pixels() > limits.maxPixels)
        return QStringLiteral("the picture is too large");
    return std::nullopt;
}

// The bitmap as handed over, with its own depth.
LoadResult picture(FIBITMAP *bitmap)
{
    LoadResult result;
    result.image = toQImage(bitmap);
    if (result.image.isNull())
        return loadFailure(QStringLiteral("FreeImage could not convert the picture"));
    result.ok = true;
    result.depth = int(FreeImage_GetBPP(bitmap));
    return result;
}

} // namespace

LoadResult decodeWithFreeImage(const QString &path, int format, int flags,
                               const DecodeLimits &limits)
{
    initialiseFreeImage();
    const FreeImageOperation operation;
    const auto fif = FREE_IMAGE_FORMAT(format);
    const QByteArray localPath = QFile::encodeName(path);
    if (const auto refusal = headerRefusal(operation, fif, localPath, path, flags, limits))
        return loadFailure(*refusal);
    FiBitmap bitmap(loadFile(fif, localPath, flags));
    if (!bitmap)
        return loadFailure(freeImageError(operation));
    if (tooLarge(FreeImage_GetWidth(bitmap.get()), FreeImage_GetHeight(bitmap.get()), limits))
        return loadFailure(QStringLiteral("the picture is too large"));
    return picture(bitmap.get());
}

namespace {

// The stored size a JPEG's header declares, without its pixels.
std::optional<QSize> jpegHeaderSize(const QByteArray &localPath)
{
    FiBitmap header(loadFile(FIF_JPEG, localPath, JPEG_DEFAULT | FIF_LOAD_NOPIXELS));
    if (!header)
        return std::nullopt;
    return QSize(int(FreeImage_GetWidth(header.get())), int(FreeImage_GetHeight(header.get())));
}

// FreeImage's JPEG loader takes the longest side wanted in the flags' high
// half and picks libjpeg's scale from it.
int jpegSizeFlags(int side)
{
    return side > 0 ? (std::min(side, 0x7FFF) << 16) : 0;
}

} // namespace

std::optional<LoadResult> decodeJpegScaled(const QString &path, const DecodeLimits &limits)
{
    if (limits.resize.mode == ResizeMode::Original)
        return std::nullopt;
    initialiseFreeImage();
    const FreeImageOperation operation; // FreeImage's messages go nowhere
    const QByteArray localPath = QFile::encodeName(path);
    const std::optional<QSize> stored = jpegHeaderSize(localPath);
    if (!stored || stored->isEmpty())
        return std::nullopt;
    const int side = jpegDecodeSide(*stored, limits.resize);
    if (side <= 0)
        return std::nullopt;
    // Whatever this route cannot read, the usual one reads or refuses in
    // its own words.
    if (tooLarge(stored->width(), stored->height(), limits))
        return std::nullopt;
    FiBitmap bitmap(loadFile(FIF_JPEG, localPath, JPEG_ACCURATE | jpegSizeFlags(side)));
    if (!bitmap)
        return std::nullopt;
    LoadResult result = picture(bitmap.get());
    if (!result.ok)
        return std::nullopt;
    // Orientation turns it upright later, and fullSize with it.
    if (result.image.size() != *stored)
        result.fullSize = *stored;
    return result;
}

std::optional<CmykSamples> readCmykSamples(const QString &path, bool tiff, const DecodeLimits &limits)
{
    initialiseFreeImage();
    const FreeImageOperation operation;
    const FREE_IMAGE_FORMAT format = tiff ? FIF_TIFF : FIF_JPEG;
    int flags = tiff ? TIFF_CMYK : JPEG_CMYK | JPEG_ACCURATE;
    // The picture beside them was read at the scale the resize asked for.
    if (!tiff && limits.resize.mode != ResizeMode::Original) {
        if (const auto stored = jpegHeaderSize(QFile::encodeName(path)))
            flags |= jpegSizeFlags(jpegDecodeSide(*stored, limits.resize));
    }
    const QByteArray localPath = QFile::encodeName(path);
    if (headerRefusal(operation, format, localPath, path, flags, limits))
        return std::nullopt;
    FiBitmap bitmap(loadFile(format, localPath, flags));
    if (!bitmap || FreeImage_GetColorType(bitmap.get()) != FIC_CMYK || FreeImage_GetBPP(bitmap.get()) != 32
        || FreeImage_GetImageType(bitmap.get()) != FIT_BITMAP)
        return std::nullopt;
    CmykSamples samples;
    samples.width = int(FreeImage_GetWidth(bitmap.get()));
    samples.height = int(FreeImage_GetHeight(bitmap.get()));
    if (tooLarge(samples.width, samples.height, limits))
        return std::nullopt;
    const size_t rowBytes = size_t(samples.width) * 4;
    samples.bytes.resize(rowBytes * size_t(samples.height));
    // FreeImage keeps the bottom row first.
    for (int y = 0; y < samples.height; ++y)
        std::memcpy(samples.bytes.data() + rowBytes * size_t(y),
                    FreeImage_GetScanLine(bitmap.get(), samples.height - 1 - y), rowBytes);
    return samples;
}

LoadResult decodeDcxFirstPage(const QString &path, const DecodeLimits &limits)
{
    // A DCX file is a table of offsets (after the magic number) to complete
    // PCX files; the first page stands for the file.
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return loadFailure(QStringLiteral("the file cannot be opened"));
    // Fixed arrays, so that every read below is visibly inside its buffer.
    std::array<char, 8> head{};
    if (file.read(head.data(), qint64(head.size())) != qint64(head.size()))
        return loadFailure(QStringLiteral("the file is not a DCX file"));
    const auto le32 = [&](int at) { return qFromLittleEndian<quint32>(head.data() + at); };
    if (le32(0) != 987654321u || le32(4) < 8 || le32(4) >= quint64(file.size()))
        return loadFailure(QStringLiteral("the file is not a DCX file"));
    if (!file.seek(le32(4)))
        return loadFailure(QStringLiteral("the file is not a DCX file"));
    QByteArray page = file.readAll(); // later pages ride along unread
    std::array<char, 12> pageHead{};
    if (page.size() < qsizetype(pageHead.size()))
        return loadFailure(QStringLiteral("the file is not a DCX file"));
    std::memcpy(pageHead.data(), page.constData(), pageHead.size());
    const auto le16 = [&](int at) { return qFromLittleEndian<quint16>(pageHead.data() + at); };
    const std::int64_t width = std::int64_t(quint16(le16(8) - le16(4))) + 1;
    const std::int64_t height = std::int64_t(quint16(le16(10) - le16(6))) + 1;
    if (tooLarge(width, height, limits))
        return loadFailure(QStringLiteral("the picture is too large"));

    initialiseFreeImage();
    const FreeImageOperation operation;
    FiMemory memory(FreeImage_OpenMemory(reinterpret_cast<BYTE *>(page.data()), DWORD(page.size())));
    if (!memory)
        return loadFailure(freeImageError(operation));
    FiBitmap bitmap(FreeImage_LoadFromMemory(FIF_PCX, memory.get(), 0));
    if (!bitmap)
        return loadFailure(freeImageError(operation));
    return picture(bitmap.get());
}

LoadResult decodeWithFreeImageDetected(const QString &path, const DecodeLimits &limits)
{
    initialiseFreeImage();
    const FREE_IMAGE_FORMAT detected = fileTypeOf(QFile::encodeName(path));
    if (detected == FIF_UNKNOWN)
        return loadFailure(QStringLiteral("the file's type is not known"));
    return decodeWithFreeImage(path, detected, 0, limits);
}

} // namespace pictrove
