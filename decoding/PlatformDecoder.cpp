#include "decoding/Decoders.h"
#include "decoding/PixelHandOver.h"

#include <QFile>
#include <QImageReader>
#include <QPainter>
#include <QSvgRenderer>

#include <emf2svg.h>
#include <libwmf/api.h>
#include <libwmf/svg.h>

#include <cmath>
#include <cstdlib>
#include <memory>

namespace pictrove {

namespace {

constexpr double metafileDpi = 96.0;

LoadResult tooLarge()
{
    return loadFailure(QStringLiteral("the picture is too large"));
}

// Draws an SVG document on white at the given pixel size.
QImage renderSvg(const QByteArray &svg, QSize size, const DecodeLimits &limits)
{
    QSvgRenderer renderer(svg);
    if (!renderer.isValid())
        return {};
    if (size.isEmpty())
        size = renderer.defaultSize();
    if (size.isEmpty() || std::int64_t(size.width()) * size.height() > limits.maxPixels)
        return {};
    QImage image(size, QImage::Format_RGB32);
    if (image.isNull())
        return {};
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        renderer.render(&painter);
    }
    return image;
}

struct WmfApiDeleter {
    void operator()(wmfAPI *api) const noexcept { wmf_api_destroy(api); }
};
using WmfApi = std::unique_ptr<wmfAPI, WmfApiDeleter>;

LoadResult decodeWmf(const QString &path, const DecodeLimits &limits)
{
    wmfAPI_Options options{};
    options.function = wmf_svg_function;
    wmfAPI *raw = nullptr;
    const unsigned long flags = WMF_OPT_FUNCTION | WMF_OPT_IGNORE_NONFATAL | WMF_OPT_NO_ERROR
        | WMF_OPT_NO_DEBUG;
    if (wmf_api_create(&raw, flags, &options) != wmf_E_None) {
        if (raw)
            wmf_api_destroy(raw);
        return loadFailure(QStringLiteral("the metafile reader could not start"));
    }
    WmfApi api(raw);
    const QByteArray localPath = QFile::encodeName(path);
    if (wmf_file_open(api.get(), localPath.constData()) != wmf_E_None)
        return loadFailure(QStringLiteral("the file is not a readable metafile"));
    wmfD_Rect bbox{};
    if (wmf_scan(api.get(), 0, &bbox) != wmf_E_None)
        return loadFailure(QStringLiteral("the file is not a readable metafile"));
    unsigned int width = 0, height = 0;
    if (wmf_display_size(api.get(), &width, &height, metafileDpi, metafileDpi) != wmf_E_None
        || width == 0 || height == 0)
        return loadFailure(QStringLiteral("the metafile has no size"));
    if (std::int64_t(width) * height > limits.maxPixels)
        return tooLarge();

    wmf_svg_t *device = WMF_SVG_GetData(api.get());
    device->bbox = bbox;
    device->width = width;
    device->height = height;
    device->out = wmf_stream_create(api.get(), nullptr);
    device->Description = nullptr;
    device->flags |= WMF_SVG_INLINE_IMAGES;
    const wmf_error_t played = wmf_play(api.get(), 0, &bbox);
    char *buffer = nullptr;
    unsigned long length = 0;
    // The memory stream's buffer belongs to the API's allocator and is freed
    // with it; copy it out first.
    wmf_stream_destroy(api.get(), device->out, &buffer, &length);
    device->out = nullptr;
    if (played != wmf_E_None || !buffer || length == 0)
        return loadFailure(QStringLiteral("the metafile could not be drawn"));
    const QByteArray svg(buffer, qsizetype(length));
    const QImage image = renderSvg(svg, QSize(int(width), int(height)), limits);
    if (image.isNull())
        return loadFailure(QStringLiteral("the metafile could not be drawn"));
    return loadedPicture(image, 0);
}

struct MallocDeleter {
    void operator()(char *p) const noexcept { std::free(p); }
};

LoadResult decodeEmf(const QString &path, const DecodeLimits &limits)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return loadFailure(QStringLiteral("the file cannot be opened"));
    if (file.size() > (qint64(256) << 20)) // converted whole, in memory
        return tooLarge();
    QByteArray contents = file.readAll();
    if (contents.size() < 88)
        return loadFailure(QStringLiteral("the file is not a readable metafile"));
    generatorOptions options{};
    char nameSpace[] = "svg";
    options.nameSpace = nameSpace;
    options.verbose = false;
    options.emfplus = true;
    options.svgDelimiter = true;
    char *out = nullptr;
    size_t outLength = 0;
    const int ok = emf2svg(contents.data(), size_t(contents.size()), &out, &outLength, &options);
    std::unique_ptr<char, MallocDeleter> owned(out);
    if (!ok || !out || outLength == 0)
        return loadFailure(QStringLiteral("the file is not a readable metafile"));
    // Natural size: the frame rectangle of the header, in 0.01 mm, at 96 DPI.
    const auto frame = [&](int at) {
        const auto *p = reinterpret_cast<const uchar *>(contents.constData() + at);
        return qint32(quint32(p[0]) | quint32(p[1]) << 8 | quint32(p[2]) << 16 | quint32(p[3]) << 24);
    };
    const double mmWidth = double(frame(32)) - frame(24);
    const double mmHeight = double(frame(36)) - frame(28);
    QSize size(int(std::lround(mmWidth / 2540.0 * metafileDpi)),
               int(std::lround(mmHeight / 2540.0 * metafileDpi)));
    if (mmWidth <= 0 || mmHeight <= 0 || mmWidth > 1e9 || mmHeight > 1e9)
        size = QSize();
    else if (std::int64_t(size.width()) * size.height() > limits.maxPixels)
        return tooLarge();
    const QImage image = renderSvg(QByteArray(out, qsizetype(outLength)), size, limits);
    if (image.isNull())
        return loadFailure(QStringLiteral("the metafile could not be drawn"));
    return loadedPicture(image, 0);
}

// The reader Qt would choose by content for a file that starts with one of
// these signatures, named; empty for any other start.
QByteArray formatBySignature(const QByteArray &start)
{
    if (start.startsWith("BM"))
        return "bmp";
    if (start.startsWith("GIF87a") || start.startsWith("GIF89a"))
        return "gif";
    if (start.startsWith("\xFF\xD8\xFF"))
        return "jpeg";
    return {};
}

LoadResult decodeBitmap(const QString &path, const DecodeLimits &limits)
{
    // Deciding by content, Qt asks every picture plugin it has, loading each
    // into this process (and some large libraries with them) for every file.
    // A file with a plain signature goes straight to the reader that asking
    // would have found; any other is decided by content as before.
    QFile file(path);
    const QByteArray format =
        file.open(QIODevice::ReadOnly) ? formatBySignature(file.peek(8)) : QByteArray();
    QImageReader reader;
    if (format.isEmpty()) {
        file.close();
        reader.setFileName(path);
        reader.setDecideFormatFromContent(true);
    } else {
        reader.setDevice(&file);
        reader.setFormat(format);
        reader.setAutoDetectImageFormat(false); // else every plugin is asked about the name
    }
    // The orientation is applied after every route alike (PhotoAdjust.h).
    reader.setAutoTransform(false);
    reader.setAllocationLimit(int(std::min<std::int64_t>(limits.maxPixels * 4 / (1024 * 1024), 1 << 20)));
    const QSize declared = reader.size();
    if (declared.isValid() && std::int64_t(declared.width()) * declared.height() > limits.maxPixels)
        return tooLarge();
    // A true-colour picture is read straight into the memory it is handed
    // over in (Qt's readers fill a picture of the right size and format).
    QImage image;
    if (declared.isValid() && reader.imageFormat() == QImage::Format_RGB32)
        image = handover::newPicture(declared.width(), declared.height(), QImage::Format_RGB32);
    if (!reader.read(&image))
        image = QImage();
    if (image.isNull())
        return loadFailure(QStringLiteral("the file could not be read: ") + reader.errorString());
    image = image.convertToFormat(image.hasAlphaChannel() ? QImage::Format_ARGB32
                                                          : QImage::Format_RGB32);
    return loadedPicture(image, 0);
}

} // namespace

LoadResult decodeWithPlatform(const QString &path, QStringView extension,
                              const DecodeLimits &limits)
{
    LoadResult result;
    if (extension.compare(u"wmf", Qt::CaseInsensitive) == 0)
        result = decodeWmf(path, limits);
    else if (extension.compare(u"emf", Qt::CaseInsensitive) == 0)
        result = decodeEmf(path, limits);
    else
        result = decodeBitmap(path, limits);
    if (result.ok)
        result.depth = platformRouteDepth(extension);
    return result;
}

} // namespace pictrove
