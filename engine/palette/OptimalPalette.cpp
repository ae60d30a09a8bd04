#include "engine/palette/OptimalPalette.h"

#include <libimagequant.h>

#include <algorithm>
#include <cmath>
#include <memory>

namespace pictrove {

namespace {

struct LiqAttrDeleter {
    void operator()(liq_attr *p) const noexcept { liq_attr_destroy(p); }
};
struct LiqImageDeleter {
    void operator()(liq_image *p) const noexcept { liq_image_destroy(p); }
};
struct LiqResultDeleter {
    void operator()(liq_result *p) const noexcept { liq_result_destroy(p); }
};
using LiqAttr = std::unique_ptr<liq_attr, LiqAttrDeleter>;
using LiqImage = std::unique_ptr<liq_image, LiqImageDeleter>;
using LiqResult = std::unique_ptr<liq_result, LiqResultDeleter>;

// Big enough that rare but visible colours (a small red sign) are sampled,
// small enough that the palette costs a fraction of the remap.
constexpr qint64 kSamplePixels = 1'000'000;

// Every step-th pixel of every step-th row, as RGBA bytes. Point samples
// rather than averages, so that no colour appears that the picture lacks.
std::vector<liq_color> sample(const QImage &picture, int &width, int &height)
{
    const qint64 total = qint64(picture.width()) * picture.height();
    const int step = std::max(1, int(std::ceil(std::sqrt(double(total) / kSamplePixels))));
    width = (picture.width() + step - 1) / step;
    height = (picture.height() + step - 1) / step;
    std::vector<liq_color> out;
    out.reserve(size_t(width) * size_t(height));
    for (int y = 0; y < height; ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(picture.constScanLine(y * step));
        for (int x = 0; x < width; ++x) {
            const QRgb c = line[x * step];
            out.push_back(liq_color{std::uint8_t(qRed(c)), std::uint8_t(qGreen(c)),
                                    std::uint8_t(qBlue(c)), 255});
        }
    }
    return out;
}

} // namespace

std::vector<QRgb> optimalPalette(const QImage &picture, int maxColours)
{
    if (picture.isNull() || maxColours < 2)
        return {};
    int width = 0, height = 0;
    const std::vector<liq_color> pixels = sample(picture, width, height);

    LiqAttr attr(liq_attr_create());
    if (!attr || liq_set_max_colors(attr.get(), std::min(maxColours, 256)) != LIQ_OK
        || liq_set_speed(attr.get(), 4) != LIQ_OK)
        return {};
    LiqImage image(liq_image_create_rgba(attr.get(), pixels.data(), width, height, 0));
    if (!image)
        return {};
    liq_result *raw = nullptr;
    if (liq_image_quantize(image.get(), attr.get(), &raw) != LIQ_OK)
        return {};
    LiqResult result(raw);

    const liq_palette *palette = liq_get_palette(result.get());
    std::vector<QRgb> out;
    for (unsigned i = 0; i < palette->count; ++i)
        out.push_back(qRgb(palette->entries[i].r, palette->entries[i].g, palette->entries[i].b));
    return out;
}

} // namespace pictrove
