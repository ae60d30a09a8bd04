#pragma once

#include "decoding/LoaderTables.h"
#include "decoding/ResizeTarget.h"

#include <QImage>
#include <QString>

#include <chrono>

namespace pictrove {

// The outcome of reading one picture file. A failure of any kind (no loader
// for the extension, a decoder error, a refused size, a decoder that crashed
// or ran out of time) is ok == false with the image null and a reason.
struct LoadResult {
    bool ok = false;
    QImage image; // Format_RGB32, or Format_ARGB32 when the picture has transparency
    int depth = 0; // bits per pixel of the picture as the loader handed it over
    QString error;
    // The load was ended through its CancelToken before a picture came; not
    // a fault of the file.
    bool cancelled = false;
    // Something about the file that did not stop the load but changes what
    // the user gets (a colour profile that could not be used).
    QString warning;
    // What the file says about the picture beyond its pixels, for the
    // writers that can carry it on: the EXIF block as a TIFF structure
    // (without JPEG's "Exif\0\0" prefix) and the XMP packet, each empty
    // when the file has none.
    QByteArray exif;
    QByteArray xmp;
    // The ICC profile a HEIF, AVIF or JPEG XL file carries in its own
    // container (its colour property or codestream header), where a reading
    // of JPEG, PNG, TIFF or WebP chunks does not reach; empty when the file
    // has none or says plain sRGB. The pixels are still in that profile's space.
    QByteArray iccProfile;
    // The picture's upright size in the file when the decoder read it at a
    // smaller scale for a resize (a JPEG through libjpeg's scaling); empty
    // when the image is the file's full size.
    QSize fullSize;
    // Where the load's time went, for the benchmarks (zero when unknown):
    // the decode itself in the decoder (wall and processor time), and the
    // hand-over of its pixels to this process.
    struct Timing {
        std::chrono::nanoseconds decodeWall{0};
        std::chrono::nanoseconds decodeCpu{0};
        std::chrono::nanoseconds handOver{0};
        std::chrono::nanoseconds load{0}; // the whole load, as the loading thread saw it
        // The decoder copied the decoded rows into the hand-over's memory
        // rather than decoding straight into it.
        bool pixelsCopied = false;
    } timing;
};

class CancelToken;
class DecoderSandbox;

// Reads a picture through one dispatch table, the extension taken from the
// path's file name in any letter case. Synchronous; needs no event loop.
// Every decode runs in the decoder process (see DecoderSandbox.h) unless the
// in-process mode has been chosen.
LoadResult loadPicture(const QString &path, LoaderTable table);

// The same with the extension given apart from the path.
// A load given a cancel token ends soon after the token is cancelled.
// A decoder of the caller's own keeps its decodes from waiting for those of
// other threads; without one the shared decoder serves.
// A resize the picture is read for lets a JPEG shrunk by half or more be
// decoded at a smaller scale (LoadResult::fullSize says from what).
LoadResult loadPicture(const QString &path, const QString &extension, LoaderTable table,
                       const CancelToken *cancel = nullptr, DecoderSandbox *decoder = nullptr,
                       const ResizeSetting &resize = {});

// Width, height and colour depth of the current image.
struct ImageDescription {
    int width = 0;
    int height = 0;
    int depth = 0;
};

// The preview's loader: the picture of path read through the preview table by
// extension, or a null image when nothing could be loaded. The description is
// set only on success, so a failed file leaves the previous image's values.
QImage LoadImageBitmap(const QString &path, const QString &extension,
                       ImageDescription &description);

// Where decodes run. Sandboxed (the default) keeps the user's files away from
// the libraries in this process; InProcess is for the decoder itself, for
// benchmarks and for comparing both in tests.
enum class LoaderMode { Sandboxed, InProcess };
void setLoaderMode(LoaderMode mode);
LoaderMode loaderMode();

} // namespace pictrove
