#include "engine/palette/PaletteEncoder.h"

#include "platform/WriteFailure.h"

#include "engine/core/PictureSurface.h"
#include "engine/palette/BmpWriter.h"
#include "engine/palette/Dither.h"
#include "engine/palette/GifWriter.h"
#include "engine/palette/PaletteChoice.h"
#include "engine/palette/Quantisers.h"
#include "engine/palette/RowProgress.h"

#include <algorithm>
#include <functional>
#include <new>
#include <optional>
#include <system_error>
#include <thread>

namespace pictrove {

namespace {

constexpr std::int32_t kAllTransforms =
    code(Transform::FlipVertical) | code(Transform::FlipHorizontal) | code(Transform::Invert);

bool isPaletteDepth(std::int32_t depth) { return depth >= 1 && depth <= 8; }

int threadsGranted(int threads)
{
    return threads > 0 ? threads : int(std::max(1u, std::thread::hardware_concurrency()));
}

// A second thread that writes the file while the rows are reduced. However
// the reduction ends, the writer is released and waited for, so it never
// waits forever nor outlives the picture it reads; unless the reduction
// completed, it is told to give up, so no file of a half-made picture
// appears.
class WriterThread {
public:
    RowProgress progress;

    void start(std::function<void()> work)
    {
        try {
            m_thread = std::thread([work = std::move(work)] {
                try {
                    work();
                } catch (...) {
                    // the result stays "not written"
                }
            });
        } catch (const std::system_error &) {
            // no thread to be had: the caller writes afterwards
        }
    }
    bool running() const { return m_thread.joinable(); }
    void complete()
    {
        progress.finish();
        m_completed = true;
    }
    ~WriterThread()
    {
        if (!m_completed)
            progress.abandon();
        if (m_thread.joinable())
            m_thread.join();
    }

private:
    std::thread m_thread;
    bool m_completed = false;
};

} // namespace

PaletteEncoder::PaletteEncoder() = default;
PaletteEncoder::~PaletteEncoder() = default;

std::optional<PaletteEncoder::Options> PaletteEncoder::parse(std::int32_t kind, std::int32_t mode,
                                                             std::int32_t depth, std::int32_t flags,
                                                             std::int32_t dither)
{
    // The one place where the numbers callers pass become our codes.
    const std::optional<EncoderKind> k = fromCode(encoderKindItems, kind);
    const std::optional<ColourMode> m = fromCode(colourModeItems, mode);
    const std::optional<Dither> d = ditherFromCode(dither);
    if (!k || !m || !d)
        return std::nullopt;
    if (!isPaletteDepth(depth) && depth != 16 && depth != 24)
        return std::nullopt;
    if (*k != EncoderKind::Bmp && !isPaletteDepth(depth))
        return std::nullopt; // GIF holds at most 256 colours
    if (!isPaletteDepth(depth) ? flags != code(ColourMap::Windows) // direct colour has no colour map
                               : !paletteFits(flags, depth))
        return std::nullopt;
    return Options{*k, *m, depth, flags, *d};
}

std::int32_t PaletteEncoder::SetOptions(std::int32_t kind, std::int32_t mode, std::int32_t depth,
                                        std::int32_t flags, std::int32_t dither)
{
    const std::optional<Options> options = parse(kind, mode, depth, flags, dither);
    if (!options)
        return 0;
    m_options = *options;
    m_processed = false;
    return 1;
}

std::int32_t PaletteEncoder::AttachPicture(const PictureSurface &picture, std::int32_t left,
                                           std::int32_t top, std::int32_t width,
                                           std::int32_t height)
{
    m_source = QImage();
    m_result = QImage();
    m_processed = false;
    const QImage &image = picture.image();
    if (image.isNull() || image.width() < 1 || image.height() < 1)
        return 0;
    // -1 takes the edge; anything else must lie inside the picture.
    const int x = left == -1 ? 0 : left;
    const int y = top == -1 ? 0 : top;
    if (x < 0 || y < 0 || x >= image.width() || y >= image.height())
        return 0;
    const int w = width == -1 ? image.width() - x : width;
    const int h = height == -1 ? image.height() - y : height;
    if (w < 1 || h < 1 || w > image.width() - x || h > image.height() - y)
        return 0;
    QImage copy = (x == 0 && y == 0 && w == image.width() && h == image.height())
                      ? image
                      : image.copy(x, y, w, h);
    m_source = copy.format() == QImage::Format_RGB32
                   ? std::move(copy)
                   : copy.convertToFormat(QImage::Format_RGB32);
    return m_source.isNull() ? 0 : 1;
}

std::int32_t PaletteEncoder::Transform(std::int32_t flags, std::int32_t reserved1,
                                       std::int32_t reserved2)
{
    if (m_source.isNull() || reserved1 != 0 || reserved2 != 0 || (flags & ~kAllTransforms) != 0)
        return 0;
    const bool flipV = has(flags, Transform::FlipVertical);
    const bool flipH = has(flags, Transform::FlipHorizontal);
    const bool invert = has(flags, Transform::Invert);
    // A stray bit of one word without the rest of it is no known transform.
    const std::int32_t known = (flipV ? code(Transform::FlipVertical) : 0)
                               | (flipH ? code(Transform::FlipHorizontal) : 0)
                               | (invert ? code(Transform::Invert) : 0);
    if (known != flags)
        return 0;
    if (flipH || flipV)
        m_source = m_source.mirrored(flipH, flipV);
    if (invert)
        m_source.invertPixels(QImage::InvertRgb);
    m_processed = false;
    return m_source.isNull() ? 0 : 1;
}

std::int32_t PaletteEncoder::Process()
{
    return reduce(nullptr) ? 1 : 0;
}

bool PaletteEncoder::reduce(const Writer *alongside)
{
    // A picture too large for memory is a failed encode, not a crash.
    try {
        return reduceUnguarded(alongside);
    } catch (const std::bad_alloc &) {
        m_processed = false;
        m_result = QImage();
        m_failure = QStringLiteral("not enough memory for the picture");
        return false;
    }
}

bool PaletteEncoder::reduceUnguarded(const Writer *alongside)
{
    m_processed = false;
    m_result = QImage();
    m_failure.clear();
    if (m_source.isNull())
        return false;

    QImage source = m_source;
    if (m_options.mode == ColourMode::Greyscale)
        makeGrey(source); // detaches: the attached copy stays in colour

    QImage target;
    std::optional<PaletteQuantiser> palette;
    std::optional<Rgb555Quantiser> rgb555;
    if (m_options.depth == 24) {
        target = source;
    } else if (m_options.depth == 16) {
        target = QImage(source.size(), QImage::Format_RGB555);
        rgb555.emplace();
    } else {
        std::vector<QRgb> colours = choosePalette(m_options.flags, m_options.depth, source,
                                                  m_options.mode == ColourMode::Greyscale,
                                                  &m_failure);
        if (colours.empty())
            return false;
        target = QImage(source.size(), QImage::Format_Indexed8);
        palette.emplace(colours);
        // The file's table has 2^depth entries; unused ones are black.
        colours.resize(size_t(1) << m_options.depth, qRgb(0, 0, 0));
        target.setColorTable(QList<QRgb>(colours.begin(), colours.end()));
    }
    if (target.isNull()) {
        m_failure = QStringLiteral("not enough memory for the picture");
        return false;
    }

    // The writer, when given and a second thread is granted, runs on that
    // thread and takes each row as soon as it is reduced; else it runs
    // afterwards.
    const int threads = threadsGranted(m_threads);
    bool written = false;
    int writeFailure = 0; // the writer thread's noted code, for this thread to report
    QString writerReason;
    {
        WriterThread writer;
        if (alongside && (palette || rgb555) && threads >= 2)
            writer.start([&] {
                written = (*alongside)(target, &writer.progress, &writerReason);
                writeFailure = takeWriteFailureCode();
            });
        RowProgress *shared = writer.running() ? &writer.progress : nullptr;
        const int reducers = std::max(1, threads - (writer.running() ? 1 : 0));
        if (palette)
            dither(m_options.dither, source, target, *palette, shared, reducers);
        else if (rgb555)
            dither(m_options.dither, source, target, *rgb555, shared, reducers);
        writer.complete();
        if (!writer.running() && alongside)
            written = (*alongside)(target, nullptr, &writerReason);
    } // the writer has finished here, on every path
    noteWriteFailure(writeFailure);
    if (alongside && !written)
        m_failure = writerReason;

    m_result = std::move(target);
    m_processed = true;
    return !alongside || written;
}

std::int32_t PaletteEncoder::save(const QString &path, EncoderKind kind)
{
    if (path.isEmpty() || (!m_processed && !Process()))
        return 0;
    m_failure.clear();
    if (kind != EncoderKind::Bmp && !isPaletteDepth(m_options.depth))
        return 0;
    try {
        const bool ok = kind == EncoderKind::Bmp
                            ? writeBmp(m_result, path)
                            : writeGif(m_result, kind == EncoderKind::GifInterlaced, path,
                                       nullptr, &m_failure);
        return ok ? 1 : 0;
    } catch (const std::bad_alloc &) {
        m_failure = QStringLiteral("not enough memory for the picture");
        return 0;
    }
}

std::int32_t PaletteEncoder::SaveBmp(const QString &path) { return save(path, EncoderKind::Bmp); }
std::int32_t PaletteEncoder::SaveGif(const QString &path) { return save(path, EncoderKind::Gif); }
std::int32_t PaletteEncoder::SaveGifInterlaced(const QString &path)
{
    return save(path, EncoderKind::GifInterlaced);
}

std::int32_t PaletteEncoder::EncodePicture(const PictureSurface &picture, const QString &path,
                                           std::int32_t kind, std::int32_t mode,
                                           std::int32_t depth, std::int32_t flags,
                                           std::int32_t dither, std::int32_t left,
                                           std::int32_t top, std::int32_t width,
                                           std::int32_t height)
{
    if (!SetOptions(kind, mode, depth, flags, dither)
        || !AttachPicture(picture, left, top, width, height))
        return 0;
    return ProcessAndSave(path);
}

std::int32_t PaletteEncoder::ProcessAndSave(const QString &path)
{
    if (path.isEmpty())
        return 0;
    if (m_options.kind == EncoderKind::Bmp)
        return Process() ? save(path, m_options.kind) : 0;
    // A GIF is written while the picture is being reduced.
    const bool interlaced = m_options.kind == EncoderKind::GifInterlaced;
    const Writer gif = [&](const QImage &image, const RowProgress *ready, QString *reason) {
        return writeGif(image, interlaced, path, ready, reason);
    };
    return reduce(&gif) ? 1 : 0;
}

void makeGrey(QImage &picture)
{
    // In 16-bit fixed point (the weights sum to 65536).
    for (int y = 0; y < picture.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(picture.scanLine(y));
        for (int x = 0; x < picture.width(); ++x) {
            const QRgb c = line[x];
            const int luma = (19595 * qRed(c) + 38470 * qGreen(c) + 7471 * qBlue(c) + 32768) >> 16;
            line[x] = qRgba(luma, luma, luma, qAlpha(c));
        }
    }
}

} // namespace pictrove
