#pragma once

#include <QSize>

#include <cstdint>

namespace pictrove {

// How a picture is resized on its way to the encoders. The decoder knows it
// too: a JPEG shrunk by half or more is decoded at a smaller scale.
enum class ResizeMode : std::uint32_t {
    Original = 0,    // nothing changes
    LongestSide = 1, // the longer side becomes `side`
    Fit = 2,         // as large as fits in width x height
    Percent = 3,     // both sides times percent / 100
};

struct ResizeSetting {
    ResizeMode mode = ResizeMode::Original;
    std::int32_t side = 1920;
    std::int32_t width = 1920;
    std::int32_t height = 1080;
    std::int32_t percent = 50;
    bool neverEnlarge = true;

    bool operator==(const ResizeSetting &other) const = default;
};

// The numbers a user may give.
constexpr std::int32_t minResizePixels = 1;
constexpr std::int32_t maxResizePixels = 65535;
constexpr std::int32_t minResizePercent = 1;
constexpr std::int32_t maxResizePercent = 1000;

// Out-of-range numbers brought to the nearest allowed ones, an unknown mode
// to Original: what comes from a file or a socket goes through here.
ResizeSetting boundedResize(ResizeSetting setting);

// The size an upright picture of `source` is resized to: aspect ratio kept,
// rounded to whole pixels, at least 1 x 1; `source` itself for Original, for
// an empty source, and when the picture would grow but must not. May exceed
// what memory holds (65535 x 1000 %): the caller refuses such sizes.
QSize resizedSize(QSize source, const ResizeSetting &setting);

// The longest side to ask a JPEG decoder for (libjpeg scales by 1/2, 1/4 or
// 1/8 and never below it), or 0 when no scale applies. It is half as large
// again as the target: decoded straight at the target's scale, a photo
// resampled from libjpeg's scaled decode was visibly softer than one
// resampled from the whole decode (an SSIM of 0.98 against a Lanczos-3 of
// the whole, 0.99 and more with this margin). So a JPEG is decoded smaller
// once it is shrunk to a third or less. `stored` is the size in the file,
// before any EXIF orientation: a fit in a box may meet either orientation,
// so the larger answer of both is taken.
int jpegDecodeSide(QSize stored, const ResizeSetting &setting);

} // namespace pictrove
