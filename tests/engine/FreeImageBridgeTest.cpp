#include "engine/core/FreeImageBridge.h"
#include "engine/core/PictureSurface.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QFile>

#include <functional>
#include <random>

namespace pictrove::bridge {

namespace {

struct Depth {
    const char *name;
    unsigned bpp;
    unsigned redMask, greenMask, blueMask;
};

// Every row differs from every other, so a flipped or shifted copy shows.
FiBitmap makeBitmap(const Depth &depth, int width, int height)
{
    FiBitmap dib(FreeImage_Allocate(width, height, int(depth.bpp), depth.redMask,
                                    depth.greenMask, depth.blueMask));
    if (!dib)
        return dib;
    std::mt19937 random(depth.bpp * 7 + depth.greenMask);
    if (RGBQUAD *palette = FreeImage_GetPalette(dib.get())) {
        for (unsigned i = 0; i < FreeImage_GetColorsUsed(dib.get()); ++i)
            palette[i] = RGBQUAD{BYTE(random()), BYTE(random()), BYTE(random()), 0};
    }
    for (int y = 0; y < height; ++y) {
        BYTE *line = FreeImage_GetScanLine(dib.get(), y);
        for (unsigned i = 0; i < FreeImage_GetLine(dib.get()); ++i)
            line[i] = BYTE(random());
    }
    return dib;
}

// FreeImage's own reading of a pixel; y counts from the bottom row.
QRgb colourAt(FIBITMAP *reference24, int x, int y)
{
    RGBQUAD q{};
    FreeImage_GetPixelColor(reference24, unsigned(x), unsigned(y), &q);
    return qRgb(q.rgbRed, q.rgbGreen, q.rgbBlue);
}

// What a loader gives when asked for the header alone.
FiBitmap headerOnlyBitmap(FIBITMAP *dib)
{
    FiMemory memory(FreeImage_OpenMemory());
    if (!FreeImage_SaveToMemory(FIF_PNG, dib, memory.get(), 0))
        return {};
    FreeImage_SeekMemory(memory.get(), 0, SEEK_SET);
    return FiBitmap(FreeImage_LoadFromMemory(FIF_PNG, memory.get(), FIF_LOAD_NOPIXELS));
}

std::string reason() { return BridgeErrorText().toStdString(); }

QImage filled(int width, int height, QRgb colour)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

} // namespace

class BridgeRoundTrip : public ::testing::TestWithParam<Depth> {};

TEST_P(BridgeRoundTrip, KeepsPictureUprightBothWays)
{
    const Depth depth = GetParam();
    const int width = 7, height = 5; // odd width: packed and padded rows
    FiBitmap original = makeBitmap(depth, width, height);
    ASSERT_TRUE(original);
    FiBitmap reference(FreeImage_ConvertTo24Bits(original.get()));
    ASSERT_TRUE(reference);

    QImage bitmap;
    ASSERT_TRUE(FreeImage_BMP_From_DIB(original.get(), bitmap)) << reason();
    EXPECT_TRUE(BridgeErrorText().isEmpty());
    ASSERT_EQ(bitmap.size(), QSize(width, height));
    EXPECT_EQ(bitmap.format(), QImage::Format_RGB32);

    FiBitmap back;
    ASSERT_TRUE(FreeImage_DIB_From_BMP(bitmap, back));
    ASSERT_EQ(FreeImage_GetBPP(back.get()), 32u);
    ASSERT_EQ(FreeImage_GetWidth(back.get()), unsigned(width));
    ASSERT_EQ(FreeImage_GetHeight(back.get()), unsigned(height));

    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const QRgb expected = colourAt(reference.get(), x, height - 1 - y);
            ASSERT_EQ(bitmap.pixel(x, y), expected) << "shown at " << x << "," << y;
            RGBQUAD q{};
            FreeImage_GetPixelColor(back.get(), unsigned(x), unsigned(height - 1 - y), &q);
            ASSERT_EQ(qRgb(q.rgbRed, q.rgbGreen, q.rgbBlue), expected);
            ASSERT_EQ(q.rgbReserved, 0xFF); // opaque, whatever the source's alpha was
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Depths, BridgeRoundTrip,
    ::testing::Values(Depth{"1bit", 1, 0, 0, 0}, Depth{"4bit", 4, 0, 0, 0},
                      Depth{"8bit", 8, 0, 0, 0},
                      Depth{"16bit555", 16, FI16_555_RED_MASK, FI16_555_GREEN_MASK,
                            FI16_555_BLUE_MASK},
                      Depth{"16bit565", 16, FI16_565_RED_MASK, FI16_565_GREEN_MASK,
                            FI16_565_BLUE_MASK},
                      Depth{"24bit", 24, FI_RGBA_RED_MASK, FI_RGBA_GREEN_MASK, FI_RGBA_BLUE_MASK},
                      Depth{"32bit", 32, FI_RGBA_RED_MASK, FI_RGBA_GREEN_MASK,
                            FI_RGBA_BLUE_MASK}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(Bridge, ConversionsReplaceWhatTheOutArgumentHeld)
{
    QImage bitmap = filled(3, 3, qRgb(1, 2, 3));
    EXPECT_FALSE(FreeImage_BMP_From_DIB(nullptr, bitmap));
    EXPECT_TRUE(bitmap.isNull());

    FiBitmap dib(FreeImage_Allocate(2, 2, 24));
    EXPECT_FALSE(FreeImage_DIB_From_BMP(QImage(), dib));
    EXPECT_FALSE(dib);

    // Any QImage format is taken as the opaque picture it shows.
    QImage indexed = test::makeTestPicture(9, 4).convertToFormat(QImage::Format_RGB888);
    ASSERT_TRUE(FreeImage_DIB_From_BMP(indexed, dib));
    QImage shown;
    ASSERT_TRUE(FreeImage_BMP_From_DIB(dib.get(), shown));
    EXPECT_EQ(test::maxChannelDifference(shown, indexed), 0);
}

TEST(Bridge, RenderWithoutSizeDrawsWholePictureAtPosition)
{
    const QImage picture = test::makeTestPicture(4, 3);
    FiBitmap dib;
    ASSERT_TRUE(FreeImage_DIB_From_BMP(picture, dib));

    for (const bool fromDib : {true, false}) {
        SCOPED_TRACE(fromDib ? "RenderDIB" : "RenderBitmap");
        PictureSurface surface(QSize(10, 8));
        surface.setBackground(Qt::blue);
        surface.clear();
        int changes = 0;
        QObject::connect(&surface, &PictureSurface::changed, [&] { ++changes; });
        const bool drawn = fromDib ? FreeImage_RenderDIB(dib.get(), surface, 3, 2, -1, -1)
                                   : FreeImage_RenderBitmap(picture, surface, 3, 2, -1, -1, false);
        ASSERT_TRUE(drawn);
        EXPECT_EQ(changes, 1);
        const QImage &shown = surface.image();
        EXPECT_EQ(test::maxChannelDifference(shown.copy(3, 2, 4, 3), picture), 0);
        EXPECT_EQ(shown.pixel(2, 2), qRgb(0, 0, 255));
        EXPECT_EQ(shown.pixel(7, 2), qRgb(0, 0, 255));
        EXPECT_EQ(shown.pixel(3, 5), qRgb(0, 0, 255));
    }
}

TEST(Bridge, RenderWithSizeDrawsTopLeftPartOnly)
{
    const QImage picture = test::makeTestPicture(6, 5);
    FiBitmap dib;
    ASSERT_TRUE(FreeImage_DIB_From_BMP(picture, dib));
    QImage fromDib = filled(8, 8, qRgb(0, 0, 0));
    QImage fromBitmap = fromDib;
    ASSERT_TRUE(FreeImage_RenderDIB(dib.get(), fromDib, 0, 0, 2, 3));
    ASSERT_TRUE(FreeImage_RenderBitmap(picture, fromBitmap, 0, 0, 2, 3, false));
    for (const QImage &shown : {fromDib, fromBitmap}) {
        EXPECT_EQ(test::maxChannelDifference(shown.copy(0, 0, 2, 3), picture.copy(0, 0, 2, 3)), 0);
        EXPECT_EQ(shown.pixel(2, 0), qRgb(0, 0, 0));
        EXPECT_EQ(shown.pixel(0, 3), qRgb(0, 0, 0));
    }
}

TEST(Bridge, InvertDrawsInvertedColours)
{
    QImage picture(2, 1, QImage::Format_RGB32);
    picture.setPixel(0, 0, qRgb(0, 100, 255));
    picture.setPixel(1, 0, qRgb(200, 17, 128));
    QImage target = filled(2, 1, qRgb(9, 9, 9));
    ASSERT_TRUE(FreeImage_RenderBitmap(picture, target, 0, 0, -1, -1, true));
    EXPECT_EQ(target.pixel(0, 0), qRgb(255, 155, 0));
    EXPECT_EQ(target.pixel(1, 0), qRgb(55, 238, 127));
    EXPECT_EQ(picture.pixel(0, 0), qRgb(0, 100, 255)); // the source is left alone
}

TEST(Bridge, MissingPictureOrTargetFailsWithItsMessage)
{
    const QImage picture = filled(2, 2, qRgb(1, 1, 1));
    QImage target = filled(2, 2, qRgb(0, 0, 0));
    QImage noTarget;
    QImage indexedTarget(2, 2, QImage::Format_Indexed8);
    FiBitmap dib;
    ASSERT_TRUE(FreeImage_DIB_From_BMP(picture, dib));
    FiBitmap headerOnly = headerOnlyBitmap(dib.get());
    ASSERT_TRUE(headerOnly);
    QImage bitmap;
    FiBitmap out;

    struct Case {
        std::function<bool()> call;
        const char *message;
    };
    const Case cases[] = {
        {[&] { return FreeImage_BMP_From_DIB(nullptr, bitmap); },
         "[FreeImage_BMP_From_DIB] No DIB specified to convert"},
        {[&] { return FreeImage_BMP_From_DIB(headerOnly.get(), bitmap); },
         "[FreeImage_BMP_From_DIB] FreeImage_GetBits failed to get the DIB's bits"},
        {[&] { return FreeImage_DIB_From_BMP(QImage(), out); },
         "[FreeImage_DIB_From_BMP] No bitmap specified to convert"},
        {[&] { return FreeImage_RenderDIB(nullptr, target, 0, 0, -1, -1); },
         "[FreeImage_RenderDIB] No DIB specified to render"},
        {[&] { return FreeImage_RenderDIB(dib.get(), noTarget, 0, 0, -1, -1); },
         "[FreeImage_RenderDIB] DC specified was invalid"},
        {[&] { return FreeImage_RenderDIB(headerOnly.get(), target, 0, 0, -1, -1); },
         "[FreeImage_RenderDIB] Could not get the DIB's bits"},
        {[&] { return FreeImage_RenderBitmap(QImage(), target, 0, 0, -1, -1, false); },
         "[FreeImage_RenderBitmap] No bitmap specified to render"},
        {[&] { return FreeImage_RenderBitmap(picture, indexedTarget, 0, 0, -1, -1, false); },
         "[FreeImage_RenderBitmap] DC specified is not valid"},
        {[&] { return FreeImage_GetBitmapWidth(QImage()) != 0; },
         "[FreeImage_GetBitmapWidth] No bitmap specified to get the info for"},
        {[&] { return FreeImage_GetBitmapHeight(QImage()) != 0; },
         "[FreeImage_GetBitmapHeight] No bitmap specified to get the info for"},
    };
    for (const Case &c : cases) {
        EXPECT_FALSE(c.call()) << c.message;
        EXPECT_EQ(reason(), c.message);
    }
    EXPECT_EQ(FreeImage_GetBitmapWidth(picture), 2);
    EXPECT_EQ(FreeImage_GetBitmapHeight(filled(3, 5, 0)), 5);
}

TEST(Bridge, FirstFailureWinsAndTheNextCallStartsClean)
{
    QImage noTarget;
    EXPECT_FALSE(FreeImage_RenderBitmap(QImage(), noTarget, 0, 0, -1, -1, false));
    EXPECT_EQ(reason(), "[FreeImage_RenderBitmap] No bitmap specified to render");
    EXPECT_FALSE(FreeImage_RenderDIB(nullptr, noTarget, 0, 0, -1, -1));
    EXPECT_EQ(reason(), "[FreeImage_RenderDIB] No DIB specified to render");

    EXPECT_EQ(FreeImage_GetBitmapWidth(filled(4, 1, 0)), 4);
    EXPECT_TRUE(BridgeErrorText().isEmpty());
}

TEST(Bridge, LibraryMessagesOverwriteTheReason)
{
    FreeImageScope scope;
    EXPECT_EQ(FreeImage_GetBitmapWidth(QImage()), 0);
    test::Sandbox sandbox;
    FiBitmap none(FreeImage_Load(FIF_PNG, sandbox.file("missing.png").toLocal8Bit().constData()));
    EXPECT_FALSE(none);
    EXPECT_FALSE(BridgeErrorText().isEmpty());
    EXPECT_FALSE(BridgeErrorText().startsWith("[FreeImage_GetBitmapWidth]"));

    OnFreeImageMessage(FIF_PNG, "library says no");
    EXPECT_EQ(reason(), "library says no");
    OnFreeImageMessage(FIF_PNG, nullptr);
    EXPECT_TRUE(BridgeErrorText().isEmpty());
}

TEST(Bridge, BalancedScopesLeaveTheLibraryUsable)
{
    {
        FreeImageScope outer;
        FreeImageScope inner;
    }
    // Had the scopes unloaded the plug-ins, the library would know no formats.
    EXPECT_GT(FreeImage_GetFIFCount(), 0);
    EXPECT_TRUE(FreeImage_IsPluginEnabled(FIF_PCX) > 0);
    FiMemory memory(FreeImage_OpenMemory());
    FiBitmap dib;
    ASSERT_TRUE(FreeImage_DIB_From_BMP(filled(2, 2, qRgb(5, 6, 7)), dib));
    EXPECT_TRUE(FreeImage_SaveToMemory(FIF_BMP, dib.get(), memory.get(), 0));
}

// FreeImage never takes a message back: an operation must hand over only
// what was said during it, however much was said on the thread before.
TEST(FreeImageMessages, AnOperationHandsOverOnlyItsOwnMessage)
{
    FreeImageScope scope;
    test::Sandbox sandbox;
    const QByteArray missing = QFile::encodeName(sandbox.file("earlier.png"));
    FiBitmap none(FreeImage_Load(FIF_PNG, missing.constData()));
    ASSERT_TRUE(BridgeErrorText().contains("earlier.png")) << reason();

    {
        const FreeImageOperation quiet;
        EXPECT_TRUE(quiet.message().isEmpty()) << quiet.message().toStdString();
        FiBitmap later(FreeImage_Load(FIF_PNG, QFile::encodeName(sandbox.file("later.png")).constData()));
        EXPECT_TRUE(quiet.message().contains("later.png"));
        EXPECT_FALSE(quiet.message().contains("earlier.png"));
        {
            // An inner operation that says nothing leaves the outer one's.
            const FreeImageOperation inner;
            EXPECT_TRUE(inner.message().isEmpty());
        }
        EXPECT_TRUE(quiet.message().contains("later.png"));
        {
            // One that fails is part of the outer one's failure.
            const FreeImageOperation inner;
            FreeImage_OutputMessageProc(FIF_PNG, "inner words");
            EXPECT_EQ(inner.message(), "inner words");
        }
        EXPECT_EQ(quiet.message(), "inner words");
    }
    {
        // A new scope starts clean too.
        FreeImageScope next;
        EXPECT_TRUE(BridgeErrorText().isEmpty()) << reason();
    }
}

} // namespace pictrove::bridge
