// Less common variants of the formats, each checked pixel by pixel in both
// tables against the picture its generator wrote, transparency put on white
// as the program shows it.
#include "VariantFixtures.h"

#include "Mutants.h"

#include "decoding/DecoderSandbox.h"
#include "decoding/Decoders.h"
#include "decoding/PictureLoader.h"
#include "TestSupport.h"

#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <random>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

namespace pictrove {
namespace {

using test::VariantFixture;

QRgb onWhite(QRgb c)
{
    const int a = qAlpha(c);
    const auto mix = [a](int v) { return (v * a + 255 * (255 - a) + 127) / 255; };
    return qRgb(mix(qRed(c)), mix(qGreen(c)), mix(qBlue(c)));
}

std::string describe(const VariantFixture &f, LoaderTable table)
{
    return f.name.toStdString() + (table == LoaderTable::Preview ? " (preview)" : " (batch)");
}

// Empty when the picture matches; else the first pixels that differ.
std::string differences(const QImage &got, const VariantFixture &f)
{
    if (got.size() != f.expected.size())
        return "size " + std::to_string(got.width()) + "x" + std::to_string(got.height());
    std::string out;
    int shown = 0;
    for (int y = 0; y < got.height(); ++y)
        for (int x = 0; x < got.width(); ++x) {
            const QRgb g = onWhite(got.pixel(x, y)), e = onWhite(f.expected.pixel(x, y));
            const int diff = std::max({std::abs(qRed(g) - qRed(e)), std::abs(qGreen(g) - qGreen(e)),
                                       std::abs(qBlue(g) - qBlue(e))});
            if (diff > f.tolerance && shown++ < 4) {
                char text[96];
                std::snprintf(text, sizeof text, " (%d,%d) got %06x want %06x;", x, y,
                              g & 0xFFFFFFu, e & 0xFFFFFFu);
                out += text;
            }
        }
    return out;
}

void expectPicture(const VariantFixture &f, const LoadResult &r, LoaderTable table)
{
    ASSERT_TRUE(r.ok) << describe(f, table) << ": " << r.error.toStdString();
    EXPECT_TRUE(r.image.format() == QImage::Format_RGB32 || r.image.format() == QImage::Format_ARGB32)
        << describe(f, table);
    EXPECT_EQ(differences(r.image, f), "") << describe(f, table);
    // The depth is that of the picture as handed over.
    EXPECT_TRUE(r.depth == 1 || r.depth == 8 || r.depth == 24 || r.depth == 32 || r.depth == 48
                || r.depth == 64)
        << describe(f, table) << ": depth " << r.depth;
}

class VariantTest : public testing::Test {
protected:
    void SetUp() override { setLoaderMode(LoaderMode::Sandboxed); }

    // Every fixture through both tables in the decoder process.
    void expectAll(const std::vector<VariantFixture> &fixtures)
    {
        for (const VariantFixture &f : fixtures) {
            ASSERT_TRUE(box.write(f.name, f.bytes));
            for (LoaderTable table : {LoaderTable::Preview, LoaderTable::Batch})
                expectPicture(f, loadPicture(box.file(f.name), table), table);
        }
    }

    test::Sandbox box;
};

TEST_F(VariantTest, SixteenBitAndPlainTextNetpbm) { expectAll(test::netpbmVariants()); }
TEST_F(VariantTest, SixteenBitSgi) { expectAll(test::sgiVariants()); }
TEST_F(VariantTest, TargaGreyAlphaSixteenBitMapsAndRunLengthAlpha) { expectAll(test::targaVariants()); }
TEST_F(VariantTest, Os2BitmapsOverflowingRunsAndBareDibs) { expectAll(test::bmpVariants()); }
TEST_F(VariantTest, TiffTwelveBitDeepAlphaOrientationAndLab) { expectAll(test::tiffVariants()); }
TEST_F(VariantTest, PngColourKeyOfRgbPictures) { expectAll(test::pngVariants()); }

// DevIL's failures are said in words whatever its error stack holds: a
// header it refuses, a file cut short, a reader that gives up without a code.
// Under the leak checker, what a library allocates meanwhile is its own.
struct LibraryLeaksIgnored {
#if defined(__SANITIZE_ADDRESS__)
    LibraryLeaksIgnored() { __lsan_disable(); }
    ~LibraryLeaksIgnored() { __lsan_enable(); }
#endif
};

TEST_F(VariantTest, DevilFailuresSayWhatHappenedInWords)
{
    const QByteArray png = test::pngVariants().front().bytes;
    const std::pair<QString, QByteArray> files[] = {
        {u"not-a-picture.png"_qs, QByteArray(200, 'x')},
        {u"cut-short.png"_qs, png.left(png.size() / 2)},
        {u"empty.pcx"_qs, QByteArray()},
    };
    for (const auto &[name, bytes] : files) {
        ASSERT_TRUE(box.write(name, bytes));
        LoadResult r;
        {
            // DevIL keeps a few bytes of its own for good on some of these
            // failures; in the program that happens in the decode child.
            [[maybe_unused]] LibraryLeaksIgnored ignored;
            r = decodeWithDevil(box.file(name), QFileInfo(name).suffix(), {});
        }
        ASSERT_FALSE(r.ok) << name.toStdString();
        EXPECT_FALSE(r.error.isEmpty()) << name.toStdString();
        EXPECT_FALSE(r.error.contains(u"DevIL could not read")) << name.toStdString() << ": " << r.error.toStdString();
        EXPECT_FALSE(r.error.contains(u"0x0000")) << name.toStdString() << ": " << r.error.toStdString();
        EXPECT_TRUE(r.error.front().isLower()) << r.error.toStdString();
    }
}

// Damaged copies of the variants end as a picture or a clean failure, and
// the readers written here never take the decoder down: only the
// libraries' crashes are left to the sandbox.
TEST_F(VariantTest, DamagedVariantsFailCleanlyWithoutCrashingOurReaders)
{
    DecoderSandbox sandbox;
    std::mt19937 random(20240611);
    for (const auto &list : {test::netpbmVariants(), test::sgiVariants(), test::targaVariants(), test::bmpVariants()})
        for (const VariantFixture &f : list)
            for (int i = 0; i < 25; ++i) {
                const QString name = QStringLiteral("m%1-").arg(i) + f.name;
                ASSERT_TRUE(box.write(name, test::mutate(f.bytes, random)));
                const LoadResult r = sandbox.load(box.file(name), QFileInfo(name).suffix(), LoaderTable::Batch);
                if (!r.ok) {
                    EXPECT_FALSE(r.error.isEmpty()) << name.toStdString();
                }
                EXPECT_EQ(sandbox.stats().crashed, 0) << name.toStdString() << ": " << r.error.toStdString();
                EXPECT_EQ(sandbox.stats().timedOut, 0) << name.toStdString();
                if (sandbox.stats().crashed || sandbox.stats().timedOut)
                    return;
            }
}

// For looking at the fixtures by hand: writes them into $PICTROVE_FIXTURE_DUMP.
TEST(VariantDump, DISABLED_DumpVariants)
{
    const QString folder = qEnvironmentVariable("PICTROVE_FIXTURE_DUMP");
    ASSERT_FALSE(folder.isEmpty());
    for (const auto &list : {test::netpbmVariants(), test::sgiVariants(), test::targaVariants(),
                             test::bmpVariants(), test::tiffVariants(), test::pngVariants()})
        for (const VariantFixture &f : list) {
            QFile out(folder + u'/' + f.name);
            ASSERT_TRUE(out.open(QIODevice::WriteOnly));
            out.write(f.bytes);
            f.expected.save(folder + u'/' + f.name + u".expected.png"_qs);
        }
}

} // namespace
} // namespace pictrove
