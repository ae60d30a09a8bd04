#pragma once

#include <QString>

#include <stdexcept>

namespace pictrove {

class PictureSurface;

// Raised by cPCX when nothing was written: no picture, a picture too large
// for the format, or a file that could not be written. An existing file of
// the target name is then left as it was.
class PcxWriteError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Writes a surface's client area as a 24-bit, three-plane PCX file (ZSoft
// version 5): a 128-byte header followed by, for each scan line top first,
// the red, green and blue plane lines of BytesPerLine bytes each (width
// rounded up to even; the pad byte is zero). Compressed data uses PCX
// run-length coding: runs of up to 63 bytes as 0xC0 + n and the byte, a
// single byte of 0xC0 or more as 0xC1 and the byte. Runs may cross plane
// lines but stop at the end of every scan line, as PCX readers decode one
// scan line at a time. No palette follows the image data.
class cPCX {
public:
    // Replaces FileName only once the whole file is written; throws
    // PcxWriteError on any failure.
    void SavePCXinFile(const QString &FileName, const PictureSurface &Pic, bool Compress);
};

} // namespace pictrove
