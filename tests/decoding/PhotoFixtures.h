#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

#include <utility>
#include <vector>

namespace pictrove::test {

// What a made-up camera writes into its EXIF block.
struct CameraFields {
    QByteArray make = "Tevalen";
    QByteArray model = "Photo Box 7";
    QByteArray dateTaken = "2024:05:17 09:41:26";
};

// An EXIF block (a TIFF structure, without JPEG's "Exif\0\0"): the first
// directory with the make, the model and, when orientation > 0, the
// orientation; an EXIF directory with the date taken. In either byte order.
QByteArray exifBlock(int orientation, bool bigEndian = false, const CameraFields &fields = {});

// An XMP packet naming a rating and a title.
QByteArray xmpPacket();

// A JPEG marker segment: FF, the marker, the length, the payload.
QByteArray jpegSegment(int marker, const QByteArray &payload);
QByteArray exifSegment(const QByteArray &exif);
QByteArray xmpSegment(const QByteArray &xmp);
// A profile cut into APP2 chunks of at most chunkBytes each, in order.
std::vector<QByteArray> iccSegments(const QByteArray &icc, int chunkBytes = 65519);

// The picture as a JPEG written by Qt, quality 95 (or lossless-ish at
// 100), with the segments put right after its JFIF header.
QByteArray jpegWith(const QImage &picture, const std::vector<QByteArray> &segments, int quality = 95);
// The same segments put into a JPEG that is already made.
QByteArray withSegments(const QByteArray &jpeg, const std::vector<QByteArray> &segments);

// The picture as a PNG written by Qt with extra chunks right after IHDR.
using PngChunk = std::pair<QByteArray, QByteArray>; // type, data
QByteArray pngWith(const QImage &picture, const std::vector<PngChunk> &chunks);
PngChunk iccpChunk(const QByteArray &icc);
PngChunk xmpChunk(const QByteArray &xmp, bool compressed);

// A little-endian RGB TIFF of the stored picture, in one strip, with the
// orientation tag (when > 0), the camera's make and model and an EXIF
// directory with the date taken, and a profile and an XMP packet when given.
QByteArray tiffWith(const QImage &stored, int orientation, const QByteArray &icc = {},
                    const QByteArray &xmp = {}, const CameraFields &fields = {});

// A WebP container with a VP8X header and the given chunks and no picture:
// enough for what is read before decoding.
QByteArray webpWith(const std::vector<PngChunk> &chunks);

// What ImageMagick's identify prints for a format string, or an empty
// string with the reason in `error` when it cannot run.
QString identify(const QString &file, const QString &format, QString *error = nullptr);

} // namespace pictrove::test
