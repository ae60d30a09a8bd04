#include "decoding/ImageExtensions.h"
#include "decoding/LoaderTables.h"

#include <QSet>

#include <gtest/gtest.h>

namespace pictrove {
namespace {

TEST(ImageExtensions, FortyDistinctLowerCaseExtensions)
{
    const QStringList &list = recognisedExtensions();
    EXPECT_EQ(list.size(), 40);
    EXPECT_EQ(QSet<QString>(list.begin(), list.end()).size(), 40);
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
}

} // namespace
} // namespace pictrove
