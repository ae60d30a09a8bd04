#include "decoding/ResizeTarget.h"

#include <algorithm>

namespace pictrove {

namespace {

// value * numerator / denominator, to the nearest whole number (halves up),
// in 64 bits: 65535 x 1000 % stays exact.
std::int64_t scaledRounded(std::int64_t value, std::int64_t numerator, std::int64_t denominator)
{
    return (2 * value * numerator + denominator) / (2 * denominator);
}

std::int64_t atLeastOne(std::int64_t v) { return std::max<std::int64_t>(v, 1); }

QSize clampedSize(std::int64_t w, std::int64_t h)
{
    // QSize holds ints; anything near that is refused later for its memory.
    constexpr std::int64_t most = 1 << 30;
    return QSize(int(std::min(atLeastOne(w), most)), int(std::min(atLeastOne(h), most)));
}

} // namespace

ResizeSetting boundedResize(ResizeSetting s)
{
    switch (s.mode) {
    case ResizeMode::Original:
    case ResizeMode::LongestSide:
    case ResizeMode::Fit:
    case ResizeMode::Percent: break;
    default: s.mode = ResizeMode::Original; break;
    }
    s.side = std::clamp(s.side, minResizePixels, maxResizePixels);
    s.width = std::clamp(s.width, minResizePixels, maxResizePixels);
    s.height = std::clamp(s.height, minResizePixels, maxResizePixels);
    s.percent = std::clamp(s.percent, minResizePercent, maxResizePercent);
    return s;
}

QSize resizedSize(QSize source, const ResizeSetting &given)
{
    if (source.width() <= 0 || source.height() <= 0 || given.mode == ResizeMode::Original)
        return source;
    const ResizeSetting s = boundedResize(given);
    const std::int64_t w = source.width();
    const std::int64_t h = source.height();
    QSize target = source;
    switch (s.mode) {
    case ResizeMode::LongestSide:
        // The longer side gets the number exactly; the other follows.
        target = w >= h ? clampedSize(s.side, scaledRounded(h, s.side, w))
                        : clampedSize(scaledRounded(w, s.side, h), s.side);
        break;
    case ResizeMode::Fit:
        // The side that meets its limit first gets it exactly.
        target = w * s.height >= h * s.width ? clampedSize(s.width, scaledRounded(h, s.width, w))
                                             : clampedSize(scaledRounded(w, s.height, h), s.height);
        break;
    case ResizeMode::Percent:
        target = clampedSize(scaledRounded(w, s.percent, 100), scaledRounded(h, s.percent, 100));
        break;
    case ResizeMode::Original: break;
    }
    if (s.neverEnlarge && (target.width() > source.width() || target.height() > source.height()))
        return source;
    return target;
}

int jpegDecodeSide(QSize stored, const ResizeSetting &setting)
{
    if (setting.mode == ResizeMode::Original || stored.isEmpty())
        return 0;
    const QSize a = resizedSize(stored, setting);
    const QSize b = resizedSize(stored.transposed(), setting);
    const std::int64_t wanted = std::max({a.width(), a.height(), b.width(), b.height()});
    const std::int64_t asked = (wanted * 3 + 1) / 2;
    const int longest = std::max(stored.width(), stored.height());
    if (wanted <= 0 || asked * 2 > longest)
        return 0;
    return int(asked);
}

} // namespace pictrove
