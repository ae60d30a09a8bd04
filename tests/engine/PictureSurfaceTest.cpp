#include "engine/core/PictureSurface.h"

#include "TestSupport.h"

#include <QPainter>

#include <gtest/gtest.h>

namespace pictrove {

TEST(PictureSurface, PictureSetsClientSizeAndReadsBackTopRowFirst)
{
    PictureSurface surface;
    EXPECT_TRUE(surface.isEmpty());
    QImage picture(3, 2, QImage::Format_RGB888);
    picture.fill(Qt::black);
    picture.setPixel(0, 0, qRgb(10, 20, 30));
    picture.setPixel(2, 1, qRgb(200, 100, 50));
    surface.setPicture(picture);
    ASSERT_EQ(surface.clientSize(), QSize(3, 2));
    EXPECT_EQ(surface.image().format(), QImage::Format_RGB32);

    const auto padded = surface.readBgr24Rows(true);
    ASSERT_EQ(padded.size(), 12u * 2); // 9 bytes padded to 12 per row
    EXPECT_EQ(padded[0], 30);
    EXPECT_EQ(padded[1], 20);
    EXPECT_EQ(padded[2], 10);
    EXPECT_EQ(padded[12 + 6], 50);
    EXPECT_EQ(padded[12 + 8], 200);
    EXPECT_EQ(surface.readBgr24Rows(false).size(), 9u * 2);
}

TEST(PictureSurface, ResizeKeepsTopLeftAndFillsBackground)
{
    PictureSurface surface(QSize(2, 2));
    surface.paint([](QPainter &p) { p.fillRect(0, 0, 2, 2, Qt::red); });
    int changes = 0;
    QObject::connect(&surface, &PictureSurface::changed, [&] { ++changes; });
    surface.resize(QSize(4, 3));
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(surface.image().pixel(1, 1), qRgb(255, 0, 0));
    EXPECT_EQ(surface.image().pixel(3, 2), qRgb(255, 255, 255));
    surface.resize(QSize(0, 3));
    EXPECT_TRUE(surface.isEmpty());
}

TEST(PictureSurface, TransparentPictureShowsOverBackground)
{
    PictureSurface surface;
    surface.setBackground(Qt::blue);
    QImage picture(1, 1, QImage::Format_ARGB32);
    picture.fill(Qt::transparent);
    surface.setPicture(picture);
    EXPECT_EQ(surface.image().pixel(0, 0), qRgb(0, 0, 255));
}

// Transparency is kept when any one pixel has it, wherever it lies, and an
// alpha channel that is opaque throughout keeps none.
TEST(PictureSurface, KeepsTransparencyOnlyWhereAPixelHasIt)
{
    QImage opaque(37, 5, QImage::Format_ARGB32);
    opaque.fill(qRgba(10, 20, 30, 255));
    PictureSurface surface;
    surface.setPicture(opaque);
    EXPECT_TRUE(surface.transparent().isNull());
    for (const QPoint at : {QPoint(0, 0), QPoint(36, 2), QPoint(36, 4), QPoint(17, 3)}) {
        QImage picture = opaque;
        picture.setPixel(at, qRgba(10, 20, 30, 254));
        surface.setPicture(picture);
        EXPECT_FALSE(surface.transparent().isNull()) << at.x() << ',' << at.y();
    }
}

} // namespace pictrove
