#include "decoding/ImageExtensions.h"
#include "decoding/LoaderTables.h"

#include <QSet>

#include <gtest/gtest.h>

namespace pictrove {
namespace {

TEST(ImageExtensions, TheFortyFirstThenTodaysFormatsAllDistinctAndLowerCase)
{
    const QStringList &list = recognisedExtensions();
    ASSERT_EQ(list.size(), 55);
    EXPECT_EQ(QSet<QString>(list.begin(), list.end()).size(), 55);
    // The forty of old keep their places: the listing tests them in this order.
    EXPECT_EQ(list.first(), u"bmp"_qs);
    EXPECT_EQ(list.at(39), u"pcx"_qs);
    EXPECT_EQ(list.mid(40, 5), (QStringList{u"webp"_qs, u"heic"_qs, u"heif"_qs, u"avif"_qs, u"jxl"_qs}));
    for (const char16_t *raw : {u"DNG", u"cr2", u"Nef", u"nrw", u"ARW", u"orf", u"rw2", u"raf", u"pef", u"srw"})
        EXPECT_TRUE(isRecognisedExtension(QStringView(raw))) << QString::fromUtf16(raw).toStdString();
    EXPECT_TRUE(isRecognisedExtension(u"WebP"));
    EXPECT_FALSE(isRecognisedExtension(u"raw")); // DevIL's raw, not a camera's
    for (const QString &ext : list)
        EXPECT_EQ(ext, ext.toLower());
    EXPECT_TRUE(isRecognisedExtension(u"JPG"));
    EXPECT_TRUE(isRecognisedExtension(u"Rgba"));
    EXPECT_FALSE(isRecognisedExtension(u"wbmp")); // read when asked, but not listed
    EXPECT_FALSE(isRecognisedExtension(u""));
}

TEST(ImageExtensions, ExtensionIsTakenFromTheFileNameOnly)
{
    EXPECT_EQ(lowerExtensionOf(u"/a/PHOTO.JPG"_qs), u"jpg"_qs);
    EXPECT_EQ(lowerExtensionOf(u"/a/archive.tar.gz"_qs), u"gz"_qs);
    EXPECT_EQ(lowerExtensionOf(u"/a.b/README"_qs), QString());
    EXPECT_EQ(lowerExtensionOf(u"/a/name."_qs), QString());
}

TEST(LoaderTables, EveryRecognisedExtensionHasARouteInBothTables)
{
    for (const QString &ext : recognisedExtensions()) {
        EXPECT_NE(routeFor(LoaderTable::Preview, ext).kind, DecoderKind::None) << ext.toStdString();
        EXPECT_NE(routeFor(LoaderTable::Batch, ext).kind, DecoderKind::None) << ext.toStdString();
        EXPECT_EQ(routeFor(LoaderTable::Batch, ext.toUpper()).kind,
                  routeFor(LoaderTable::Batch, ext).kind);
    }
}

TEST(LoaderTables, RoutesThatDifferBetweenTheTables)
{
    // DevIL's list wins over FreeImage's in the preview.
    EXPECT_EQ(routeFor(LoaderTable::Preview, u"sgi").kind, DecoderKind::DevIL);
    EXPECT_EQ(routeFor(LoaderTable::Preview, u"SGI").kind, DecoderKind::DevIL);
    EXPECT_EQ(routeFor(LoaderTable::Preview, u"jng").kind, DecoderKind::FreeImageDetected);
    EXPECT_EQ(routeFor(LoaderTable::Preview, u"jpeg").flags, 2);
    EXPECT_EQ(routeFor(LoaderTable::Preview, u"vst").flags, 1);
    EXPECT_EQ(routeFor(LoaderTable::Preview, u"gif").kind, DecoderKind::Platform);
    EXPECT_EQ(routeFor(LoaderTable::Preview, u"png").kind, DecoderKind::FreeImage);
    EXPECT_EQ(routeFor(LoaderTable::Batch, u"png").kind, DecoderKind::DevIL);
    EXPECT_EQ(routeFor(LoaderTable::Batch, u"jpeg").kind, DecoderKind::Platform);
    EXPECT_EQ(routeFor(LoaderTable::Batch, u"wal").kind, DecoderKind::DevIL);
    EXPECT_EQ(routeFor(LoaderTable::Batch, u"RAS").kind, DecoderKind::FreeImage);
    EXPECT_EQ(routeFor(LoaderTable::Batch, u"txt").kind, DecoderKind::None);

    EXPECT_EQ(fallbackRouteFor(LoaderTable::Batch, u"png").kind, DecoderKind::FreeImage);
    EXPECT_EQ(fallbackRouteFor(LoaderTable::Preview, u"gif").kind, DecoderKind::None);
    EXPECT_EQ(platformRouteDepth(u"GIF"), 8);
    EXPECT_EQ(platformRouteDepth(u"wmf"), 16);

    // Today's formats: their own libraries in both tables; raw files show
    // the camera's preview but convert the whole picture.
    EXPECT_EQ(routeFor(LoaderTable::Batch, u"WEBP").kind, DecoderKind::WebP);
    EXPECT_EQ(routeFor(LoaderTable::Preview, u"avif").kind, DecoderKind::Heif);
    EXPECT_EQ(routeFor(LoaderTable::Batch, u"heic").kind, DecoderKind::Heif);
    EXPECT_EQ(routeFor(LoaderTable::Preview, u"jxl").kind, DecoderKind::JpegXl);
    EXPECT_EQ(routeFor(LoaderTable::Preview, u"nef").kind, DecoderKind::RawPreview);
    EXPECT_EQ(routeFor(LoaderTable::Batch, u"NEF").kind, DecoderKind::FreeImage);
    EXPECT_EQ(fallbackRouteFor(LoaderTable::Preview, u"webp").kind, DecoderKind::None);
}

} // namespace
} // namespace pictrove
