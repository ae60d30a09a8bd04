#include "selection/DeclaredSize.h"
#include "selection/Decoders.h"

#include "engine/core/FreeImageConvert.h"

#include <FreeImage.h>

#include <QFile>

namespace pictrove {

namespace {

thread_local QString lastFreeImageMessage;

void DLL_CALLCONV recordMessage(FREE_IMAGE_FORMAT, const char *message)
{
    lastFreeImageMessage = QString::fromUtf8(message ? message : "");
}

void initialiseFreeImage()
{
    static const bool done = [] {
        FreeImage_Initialise(FALSE);
        FreeImage_SetOutputMessage(recordMessage);
        return true;
    }();
    (void)done;
}

QString freeImageError()
{
    return lastFreeImageMessage.isEmpty()
        ? QStringLiteral("FreeImage could not read the file")
        : QStringLiteral("FreeImage could not read the file: ") + lastFreeImageMessage;
}

bool tooLarge(std::int64_t width, std::int64_t height, const DecodeLimits &limits)
{
    return width * height > limits.maxPixels;
}

// The header's size before any pixel is allocated: FreeImage reads headers
// alone for the formats that support it, our own peek covers some others.
bool declaresTooLarge(FREE_IMAGE_FORMAT format, const QByteArray &localPath, const QString &path,
                      int flags, const DecodeLimits &limits)
{
    if (FreeImage_FIFSupportsNoPixels(format)) {
        FiBitmap header(FreeImage_Load(format, localPath.constData(), flags | FIF_LOAD_NOPIXELS));
        return header
            && tooLarge(FreeImage_GetWidth(header.get()), FreeImage_GetHeight(header.get()), limits);
    }
    const QString ext = path.mid(path.lastIndexOf(u'.') + 1);
    const auto declared = declaredSizeOf(path, ext);
    return declared && declared->pixels() > limits.maxPixels;
}

} // namespace

LoadResult decodeWithFreeImage(const QString &path, int format, int flags,
                               const DecodeLimits &limits)
{
    initialiseFreeImage();
    lastFreeImageMessage.clear();
    const auto fif = FREE_IMAGE_FORMAT(format);
    const QByteArray localPath = QFile::encodeName(path);
    if (declaresTooLarge(fif, localPath, path, flags, limits))
        return loadFailure(QStringLiteral("the picture is too large"));
    FiBitmap bitmap(FreeImage_Load(fif, localPath.constData(), flags));
    if (!bitmap)
        return loadFailure(freeImageError());
    if (tooLarge(FreeImage_GetWidth(bitmap.get()), FreeImage_GetHeight(bitmap.get()), limits))
        return loadFailure(QStringLiteral("the picture is too large"));
    LoadResult result;
    result.image = toQImage(bitmap.get());
    if (result.image.isNull())
        return loadFailure(QStringLiteral("FreeImage could not convert the picture"));
    result.ok = true;
    result.depth = int(FreeImage_GetBPP(bitmap.get()));
    return result;
}

LoadResult decodeWithFreeImageDetected(const QString &path, const DecodeLimits &limits)
{
    initialiseFreeImage();
    const FREE_IMAGE_FORMAT detected = FreeImage_GetFileType(QFile::encodeName(path).constData(), 16);
    if (detected == FIF_UNKNOWN)
        return loadFailure(QStringLiteral("the file's type is not known"));
    return decodeWithFreeImage(path, detected, 0, limits);
}

} // namespace pictrove
