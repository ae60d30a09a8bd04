// The PNG rows against the file FreeImage's writer makes of the same
// encoded picture (the BMP twin row's, read back): for every map, colour
// mode, dither and transform, the same chunks, rows and pixels, no larger.
#include "decoding/FreeImageHandles.h"
#include "decoding/PictureLoader.h"
#include "engine/catalogue/FormatCatalogue.h"
#include "engine/catalogue/FormatChoice.h"
#include "engine/conversion/BatchWorker.h"
#include "engine/conversion/PreviewEncoder.h"

#include "PngChunks.h"
#include "TestSupport.h"

#include <QFile>

#include <gtest/gtest.h>

using namespace pictrove;

namespace {

constexpr int Bmp256Row = 10;
constexpr int Bmp24Row = 12;
constexpr int Png8Row = 13;
constexpr int Png24Row = 14;

LoadResult loaded(const QImage &picture)
{
    LoadResult r;
    r.ok = true;
    r.image = picture;
    r.depth = 24;
    return r;
}

FileResult convert(const QImage &picture, FormatChoice choice, const QString &path, int threads)
{
    ConversionContext context(encodingOptionsFor(choice).options);
    context.threads = threads;
    AdoptBatchSource(context, QStringLiteral("/pictures/source.png"), loaded(picture));
    return EncodeBatchImage(context, path, 1);
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Today's file: FreeImage's PNG writer given the BMP the twin row wrote.
QByteArray freeImagePngOf(const QString &bmp)
{
    FiBitmap dib(FreeImage_Load(FIF_BMP, QFile::encodeName(bmp).constData(), 0));
    if (!dib)
        return {};
    FiMemory memory(FreeImage_OpenMemory());
    if (!FreeImage_SaveToMemory(FIF_PNG, dib.get(), memory.get(), PNG_DEFAULT))
        return {};
    BYTE *data = nullptr;
    DWORD size = 0;
    FreeImage_AcquireMemory(memory.get(), &data, &size);
    return QByteArray(reinterpret_cast<const char *>(data), qsizetype(size));
}

struct Variant {
    const char *name;
    FormatChoice choice;
};

std::vector<Variant> variants(int row)
{
    std::vector<Variant> all;
    const auto add = [&](const char *name, auto change) {
        FormatChoice c;
        c.row = row;
        change(c);
        all.push_back({name, c});
    };
    add("defaults", [](FormatChoice &) {});
    add("greyscale", [](FormatChoice &c) { c.colorMode = 1; });
    add("flipped and inverted", [](FormatChoice &c) {
        c.flipHorizontal = true;
        c.flipVertical = true;
        c.invert = true;
    });
    if (row == Png8Row) {
        for (int map = 0; map < 6; ++map) // MS Map, Optimal, Fixed, Internet Safe, MS 256, Fixed Grey
            add("map", [map](FormatChoice &c) { c.map = map; });
        add("fixed grey inverted", [](FormatChoice &c) {
            c.map = 5;
            c.invert = true;
        });
        add("dithered", [](FormatChoice &c) {
            c.map = 1;
            c.dither = 1;
        });
    }
    return all;
}

} // namespace

TEST(PngRows, EveryOptionWritesFreeImagesChunksAndPixelsInNoMoreBytes)
{
    test::Sandbox box;
    const QImage source = test::makeTestPicture(331, 207);
    for (const auto &[row, twin] : {std::pair{Png24Row, Bmp24Row}, std::pair{Png8Row, Bmp256Row}}) {
        for (const Variant &variant : variants(row)) {
            SCOPED_TRACE(testing::Message() << formatRow(row)->listText.toStdString() << ", " << variant.name
                                            << " " << variant.choice.map.value_or(-1));
            FormatChoice bmpChoice = variant.choice;
            bmpChoice.row = twin;
            const QString bmp = box.file(QStringLiteral("twin.bmp"));
            const QString png = box.file(QStringLiteral("out.png"));
            ASSERT_TRUE(convert(source, bmpChoice, bmp, 1).ok());
            ASSERT_TRUE(convert(source, variant.choice, png, 2).ok());
            const QByteArray theirs = freeImagePngOf(bmp);
            const QByteArray ours = readAll(png);
            const test::PngParts a = test::readPng(ours);
            const test::PngParts b = test::readPng(theirs);
            ASSERT_TRUE(a.ok && b.ok);
            EXPECT_EQ(test::differenceBesidesIdat(a, b).toStdString(), "");
            EXPECT_LE(ours.size(), theirs.size());
        }
    }
}

TEST(PngRows, ThePreviewShowsWhatTheFileHolds)
{
    test::Sandbox box;
    FormatChoice choice;
    choice.row = Png24Row;
    ConversionContext context(encodingOptionsFor(choice).options);
    context.threads = 2;
    context.original.setPicture(test::makeTestPicture(120, 90));
    const QString path = box.file(QStringLiteral("preview.png"));
    const PreviewResult result = EncodePreview(context, path, 0);
    ASSERT_TRUE(result.file.ok()) << result.file.reason.toStdString();
    ASSERT_TRUE(result.labels);
    EXPECT_EQ(result.labels->FileType4, QStringLiteral("PNG"));
    EXPECT_EQ(context.optimized.picture().size(), QSize(120, 90));
    EXPECT_EQ(test::maxChannelDifference(context.optimized.picture().convertToFormat(QImage::Format_RGB32),
                                         QImage(path).convertToFormat(QImage::Format_RGB32)),
              0);
}
