#pragma once

#include <QByteArray>
#include <QSize>

namespace pictrove::xmp {

// The XMP packet a writer carries into a file made of the source picture.
// The packet is XML text the program never parses: the few properties that
// no longer hold are found by their usual names (tiff:Orientation,
// exif:PixelXDimension, exif:PixelYDimension, tiff:ImageWidth,
// tiff:ImageLength), as attributes or as elements, and their values
// replaced (orientation 1, the written size); everything else is carried as
// it is.
QByteArray rebuildForWriting(const QByteArray &packet, QSize pictureSize);

// The packet without the padding before its closing processing instruction
// (room the packet's maker left for editing in place), for a file whose room
// is short: a JPEG segment holds 65,504 bytes of packet.
QByteArray withoutPadding(const QByteArray &packet);

} // namespace pictrove::xmp
