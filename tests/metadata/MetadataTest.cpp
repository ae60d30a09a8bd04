#include "metadata/ExifDirectories.h"
#include "metadata/FileMetadata.h"
#include "metadata/XmpPacket.h"

#include "CameraFixtures.h"
#include "TestSupport.h"

#include <FreeImage.h>

#include <QBuffer>
#include <QImage>
#include <QRandomGenerator>

#include <gtest/gtest.h>

namespace pictrove {
namespace {

using namespace exif;

QByteArray text(const Entry *entry)
{
    return entry ? entry->value : QByteArray("(none)");
}

std::optional<std::uint32_t> number(const std::vector<Entry> &dir, std::uint16_t t, ByteOrder order)
{
    const Entry *e = find(dir, t);
    return e ? unsignedValue(*e, order) : std::nullopt;
}

TEST(ExifBlock, ReadsTheFourDirectoriesInEitherByteOrder)
{
    for (const bool big : {false, true}) {
        test::CameraDetails details;
        details.bigEndian = big;
        details.pixelSize = QSize(300, 200);
        const std::optional<Directories> d = read(test::exifBlock(details));
        ASSERT_TRUE(d.has_value()) << big;
        EXPECT_EQ(d->order, big ? ByteOrder::Big : ByteOrder::Little);
        EXPECT_EQ(text(find(d->primary, tag::Make)), QByteArray("Tevalen Optics\0", 15));
        EXPECT_EQ(text(find(d->primary, tag::Model)), QByteArray("TV-300 Mk II\0", 13));
        EXPECT_EQ(number(d->primary, tag::Orientation, d->order), 6u);
        EXPECT_EQ(text(find(d->exif, tag::DateTimeOriginal)), QByteArray("2024:05:17 14:03:22\0", 20));
        EXPECT_EQ(number(d->exif, tag::PixelXDimension, d->order), 300u);
        ASSERT_NE(find(d->gps, 0x0002), nullptr); // the latitude
        EXPECT_EQ(find(d->gps, 0x0002)->count, 3u);
        // The pointers are the writer's to make; IFD1 is never read.
        EXPECT_EQ(find(d->primary, tag::ExifPointer), nullptr);
        EXPECT_EQ(find(d->primary, tag::JpegInterchangeFormat), nullptr);
    }
}

TEST(ExifBlock, RebuiltForWritingIsUprightWithoutThumbnailAndHasTheWrittenSize)
{
    for (const bool big : {false, true}) {
        test::CameraDetails details;
        details.bigEndian = big;
        details.pixelSize = QSize(300, 200);
        const QByteArray source = test::exifBlock(details);
        ASSERT_TRUE(source.contains(test::thumbnailMark()));
        const QByteArray rebuilt = rebuildForWriting(source, QSize(200, 300));
        const std::optional<Directories> d = read(rebuilt);
        ASSERT_TRUE(d.has_value());
        EXPECT_EQ(d->order, big ? ByteOrder::Big : ByteOrder::Little);
        EXPECT_EQ(number(d->primary, tag::Orientation, d->order), 1u);
        EXPECT_EQ(number(d->exif, tag::PixelXDimension, d->order), 200u);
        EXPECT_EQ(number(d->exif, tag::PixelYDimension, d->order), 300u);
        EXPECT_FALSE(rebuilt.contains(test::thumbnailMark()));
        EXPECT_FALSE(rebuilt.contains("TevalenMakerNote"));
        // Date, camera, lens and position come along.
        EXPECT_EQ(text(find(d->primary, tag::Make)), QByteArray("Tevalen Optics\0", 15));
        EXPECT_EQ(text(find(d->exif, tag::DateTimeOriginal)), QByteArray("2024:05:17 14:03:22\0", 20));
        EXPECT_EQ(text(find(d->exif, tag::LensModel)), QByteArray("TV 24-70mm F2.8\0", 16));
        EXPECT_EQ(d->gps.size(), 3u);
        // The next-directory link of IFD0 is gone with IFD1.
        const auto field = [&](qsizetype at, int width) {
            std::uint32_t v = 0;
            for (int i = 0; i < width; ++i) {
                const std::uint32_t byte = std::uint8_t(rebuilt[at + i]);
                v |= big ? byte << (8 * (width - 1 - i)) : byte << (8 * i);
            }
            return v;
        };
        EXPECT_EQ(field(8 + 2 + 12 * field(8, 2), 4), 0u);

        // Again on its own result: nothing changes.
        EXPECT_EQ(rebuildForWriting(rebuilt, QSize(200, 300)), rebuilt);
    }
}

TEST(ExifBlock, SizeIsAddedWhenTheCameraWroteNoneAndOrientationOnlyWhenItWroteOne)
{
    test::CameraDetails details;
    details.orientation = 0;
    const std::optional<Directories> d = read(rebuildForWriting(test::exifBlock(details), QSize(64, 48)));
    ASSERT_TRUE(d.has_value());
    EXPECT_EQ(find(d->primary, tag::Orientation), nullptr);
    EXPECT_EQ(number(d->exif, tag::PixelXDimension, d->order), 64u);
    EXPECT_EQ(number(d->exif, tag::PixelYDimension, d->order), 48u);
}

// What the decoder hands over is the block laid out afresh, nothing about
// the picture changed yet: the writers correct it for the file they write.
TEST(ExifBlock, CanonicalKeepsOrientationAndSizeButDropsThumbnailAndMakerNote)
{
    test::CameraDetails details;
    details.bigEndian = true;
    details.pixelSize = QSize(300, 200);
    const QByteArray block = canonical(test::exifBlock(details));
    const std::optional<Directories> d = read(block);
    ASSERT_TRUE(d.has_value());
    EXPECT_EQ(number(d->primary, tag::Orientation, d->order), 6u);
    EXPECT_EQ(number(d->exif, tag::PixelXDimension, d->order), 300u);
    EXPECT_FALSE(block.contains(test::thumbnailMark()));
    EXPECT_FALSE(block.contains("TevalenMakerNote"));
    EXPECT_EQ(canonical(block), block);
}

TEST(ExifBlock, WhatIsNotATiffStructureGivesNothing)
{
    for (const QByteArray &bad : {QByteArray(), QByteArray("II*"), QByteArray("XX*\0\x08\0\0\0", 8),
                                  QByteArray("II+\0\x08\0\0\0", 8), QByteArray("II*\0\x08\0\0\0", 8),
                                  QByteArray("Exif\0\0II*\0\x08\0\0\0", 14)}) {
        EXPECT_FALSE(read(bad).has_value());
        EXPECT_TRUE(rebuildForWriting(bad, QSize(10, 10)).isEmpty());
    }
}

// A hand-made block: a header and directories placed where the test says.
QByteArray littleEndianBlock(const QList<QByteArray> &pieces)
{
    QByteArray block("II*\0\x08\0\0\0", 8);
    for (const QByteArray &piece : pieces)
        block += piece;
    return block;
}

QByteArray le(std::uint32_t v, int width)
{
    QByteArray out;
    for (int i = 0; i < width; ++i)
        out += char((v >> (8 * i)) & 0xFF);
    return out;
}

QByteArray entry(std::uint16_t t, std::uint16_t type, std::uint32_t count, std::uint32_t value)
{
    return le(t, 2) + le(type, 2) + le(count, 4) + le(value, 4);
}

TEST(ExifBlock, HostileLayoutsKeepWhatChecksOut)
{
    // A Make whose value lies past the end, a count whose bytes overflow 32
    // bits, an unknown type, an Exif pointer back at IFD0 (a loop) and a GPS
    // pointer past the end; only the Model survives, and IFD0 read as an
    // Exif directory adds nothing harmful.
    const QByteArray block = littleEndianBlock({
        le(6, 2),
        entry(tag::Make, Ascii, 100, 5000),
        entry(tag::Model, Ascii, 4, 0x00434241), // "ABC\0" inline
        entry(tag::Orientation, Double, 0x40000000, 8),
        entry(0x0131, 99, 1, 0),
        entry(tag::ExifPointer, Long, 1, 8),
        entry(tag::GpsPointer, Long, 1, 0x7FFFFFF0),
        le(0, 4),
    });
    const std::optional<Directories> d = read(block);
    ASSERT_TRUE(d.has_value());
    ASSERT_EQ(d->primary.size(), 1u);
    EXPECT_EQ(d->primary[0].value, QByteArray("ABC\0", 4));
    EXPECT_TRUE(d->gps.empty());
    const QByteArray rebuilt = rebuildForWriting(block, QSize(5, 5));
    ASSERT_FALSE(rebuilt.isEmpty());
    EXPECT_TRUE(read(rebuilt).has_value());

    // A directory that claims more entries than the block holds is none.
    EXPECT_FALSE(read(littleEndianBlock({le(0xFFFF, 2), entry(tag::Make, Ascii, 2, 0x41)})).has_value());
}

TEST(ExifBlock, ManyEntriesSharingOneLargeValueStayBounded)
{
    // 900 entries each pointing at the same 60 KiB: without a budget the
    // rebuilt block would be 54 MB.
    QByteArray dir = le(900, 2);
    const std::uint32_t valueAt = 8 + 2 + 900 * 12 + 4;
    for (int i = 0; i < 900; ++i)
        dir += entry(std::uint16_t(0x9C9B + (i % 5)) , Byte, 60 * 1024, valueAt);
    dir += le(0, 4);
    QByteArray block = littleEndianBlock({dir, QByteArray(60 * 1024, 'v')});
    const QByteArray rebuilt = canonical(block);
    EXPECT_LE(rebuilt.size(), 2 * 1024 * 1024);
}

// Random damage of every kind: flipped bytes, cut blocks, bytes inserted.
// Whatever comes out is a block that reads back, upright, and never larger
// than the budget allows.
TEST(ExifBlock, DamagedBlocksNeverCrashAndGiveReadableUprightBlocks)
{
    QRandomGenerator random(18);
    for (const bool big : {false, true}) {
        test::CameraDetails details;
        details.bigEndian = big;
        const QByteArray source = test::exifBlock(details);
        for (qsizetype cut = 0; cut <= source.size(); ++cut) {
            const QByteArray rebuilt = rebuildForWriting(source.left(cut), QSize(3, 2));
            if (!rebuilt.isEmpty()) {
                ASSERT_TRUE(read(rebuilt).has_value()) << cut;
            }
        }
        for (int round = 0; round < 3000; ++round) {
            QByteArray damaged = source;
            const int changes = 1 + int(random.bounded(8));
            for (int c = 0; c < changes; ++c) {
                const qsizetype at = qsizetype(random.bounded(int(damaged.size())));
                switch (random.bounded(3)) {
                case 0: damaged[at] = char(random.bounded(256)); break;
                case 1: damaged[at] = char(0xFF); break;
                default: damaged.insert(at, char(random.bounded(256))); break;
                }
            }
            const QByteArray rebuilt = rebuildForWriting(damaged, QSize(3, 2));
            if (rebuilt.isEmpty())
                continue;
            const std::optional<Directories> d = read(rebuilt);
            ASSERT_TRUE(d.has_value()) << round;
            const Entry *orientation = find(d->primary, tag::Orientation);
            if (orientation) {
                EXPECT_EQ(unsignedValue(*orientation, d->order), 1u) << round;
            }
            EXPECT_EQ(rebuildForWriting(rebuilt, QSize(3, 2)), rebuilt) << round;
        }
    }
}

TEST(ExifBlock, EntriesMoveBetweenByteOrders)
{
    test::CameraDetails little;
    little.makerNote = false;
    test::CameraDetails big = little;
    big.bigEndian = true;
    std::optional<Directories> fromBig = read(test::exifBlock(big));
    const std::optional<Directories> fromLittle = read(test::exifBlock(little));
    ASSERT_TRUE(fromBig && fromLittle);
    for (std::vector<Entry> *dir : {&fromBig->primary, &fromBig->exif, &fromBig->gps})
        for (Entry &e : *dir)
            ASSERT_TRUE(convertOrder(e, ByteOrder::Big, ByteOrder::Little)) << e.tag;
    EXPECT_EQ(fromBig->primary, fromLittle->primary);
    EXPECT_EQ(fromBig->exif, fromLittle->exif);
    EXPECT_EQ(fromBig->gps, fromLittle->gps);
    // A CFA pattern's inner numbers follow the file's order: it cannot move.
    Entry cfa{tag::CfaPattern, Undefined, 8, QByteArray("\0\x02\0\x02\0\1\1\2", 8)};
    EXPECT_FALSE(convertOrder(cfa, ByteOrder::Big, ByteOrder::Little));
}

TEST(XmpPacket, OrientationAndSizeAreCorrectedAsAttributesAndAsElements)
{
    const QByteArray packet = test::xmpPacket(6, QSize(300, 200));
    const QByteArray fixed = xmp::rebuildForWriting(packet, QSize(200, 300));
    EXPECT_TRUE(fixed.contains("tiff:Orientation=\"1\""));
    EXPECT_TRUE(fixed.contains("exif:PixelXDimension=\"200\""));
    EXPECT_TRUE(fixed.contains("exif:PixelYDimension=\"300\""));
    EXPECT_TRUE(fixed.contains("Harbour at dusk"));
    EXPECT_EQ(fixed.size(), packet.size());

    const QByteArray elements =
        "<rdf:Description><tiff:Orientation>8</tiff:Orientation>"
        "<tiff:ImageWidth>4000</tiff:ImageWidth><tiff:ImageLength>3000</tiff:ImageLength>"
        "<exif:PixelXDimension> 4000 </exif:PixelXDimension>"
        "<tiff:OrientationNote>6</tiff:OrientationNote>"
        "<my:tiff:Orientation>6</my:tiff:Orientation>"
        "<x tiff:Orientation = '3' /></rdf:Description>";
    EXPECT_EQ(xmp::rebuildForWriting(elements, QSize(30, 40)),
              QByteArray("<rdf:Description><tiff:Orientation>1</tiff:Orientation>"
                         "<tiff:ImageWidth>30</tiff:ImageWidth><tiff:ImageLength>40</tiff:ImageLength>"
                         "<exif:PixelXDimension>30</exif:PixelXDimension>"
                         "<tiff:OrientationNote>6</tiff:OrientationNote>"
                         "<my:tiff:Orientation>6</my:tiff:Orientation>"
                         "<x tiff:Orientation = '1' /></rdf:Description>"));
    // Unfinished text is left as it is.
    EXPECT_EQ(xmp::rebuildForWriting("a tiff:Orientation=\"6", QSize(1, 1)),
              QByteArray("a tiff:Orientation=\"6"));
    EXPECT_EQ(xmp::rebuildForWriting("<tiff:Orientation>", QSize(1, 1)),
              QByteArray("<tiff:Orientation>"));
}

TEST(XmpPacket, PaddingGoesOnlyWhenAsked)
{
    const QByteArray packet = test::xmpPacket(1, QSize(2, 2));
    const QByteArray trimmed = xmp::withoutPadding(packet);
    EXPECT_LT(trimmed.size(), packet.size() - 2000);
    EXPECT_TRUE(trimmed.endsWith("</x:xmpmeta>\n<?xpacket end=\"w\"?>"));
    EXPECT_EQ(xmp::withoutPadding(trimmed), trimmed);
    EXPECT_EQ(xmp::withoutPadding("no packet"), QByteArray("no packet"));
}

QByteArray qtJpeg(const QImage &picture)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    picture.save(&buffer, "JPG", 80);
    return bytes;
}

TEST(FileMetadata, JpegTakesExifThenXmpAfterItsJfifSegment)
{
    const QImage picture = test::makeTestPicture(40, 30);
    const QByteArray jpeg = qtJpeg(picture);
    const PictureMetadata prepared = filemetadata::forWriting(
        {test::exifBlock(), test::xmpPacket(6, QSize(30, 40))}, picture.size());
    const QByteArray out = filemetadata::addToJpeg(jpeg, prepared);
    ASSERT_GT(out.size(), jpeg.size());
    EXPECT_EQ(out.mid(2, 2), QByteArray("\xFF\xE0", 2)); // JFIF stays first
    EXPECT_EQ(test::jpegApp1Payloads(out, QByteArray("Exif\0\0", 6)), QList<QByteArray>{prepared.exif});
    EXPECT_EQ(test::jpegApp1Payloads(out, QByteArray("http://ns.adobe.com/xap/1.0/\0", 29)),
              QList<QByteArray>{prepared.xmp});
    const QImage back = QImage::fromData(out);
    EXPECT_EQ(test::maxChannelDifference(back, QImage::fromData(jpeg)), 0);

    // Blocks that do not fit a segment are left out, the file is still whole.
    PictureMetadata huge{QByteArray(70000, 'e'), QByteArray(70000, 'x')};
    EXPECT_EQ(filemetadata::addToJpeg(jpeg, huge), jpeg);
    // An XMP packet that fits once its padding is gone goes in without it.
    QByteArray padded = test::xmpPacket(1, QSize(2, 2));
    padded.insert(padded.lastIndexOf("<?xpacket end"), QByteArray(64 * 1024, ' '));
    const QByteArray withXmp = filemetadata::addToJpeg(jpeg, {{}, padded});
    EXPECT_EQ(test::jpegApp1Payloads(withXmp, QByteArray("http://ns.adobe.com/xap/1.0/\0", 29)),
              QList<QByteArray>{xmp::withoutPadding(padded)});
    // Not a JPEG, or nothing to add: unchanged.
    EXPECT_EQ(filemetadata::addToJpeg("GIF89a", prepared), QByteArray("GIF89a"));
    EXPECT_EQ(filemetadata::addToJpeg(jpeg, {}), jpeg);
}

QByteArray qtPng(const QImage &picture)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    picture.save(&buffer, "PNG");
    return bytes;
}

TEST(FileMetadata, PngTakesExifAndXmpChunksBeforeItsPixels)
{
    const QImage picture = test::makeTestPicture(20, 10);
    const QByteArray png = qtPng(picture);
    const PictureMetadata prepared =
        filemetadata::forWriting({test::exifBlock(), test::xmpPacket(6, {})}, picture.size());
    const QByteArray out = filemetadata::addToPng(png, prepared);
    const QList<QByteArray> types = test::pngChunkTypes(out);
    ASSERT_TRUE(types.contains("eXIf") && types.contains("iTXt"));
    EXPECT_LT(types.indexOf("eXIf"), types.indexOf("IDAT"));
    EXPECT_LT(types.indexOf("iTXt"), types.indexOf("IDAT"));
    EXPECT_EQ(test::pngChunks(out, "eXIf"), QList<QByteArray>{prepared.exif});
    EXPECT_EQ(test::pngChunks(out, "iTXt"),
              QList<QByteArray>{QByteArray("XML:com.adobe.xmp\0\0\0\0\0", 22) + prepared.xmp});
    EXPECT_EQ(test::maxChannelDifference(QImage::fromData(out), picture), 0);
    EXPECT_EQ(filemetadata::addToPng(png.left(40), prepared), png.left(40)); // no IDAT: unchanged
}

// FreeImage reads our TIFF back: the picture as it was written, and the
// details in the tags where a TIFF reader looks for them.
QByteArray freeImageTiff(const QImage &picture)
{
    FIBITMAP *dib = FreeImage_Allocate(picture.width(), picture.height(), 24);
    for (int y = 0; y < picture.height(); ++y) {
        BYTE *line = FreeImage_GetScanLine(dib, picture.height() - 1 - y);
        for (int x = 0; x < picture.width(); ++x) {
            const QRgb p = picture.pixel(x, y);
            line[3 * x + FI_RGBA_RED] = BYTE(qRed(p));
            line[3 * x + FI_RGBA_GREEN] = BYTE(qGreen(p));
            line[3 * x + FI_RGBA_BLUE] = BYTE(qBlue(p));
        }
    }
    FIMEMORY *memory = FreeImage_OpenMemory();
    FreeImage_SaveToMemory(FIF_TIFF, dib, memory, 0);
    BYTE *data = nullptr;
    DWORD size = 0;
    FreeImage_AcquireMemory(memory, &data, &size);
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    FreeImage_CloseMemory(memory);
    FreeImage_Unload(dib);
    return bytes;
}

QString tagText(FIBITMAP *dib, FREE_IMAGE_MDMODEL model, const char *key)
{
    FITAG *tag = nullptr;
    if (!FreeImage_GetMetadata(model, dib, key, &tag) || !tag)
        return QStringLiteral("(none)");
    return QString::fromLatin1(FreeImage_TagToString(model, tag));
}

TEST(FileMetadata, TiffGetsTheDetailsBesideItsOwnDirectory)
{
    const QImage picture = test::makeTestPicture(33, 21);
    const QByteArray tiff = freeImageTiff(picture);
    for (const bool big : {false, true}) {
        test::CameraDetails details;
        details.bigEndian = big;
        const PictureMetadata prepared =
            filemetadata::forWriting({test::exifBlock(details), test::xmpPacket(6, {})}, picture.size());
        const QByteArray out = filemetadata::addToTiff(tiff, prepared);
        ASSERT_GT(out.size(), tiff.size());
        EXPECT_EQ(out.left(4), tiff.left(4));

        FIMEMORY *memory = FreeImage_OpenMemory(reinterpret_cast<BYTE *>(const_cast<char *>(out.constData())),
                                                DWORD(out.size()));
        FIBITMAP *dib = FreeImage_LoadFromMemory(FIF_TIFF, memory, 0);
        ASSERT_NE(dib, nullptr);
        EXPECT_EQ(FreeImage_GetWidth(dib), 33u);
        EXPECT_EQ(FreeImage_GetHeight(dib), 21u);
        const QRgb corner = picture.pixel(32, 0);
        RGBQUAD pixel{};
        FreeImage_GetPixelColor(dib, 32, 20, &pixel);
        EXPECT_EQ(qRgb(pixel.rgbRed, pixel.rgbGreen, pixel.rgbBlue), corner);
        EXPECT_EQ(tagText(dib, FIMD_EXIF_MAIN, "Make"), QStringLiteral("Tevalen Optics"));
        EXPECT_EQ(tagText(dib, FIMD_EXIF_MAIN, "Model"), QStringLiteral("TV-300 Mk II"));
        EXPECT_EQ(tagText(dib, FIMD_EXIF_EXIF, "DateTimeOriginal"), QStringLiteral("2024:05:17 14:03:22"));
        EXPECT_TRUE(tagText(dib, FIMD_XMP, "XMLPacket").contains(QStringLiteral("Harbour at dusk")));
        // FreeImage reads no GPS directory of a TIFF; the file is a TIFF
        // structure like any EXIF block, so read it as one.
        const std::optional<Directories> asBlock = read(out);
        ASSERT_TRUE(asBlock.has_value());
        EXPECT_EQ(asBlock->gps.size(), 3u);
        FreeImage_Unload(dib);
        FreeImage_CloseMemory(memory);
    }
    EXPECT_EQ(filemetadata::addToTiff(tiff, {}), tiff);
    EXPECT_EQ(filemetadata::addToTiff(tiff.left(10), {test::exifBlock(), {}}), tiff.left(10));
}

} // namespace
} // namespace pictrove
