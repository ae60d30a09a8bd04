#include "engine/core/PcxWriter.h"

#include "platform/WriteFailure.h"

#include "engine/core/PictureSurface.h"

#include <QSaveFile>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <vector>

namespace pictrove {

namespace {

constexpr std::size_t HeaderSize = 128;
constexpr int MaxRun = 63;
// The header stores Xmax, Ymax and BytesPerLine in 16 bits.
constexpr int MaxWidth = 0xFFFE;
constexpr int MaxHeight = 0xFFFF;

void put16(std::uint8_t *at, int value)
{
    at[0] = std::uint8_t(value & 0xFF);
    at[1] = std::uint8_t((value >> 8) & 0xFF);
}

std::array<std::uint8_t, HeaderSize> makeHeader(int width, int height, int bytesPerLine,
                                                bool compress)
{
    std::array<std::uint8_t, HeaderSize> h{};
    h[0] = 10; // ZSoft
    h[1] = 5;  // PC Paintbrush 3.0 and later: 24-bit colour
    h[2] = compress ? 1 : 0;
    h[3] = 8; // bits per pixel per plane
    put16(&h[4], 1); // the image window runs from (1, 1) to (W, H)
    put16(&h[6], 1);
    put16(&h[8], width);
    put16(&h[10], height);
    put16(&h[12], 96);
    put16(&h[14], 96);
    h[65] = 3; // planes
    put16(&h[66], bytesPerLine);
    return h;
}

// One scan line's run-length code; out needs room for 2 * n bytes. Most
// bytes of a photo stand alone, so that case takes the short path, and
// without a branch on the byte's value.
std::size_t encodeRuns(const std::uint8_t *in, std::size_t n, std::uint8_t *out)
{
    std::uint8_t *o = out;
    const std::uint8_t *const end = in + n;
    while (in < end) {
        const std::uint8_t value = *in;
        if (in + 1 == end || in[1] != value) {
            const unsigned counted = value >= 0xC0; // would read as a count: 0xC1 first
            o[0] = std::uint8_t(value ^ ((value ^ 0xC1u) & (0u - counted)));
            o[1] = value;
            o += 1 + counted;
            ++in;
            continue;
        }
        const std::uint8_t *const limit = end - in > MaxRun ? in + MaxRun : end;
        const std::uint8_t *next = in + 2;
        while (next < limit && *next == value)
            ++next;
        o[0] = std::uint8_t(0xC0 | (next - in));
        o[1] = value;
        o += 2;
        in = next;
    }
    return std::size_t(o - out);
}

void splitPlanes(const QRgb *__restrict pixels, int width, std::size_t bytesPerLine,
                 std::uint8_t *__restrict line)
{
    std::uint8_t *__restrict red = line;
    std::uint8_t *__restrict green = line + bytesPerLine;
    std::uint8_t *__restrict blue = line + 2 * bytesPerLine;
    for (int x = 0; x < width; ++x) {
        const QRgb p = pixels[x];
        red[x] = std::uint8_t(qRed(p));
        green[x] = std::uint8_t(qGreen(p));
        blue[x] = std::uint8_t(qBlue(p));
    }
    if (width & 1)
        red[width] = green[width] = blue[width] = 0;
}

// errno right after the failed call names the cause ("no space left on
// device"); Qt's own text is often only "Unknown error".
QString systemReason(const QFileDevice &file)
{
    noteWriteFailure();
    const QString reason = takeWriteFailure();
    return reason.isEmpty() ? file.errorString() : reason;
}

std::string failureText(const QString &fileName, const QString &reason)
{
    return QStringLiteral("Cannot write the PCX file %1: %2").arg(fileName, reason).toStdString();
}

} // namespace

void cPCX::SavePCXinFile(const QString &FileName, const PictureSurface &Pic, bool Compress)
{
    const int width = Pic.width();
    const int height = Pic.height();
    if (width <= 0 || height <= 0)
        throw PcxWriteError(failureText(FileName, QStringLiteral("the picture is empty")));
    if (width > MaxWidth || height > MaxHeight)
        throw PcxWriteError(failureText(FileName, QStringLiteral("the picture is too large")));

    // Surfaces hold Format_RGB32; anything else is brought to it once.
    const QImage &store = Pic.image();
    const QImage image = store.format() == QImage::Format_RGB32
                             ? store
                             : store.convertToFormat(QImage::Format_RGB32);
    if (image.isNull())
        throw PcxWriteError(failureText(FileName, QStringLiteral("out of memory")));

    const int bytesPerLine = width + (width & 1);
    const std::size_t lineBytes = 3 * std::size_t(bytesPerLine);
    const std::size_t worstLine = Compress ? 2 * lineBytes : lineBytes;
    std::vector<std::uint8_t> line(Compress ? lineBytes : 0);
    std::vector<std::uint8_t> out(std::max(std::size_t(1) << 20, worstLine) + HeaderSize);

    QSaveFile file(FileName);
    if (!file.open(QIODevice::WriteOnly))
        throw PcxWriteError(failureText(FileName, systemReason(file)));

    const auto header = makeHeader(width, height, bytesPerLine, Compress);
    std::memcpy(out.data(), header.data(), HeaderSize);
    std::size_t used = HeaderSize;
    auto flush = [&] {
        if (file.write(reinterpret_cast<const char *>(out.data()), qint64(used)) != qint64(used))
            throw PcxWriteError(failureText(FileName, systemReason(file)));
        used = 0;
    };

    for (int y = 0; y < height; ++y) {
        if (out.size() - used < worstLine)
            flush();
        const auto *pixels = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        if (Compress) {
            splitPlanes(pixels, width, std::size_t(bytesPerLine), line.data());
            used += encodeRuns(line.data(), lineBytes, out.data() + used);
        } else {
            splitPlanes(pixels, width, std::size_t(bytesPerLine), out.data() + used);
            used += lineBytes;
        }
    }
    flush();
    // commit() does not notice when writing out its buffer fails: flush first.
    if (!file.flush() || !file.commit())
        throw PcxWriteError(failureText(FileName, systemReason(file)));
}

} // namespace pictrove
