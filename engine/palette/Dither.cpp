#include "engine/palette/Dither.h"

#include "engine/palette/DitherRows.h"
#include "engine/palette/ErrorDiffusion.h"
#include "engine/palette/OrderedDither.h"
#include "engine/palette/PaletteCodes.h"
#include "engine/palette/Quantisers.h"
#include "engine/palette/RowBands.h"

namespace pictrove {

using namespace dither_rows;

std::optional<Dither> ditherFromCode(std::int32_t code) { return fromCode(ditherItems, code); }

namespace {

template <class Q>
void nearestOnly(const QImage &source, QImage &target, Q &q, RowProgress *progress, int threads)
{
    const int width = source.width();
    inPixelRowBands(source, target, threads, q, progress, [&](int, Q &own, const QRgb *in, auto *out) {
        for (int x = 0; x < width; ++x)
            out[x] = own.code(qRed(in[x]), qGreen(in[x]), qBlue(in[x]));
    });
}

template <class Q>
void ditherWith(Dither code, const QImage &source, QImage &target, Q &q,
                RowProgress *progress, int threads)
{
    if (isOrderedDither(code))
        orderedDither(code, source, target, q, progress, threads);
    else if (isErrorDiffusion(code))
        diffuseError(code, source, target, q, progress);
    else
        nearestOnly(source, target, q, progress, threads);
}

} // namespace

void dither(Dither code, const QImage &source, QImage &target, PaletteQuantiser &q,
            RowProgress *progress, int threads)
{
    ditherWith(code, source, target, q, progress, threads);
}

void dither(Dither code, const QImage &source, QImage &target, Rgb555Quantiser &q,
            RowProgress *progress, int threads)
{
    ditherWith(code, source, target, q, progress, threads);
}

} // namespace pictrove
