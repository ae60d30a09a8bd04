#pragma once

#include <QByteArray>
#include <QSize>

#include <cstdint>
#include <optional>
#include <vector>

namespace pictrove::exif {

// The EXIF block of a source file is a TIFF structure written by whatever
// made the file, hostile ones included. It is never handed to a library:
// this reader walks it with every offset and length checked against the
// block, takes only the four directories a photo's details live in (the
// primary one, Exif, GPS and Interoperability) and copies entry values as
// bytes, and the writer lays them out afresh. Whatever does not check out is
// left out: a damaged entry, a damaged sub-directory, or the whole block when
// its primary directory is damaged.

enum class ByteOrder { Little, Big };

// TIFF field types by their numbers.
enum FieldType : std::uint16_t {
    Byte = 1, Ascii = 2, Short = 3, Long = 4, Rational = 5, SByte = 6, Undefined = 7,
    SShort = 8, SLong = 9, SRational = 10, Float = 11, Double = 12, Ifd = 13,
};

// Bytes of one value of the type; 0 for a type TIFF does not define.
int fieldTypeSize(std::uint16_t type);

struct Entry {
    std::uint16_t tag = 0;
    std::uint16_t type = 0;
    std::uint32_t count = 0;
    QByteArray value; // count values, in the structure's byte order

    bool operator==(const Entry &other) const = default;
};

namespace tag {
constexpr std::uint16_t ImageWidth = 0x0100;
constexpr std::uint16_t ImageDescription = 0x010E;
constexpr std::uint16_t Make = 0x010F;
constexpr std::uint16_t Model = 0x0110;
constexpr std::uint16_t Orientation = 0x0112;
constexpr std::uint16_t XResolution = 0x011A;
constexpr std::uint16_t YResolution = 0x011B;
constexpr std::uint16_t ResolutionUnit = 0x0128;
constexpr std::uint16_t Software = 0x0131;
constexpr std::uint16_t DateTime = 0x0132;
constexpr std::uint16_t Artist = 0x013B;
constexpr std::uint16_t WhitePoint = 0x013E;
constexpr std::uint16_t PrimaryChromaticities = 0x013F;
constexpr std::uint16_t JpegInterchangeFormat = 0x0201;
constexpr std::uint16_t JpegInterchangeFormatLength = 0x0202;
constexpr std::uint16_t YCbCrCoefficients = 0x0211;
constexpr std::uint16_t YCbCrPositioning = 0x0213;
constexpr std::uint16_t ReferenceBlackWhite = 0x0214;
constexpr std::uint16_t XmlPacket = 0x02BC;
constexpr std::uint16_t Rating = 0x4746;
constexpr std::uint16_t RatingPercent = 0x4749;
constexpr std::uint16_t Copyright = 0x8298;
constexpr std::uint16_t ExifPointer = 0x8769;
constexpr std::uint16_t Oecf = 0x8828;
constexpr std::uint16_t GpsPointer = 0x8825;
constexpr std::uint16_t DateTimeOriginal = 0x9003;
constexpr std::uint16_t ComponentsConfiguration = 0x9101;
constexpr std::uint16_t CompressedBitsPerPixel = 0x9102;
constexpr std::uint16_t MakerNote = 0x927C;
constexpr std::uint16_t XpTitle = 0x9C9B;
constexpr std::uint16_t XpSubject = 0x9C9F;
constexpr std::uint16_t PixelXDimension = 0xA002;
constexpr std::uint16_t PixelYDimension = 0xA003;
constexpr std::uint16_t InteropPointer = 0xA005;
constexpr std::uint16_t SpatialFrequencyResponse = 0xA20C;
constexpr std::uint16_t CfaPattern = 0xA302;
constexpr std::uint16_t DeviceSettingDescription = 0xA40B;
constexpr std::uint16_t LensModel = 0xA434;
constexpr std::uint16_t Padding = 0xEA1C;
constexpr std::uint16_t OffsetSchema = 0xEA1D;
} // namespace tag

// The four directories, each sorted by tag without duplicates and without
// the pointers that join them (the writer makes those).
struct Directories {
    ByteOrder order = ByteOrder::Little;
    std::vector<Entry> primary;
    std::vector<Entry> exif;
    std::vector<Entry> gps;
    std::vector<Entry> interop;

    bool isEmpty() const { return primary.empty() && exif.empty() && gps.empty() && interop.empty(); }
    bool operator==(const Directories &other) const = default;
};

// Most entries one directory may hold, and the largest value kept; both far
// above what a camera writes.
constexpr int MaxEntriesPerDirectory = 1000;
constexpr int MaxValueBytes = 64 * 1024;

// The directories of a TIFF structure, or nothing when it has no readable
// primary directory. The thumbnail directory (IFD1) and anything else the
// block holds is not read.
std::optional<Directories> read(const QByteArray &tiff);

// A TIFF structure of the directories, in their byte order: the header, the
// primary directory, then Exif with Interoperability, then GPS. Empty
// directories are left out, and the block is empty when all are.
QByteArray write(const Directories &directories);

// Bytes a directory takes: count, entries, next offset, and its values
// longer than four bytes, each starting on an even offset.
qint64 directoryBytes(const std::vector<Entry> &entries);
// Appends a directory, entries in the order given, at the end of out (whose
// size must be even), its longer values right after it; offsets count from
// the start of out. Values of up to four bytes are written as they are, so
// an entry of another structure whose value lies elsewhere in out can be
// carried over with its four raw bytes.
void appendDirectory(QByteArray &out, const std::vector<Entry> &entries, ByteOrder order,
                     std::uint32_t next = 0);

// The entry of tag in entries, or null.
const Entry *find(const std::vector<Entry> &entries, std::uint16_t tag);
// Puts entry in place of the one with its tag, or adds it in tag order.
void put(std::vector<Entry> &entries, Entry entry);
// An entry of one SHORT or LONG value in the given order.
Entry shortEntry(std::uint16_t tag, std::uint16_t value, ByteOrder order);
Entry longEntry(std::uint16_t tag, std::uint32_t value, ByteOrder order);
// The first value of a SHORT or LONG entry.
std::optional<std::uint32_t> unsignedValue(const Entry &entry, ByteOrder order);
// The entry's values in the other byte order. False for an entry whose
// bytes hold numbers the type does not describe (an OECF or a CFA pattern,
// whose inner numbers follow the file's order): such an entry cannot be
// moved into a structure of the other order.
bool convertOrder(Entry &entry, ByteOrder from, ByteOrder to);

// The block with what a written picture keeps of it, otherwise as it is
// (orientation and pixel dimensions included): what the decoder hands over
// in place of the file's own block, so that the program never reads bytes
// laid out by the file's maker. Empty when nothing is kept.
QByteArray canonical(const QByteArray &block);

// The block a writer carries into a file made of the source picture: the
// details of the photo (date, camera, lens, exposure, GPS position, ...)
// with what no longer holds left out or corrected. The picture is upright,
// so an orientation becomes 1; the thumbnail is gone with IFD1; the pixel
// dimensions are those of the written picture; the maker note (whose inner
// offsets a new layout breaks, and which holds serial numbers) and the
// primary directory's tags about the source's own image data are dropped.
// Empty when the block holds nothing worth carrying, or is damaged beyond
// its primary directory. The same block in gives the same block out, so it
// may run again on its own result.
QByteArray rebuildForWriting(const QByteArray &exif, QSize pictureSize);

} // namespace pictrove::exif
