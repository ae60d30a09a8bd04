#include "BenchPicture.h"

#include <QColor>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

namespace pictrove::bench {

namespace {

// Fractal value noise in [0, 1]: octaves of smoothly interpolated lattices.
class ValueNoise {
public:
    explicit ValueNoise(unsigned seed) : m_values(256 * 256)
    {
        std::mt19937 random(seed);
        std::uniform_real_distribution<float> unit(0.f, 1.f);
        for (float &v : m_values)
            v = unit(random);
    }
    float at(float x, float y) const
    {
        float sum = 0, amplitude = 0.5f, norm = 0;
        for (int octave = 0; octave < 6; ++octave) {
            sum += amplitude * lattice(x, y);
            norm += amplitude;
            x *= 2.03f;
            y *= 2.03f;
            amplitude *= 0.55f;
        }
        return sum / norm;
    }

private:
    float lattice(float x, float y) const
    {
        const int x0 = int(std::floor(x)), y0 = int(std::floor(y));
        const float fx = smooth(x - float(x0)), fy = smooth(y - float(y0));
        const float a = cell(x0, y0), b = cell(x0 + 1, y0), c = cell(x0, y0 + 1),
                    d = cell(x0 + 1, y0 + 1);
        return (a + (b - a) * fx) * (1 - fy) + (c + (d - c) * fx) * fy;
    }
    float cell(int x, int y) const { return m_values[size_t((y & 255) * 256 + (x & 255))]; }
    static float smooth(float t) { return t * t * (3 - 2 * t); }
    std::vector<float> m_values;
};

} // namespace

QImage makePhotoLikePicture(int width, int height, unsigned seed)
{
    // Colour fields at a quarter of the size, then smoothly enlarged: real
    // photos are smooth at the pixel scale apart from edges and noise.
    const int w = std::max(1, width / 4), h = std::max(1, height / 4);
    const ValueNoise light(seed), hue(seed + 1), saturation(seed + 2);
    QImage small(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y) {
        auto *line = reinterpret_cast<QRgb *>(small.scanLine(y));
        const float sky = 1.f - float(y) / float(h);
        for (int x = 0; x < w; ++x) {
            const float u = float(x) / 120.f, v = float(y) / 120.f;
            const float l = std::clamp(0.25f + 0.6f * light.at(u, v) + 0.25f * sky * sky - 0.1f, 0.f, 1.f);
            // Hues cluster round blue sky, green foliage and warm earth.
            const float hv = hue.at(u * 0.35f, v * 0.35f);
            const float hueDegrees = y < h / 3 ? 200.f + 30.f * hv : 20.f + 110.f * hv;
            const float s = std::clamp(0.15f + 0.7f * saturation.at(u * 0.7f + 9.f, v * 0.7f), 0.f, 1.f);
            line[x] = QColor::fromHsvF(std::fmod(hueDegrees, 360.f) / 360.f, s, l).rgb();
        }
    }
    QImage picture = small.scaled(width, height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                         .convertToFormat(QImage::Format_RGB32);

    // Hard-edged and soft-edged objects.
    {
        std::mt19937 random(seed + 3);
        std::uniform_real_distribution<double> unit(0.0, 1.0);
        QPainter painter(&picture);
        painter.setRenderHint(QPainter::Antialiasing);
        for (int i = 0; i < 40; ++i) {
            const QColor colour = QColor::fromHsvF(unit(random), 0.3 + 0.6 * unit(random),
                                                   0.2 + 0.7 * unit(random));
            const QPointF centre(unit(random) * width, height * (0.3 + 0.7 * unit(random)));
            const double radius = (0.01 + 0.06 * unit(random)) * width;
            QRadialGradient soft(centre, radius);
            soft.setColorAt(0, colour);
            soft.setColorAt(0.7, colour.darker(140));
            soft.setColorAt(1, QColor(colour.red(), colour.green(), colour.blue(), i % 2 ? 0 : 255));
            painter.setPen(Qt::NoPen);
            painter.setBrush(soft);
            painter.drawEllipse(centre, radius, radius * (0.5 + unit(random)));
        }
    }

    // Sensor noise, a little stronger in the shadows.
    std::mt19937 random(seed + 4);
    std::normal_distribution<float> noise(0.f, 1.f);
    for (int y = 0; y < height; ++y) {
        auto *line = reinterpret_cast<QRgb *>(picture.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const QRgb c = line[x];
            const float sigma = 1.5f + 2.5f * (1.f - float(qGray(c)) / 255.f);
            const float n = noise(random) * sigma;
            auto add = [&](int v) { return std::clamp(int(std::lround(float(v) + n)), 0, 255); };
            line[x] = qRgb(add(qRed(c)), add(qGreen(c)), add(qBlue(c)));
        }
    }
    return picture;
}

} // namespace pictrove::bench
