#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>

namespace pictrove::test {

// The details a camera writes into a photo, laid out by hand as a TIFF
// structure the way cameras lay them out: the primary directory (IFD0), the
// Exif and GPS directories it points to, and a thumbnail directory (IFD1)
// with a small JPEG after it.
struct CameraDetails {
    bool bigEndian = false;
    QByteArray make = "Tevalen Optics";
    QByteArray model = "TV-300 Mk II";
    QByteArray dateTimeOriginal = "2024:05:17 14:03:22";
    int orientation = 6; // 0: no orientation tag
    bool gps = true;     // a latitude of 51 degrees north
    bool thumbnail = true;
    bool makerNote = true;
    QSize pixelSize;     // PixelX/YDimension as the camera wrote them; none when empty
};

QByteArray exifBlock(const CameraDetails &details = {});

// The bytes of the thumbnail exifBlock puts after IFD1 (a JPEG whose
// comment segment reads "Tevalen thumbnail"); a written file holds them
// only if the thumbnail came along.
QByteArray thumbnailMark();

// An XMP packet with tiff:Orientation and exif:PixelX/YDimension as
// attributes, a dc:title element, and 2 KiB of padding as editors leave.
QByteArray xmpPacket(int orientation, QSize pixelSize);

// A camera JPEG of picture: SOI, APP1 with the EXIF block, APP1 with the
// XMP packet when given, then the rest of a JPEG written by Qt.
QByteArray cameraJpeg(const QImage &picture, const QByteArray &exif, const QByteArray &xmp = {});

// The payload of every JPEG APP1 segment whose payload starts with prefix,
// prefix removed, in file order.
QList<QByteArray> jpegApp1Payloads(const QByteArray &jpeg, const QByteArray &prefix);

// The data of every PNG chunk of the type, in file order, and the types of
// all chunks in order.
QList<QByteArray> pngChunks(const QByteArray &png, const QByteArray &type);
QList<QByteArray> pngChunkTypes(const QByteArray &png);

} // namespace pictrove::test
