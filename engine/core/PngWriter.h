#pragma once

#include "engine/core/FreeImageSave.h"

#include <FreeImage.h>

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace pictrove {

// The PNG files of the library route, written with libdeflate and zlib's
// run-length coder instead of FreeImage's zlib at level 6: the same chunks
// in the same order (IHDR, PLTE, pHYs, IDAT, IEND), the same colour type
// and bit depth, the same filtered rows as libpng chooses them, in less
// time and no more bytes.
// The filtered rows are cut into pieces compressed on up to threads
// threads and joined into one zlib stream; the pieces depend on the
// picture's size alone, so the bytes are the same whatever the threads.
struct PngWriteOptions {
    int threads = 1;
    // Uncompressed bytes a piece aims at: each piece starts a fresh
    // dictionary, so fewer means a little smaller, more means more cores
    // busy and less memory held at once.
    std::size_t pieceBytes = std::size_t(2) << 20;
    // Rows per piece, when set: overrides pieceBytes (tests cut pieces of
    // one row).
    int pieceRows = 0;
};

// The file FreeImage's PNG writer would make of dib with flags 0, or an
// empty array when dib is something this writer leaves to FreeImage
// (another depth or type, transparency, a background colour, an ICC
// profile or text to carry) or when the encode failed, with the reason in
// *error in that case.
QByteArray encodePng(FIBITMAP *dib, const PngWriteOptions &options, QString *error = nullptr);

// True when encodePng writes dib itself.
bool pngWriterTakes(FIBITMAP *dib);

// Saves dib as a PNG at path through the checked replace path of
// saveBitmapChecked (a failed write keeps the file there), with
// FreeImage's own writer for the bitmaps encodePng does not take. False
// when anything failed; a reason that is not the system's goes to *error.
bool savePngChecked(FIBITMAP *dib, const QString &path, int threads, const FinishFile &finish = {},
                    QString *error = nullptr);

namespace pngdetail {

// One zlib stream of the concatenated pieces, each piece's bytes made by
// fill(piece, into) and compressed on up to threads threads, each piece
// coded as runs, or at libdeflate's level where that codes it smaller.
// Empty, with the reason in *error, when it failed.
using FillPiece = std::function<void(int piece, std::vector<std::uint8_t> &into)>;
struct ZlibPieces {
    std::vector<std::vector<std::uint8_t>> parts; // in order; concatenated they are the stream
    std::size_t size() const;
};
bool compressPieces(int pieceCount, const FillPiece &fill, int level, int threads, ZlibPieces &out,
                    QString *error);

} // namespace pngdetail

} // namespace pictrove
