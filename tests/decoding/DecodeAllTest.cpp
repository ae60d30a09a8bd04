#include "LoaderFixtures.h"

#include "decoding/DeclaredSize.h"
#include "decoding/ImageExtensions.h"
#include "decoding/PictureLoader.h"
#include "TestSupport.h"

#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <map>

#include <gtest/gtest.h>

namespace pictrove {
namespace {

using test::LoaderFixture;

std::string describe(const LoaderFixture &f, LoaderTable table)
{
    return f.name.toStdString() + (table == LoaderTable::Preview ? " (preview)" : " (batch)");
}

void expectDecodes(const LoaderFixture &f, const LoadResult &r, LoaderTable table)
{
    ASSERT_TRUE(r.ok) << describe(f, table) << ": " << r.error.toStdString();
    ASSERT_EQ(r.image.size(), f.size) << describe(f, table);
    EXPECT_TRUE(r.image.format() == QImage::Format_RGB32 || r.image.format() == QImage::Format_ARGB32);
    for (const test::Probe &p : f.probes) {
        const QRgb got = r.image.pixel(p.at);
        const int diff = std::max({std::abs(qRed(got) - qRed(p.colour)),
                                   std::abs(qGreen(got) - qGreen(p.colour)),
                                   std::abs(qBlue(got) - qBlue(p.colour))});
        EXPECT_LE(diff, f.tolerance) << describe(f, table) << " at " << p.at.x() << "," << p.at.y()
                                     << ": got " << std::hex << got << " want " << p.colour;
    }
}

TEST(DecodeAll, EveryRecognisedExtensionHasAFixture)
{
    QSet<QString> covered;
    for (const LoaderFixture &f : test::loaderFixtures()) {
        EXPECT_FALSE(f.bytes.isEmpty()) << f.name.toStdString();
        covered.insert(QFileInfo(f.name).suffix());
    }
    // LibRaw reads raw files by content: the DNG stands for the camera
    // makers' formats (ModernFormats loads it under each of their names).
    const QSet<QString> readAsDng{u"cr2"_qs, u"nef"_qs, u"nrw"_qs, u"arw"_qs, u"orf"_qs,
                                  u"rw2"_qs, u"raf"_qs, u"pef"_qs, u"srw"_qs};
    for (const QString &ext : recognisedExtensions())
        EXPECT_TRUE(covered.contains(ext) || readAsDng.contains(ext)) << ext.toStdString();
}

// The header peek that guards decoders against huge pictures must read the
// real size wherever it claims to know one.
TEST(DecodeAll, DeclaredSizesMatchTheFixtures)
{
    test::Sandbox box;
    int known = 0;
    for (const LoaderFixture &f : test::loaderFixtures()) {
        ASSERT_TRUE(box.write(f.name, f.bytes));
        const QString ext = QFileInfo(f.name).suffix();
        const auto declared = declaredSizeOf(box.file(f.name), ext);
        // Where the peek knows a format, the time a file may take rests on it.
        EXPECT_EQ(declared.has_value(), declaresSizeInHeader(ext)) << f.name.toStdString();
        if (!declared)
            continue;
        ++known;
        // A HEIF rotation turns the decoded picture; the header holds the
        // size as stored.
        const QSize stored = f.name.startsWith(u"rotated.") ? f.size.transposed() : f.size;
        EXPECT_EQ(declared->width, stored.width()) << f.name.toStdString();
        EXPECT_EQ(declared->height, stored.height()) << f.name.toStdString();
    }
    EXPECT_GE(known, 38);
}

// Every fixture through both tables, in the decoder process as the program
// runs them.
TEST(DecodeAll, EveryFixtureDecodesToItsSizeAndColoursInBothTables)
{
    setLoaderMode(LoaderMode::Sandboxed);
    test::Sandbox box;
    for (const LoaderFixture &f : test::loaderFixtures()) {
        ASSERT_TRUE(box.write(f.name, f.bytes));
        for (LoaderTable table : {LoaderTable::Preview, LoaderTable::Batch})
            expectDecodes(f, loadPicture(box.file(f.name), table), table);
    }
}

// The platform route reads by content, whatever the name says: the three
// signatures it knows go to their readers, anything else is left to Qt.
TEST(DecodeAll, ThePlatformRouteReadsByContentNotByName)
{
    setLoaderMode(LoaderMode::Sandboxed);
    test::Sandbox box;
    const std::map<QString, QString> misnamed{
        {u"quad.bmp"_qs, u"bmp-inside.gif"_qs}, {u"quad.gif"_qs, u"gif-inside.jpg"_qs},
        {u"quad.jpg"_qs, u"jpg-inside.bmp"_qs}, {u"quad.png"_qs, u"png-inside.gif"_qs},
    };
    int found = 0;
    for (const LoaderFixture &f : test::loaderFixtures()) {
        const auto name = misnamed.find(f.name);
        if (name == misnamed.end())
            continue;
        ++found;
        ASSERT_TRUE(box.write(name->second, f.bytes));
        LoaderFixture renamed = f;
        renamed.name = name->second;
        expectDecodes(renamed, loadPicture(box.file(name->second), LoaderTable::Batch), LoaderTable::Batch);
    }
    EXPECT_EQ(found, 4);
    // A signature with nothing readable behind it fails cleanly.
    for (const QByteArray &start : {QByteArray("BM"), QByteArray("GIF89a"), QByteArray("\xFF\xD8\xFF")}) {
        ASSERT_TRUE(box.write(u"broken.bmp"_qs, start + QByteArray(40, '\x7F')));
        const LoadResult r = loadPicture(box.file(u"broken.bmp"_qs), LoaderTable::Batch);
        EXPECT_FALSE(r.ok) << start.toHex().toStdString();
        EXPECT_FALSE(r.error.isEmpty());
    }
}

// The depth the preview reports: the library bitmap's own for FreeImage, the
// hand-over format for DevIL, a fixed value for the platform route.
TEST(DecodeAll, PreviewDepthsAreThoseOfThePictureAsHandedOver)
{
    setLoaderMode(LoaderMode::Sandboxed);
    test::Sandbox box;
    const std::map<QString, int> expected{
        {u"quad.png"_qs, 24},  {u"quad.jpg"_qs, 24}, {u"quad.pbm"_qs, 1},
        {u"quad.tga"_qs, 24},  {u"quad.sgi"_qs, 24}, {u"quad.rgba"_qs, 32},
        {u"quad.gif"_qs, 8},   {u"metafile.wmf"_qs, 16}, {u"enhanced.emf"_qs, 16},
        {u"quad.dib"_qs, 16},  {u"halo.cut"_qs, 8},
        {u"quad.webp"_qs, 24}, {u"alpha.webp"_qs, 32}, {u"rotated.heic"_qs, 32},
        {u"deep.avif"_qs, 30}, {u"quad.jxl"_qs, 24}, {u"quad.dng"_qs, 24},
    };
    for (const LoaderFixture &f : test::loaderFixtures()) {
        const auto want = expected.find(f.name);
        if (want == expected.end())
            continue;
        // Upper-case names take the same routes.
        const QString name = QFileInfo(f.name).completeBaseName() + u'.' + QFileInfo(f.name).suffix().toUpper();
        ASSERT_TRUE(box.write(name, f.bytes));
        ImageDescription description;
        const QImage image = LoadImageBitmap(box.file(name), QFileInfo(name).suffix(), description);
        ASSERT_FALSE(image.isNull()) << name.toStdString();
        EXPECT_EQ(description.depth, want->second) << name.toStdString();
        EXPECT_EQ(QSize(description.width, description.height), f.size) << name.toStdString();
    }
}

} // namespace
} // namespace pictrove

namespace pictrove {
namespace {

// For looking at the fixtures by hand: writes them all into $PICTROVE_FIXTURE_DUMP.
TEST(DecodeAll, DISABLED_DumpFixtures)
{
    const QString folder = qEnvironmentVariable("PICTROVE_FIXTURE_DUMP");
    ASSERT_FALSE(folder.isEmpty());
    auto all = test::loaderFixtures();
    for (auto &f : test::crashingShapes())
        all.push_back(f);
    for (const auto &f : all) {
        QFile out(folder + u'/' + f.name);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(f.bytes);
    }
}

} // namespace
} // namespace pictrove
