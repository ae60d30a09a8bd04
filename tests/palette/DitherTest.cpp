#include "engine/palette/Dither.h"

#include "engine/palette/FixedPalettes.h"
#include "engine/palette/PaletteCodes.h"
#include "engine/palette/Quantisers.h"
#include "engine/palette/RowProgress.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <set>
#include <thread>

namespace pictrove {


namespace {

const std::vector<std::int32_t> kAllCodes{0, 1, 2, 4, 8, 16, 32, 64, 256, 512, 1024};
const std::vector<std::int32_t> kDiffusion{1, 256, 512, 1024};
const std::vector<std::int32_t> kScreens{2, 4, 8, 16, 32, 64};

QImage greyRamp(int width, int height)
{
    QImage img(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const int v = x * 255 / (width - 1);
            img.setPixel(x, y, qRgb(v, v, v));
        }
    return img;
}

QImage reduce(std::int32_t code, const QImage &source, const palettes::Palette &palette)
{
    QImage target(source.size(), QImage::Format_Indexed8);
    PaletteQuantiser q(palette);
    dither(*ditherFromCode(code), source, target, q);
    target.setColorTable(QList<QRgb>(palette.begin(), palette.end()));
    return target;
}

// Mean red of the columns [x0, x1).
double bandMean(const QImage &img, int x0, int x1)
{
    double sum = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = x0; x < x1; ++x)
            sum += qRed(img.pixel(x, y));
    return sum / (double(x1 - x0) * img.height());
}

// Indexed pictures without a colour table cannot be compared by QImage.
bool sameCodes(const QImage &a, const QImage &b)
{
    if (a.size() != b.size() || a.format() != b.format())
        return false;
    const size_t bytes = size_t(a.width()) * size_t(a.depth() / 8);
    for (int y = 0; y < a.height(); ++y)
        if (std::memcmp(a.constScanLine(y), b.constScanLine(y), bytes) != 0)
            return false;
    return true;
}

} // namespace

TEST(Dither, KnowsExactlyTheDitherCodes)
{
    for (std::int32_t code : kAllCodes)
        EXPECT_TRUE(ditherFromCode(code)) << code;
    for (std::int32_t code : {-1, 3, 128, 2048, 1025})
        EXPECT_FALSE(ditherFromCode(code)) << code;
}

// Black and white only: every grey must come out as the right share of
// white pixels, band by band.
TEST(Dither, BlackAndWhiteKeepsTheMeanOfAGreyRamp)
{
    const QImage ramp = greyRamp(256, 64);
    for (std::int32_t code : kDiffusion) {
        const QImage out = reduce(code, ramp, palettes::windowsMonochrome());
        for (int band = 0; band < 256; band += 32)
            EXPECT_NEAR(bandMean(out, band, band + 32), bandMean(ramp, band, band + 32), 4.0)
                << "dither " << code << " band " << band;
    }
    for (std::int32_t code : kScreens) {
        const QImage out = reduce(code, ramp, palettes::windowsMonochrome());
        for (int band = 0; band < 256; band += 32)
            EXPECT_NEAR(bandMean(out, band, band + 32), bandMean(ramp, band, band + 32), 10.0)
                << "dither " << code << " band " << band;
    }
    // Without dithering the ramp is just cut in half.
    const QImage plain = reduce(code(Dither::None), ramp, palettes::windowsMonochrome());
    EXPECT_EQ(bandMean(plain, 0, 120), 0.0);
    EXPECT_EQ(bandMean(plain, 136, 256), 255.0);
}

TEST(Dither, ColourDiffusionKeepsTheMeanColour)
{
    QImage picture(128, 128, QImage::Format_RGB32);
    for (int y = 0; y < 128; ++y)
        for (int x = 0; x < 128; ++x)
            picture.setPixel(x, y, qRgb(x * 2, y * 2, 255 - x - y / 2));
    for (std::int32_t code : kDiffusion) {
        const QImage out = reduce(code, picture, palettes::vga16()).convertToFormat(QImage::Format_RGB32);
        double in[3] = {}, got[3] = {};
        for (int y = 0; y < 128; ++y)
            for (int x = 0; x < 128; ++x) {
                const QRgb a = picture.pixel(x, y), b = out.pixel(x, y);
                in[0] += qRed(a); in[1] += qGreen(a); in[2] += qBlue(a);
                got[0] += qRed(b); got[1] += qGreen(b); got[2] += qBlue(b);
            }
        for (int c = 0; c < 3; ++c)
            EXPECT_NEAR(got[c] / (128 * 128), in[c] / (128 * 128), 3.0) << code;
    }
}

TEST(Dither, EveryCodeGivesItsOwnPattern)
{
    const QImage picture = test::makeTestPicture(64, 64);
    std::set<QByteArray> seen;
    for (std::int32_t code : kAllCodes) {
        const QImage out = reduce(code, picture, palettes::fixedColourLattice(16));
        seen.insert(QByteArray(reinterpret_cast<const char *>(out.constBits()), out.sizeInBytes()));
    }
    EXPECT_EQ(seen.size(), kAllCodes.size());
}

TEST(Dither, LineScreensRunInTheirDirection)
{
    // Mid grey in black and white: a line screen leaves whole lines of one
    // colour along its direction.
    QImage grey(32, 32, QImage::Format_RGB32);
    grey.fill(qRgb(128, 128, 128));
    auto pixel = [](const QImage &img, int x, int y) { return img.pixelIndex(x & 31, y & 31); };
    auto runsAlong = [&](std::int32_t code, int dx, int dy) {
        const QImage out = reduce(code, grey, palettes::windowsMonochrome());
        int same = 0;
        for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 32; ++x)
                same += pixel(out, x, y) == pixel(out, x + dx, y + dy);
        return same;
    };
    EXPECT_GT(runsAlong(code(Dither::Horizontal), 1, 0), runsAlong(code(Dither::Horizontal), 0, 1));
    EXPECT_GT(runsAlong(code(Dither::Vertical), 0, 1), runsAlong(code(Dither::Vertical), 1, 0));
    EXPECT_GT(runsAlong(code(Dither::ForwardDiagonal), 1, -1),
              runsAlong(code(Dither::ForwardDiagonal), 1, 1));
    EXPECT_GT(runsAlong(code(Dither::BackwardDiagonal), 1, 1),
              runsAlong(code(Dither::BackwardDiagonal), 1, -1));
}

TEST(Dither, Rgb555DiffusionKeepsTheMean)
{
    const QImage ramp = greyRamp(256, 32);
    QImage target(ramp.size(), QImage::Format_RGB555);
    Rgb555Quantiser q;
    dither(Dither::Binary, ramp, target, q);
    const QImage shown = target.convertToFormat(QImage::Format_RGB32);
    for (int band = 0; band < 256; band += 16)
        EXPECT_NEAR(bandMean(shown, band, band + 16), bandMean(ramp, band, band + 16), 1.0);
}

// The codes of every error diffusion on pictures of every shape the rows
// can be grouped in (fewer rows than a group, a group and some left over,
// rows narrower than the lag between them), for a palette and 5-5-5, summed
// up as one number: the codes the diffusion gave when it did one row at a
// time, before it overlapped rows.
TEST(Dither, DiffusionGivesTheCodesOfOneRowAtATime)
{
    std::uint64_t hash = 1469598103934665603u;
    const auto add = [&hash](const uchar *bytes, qsizetype n) {
        for (qsizetype i = 0; i < n; ++i)
            hash = (hash ^ bytes[i]) * 1099511628211u;
    };
    const palettes::Palette palette = palettes::vga16();
    for (const QSize size : {QSize(1, 1), QSize(1, 9), QSize(3, 2), QSize(5, 3), QSize(7, 4), QSize(11, 5),
                             QSize(12, 6), QSize(13, 7), QSize(40, 9), QSize(97, 35)}) {
        const QImage photo = test::makeTestPicture(size.width(), size.height());
        for (std::int32_t code : kDiffusion) {
            QImage codes(size, QImage::Format_Indexed8);
            PaletteQuantiser q(palette);
            dither(*ditherFromCode(code), photo, codes, q);
            QImage words(size, QImage::Format_RGB555);
            Rgb555Quantiser w;
            dither(*ditherFromCode(code), photo, words, w);
            for (int y = 0; y < size.height(); ++y) {
                add(codes.constScanLine(y), size.width());
                add(words.constScanLine(y), 2 * qsizetype(size.width()));
            }
        }
    }
    EXPECT_EQ(hash, 13119149752475723436u);
}

// Sharing the rows among threads gives the codes one thread gives, for
// every dither, palette and 5-5-5 alike, whatever the number of threads
// (more threads than runs of rows included); a reader that follows the
// progress only ever sees finished rows.
TEST(Dither, ThreadsGiveTheCodesOfOne)
{
    const QImage photo = test::makeTestPicture(301, 203);
    const palettes::Palette palette = palettes::windowsHalftone256();
    for (std::int32_t code : kAllCodes) {
        SCOPED_TRACE(code);
        QImage one(photo.size(), QImage::Format_Indexed8);
        PaletteQuantiser q1(palette);
        dither(*ditherFromCode(code), photo, one, q1, nullptr, 1);
        QImage one555(photo.size(), QImage::Format_RGB555);
        Rgb555Quantiser w1;
        dither(*ditherFromCode(code), photo, one555, w1, nullptr, 1);
        for (int threads : {2, 4, 64}) {
            QImage many(photo.size(), QImage::Format_Indexed8);
            many.fill(0);
            RowProgress progress;
            std::atomic<bool> sawUnfinished{false};
            // A reader checks each row as soon as progress says it is done.
            std::thread reader([&] {
                for (int y = 0; y < many.height(); ++y) {
                    if (!progress.waitFor(y + 1))
                        return;
                    if (std::memcmp(many.constScanLine(y), one.constScanLine(y), size_t(many.width())) != 0)
                        sawUnfinished = true;
                }
            });
            PaletteQuantiser q(palette);
            dither(*ditherFromCode(code), photo, many, q, &progress, threads);
            progress.finish();
            reader.join();
            EXPECT_FALSE(sawUnfinished) << threads;
            EXPECT_TRUE(sameCodes(many, one)) << threads;

            QImage many555(photo.size(), QImage::Format_RGB555);
            Rgb555Quantiser w;
            dither(*ditherFromCode(code), photo, many555, w, nullptr, threads);
            EXPECT_TRUE(sameCodes(many555, one555)) << threads;
        }
    }
}

} // namespace pictrove
