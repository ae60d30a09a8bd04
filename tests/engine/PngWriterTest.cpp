// The libdeflate PNG writer against FreeImage's: the same chunks and
// filtered rows in a file no larger, pieces joined into one valid stream
// whatever their number, and a failed write that keeps the old file.
#include "engine/core/PngWriter.h"

#include "decoding/FreeImageHandles.h"
#include "platform/WriteFailure.h"

#include "PngChunks.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include <algorithm>
#include <cstring>
#include <random>

namespace pictrove {

namespace {

QByteArray freeImagePng(FIBITMAP *dib)
{
    FiMemory memory(FreeImage_OpenMemory());
    if (!FreeImage_SaveToMemory(FIF_PNG, dib, memory.get(), PNG_DEFAULT))
        return {};
    BYTE *data = nullptr;
    DWORD size = 0;
    FreeImage_AcquireMemory(memory.get(), &data, &size);
    return QByteArray(reinterpret_cast<const char *>(data), qsizetype(size));
}

FiBitmap loadPng(const QByteArray &file)
{
    FiMemory memory(FreeImage_OpenMemory(reinterpret_cast<BYTE *>(const_cast<char *>(file.constData())),
                                         DWORD(file.size())));
    return FiBitmap(FreeImage_LoadFromMemory(FIF_PNG, memory.get(), 0));
}

// A photo-like 24-bit picture: smooth gradients, noise and hard edges, so
// that every filter wins somewhere.
FiBitmap photoBitmap(int width, int height, unsigned seed = 1)
{
    FiBitmap dib(FreeImage_Allocate(width, height, 24));
    std::mt19937 random(seed);
    for (int y = 0; y < height; ++y) {
        BYTE *line = FreeImage_GetScanLine(dib.get(), y);
        for (int x = 0; x < width; ++x) {
            const int noise = int(random() % 9) - 4;
            const bool edge = (x / 17 + y / 13) % 5 == 0;
            line[x * 3 + FI_RGBA_RED] = BYTE(std::clamp(x * 255 / std::max(1, width) + noise, 0, 255));
            line[x * 3 + FI_RGBA_GREEN] = BYTE(edge ? 240 : std::clamp(y * 255 / std::max(1, height) + noise, 0, 255));
            line[x * 3 + FI_RGBA_BLUE] = BYTE(edge ? 10 : (x * y) & 0xFF);
        }
    }
    FreeImage_SetDotsPerMeterX(dib.get(), 3780);
    FreeImage_SetDotsPerMeterY(dib.get(), 2835);
    return dib;
}

enum class Ramp { None, Up, Down };

// An 8-bit picture of indices; its palette a colour table padded with
// black, or the grey ramp upwards or downwards.
FiBitmap indexedBitmap(int width, int height, Ramp ramp, int colours = 256)
{
    FiBitmap dib(FreeImage_Allocate(width, height, 8));
    RGBQUAD *palette = FreeImage_GetPalette(dib.get());
    std::mt19937 random(7);
    for (int i = 0; i < 256; ++i) {
        const BYTE grey = BYTE(ramp == Ramp::Down ? 255 - i : i);
        palette[i] = ramp != Ramp::None ? RGBQUAD{grey, grey, grey, 0}
                     : i < colours      ? RGBQUAD{BYTE(random()), BYTE(random()), BYTE(random()), 0}
                                        : RGBQUAD{0, 0, 0, 0};
    }
    for (int y = 0; y < height; ++y) {
        BYTE *line = FreeImage_GetScanLine(dib.get(), y);
        for (int x = 0; x < width; ++x)
            line[x] = BYTE(((x / 3) * 7 + y * 3 + (x * y) % 5) % colours);
    }
    return dib;
}

// FreeImage's reading of both files gives the same pixels.
void expectSamePixels(const QByteArray &ours, const QByteArray &theirs)
{
    FiBitmap a = loadPng(ours);
    FiBitmap b = loadPng(theirs);
    ASSERT_TRUE(a && b);
    ASSERT_EQ(FreeImage_GetBPP(a.get()), FreeImage_GetBPP(b.get()));
    ASSERT_EQ(FreeImage_GetWidth(a.get()), FreeImage_GetWidth(b.get()));
    ASSERT_EQ(FreeImage_GetHeight(a.get()), FreeImage_GetHeight(b.get()));
    const unsigned bytes = FreeImage_GetLine(a.get());
    for (unsigned y = 0; y < FreeImage_GetHeight(a.get()); ++y)
        ASSERT_EQ(0, std::memcmp(FreeImage_GetScanLine(a.get(), int(y)), FreeImage_GetScanLine(b.get(), int(y)), bytes))
            << "row " << y;
}

// Our file holds what FreeImage's holds: every chunk but the picture data
// byte for byte, in the same order, the same pixels, and for grey levels
// and palettes the very rows libpng filtered (RGB rows may choose other
// filters: all five are tried where FreeImage lets libpng try three); and
// it is no larger.
void expectLikeFreeImage(FIBITMAP *dib, const PngWriteOptions &options = {}, bool noLarger = true)
{
    ASSERT_TRUE(pngWriterTakes(dib));
    QString error;
    const QByteArray ours = encodePng(dib, options, &error);
    const QByteArray theirs = freeImagePng(dib);
    ASSERT_FALSE(ours.isEmpty()) << error.toStdString();
    ASSERT_FALSE(theirs.isEmpty());
    const test::PngParts a = test::readPng(ours);
    const test::PngParts b = test::readPng(theirs);
    ASSERT_TRUE(a.ok);
    ASSERT_TRUE(b.ok);
    EXPECT_EQ(test::differenceBesidesIdat(a, b).toStdString(), "");
    if (a.chunks.front().data[9] != 2) {
        EXPECT_TRUE(a.filtered == b.filtered) << "the filtered rows differ";
    }
    if (noLarger) {
        EXPECT_LE(ours.size(), theirs.size());
    }
    expectSamePixels(ours, theirs);
}

QByteArray joined(int pieces, const std::vector<QByteArray> &data, int threads)
{
    pngdetail::ZlibPieces stream;
    QString error;
    const bool ok = pngdetail::compressPieces(
        pieces,
        [&](int piece, std::vector<std::uint8_t> &into) {
            const QByteArray &d = data[std::size_t(piece)];
            into.assign(d.begin(), d.end());
        },
        6, threads, stream, &error);
    if (!ok)
        return {};
    QByteArray all;
    for (const auto &part : stream.parts)
        all.append(reinterpret_cast<const char *>(part.data()), qsizetype(part.size()));
    return all;
}

} // namespace

TEST(PngWriter, TrueColourMatchesFreeImagesChunksRowsAndPixels)
{
    for (const QSize size : {QSize(1, 1), QSize(5, 1), QSize(1, 5), QSize(3, 2), QSize(97, 61), QSize(640, 480)}) {
        SCOPED_TRACE(testing::Message() << size.width() << " x " << size.height());
        FiBitmap dib = photoBitmap(size.width(), size.height());
        expectLikeFreeImage(dib.get());
    }
}

TEST(PngWriter, IndexedPicturesKeepTheirPaletteOrBecomeGreyAsInFreeImage)
{
    for (const Ramp ramp : {Ramp::None, Ramp::Up, Ramp::Down}) {
        SCOPED_TRACE(int(ramp));
        FiBitmap dib = indexedBitmap(203, 77, ramp);
        expectLikeFreeImage(dib.get());
    }
    for (const int colours : {2, 16, 200}) { // a short table padded with black
        SCOPED_TRACE(colours);
        FiBitmap dib = indexedBitmap(64, 40, Ramp::None, colours);
        expectLikeFreeImage(dib.get());
    }
}

TEST(PngWriter, AnyNumberOfPiecesAndThreadsGivesTheSameRows)
{
    FiBitmap dib = photoBitmap(150, 7);
    FiBitmap grey = indexedBitmap(150, 7, Ramp::Up);
    for (FIBITMAP *picture : {dib.get(), grey.get()}) {
        const QByteArray one = encodePng(picture, {});
        for (const int rows : {1, 2, 3, 6, 7, 50}) { // pieces of one row, more rows than the picture
            for (const int threads : {1, 2, 4}) {
                SCOPED_TRACE(testing::Message() << rows << " rows, " << threads << " threads");
                PngWriteOptions options;
                options.pieceRows = rows;
                options.threads = threads;
                expectLikeFreeImage(picture, options, false); // pieces this small cost bytes
                const QByteArray cut = encodePng(picture, options);
                EXPECT_EQ(test::unfilteredRows(test::readPng(cut)), test::unfilteredRows(test::readPng(one)));
            }
        }
    }
    // A picture of fewer rows than threads.
    FiBitmap flat = photoBitmap(500, 2);
    PngWriteOptions options;
    options.pieceRows = 1;
    options.threads = 4;
    expectLikeFreeImage(flat.get(), options, false);
}

TEST(PngWriter, TheBytesDoNotDependOnTheThreads)
{
    FiBitmap dib = photoBitmap(300, 200, 3);
    PngWriteOptions options;
    options.pieceBytes = 20000;
    const QByteArray alone = encodePng(dib.get(), options);
    options.threads = 3;
    EXPECT_EQ(encodePng(dib.get(), options), alone);
}

TEST(PngWriter, JoinedPiecesInflateToTheirConcatenation)
{
    // Random lengths and contents end the pieces' last blocks on every bit
    // of a byte; empty pieces and one-byte pieces are joined too.
    std::mt19937 random(11);
    for (int round = 0; round < 40; ++round) {
        const int pieces = 1 + round % 4;
        std::vector<QByteArray> data;
        QByteArray whole;
        for (int p = 0; p < pieces; ++p) {
            const int length = round % 7 == 0 && p == 1 ? 0 : round % 5 == 0 ? 1 : int(random() % 70000);
            QByteArray d(length, Qt::Uninitialized);
            const int alphabet = 2 + int(random() % 200);
            for (char &c : d)
                c = char(random() % unsigned(alphabet));
            data.push_back(d);
            whole += d;
        }
        SCOPED_TRACE(round);
        const QByteArray stream = joined(pieces, data, 1 + round % 3);
        ASSERT_FALSE(stream.isEmpty());
        EXPECT_EQ(test::inflateZlib(stream), whole);
        EXPECT_EQ(adler32(1, reinterpret_cast<const Bytef *>(whole.constData()), uInt(whole.size())),
                  test::pngBigEndian(stream.constData() + stream.size() - 4));
    }
}

// Filtered rows of noise are coded as runs, which LZ77 cannot beat there;
// but noise that repeats (a tiled texture) is LZ77's, and must not be
// coded as noise because its bytes look like it.
TEST(PngWriter, NoiseAndRepeatedNoiseEachTakeTheSmallerCoding)
{
    const auto noise = [](int width, int height, int tile) {
        FiBitmap dib(FreeImage_Allocate(width, height, 24));
        std::mt19937 random(9);
        std::vector<BYTE> texture(std::size_t(tile) * std::size_t(tile) * 3);
        for (BYTE &b : texture)
            b = BYTE(random());
        for (int y = 0; y < height; ++y) {
            BYTE *line = FreeImage_GetScanLine(dib.get(), y);
            for (int x = 0; x < width * 3; ++x)
                line[x] = tile > 0 ? texture[std::size_t((y % tile) * tile * 3 + x % (tile * 3))] : BYTE(random());
        }
        FreeImage_SetDotsPerMeterX(dib.get(), 2835);
        FreeImage_SetDotsPerMeterY(dib.get(), 2835);
        return dib;
    };
    for (const int tile : {0, 48}) {
        SCOPED_TRACE(testing::Message() << "tile " << tile);
        FiBitmap dib = noise(1200, 700, tile); // over 2 MB of rows: several pieces
        expectLikeFreeImage(dib.get());
        const QByteArray ours = encodePng(dib.get(), {});
        if (tile > 0) { // far below the raw rows: the repeats were found
            EXPECT_LT(ours.size(), 1200 * 700 * 3 / 10);
        }
    }
}

TEST(PngWriter, LeavesOtherBitmapsToFreeImage)
{
    FiBitmap rgba(FreeImage_Allocate(8, 8, 32));
    EXPECT_FALSE(pngWriterTakes(rgba.get()));
    FiBitmap transparent = indexedBitmap(8, 8, Ramp::None);
    BYTE table[4] = {0, 255, 255, 255};
    FreeImage_SetTransparencyTable(transparent.get(), table, 4);
    EXPECT_FALSE(pngWriterTakes(transparent.get()));
    FiBitmap commented = photoBitmap(8, 8);
    FreeImage_SetMetadataKeyValue(FIMD_COMMENTS, commented.get(), "Comment", "hello");
    EXPECT_FALSE(pngWriterTakes(commented.get()));

    // Still written, by FreeImage, the same checked way.
    test::Sandbox box;
    const QString path = box.file(QStringLiteral("t.png"));
    ASSERT_TRUE(savePngChecked(transparent.get(), path, 2));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const test::PngParts parts = test::readPng(file.readAll());
    EXPECT_TRUE(test::chunkSequence(parts).contains(QLatin1String("tRNS")));
}

TEST(PngWriter, AFullDiskKeepsTheOldFileAndSaysWhy)
{
    test::Sandbox box;
    FiBitmap dib = photoBitmap(400, 300);
    for (const bool withFinish : {false, true}) {
        SCOPED_TRACE(withFinish);
        ASSERT_TRUE(box.write(QStringLiteral("old.png"), "the old file"));
        const QString path = box.file(QStringLiteral("old.png"));
        FinishFile finish;
        if (withFinish)
            finish = [](const QByteArray &file) { return file; };
        bool saved = true;
        {
            test::FileSizeLimit limit(1000);
            ASSERT_TRUE(limit.active());
            saved = savePngChecked(dib.get(), path, 2, finish);
        }
        EXPECT_FALSE(saved);
        EXPECT_TRUE(takeWriteFailure().contains(QLatin1String("file too large")));
        EXPECT_EQ(box.read(QStringLiteral("old.png")), QByteArray("the old file"));
        EXPECT_EQ(QDir(box.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);
    }
    // And with room, the same call writes the file.
    ASSERT_TRUE(savePngChecked(dib.get(), box.file(QStringLiteral("old.png")), 2));
    EXPECT_TRUE(test::readPng(box.read(QStringLiteral("old.png"))).ok);
}

} // namespace pictrove
