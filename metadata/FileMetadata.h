#pragma once

#include "metadata/PictureMetadata.h"

#include <QByteArray>
#include <QSize>

namespace pictrove::filemetadata {

// Carrying a source's details into a file the program has just encoded in
// memory. Each function takes the complete file and gives it back with the
// metadata added, or unchanged where the file cannot take a part (a block
// too large for a JPEG segment, a damaged EXIF block); the file's own
// structure is never otherwise altered. The metadata is the source's, in the
// form PictureMetadata carries it: each is rebuilt for a file of
// pictureSize first (see exif::rebuildForWriting, xmp::rebuildForWriting).

// The two blocks as a writer puts them into a file of that size.
PictureMetadata forWriting(const PictureMetadata &source, QSize pictureSize);

// JPEG: an APP1 "Exif" segment and an APP1 XMP segment right after the
// JFIF segment (or after SOI when there is none). A block over a segment's
// 64 KiB is left out; so is an XMP packet that does not fit without its
// padding (extended XMP is not written).
QByteArray addToJpeg(const QByteArray &jpeg, const PictureMetadata &prepared);

// PNG: an eXIf chunk and an iTXt chunk "XML:com.adobe.xmp" before the first
// IDAT chunk.
QByteArray addToPng(const QByteArray &png, const PictureMetadata &prepared);

// TIFF: the EXIF block's Exif and GPS directories beside the picture's
// directory, which gets their pointers and the descriptive tags of the
// block's primary directory (description, make, model, software, date,
// artist, copyright) that it does not hold already, and the XMP packet as
// tag 700. The picture's own tags (size, strips, resolution) stay the
// writer's. The new entries go at the end of the file and the header is
// pointed at the new directory.
QByteArray addToTiff(const QByteArray &tiff, const PictureMetadata &prepared);

// Largest payloads of one JPEG APP1 segment after its identifier.
constexpr int MaxJpegExifBytes = 65535 - 2 - 6;
constexpr int MaxJpegXmpBytes = 65535 - 2 - 29;

} // namespace pictrove::filemetadata
