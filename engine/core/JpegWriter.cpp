#include "engine/core/JpegWriter.h"

#include "platform/WriteFailure.h"

#include <QSaveFile>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <new>
#include <vector>

#include <jpeglib.h>
#include <jerror.h>

namespace pictrove {

namespace {

// libjpeg reports errors by calling error_exit, which must not return.
struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
};

[[noreturn]] void leave(j_common_ptr info)
{
    std::longjmp(reinterpret_cast<ErrorManager *>(info->err)->jump, 1);
}

void quiet(j_common_ptr) {}

// The quality FreeImage's writer reads from its flags; -1 for flags that ask
// for more than a quality (progressive, optimised, subsampling, baseline).
int qualityOf(int flags)
{
    constexpr int presets = JPEG_QUALITYSUPERB | JPEG_QUALITYGOOD | JPEG_QUALITYNORMAL
        | JPEG_QUALITYAVERAGE | JPEG_QUALITYBAD;
    if ((flags & ~(presets | 0x7F)) != 0)
        return -1;
    if ((flags & JPEG_QUALITYBAD) == JPEG_QUALITYBAD)
        return 10;
    if ((flags & JPEG_QUALITYAVERAGE) == JPEG_QUALITYAVERAGE)
        return 25;
    if ((flags & JPEG_QUALITYNORMAL) == JPEG_QUALITYNORMAL)
        return 50;
    if ((flags & JPEG_QUALITYGOOD) == JPEG_QUALITYGOOD)
        return 75;
    if ((flags & JPEG_QUALITYSUPERB) == JPEG_QUALITYSUPERB)
        return 100;
    return (flags & 0x7F) == 0 ? 75 : flags & 0x7F;
}

// Where the compressed bytes go: a buffer of ours, grown as needed.
struct Destination {
    jpeg_destination_mgr pub{};
    std::vector<unsigned char> bytes;
};

void startBytes(j_compress_ptr info)
{
    auto *d = reinterpret_cast<Destination *>(info->dest);
    d->pub.next_output_byte = d->bytes.data();
    d->pub.free_in_buffer = d->bytes.size();
}

boolean moreBytes(j_compress_ptr info)
{
    auto *d = reinterpret_cast<Destination *>(info->dest);
    const std::size_t used = d->bytes.size();
    bool grown = true;
    try {
        d->bytes.resize(used * 2);
    } catch (const std::bad_alloc &) {
        grown = false;
    }
    if (!grown)
        ERREXIT1(info, JERR_OUT_OF_MEMORY, 0); // never returns
    d->pub.next_output_byte = d->bytes.data() + used;
    d->pub.free_in_buffer = d->bytes.size() - used;
    return TRUE;
}

void endBytes(j_compress_ptr info)
{
    auto *d = reinterpret_cast<Destination *>(info->dest);
    d->bytes.resize(d->bytes.size() - d->pub.free_in_buffer);
}

// The compressor and its output, released on every path (a longjmp
// included: nothing with a destructor lives between setjmp and the calls
// that may jump).
struct Compressor {
    jpeg_compress_struct info{};
    ErrorManager error{};
    Destination destination;
    ~Compressor() { jpeg_destroy_compress(&info); }
};

bool compress(Compressor &c, const QImage &rgb, int quality)
{
    c.info.err = jpeg_std_error(&c.error.pub);
    c.error.pub.error_exit = leave;
    c.error.pub.output_message = quiet;
    if (setjmp(c.error.jump))
        return false;
    jpeg_create_compress(&c.info);
    c.destination.pub.init_destination = startBytes;
    c.destination.pub.empty_output_buffer = moreBytes;
    c.destination.pub.term_destination = endBytes;
    c.info.dest = &c.destination.pub;
    c.info.image_width = JDIMENSION(rgb.width());
    c.info.image_height = JDIMENSION(rgb.height());
    // Blue, green, red, pad: a 32-bit row as it lies in memory, read as
    // FreeImage's writer reads its 24-bit rows turned to red-green-blue.
    c.info.in_color_space = JCS_EXT_BGRX;
    c.info.input_components = 4;
    jpeg_set_defaults(&c.info);
    // FreeImage's density: a fresh bitmap's 2835 dots per metre, in inches.
    c.info.X_density = UINT16(0.5 + 0.0254 * 2835);
    c.info.Y_density = UINT16(0.5 + 0.0254 * 2835);
    c.info.density_unit = 1;
    jpeg_set_quality(&c.info, quality, TRUE);
    jpeg_start_compress(&c.info, TRUE);
    while (c.info.next_scanline < c.info.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(rgb.constScanLine(int(c.info.next_scanline)));
        jpeg_write_scanlines(&c.info, &row, 1);
    }
    jpeg_finish_compress(&c.info);
    return true;
}

} // namespace

JpegWrite writeJpegRows(const QImage &picture, int flags, const QString &path,
                        const FinishFile &finish)
{
    const int quality = qualityOf(flags);
    if (quality < 0 || picture.isNull()
        || (picture.format() != QImage::Format_RGB32 && picture.format() != QImage::Format_ARGB32))
        return JpegWrite::NotHandled;
    Compressor c;
    try {
        // A photo at this quality rarely needs more; more is added as needed.
        c.destination.bytes.resize(std::max<std::size_t>(
            std::size_t(picture.width()) * std::size_t(picture.height()) / 4, 1 << 16));
    } catch (const std::bad_alloc &) {
        return JpegWrite::Failed;
    }
    if (!compress(c, picture, quality) || c.destination.bytes.empty())
        return JpegWrite::Failed;
    QByteArray bytes = QByteArray::fromRawData(
        reinterpret_cast<const char *>(c.destination.bytes.data()), qsizetype(c.destination.bytes.size()));
    if (finish) {
        bytes = finish(QByteArray(bytes.constData(), bytes.size()));
        if (bytes.isEmpty())
            return JpegWrite::Failed;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.flush()
        || !file.commit()) {
        noteWriteFailure();
        return JpegWrite::Failed;
    }
    return JpegWrite::Written;
}

} // namespace pictrove
