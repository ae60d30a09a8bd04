#pragma once

#include "engine/palette/PaletteCodes.h"

#include <QImage>
#include <QString>

#include <cstdint>
#include <functional>
#include <optional>

namespace pictrove {

class PictureSurface;
class RowProgress;

// Reduces a picture to the colours, palette and dithering asked for, flips
// or inverts it, and writes it as BMP, GIF or interlaced GIF.
//
// Every operation returns non-zero on success and 0 on failure; callers stop
// at the first 0. A failed save leaves no file behind and never damages an
// existing one (files are written under a temporary name in the same folder
// and renamed when complete).
//
// Arguments (codes in PaletteCodes.h):
//   kind   0 BMP, 1 GIF, 2 interlaced GIF
//   mode   0 colours, 2 greyscale (ITU-R BT.601 luma before the reduction)
//   depth  1..8 palette entries (2^depth), 16 (5-5-5 BMP), 24 (BMP)
//   flags  colour map: 0x1000 Windows, 0x4000 Optimal, 0x8000|2^n Fixed
//          Color, 0x8210 VGA, 0x84D8 web-safe, 0x8300 Windows 256,
//          0x88FF Fixed Grey (which maps fit which depths: PaletteChoice.h;
//          16 and 24 bits take 0x1000 only, GIFs depths 1..8 only)
//   dither 0, 1, 2, 4, 8, 16, 32, 64, 256, 512, 1024 (Dither.h)
//   left, top, width, height: the part of the picture to encode; -1 means
//          from the edge / to the edge (so four -1 take the whole picture).
//
// One instance serves one encode; it holds no global state, so several may
// run at once (each on its own thread or interleaved on one). Granted two
// threads or more (setThreads), EncodePicture writes a GIF on a second
// thread of its own while the rows are reduced, and has joined it before
// returning; the reductions without error diffusion share their rows among
// the threads left. The files are the same whatever the number.
class PaletteEncoder {
public:
    PaletteEncoder();
    ~PaletteEncoder();
    PaletteEncoder(const PaletteEncoder &) = delete;
    PaletteEncoder &operator=(const PaletteEncoder &) = delete;

    // SetOptions + AttachPicture + Process + the save that matches kind.
    std::int32_t EncodePicture(const PictureSurface &picture, const QString &path,
                               std::int32_t kind, std::int32_t mode, std::int32_t depth,
                               std::int32_t flags, std::int32_t dither, std::int32_t left = -1,
                               std::int32_t top = -1, std::int32_t width = -1,
                               std::int32_t height = -1);

    // The threads this encoder may keep busy: 0 for one per processor (the
    // default), 1 to do everything on the calling thread.
    void setThreads(int threads) { m_threads = threads; }

    std::int32_t SetOptions(std::int32_t kind, std::int32_t mode, std::int32_t depth,
                            std::int32_t flags, std::int32_t dither);
    // Copies the picture (or the given part of it); later changes to the
    // surface do not reach this encoder.
    std::int32_t AttachPicture(const PictureSurface &picture, std::int32_t left = -1,
                               std::int32_t top = -1, std::int32_t width = -1,
                               std::int32_t height = -1);
    // TransformFlags (0x1010000 flip vertical, 0x1020000 flip horizontal,
    // 0x3100000 invert, any OR-combination) applied to the attached copy
    // before the reduction. The two reserved arguments must be 0.
    std::int32_t Transform(std::int32_t flags, std::int32_t reserved1 = 0,
                           std::int32_t reserved2 = 0);
    // Reduces the attached picture with the options. A save runs it itself
    // when it has not run since the last change.
    std::int32_t Process();
    std::int32_t SaveBmp(const QString &path);
    std::int32_t SaveGif(const QString &path);
    std::int32_t SaveGifInterlaced(const QString &path);
    // Process() and the save of the options' kind in one step, the file the
    // same: a GIF is written while the picture is being reduced, as
    // EncodePicture does, instead of after it.
    std::int32_t ProcessAndSave(const QString &path);

    // The encoded picture, exactly the pixels the saves write: Format_Indexed8
    // with a colour table of 2^depth entries for depths 1..8, Format_RGB555
    // for 16 (readers widen its 5-bit levels each their own way), Format_RGB32
    // for 24. Null before a successful Process().
    const QImage &result() const { return m_result; }

    // Why the last Process() or save failed, in words (libimagequant's for
    // an optimal palette, giflib's or the system's for a GIF); empty when it
    // succeeded or the failure has no reason beyond its arguments.
    const QString &failure() const { return m_failure; }

private:
    struct Options {
        EncoderKind kind = EncoderKind::Bmp;
        ColourMode mode = ColourMode::Colours;
        std::int32_t depth = 24;
        std::int32_t flags = code(ColourMap::Windows); // a map, or "Fixed Color" with its count
        Dither dither = Dither::None;
    };
    // Writes a reduced picture; ready says which rows are finished. A
    // failure says why in reason.
    using Writer = std::function<bool(const QImage &, const RowProgress *ready, QString *reason)>;
    std::int32_t save(const QString &path, EncoderKind kind);
    // Process(), with alongside (when given) writing the result meanwhile;
    // true when both succeeded.
    bool reduce(const Writer *alongside);
    bool reduceUnguarded(const Writer *alongside);
    // The options of a SetOptions call, or nothing when they are not valid.
    static std::optional<Options> parse(std::int32_t kind, std::int32_t mode, std::int32_t depth,
                                        std::int32_t flags, std::int32_t dither);

    Options m_options;
    QImage m_source;  // the attached, transformed copy (Format_RGB32)
    QImage m_result;  // valid while m_processed
    bool m_processed = false;
    QString m_failure;
    int m_threads = 0;
};

// The greyscale colour mode, in place: ITU-R BT.601 luma, the alpha kept.
void makeGrey(QImage &picture);

} // namespace pictrove
