#include "metadata/ExifDirectories.h"

#include <algorithm>
#include <array>

namespace pictrove::exif {

namespace {

constexpr int HeaderBytes = 8;
constexpr int EntryBytes = 12;

// Reads numbers of the block in its byte order; every read is checked
// against the block's end, and a failed one leaves the output untouched.
class Cursor {
public:
    Cursor(const QByteArray &bytes, ByteOrder order) : m_bytes(bytes), m_order(order) {}

    bool u16(qint64 at, std::uint16_t &out) const
    {
        std::uint32_t v = 0;
        if (!number(at, 2, v))
            return false;
        out = std::uint16_t(v);
        return true;
    }
    bool u32(qint64 at, std::uint32_t &out) const { return number(at, 4, out); }
    bool contains(qint64 at, qint64 length) const
    {
        return at >= 0 && length >= 0 && at <= m_bytes.size() && length <= m_bytes.size() - at;
    }
    QByteArray slice(qint64 at, qint64 length) const { return m_bytes.mid(at, length); }

private:
    bool number(qint64 at, int width, std::uint32_t &out) const
    {
        if (!contains(at, width))
            return false;
        std::uint32_t v = 0;
        for (int i = 0; i < width; ++i) {
            const auto byte = std::uint32_t(std::uint8_t(m_bytes[at + i]));
            v |= m_order == ByteOrder::Little ? byte << (8 * i) : byte << (8 * (width - 1 - i));
        }
        out = v;
        return true;
    }

    const QByteArray &m_bytes;
    ByteOrder m_order;
};

void appendNumber(QByteArray &out, std::uint32_t value, int width, ByteOrder order)
{
    for (int i = 0; i < width; ++i) {
        const int shift = order == ByteOrder::Little ? 8 * i : 8 * (width - 1 - i);
        out.append(char((value >> shift) & 0xFF));
    }
}

// A directory's entries, the pointers among them apart. A directory that
// does not lie wholly inside the block is no directory; an entry whose type
// is unknown or whose value lies outside the block is skipped.
struct DirectoryRead {
    std::vector<Entry> entries;
    std::vector<std::pair<std::uint16_t, std::uint32_t>> pointers;
};

// Values kept over the whole block: many entries pointing at the same
// large value would otherwise multiply one megabyte of hostile input.
constexpr qint64 MaxTotalValueBytes = 1024 * 1024;

std::optional<DirectoryRead> readDirectory(const Cursor &cursor, std::uint32_t offset,
                                           qint64 &budget)
{
    std::uint16_t count = 0;
    if (offset < HeaderBytes || !cursor.u16(offset, count) || count > MaxEntriesPerDirectory
        || !cursor.contains(qint64(offset) + 2, qint64(count) * EntryBytes))
        return std::nullopt;
    DirectoryRead dir;
    for (int i = 0; i < count; ++i) {
        const qint64 at = qint64(offset) + 2 + qint64(i) * EntryBytes;
        Entry entry;
        std::uint32_t inlineOrOffset = 0;
        cursor.u16(at, entry.tag);
        cursor.u16(at + 2, entry.type);
        cursor.u32(at + 4, entry.count);
        cursor.u32(at + 8, inlineOrOffset);
        const int size = fieldTypeSize(entry.type);
        if (size == 0 || entry.count == 0)
            continue;
        if (entry.tag == tag::ExifPointer || entry.tag == tag::GpsPointer
            || entry.tag == tag::InteropPointer) {
            if ((entry.type == Long || entry.type == Ifd) && entry.count == 1)
                dir.pointers.emplace_back(entry.tag, inlineOrOffset);
            continue;
        }
        const qint64 bytes = qint64(entry.count) * size;
        if (bytes > MaxValueBytes || bytes > budget)
            continue;
        if (bytes <= 4)
            entry.value = cursor.slice(at + 8, bytes);
        else if (cursor.contains(inlineOrOffset, bytes))
            entry.value = cursor.slice(inlineOrOffset, bytes);
        else
            continue;
        // A repeated tag keeps its first entry, as readers take it.
        if (std::none_of(dir.entries.begin(), dir.entries.end(),
                         [&](const Entry &e) { return e.tag == entry.tag; })) {
            budget -= bytes;
            dir.entries.push_back(std::move(entry));
        }
    }
    std::sort(dir.entries.begin(), dir.entries.end(),
              [](const Entry &a, const Entry &b) { return a.tag < b.tag; });
    return dir;
}

std::optional<std::uint32_t> pointerOf(const DirectoryRead &dir, std::uint16_t tag)
{
    for (const auto &[t, offset] : dir.pointers)
        if (t == tag)
            return offset;
    return std::nullopt;
}

// The entries of the directory a pointer of parent leads to; keep gets the
// directory whole, its own pointers included, when it points further.
std::vector<Entry> subDirectory(const Cursor &cursor, const DirectoryRead &parent,
                                std::uint16_t pointer, qint64 &budget,
                                std::optional<DirectoryRead> *keep = nullptr)
{
    const std::optional<std::uint32_t> offset = pointerOf(parent, pointer);
    if (!offset)
        return {};
    std::optional<DirectoryRead> dir = readDirectory(cursor, *offset, budget);
    if (!dir)
        return {};
    std::vector<Entry> entries = dir->entries;
    if (keep)
        *keep = std::move(dir);
    return entries;
}

// What a written picture keeps of the primary directory: its description,
// maker, date and rights, and the few tags on how its colours were meant
// (harmless, and some viewers read them). The tags on the source's own
// strips, tiles, compression and thumbnail are the source's business.
constexpr std::array KeptPrimaryTags{
    tag::ImageDescription, tag::Make, tag::Model, tag::Orientation, tag::XResolution,
    tag::YResolution, tag::ResolutionUnit, tag::Software, tag::DateTime, tag::Artist,
    tag::WhitePoint, tag::PrimaryChromaticities, tag::YCbCrCoefficients, tag::YCbCrPositioning,
    tag::ReferenceBlackWhite, tag::Rating, tag::RatingPercent, tag::Copyright,
};

bool keptPrimary(std::uint16_t t)
{
    return std::find(KeptPrimaryTags.begin(), KeptPrimaryTags.end(), t) != KeptPrimaryTags.end()
        || (t >= tag::XpTitle && t <= tag::XpSubject); // Windows' title, comment, author, keywords
}

} // namespace

qint64 directoryBytes(const std::vector<Entry> &entries)
{
    qint64 bytes = 2 + qint64(entries.size()) * EntryBytes + 4;
    for (const Entry &e : entries)
        if (e.value.size() > 4)
            bytes += e.value.size() + (e.value.size() & 1);
    return bytes;
}

void appendDirectory(QByteArray &out, const std::vector<Entry> &entries, ByteOrder order,
                     std::uint32_t next)
{
    const qint64 start = out.size();
    appendNumber(out, std::uint32_t(entries.size()), 2, order);
    qint64 valueAt = start + 2 + qint64(entries.size()) * EntryBytes + 4;
    QByteArray values;
    for (const Entry &e : entries) {
        appendNumber(out, e.tag, 2, order);
        appendNumber(out, e.type, 2, order);
        appendNumber(out, e.count, 4, order);
        if (e.value.size() <= 4) {
            QByteArray inlined = e.value;
            inlined.append(4 - inlined.size(), '\0');
            out.append(inlined);
        } else {
            appendNumber(out, std::uint32_t(valueAt + values.size()), 4, order);
            values.append(e.value);
            if (e.value.size() & 1)
                values.append('\0');
        }
    }
    appendNumber(out, next, 4, order);
    out.append(values);
}

int fieldTypeSize(std::uint16_t type)
{
    switch (type) {
    case Byte: case Ascii: case SByte: case Undefined: return 1;
    case Short: case SShort: return 2;
    case Long: case SLong: case Float: case Ifd: return 4;
    case Rational: case SRational: case Double: return 8;
    default: return 0;
    }
}

std::optional<Directories> read(const QByteArray &tiff)
{
    if (tiff.size() < HeaderBytes)
        return std::nullopt;
    Directories out;
    if (tiff.startsWith("II"))
        out.order = ByteOrder::Little;
    else if (tiff.startsWith("MM"))
        out.order = ByteOrder::Big;
    else
        return std::nullopt;
    const Cursor cursor(tiff, out.order);
    std::uint16_t magic = 0;
    std::uint32_t first = 0;
    if (!cursor.u16(2, magic) || magic != 42 || !cursor.u32(4, first))
        return std::nullopt;
    qint64 budget = MaxTotalValueBytes;
    const std::optional<DirectoryRead> primary = readDirectory(cursor, first, budget);
    if (!primary)
        return std::nullopt;
    out.primary = primary->entries;
    std::optional<DirectoryRead> exifDir;
    out.exif = subDirectory(cursor, *primary, tag::ExifPointer, budget, &exifDir);
    if (exifDir)
        out.interop = subDirectory(cursor, *exifDir, tag::InteropPointer, budget);
    out.gps = subDirectory(cursor, *primary, tag::GpsPointer, budget);
    return out;
}

QByteArray write(const Directories &d)
{
    if (d.isEmpty())
        return {};
    const ByteOrder order = d.order;
    // Where each directory will start: primary, Exif, Interop, GPS.
    std::vector<Entry> primary = d.primary;
    std::vector<Entry> exif = d.exif;
    // A pointer is one more entry in its parent; its value is set below once
    // the offsets are known.
    const bool hasInterop = !d.interop.empty();
    const bool hasExif = !exif.empty() || hasInterop;
    const bool hasGps = !d.gps.empty();
    if (hasExif)
        put(primary, longEntry(tag::ExifPointer, 0, order));
    if (hasGps)
        put(primary, longEntry(tag::GpsPointer, 0, order));
    if (hasInterop)
        put(exif, longEntry(tag::InteropPointer, 0, order));
    const qint64 exifAt = HeaderBytes + directoryBytes(primary);
    const qint64 interopAt = exifAt + (hasExif ? directoryBytes(exif) : 0);
    const qint64 gpsAt = interopAt + (hasInterop ? directoryBytes(d.interop) : 0);
    if (hasExif)
        put(primary, longEntry(tag::ExifPointer, std::uint32_t(exifAt), order));
    if (hasGps)
        put(primary, longEntry(tag::GpsPointer, std::uint32_t(gpsAt), order));
    if (hasInterop)
        put(exif, longEntry(tag::InteropPointer, std::uint32_t(interopAt), order));

    QByteArray out(order == ByteOrder::Little ? "II" : "MM");
    appendNumber(out, 42, 2, order);
    appendNumber(out, HeaderBytes, 4, order);
    appendDirectory(out, primary, order);
    if (hasExif)
        appendDirectory(out, exif, order);
    if (hasInterop)
        appendDirectory(out, d.interop, order);
    if (hasGps)
        appendDirectory(out, d.gps, order);
    return out;
}

const Entry *find(const std::vector<Entry> &entries, std::uint16_t t)
{
    for (const Entry &e : entries)
        if (e.tag == t)
            return &e;
    return nullptr;
}

void put(std::vector<Entry> &entries, Entry entry)
{
    const auto at = std::lower_bound(entries.begin(), entries.end(), entry.tag,
                                     [](const Entry &e, std::uint16_t t) { return e.tag < t; });
    if (at != entries.end() && at->tag == entry.tag)
        *at = std::move(entry);
    else
        entries.insert(at, std::move(entry));
}

Entry shortEntry(std::uint16_t t, std::uint16_t value, ByteOrder order)
{
    Entry e{t, Short, 1, {}};
    appendNumber(e.value, value, 2, order);
    return e;
}

Entry longEntry(std::uint16_t t, std::uint32_t value, ByteOrder order)
{
    Entry e{t, Long, 1, {}};
    appendNumber(e.value, value, 4, order);
    return e;
}

std::optional<std::uint32_t> unsignedValue(const Entry &entry, ByteOrder order)
{
    const Cursor cursor(entry.value, order);
    if (entry.type == Short) {
        std::uint16_t v = 0;
        if (cursor.u16(0, v))
            return v;
    } else if (entry.type == Long) {
        std::uint32_t v = 0;
        if (cursor.u32(0, v))
            return v;
    }
    return std::nullopt;
}

bool convertOrder(Entry &entry, ByteOrder from, ByteOrder to)
{
    if (from == to)
        return true;
    if (entry.tag == tag::Oecf || entry.tag == tag::SpatialFrequencyResponse
        || entry.tag == tag::CfaPattern || entry.tag == tag::DeviceSettingDescription
        || entry.tag == tag::MakerNote)
        return false;
    // Rationals are two LONGs each; the rest are whole numbers of their size.
    const int size = fieldTypeSize(entry.type);
    const int width = entry.type == Rational || entry.type == SRational ? 4 : size;
    if (width <= 1)
        return true;
    for (qsizetype at = 0; at + width <= entry.value.size(); at += width)
        std::reverse(entry.value.begin() + at, entry.value.begin() + at + width);
    return true;
}

namespace {
std::optional<Directories> readKept(const QByteArray &block)
{
    std::optional<Directories> d = read(block);
    if (!d)
        return std::nullopt;
    std::erase_if(d->primary, [](const Entry &e) { return !keptPrimary(e.tag); });
    // Padding is Windows' room for editing in place; it is no detail of the photo.
    std::erase_if(d->exif, [](const Entry &e) {
        return e.tag == tag::MakerNote || e.tag == tag::Padding || e.tag == tag::OffsetSchema;
    });
    std::erase_if(d->gps, [](const Entry &e) { return e.tag == tag::Padding; });
    return d;
}
} // namespace

QByteArray canonical(const QByteArray &block)
{
    const std::optional<Directories> d = readKept(block);
    return d ? write(*d) : QByteArray();
}

QByteArray rebuildForWriting(const QByteArray &block, QSize pictureSize)
{
    std::optional<Directories> d = readKept(block);
    if (!d)
        return {};
    if (find(d->primary, tag::Orientation))
        put(d->primary, shortEntry(tag::Orientation, 1, d->order));
    if (!d->exif.empty() && !pictureSize.isEmpty()) {
        put(d->exif, longEntry(tag::PixelXDimension, std::uint32_t(pictureSize.width()), d->order));
        put(d->exif, longEntry(tag::PixelYDimension, std::uint32_t(pictureSize.height()), d->order));
    }
    return write(*d);
}

} // namespace pictrove::exif
