#include "engine/palette/Dither.h"

#include "engine/palette/DitherRows.h"
#include "engine/palette/ErrorDiffusion.h"
#include "engine/palette/OrderedDither.h"
#include "engine/palette/PaletteCodes.h"
#include "engine/palette/Quantisers.h"

namespace pictrove {

using namespace dither_rows;

std::optional<Dither> ditherFromCode(std::int32_t code) { return fromCode(ditherItems, code); }

namespace {

template <class Q>
void nearestOnly(const QImage &source, QImage &target, Q &q, RowProgress *progress)
{
    const int width = source.width(), height = source.height();
    for (int y = 0; y < height; ++y) {
        const auto *in = reinterpret_cast<const QRgb *>(source.constScanLine(y));
        auto *out = targetLine<Q>(target, y);
        for (int x = 0; x < width; ++x)
            out[x] = q.code(qRed(in[x]), qGreen(in[x]), qBlue(in[x]));
        rowDone(progress, y);
    }
}

template <class Q>
void ditherWith(Dither code, const QImage &source, QImage &target, Q &q,
                RowProgress *progress)
{
    if (isOrderedDither(code))
        orderedDither(code, source, target, q, progress);
    else if (isErrorDiffusion(code))
        diffuseError(code, source, target, q, progress);
    else
        nearestOnly(source, target, q, progress);
}

} // namespace

void dither(Dither code, const QImage &source, QImage &target, PaletteQuantiser &q,
            RowProgress *progress)
{
    ditherWith(code, source, target, q, progress);
}

void dither(Dither code, const QImage &source, QImage &target, Rgb555Quantiser &q,
            RowProgress *progress)
{
    ditherWith(code, source, target, q, progress);
}

} // namespace pictrove
