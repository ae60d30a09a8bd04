// WebP, HEIC, AVIF, JPEG XL and camera raw files through the decoder
// process, each pixel held against the reference decoder of its format.
#include "LoaderFixtures.h"

#include "decoding/DeclaredSize.h"
#include "decoding/Decoders.h"
#include "decoding/PictureLoader.h"
#include "TestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#include <gtest/gtest.h>

namespace pictrove {
namespace {

QByteArray fixture(const QString &name)
{
    QFile f(QStringLiteral(PICTROVE_LOADER_FIXTURES "/") + name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Transparency on white, as the program shows and converts every picture.
QRgb onWhite(QRgb c)
{
    const int a = qAlpha(c);
    const auto mix = [a](int v) { return (v * a + 255 * (255 - a) + 127) / 255; };
    return qRgb(mix(qRed(c)), mix(qGreen(c)), mix(qBlue(c)));
}

// Runs a reference decoder; empty when it is not installed or fails.
QImage referenceDecode(const QString &program, const QStringList &arguments, const QString &output)
{
    if (QStandardPaths::findExecutable(program).isEmpty())
        return {};
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(60000) || process.exitCode() != 0)
        return {};
    return QImage(output);
}

struct Reference {
    const char *name;
    const char *program;
    // The arguments, with %in and %out for the two files.
    QStringList arguments;
    int depth;
    bool alpha;
};

const std::vector<Reference> &references()
{
    static const std::vector<Reference> list{
        {"quad.webp", "dwebp", {u"%in"_qs, u"-o"_qs, u"%out"_qs}, 24, false},
        {"lossy.webp", "dwebp", {u"%in"_qs, u"-o"_qs, u"%out"_qs}, 24, false},
        {"alpha.webp", "dwebp", {u"%in"_qs, u"-o"_qs, u"%out"_qs}, 32, true},
        {"rotated.heic", "heif-convert", {u"%in"_qs, u"%out"_qs}, 32, true},
        {"deep.avif", "avifdec", {u"%in"_qs, u"%out"_qs}, 30, false},
        {"quad.jxl", "djxl", {u"%in"_qs, u"%out"_qs}, 24, false},
    };
    return list;
}

void expectSamePixels(const QImage &got, const QImage &want, const std::string &what)
{
    ASSERT_EQ(got.size(), want.size()) << what;
    int worst = 0;
    QPoint where;
    for (int y = 0; y < want.height(); ++y) {
        for (int x = 0; x < want.width(); ++x) {
            const QRgb a = onWhite(got.pixel(x, y)), b = onWhite(want.pixel(x, y));
            const int diff = std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                                       std::abs(qBlue(a) - qBlue(b))});
            if (diff > worst) {
                worst = diff;
                where = {x, y};
            }
        }
    }
    EXPECT_LE(worst, 1) << what << " differs by " << worst << " at " << where.x() << "," << where.y();
}

TEST(ModernFormats, EveryPixelMatchesTheReferenceDecoderInBothTables)
{
    setLoaderMode(LoaderMode::Sandboxed);
    test::Sandbox box;
    int compared = 0;
    for (const Reference &ref : references()) {
        const QString name = QString::fromLatin1(ref.name);
        const QByteArray bytes = fixture(name);
        ASSERT_FALSE(bytes.isEmpty()) << ref.name;
        ASSERT_TRUE(box.write(name, bytes));
        const QString in = box.file(name), out = box.file(name + u".png"_qs);
        QStringList arguments = ref.arguments;
        arguments.replaceInStrings(u"%in"_qs, in);
        arguments.replaceInStrings(u"%out"_qs, out);
        const QImage want = referenceDecode(QString::fromLatin1(ref.program), arguments, out);
        for (LoaderTable table : {LoaderTable::Preview, LoaderTable::Batch}) {
            const LoadResult r = loadPicture(in, table);
            ASSERT_TRUE(r.ok) << ref.name << ": " << r.error.toStdString();
            EXPECT_EQ(r.depth, ref.depth) << ref.name;
            EXPECT_EQ(r.image.hasAlphaChannel(), ref.alpha) << ref.name;
            if (want.isNull())
                continue; // the reference decoder is not installed
            expectSamePixels(r.image, want, ref.name);
            ++compared;
        }
    }
    if (compared == 0)
        GTEST_SKIP() << "no reference decoder is installed";
}

// The first frame of an animation, on its canvas; the reference is that
// frame taken out of the file and decoded alone.
TEST(ModernFormats, AnAnimatedWebPGivesItsFirstFrame)
{
    setLoaderMode(LoaderMode::Sandboxed);
    test::Sandbox box;
    ASSERT_TRUE(box.write(u"animated.webp"_qs, fixture(u"animated.webp"_qs)));
    const LoadResult r = loadPicture(box.file(u"animated.webp"_qs), LoaderTable::Batch);
    ASSERT_TRUE(r.ok) << r.error.toStdString();
    ASSERT_EQ(r.image.size(), QSize(32, 24));
    // The second frame is the first mirrored: red would be top right.
    EXPECT_EQ(onWhite(r.image.pixel(2, 2)), qRgb(255, 0, 0));
    EXPECT_EQ(onWhite(r.image.pixel(30, 2)), qRgb(0, 255, 0));
    EXPECT_EQ(onWhite(r.image.pixel(30, 22)), qRgb(255, 255, 255));

    if (QStandardPaths::findExecutable(u"webpmux"_qs).isEmpty())
        GTEST_SKIP() << "webpmux is not installed";
    const QString frame = box.file(u"frame.webp"_qs), png = box.file(u"frame.png"_qs);
    ASSERT_EQ(QProcess::execute(u"webpmux"_qs, {u"-get"_qs, u"frame"_qs, u"1"_qs,
                                                 box.file(u"animated.webp"_qs), u"-o"_qs, frame}),
              0);
    const QImage want = referenceDecode(u"dwebp"_qs, {frame, u"-o"_qs, png}, png);
    if (!want.isNull())
        expectSamePixels(r.image, want, "animated.webp");
}

// libheif turns the picture by its rotation property, alpha image included.
TEST(ModernFormats, HeicRotationAndAlphaAreApplied)
{
    setLoaderMode(LoaderMode::Sandboxed);
    test::Sandbox box;
    ASSERT_TRUE(box.write(u"rotated.heic"_qs, fixture(u"rotated.heic"_qs)));
    const LoadResult r = loadPicture(box.file(u"rotated.heic"_qs), LoaderTable::Preview);
    ASSERT_TRUE(r.ok) << r.error.toStdString();
    ASSERT_EQ(r.image.size(), QSize(24, 32));
    // Turned a quarter anticlockwise: the clear stripe along the left edge,
    // the half-clear white quadrant top right, blue bottom right.
    EXPECT_EQ(qAlpha(r.image.pixel(1, 16)), 0);
    EXPECT_NEAR(qAlpha(r.image.pixel(18, 4)), 128, 2);
    const QRgb blue = r.image.pixel(18, 28);
    EXPECT_LE(qRed(blue), 8);
    EXPECT_GE(qBlue(blue), 245);
    EXPECT_TRUE(r.iccProfile.isEmpty());
}

// LibRaw demosaics the whole DNG for conversion; without an embedded
// preview the preview table shows the same. Any letter case and any of the
// camera makers' extensions take the same route: LibRaw reads by content.
TEST(ModernFormats, ACameraRawFileDecodesUnderEveryRawExtension)
{
    setLoaderMode(LoaderMode::Sandboxed);
    test::Sandbox box;
    const QByteArray dng = fixture(u"quad.dng"_qs);
    ASSERT_FALSE(dng.isEmpty());
    for (const char *ext : {"dng", "DNG", "cr2", "nef", "nrw", "arw", "orf", "rw2", "raf", "pef", "srw"}) {
        const QString name = u"camera."_qs + QLatin1String(ext);
        ASSERT_TRUE(box.write(name, dng));
        for (LoaderTable table : {LoaderTable::Preview, LoaderTable::Batch}) {
            const LoadResult r = loadPicture(box.file(name), table);
            ASSERT_TRUE(r.ok) << ext << ": " << r.error.toStdString();
            ASSERT_EQ(r.image.size(), QSize(32, 24)) << ext;
            EXPECT_EQ(r.depth, 24) << ext;
            EXPECT_EQ(r.image.pixel(4, 4), qRgb(255, 0, 0)) << ext;
            EXPECT_EQ(r.image.pixel(28, 4), qRgb(0, 255, 0)) << ext;
            EXPECT_EQ(r.image.pixel(4, 20), qRgb(0, 0, 255)) << ext;
            EXPECT_EQ(r.image.pixel(28, 20), qRgb(255, 255, 255)) << ext;
        }
    }
}

// Headers that claim more than the limit are refused before decoding, and a
// file of one format under another's name fails with a reason.
TEST(ModernFormats, HugeDeclaredSizesAndWrongContentsFailCleanly)
{
    setLoaderMode(LoaderMode::Sandboxed);
    test::Sandbox box;
    // A lossless WebP header of 16384 x 16384.
    QByteArray webp = fixture(u"quad.webp"_qs);
    ASSERT_GE(webp.size(), 25);
    const quint32 bits = 0x3FFFu | (0x3FFFu << 14) | (quint32(std::uint8_t(webp[24])) & 0xF0u) << 24;
    for (int i = 0; i < 4; ++i)
        webp[21 + i] = char((bits >> (8 * i)) & 0xFF);
    ASSERT_TRUE(box.write(u"huge.webp"_qs, webp));
    const auto declared = declaredSizeOf(box.file(u"huge.webp"_qs), u"webp");
    ASSERT_TRUE(declared);
    EXPECT_EQ(declared->width, 16384);
    EXPECT_EQ(declared->height, 16384);
    DecodeLimits limits;
    limits.maxPixels = std::int64_t(1) << 24;
    const LoadResult huge = decodeWebP(box.file(u"huge.webp"_qs), limits);
    EXPECT_FALSE(huge.ok);
    EXPECT_EQ(huge.error, u"the picture is too large"_qs);

    for (const char *name : {"webp-in-disguise.heic", "webp-in-disguise.jxl", "webp-in-disguise.avif"}) {
        ASSERT_TRUE(box.write(QLatin1String(name), fixture(u"quad.webp"_qs)));
        const LoadResult r = loadPicture(box.file(QLatin1String(name)), LoaderTable::Batch);
        EXPECT_FALSE(r.ok) << name;
        EXPECT_FALSE(r.error.isEmpty()) << name;
    }
    ASSERT_TRUE(box.write(u"empty.webp"_qs, QByteArray()));
    EXPECT_FALSE(loadPicture(box.file(u"empty.webp"_qs), LoaderTable::Preview).ok);
}

// The converter takes every new extension, in any letter case, and writes
// transparency mixed on white like that of every other format.
TEST(ModernFormats, TheConverterWritesEveryNewFormat)
{
    test::Sandbox box;
    const QStringList names{u"a.WEBP"_qs, u"b.heic"_qs, u"c.avif"_qs, u"d.jxl"_qs, u"e.NEF"_qs};
    const QStringList sources{u"alpha.webp"_qs, u"rotated.heic"_qs, u"deep.avif"_qs, u"quad.jxl"_qs,
                              u"quad.dng"_qs};
    QStringList arguments{u"-q"_qs, u"-f"_qs, u"BMP-24 bit"_qs, u"-o"_qs, box.file(u"out"_qs),
                          u"-n"_qs, u"pic"_qs};
    for (qsizetype i = 0; i < names.size(); ++i) {
        ASSERT_TRUE(box.write(names[i], fixture(sources[i])));
        arguments << box.file(names[i]);
    }
    ASSERT_TRUE(QDir(box.path()).mkdir(u"out"_qs));
    QProcess convert;
    convert.start(QCoreApplication::applicationDirPath() + u"/pictrove-convert"_qs, arguments);
    ASSERT_TRUE(convert.waitForFinished(120000));
    EXPECT_EQ(convert.exitCode(), 0) << convert.readAllStandardError().toStdString();
    for (int i = 1; i <= int(names.size()); ++i)
        EXPECT_FALSE(QImage(box.file(u"out/pic%1.bmp"_qs.arg(i))).isNull()) << i;
    const QImage webp(box.file(u"out/pic1.bmp"_qs));
    ASSERT_EQ(webp.size(), QSize(32, 24));
    EXPECT_EQ(webp.pixel(2, 1), qRgb(255, 255, 255));  // the clear stripe
    EXPECT_EQ(webp.pixel(2, 10), qRgb(255, 0, 0));
    EXPECT_EQ(QImage(box.file(u"out/pic2.bmp"_qs)).size(), QSize(24, 32));
}

} // namespace
} // namespace pictrove
