// Every offset, length and count below comes from the file and is checked
// against what is really there before it is used: the reads go through
// Source::at, which hands back exactly the bytes asked for or none.
#include "decoding/PhotoMetadata.h"

#include "decoding/DecoderProtocol.h"

#include <QFile>
#include <QtEndian>

#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>
#include <string_view>
#include <vector>

namespace pictrove {

namespace {

namespace proto = decoderprotocol;

// Larger profiles than this are not photographs' (JPEG's own chunking
// stops near 16 MB).
constexpr qsizetype maxIccBytes = 16 * 1024 * 1024;
constexpr qsizetype maxExifBytes = qsizetype(proto::maxExifBytes);
constexpr qsizetype maxXmpBytes = qsizetype(proto::maxXmpBytes);

// The bytes of a file or of a block in memory, read by offset.
class Source {
public:
    explicit Source(QIODevice &device) : m_device(&device), m_size(device.size()) {}
    explicit Source(const QByteArray &bytes) : m_bytes(bytes), m_size(bytes.size()) {}

    qint64 size() const { return m_size; }

    // Exactly length bytes at offset, or empty.
    QByteArray at(qint64 offset, qint64 length) const
    {
        if (offset < 0 || length <= 0 || offset > m_size || length > m_size - offset)
            return {};
        if (!m_device)
            return m_bytes.mid(offset, length);
        if (!m_device->seek(offset))
            return {};
        QByteArray bytes = m_device->read(length);
        return bytes.size() == length ? bytes : QByteArray();
    }

private:
    QIODevice *m_device = nullptr;
    QByteArray m_bytes;
    qint64 m_size = 0;
};

quint16 be16(const QByteArray &b, qsizetype at) { return qFromBigEndian<quint16>(b.constData() + at); }
quint32 be32(const QByteArray &b, qsizetype at) { return qFromBigEndian<quint32>(b.constData() + at); }
quint32 le32(const QByteArray &b, qsizetype at) { return qFromLittleEndian<quint32>(b.constData() + at); }

bool startsWith(const QByteArray &bytes, qsizetype at, std::string_view prefix)
{
    return at >= 0 && bytes.size() - at >= qsizetype(prefix.size())
        && std::memcmp(bytes.constData() + at, prefix.data(), prefix.size()) == 0;
}

// A zlib stream inflated whole, or nothing when it is damaged or would
// grow past the cap.
std::optional<QByteArray> inflateCapped(const char *data, qsizetype size, qsizetype cap)
{
    struct Stream {
        z_stream z{};
        bool open = false;
        ~Stream()
        {
            if (open)
                inflateEnd(&z);
        }
    } stream;
    if (inflateInit(&stream.z) != Z_OK)
        return std::nullopt;
    stream.open = true;
    stream.z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data));
    stream.z.avail_in = uInt(size);
    QByteArray out;
    std::array<char, 64 * 1024> chunk{};
    for (;;) {
        stream.z.next_out = reinterpret_cast<Bytef *>(chunk.data());
        stream.z.avail_out = uInt(chunk.size());
        const int status = inflate(&stream.z, Z_NO_FLUSH);
        const qsizetype produced = qsizetype(chunk.size()) - qsizetype(stream.z.avail_out);
        if (out.size() + produced > cap)
            return std::nullopt;
        out.append(chunk.data(), produced);
        if (status == Z_STREAM_END)
            return out;
        if (status != Z_OK || (produced == 0 && stream.z.avail_in == 0))
            return std::nullopt;
    }
}

// ---- TIFF structures: TIFF files and EXIF blocks ----

constexpr quint16 tagOrientation = 274;
constexpr quint16 tagPhotometric = 262;
constexpr quint16 tagSamplesPerPixel = 277;
constexpr quint16 tagInkSet = 332;
constexpr quint16 tagXmp = 700;
constexpr quint16 tagIcc = 34675;
constexpr quint16 tagExifIfd = 34665;
constexpr quint16 tagGpsIfd = 34853;
constexpr quint16 tagInteropIfd = 40965;

// Bytes per value of each TIFF field type; 0 for a type we do not know.
int typeSize(quint16 type)
{
    switch (type) {
    case 1: case 2: case 6: case 7: return 1;     // byte, ASCII, signed byte, undefined
    case 3: case 8: return 2;                     // short, signed short
    case 4: case 9: case 11: case 13: return 4;   // long, signed long, float, IFD
    case 5: case 10: case 12: return 8;           // rationals, double
    case 16: case 17: case 18: return 8;          // BigTIFF's 64-bit long, signed, IFD
    default: return 0;
    }
}

struct TiffEntry {
    quint16 tag = 0;
    quint16 type = 0;
    quint64 count = 0;
    QByteArray field;     // the value field as stored: 4 bytes (8 in BigTIFF)
    qint64 fieldAt = 0;   // where that field is in the source
};

class TiffReader {
public:
    explicit TiffReader(const Source &source) : m_source(source)
    {
        const QByteArray head = source.at(0, 16);
        if (head.size() < 8)
            return;
        if (startsWith(head, 0, "II"))
            m_bigEndian = false;
        else if (startsWith(head, 0, "MM"))
            m_bigEndian = true;
        else
            return;
        const quint16 magic = u16(head, 2);
        if (magic == 42) {
            m_first = u32(head, 4);
            m_valid = true;
        } else if (magic == 43 && head.size() == 16 && u16(head, 4) == 8 && u16(head, 6) == 0) {
            m_bigTiff = true;
            m_first = qint64(std::min<quint64>(u64(head, 8), quint64(source.size())));
            m_valid = true;
        }
    }

    bool valid() const { return m_valid; }
    bool bigEndian() const { return m_bigEndian; }
    bool bigTiff() const { return m_bigTiff; }
    qint64 firstIfd() const { return m_first; }

    quint16 u16(const QByteArray &b, qsizetype at) const
    {
        return m_bigEndian ? qFromBigEndian<quint16>(b.constData() + at)
                           : qFromLittleEndian<quint16>(b.constData() + at);
    }
    quint32 u32(const QByteArray &b, qsizetype at) const
    {
        return m_bigEndian ? qFromBigEndian<quint32>(b.constData() + at)
                           : qFromLittleEndian<quint32>(b.constData() + at);
    }
    quint64 u64(const QByteArray &b, qsizetype at) const
    {
        return m_bigEndian ? qFromBigEndian<quint64>(b.constData() + at)
                           : qFromLittleEndian<quint64>(b.constData() + at);
    }

    // The entries of the directory at offset; empty when it is not all there.
    std::vector<TiffEntry> directory(qint64 offset) const
    {
        const int countBytes = m_bigTiff ? 8 : 2;
        const int entryBytes = m_bigTiff ? 20 : 12;
        const int fieldBytes = m_bigTiff ? 8 : 4;
        const QByteArray countField = m_source.at(offset, countBytes);
        if (countField.isEmpty())
            return {};
        const quint64 count = m_bigTiff ? u64(countField, 0) : u16(countField, 0);
        // A directory holds one entry per tag; more than there are tags
        // is not a directory.
        if (count == 0 || count > 4096)
            return {};
        const QByteArray table = m_source.at(offset + countBytes, qint64(count) * entryBytes);
        if (table.isEmpty())
            return {};
        std::vector<TiffEntry> entries;
        entries.reserve(size_t(count));
        for (quint64 i = 0; i < count; ++i) {
            const qsizetype at = qsizetype(i) * entryBytes;
            TiffEntry e;
            e.tag = u16(table, at);
            e.type = u16(table, at + 2);
            e.count = m_bigTiff ? u64(table, at + 4) : u32(table, at + 4);
            e.field = table.mid(at + entryBytes - fieldBytes, fieldBytes);
            e.fieldAt = offset + countBytes + at + entryBytes - fieldBytes;
            entries.push_back(std::move(e));
        }
        return entries;
    }

    // The value bytes of an entry, as stored; empty when they are not all
    // there, the type is unknown, or there are more than maxBytes.
    QByteArray value(const TiffEntry &e, qint64 maxBytes) const
    {
        const int size = typeSize(e.type);
        if (size == 0 || e.count == 0 || e.count > quint64(maxBytes) / quint64(size))
            return {};
        const qint64 bytes = qint64(e.count) * size;
        if (bytes <= e.field.size())
            return e.field.left(bytes);
        const quint64 offset = m_bigTiff ? u64(e.field, 0) : u32(e.field, 0);
        if (offset > quint64(m_source.size()))
            return {};
        return m_source.at(qint64(offset), bytes);
    }

    // A short or long held in the value field (the first of several).
    std::optional<quint32> number(const TiffEntry &e) const
    {
        if (e.count < 1)
            return std::nullopt;
        if (e.type == 3)
            return u16(e.field, 0);
        if (e.type == 4 || e.type == 13)
            return u32(e.field, 0);
        return std::nullopt;
    }

    // The offset a pointer entry (an EXIF, GPS or interoperability
    // directory) holds.
    std::optional<qint64> pointer(const TiffEntry &e) const
    {
        if (e.count != 1)
            return std::nullopt;
        if (e.type == 4 || e.type == 13)
            return qint64(u32(e.field, 0));
        if (m_bigTiff && (e.type == 16 || e.type == 18))
            return qint64(std::min<quint64>(u64(e.field, 0), quint64(m_source.size())));
        return std::nullopt;
    }

private:
    const Source &m_source;
    bool m_valid = false;
    bool m_bigEndian = false;
    bool m_bigTiff = false;
    qint64 m_first = 0;
};

const TiffEntry *findTag(const std::vector<TiffEntry> &entries, quint16 tag)
{
    const auto it = std::find_if(entries.begin(), entries.end(),
                                 [tag](const TiffEntry &e) { return e.tag == tag; });
    return it == entries.end() ? nullptr : &*it;
}

// The orientation entry of a first directory: one short (or long).
const TiffEntry *orientationEntry(const std::vector<TiffEntry> &ifd0)
{
    const TiffEntry *entry = findTag(ifd0, tagOrientation);
    return entry && (entry->type == 3 || entry->type == 4) && entry->count == 1 ? entry : nullptr;
}

int orientationIn(const TiffReader &tiff, const std::vector<TiffEntry> &ifd0)
{
    const TiffEntry *entry = orientationEntry(ifd0);
    const auto value = entry ? tiff.number(*entry) : std::nullopt;
    return value && *value >= 1 && *value <= 8 ? int(*value) : 1;
}

// A classic TIFF structure in the byte order of the file it is copied
// from: directories copied entry by entry, with the values that do not fit
// their field placed after each directory and the pointers to the EXIF,
// GPS and interoperability directories made to point at their copies.
class ExifBuilder {
public:
    explicit ExifBuilder(const TiffReader &tiff) : m_tiff(tiff) {}

    // The block for a TIFF file: the descriptive tags of its first
    // directory and the directories they point to. Empty when it has none
    // of them or they would not fit the limit.
    QByteArray build(const std::vector<TiffEntry> &ifd0)
    {
        // What says who made the picture, when and with what; the layout
        // tags ride along only with one of these.
        static constexpr std::array<quint16, 9> descriptive{270, 271, 272, 305, 306, 315, 33432,
                                                            tagExifIfd, tagGpsIfd};
        static constexpr std::array<quint16, 4> layout{274, 282, 283, 296};
        const auto among = [](const auto &tags, quint16 tag) {
            return std::find(tags.begin(), tags.end(), tag) != tags.end();
        };
        std::vector<TiffEntry> entries;
        bool describes = false;
        for (const TiffEntry &e : ifd0) {
            describes = describes || among(descriptive, e.tag);
            if (among(descriptive, e.tag) || among(layout, e.tag))
                entries.push_back(e);
        }
        if (!describes)
            return {};
        m_out = m_tiff.bigEndian() ? QByteArray("MM\0\x2A", 4) : QByteArray("II\x2A\0", 4);
        m_out.append(4, '\0');
        const auto first = writeDirectory(entries, 0);
        if (!first || m_failed)
            return {};
        put32(4, quint32(*first));
        return m_out;
    }

private:
    void put16(qsizetype at, quint16 v)
    {
        if (m_tiff.bigEndian())
            qToBigEndian(v, m_out.data() + at);
        else
            qToLittleEndian(v, m_out.data() + at);
    }
    void put32(qsizetype at, quint32 v)
    {
        if (m_tiff.bigEndian())
            qToBigEndian(v, m_out.data() + at);
        else
            qToLittleEndian(v, m_out.data() + at);
    }

    bool isPointer(quint16 tag, int depth) const
    {
        return (depth == 0 && (tag == tagExifIfd || tag == tagGpsIfd))
            || (depth == 1 && tag == tagInteropIfd);
    }

    std::optional<qint64> writeDirectory(std::vector<TiffEntry> entries, int depth)
    {
        // Only classic types go into a classic structure, and only values
        // that are all there.
        std::erase_if(entries, [&](const TiffEntry &e) {
            if (isPointer(e.tag, depth))
                return !m_tiff.pointer(e);
            return e.type < 1 || e.type > 13 || m_tiff.value(e, maxExifBytes).isEmpty();
        });
        std::sort(entries.begin(), entries.end(),
                  [](const TiffEntry &a, const TiffEntry &b) { return a.tag < b.tag; });
        entries.erase(std::unique(entries.begin(), entries.end(),
                                  [](const TiffEntry &a, const TiffEntry &b) { return a.tag == b.tag; }),
                      entries.end());
        if (entries.empty())
            return std::nullopt;
        if (m_out.size() % 2)
            m_out.append('\0');
        const qint64 start = m_out.size();
        m_out.append(QByteArray(2 + 12 * qsizetype(entries.size()) + 4, '\0'));
        put16(start, quint16(entries.size()));
        std::vector<std::pair<qsizetype, qint64>> children; // field to patch, source offset
        for (size_t i = 0; i < entries.size(); ++i) {
            const TiffEntry &e = entries[i];
            const qsizetype at = start + 2 + 12 * qsizetype(i);
            put16(at, e.tag);
            if (isPointer(e.tag, depth)) {
                put16(at + 2, 4);
                put32(at + 4, 1);
                children.emplace_back(at + 8, *m_tiff.pointer(e));
                continue;
            }
            const QByteArray value = m_tiff.value(e, maxExifBytes);
            put16(at + 2, e.type);
            put32(at + 4, quint32(e.count));
            if (value.size() <= 4) {
                std::memcpy(m_out.data() + at + 8, value.constData(), size_t(value.size()));
            } else {
                if (m_out.size() % 2)
                    m_out.append('\0');
                put32(at + 8, quint32(m_out.size()));
                m_out.append(value);
            }
            if (m_out.size() > maxExifBytes) {
                m_failed = true;
                return std::nullopt;
            }
        }
        for (const auto &[field, source] : children) {
            const auto child = depth < 2 ? writeDirectory(m_tiff.directory(source), depth + 1)
                                         : std::nullopt;
            if (m_failed)
                return std::nullopt;
            put32(field, child ? quint32(*child) : 0);
        }
        return start;
    }

    const TiffReader &m_tiff;
    QByteArray m_out;
    bool m_failed = false;
};

StoredColour tiffColour(const TiffReader &tiff, const std::vector<TiffEntry> &ifd0)
{
    const auto numberOf = [&](quint16 tag) -> std::optional<quint32> {
        const TiffEntry *e = findTag(ifd0, tag);
        return e ? tiff.number(*e) : std::nullopt;
    };
    const auto photometric = numberOf(tagPhotometric);
    if (!photometric)
        return StoredColour::Unknown;
    switch (*photometric) {
    case 0: case 1: return StoredColour::Grey;
    case 2: case 3: case 6: return StoredColour::Rgb;
    case 5: {
        const auto inks = numberOf(tagInkSet);
        const auto samples = numberOf(tagSamplesPerPixel);
        return (!inks || *inks == 1) && samples && *samples >= 4 ? StoredColour::Cmyk
                                                                  : StoredColour::Other;
    }
    default: return StoredColour::Other;
    }
}

void readTiff(const Source &source, PhotoMetadata &m)
{
    const TiffReader tiff(source);
    if (!tiff.valid())
        return;
    m.container = PhotoContainer::Tiff;
    const std::vector<TiffEntry> ifd0 = tiff.directory(tiff.firstIfd());
    m.orientation = orientationIn(tiff, ifd0);
    m.colour = tiffColour(tiff, ifd0);
    if (const TiffEntry *e = findTag(ifd0, tagIcc)) {
        m.icc = tiff.value(*e, maxIccBytes);
        m.iccDamaged = m.icc.isEmpty();
    }
    if (const TiffEntry *e = findTag(ifd0, tagXmp); e && (e->type == 1 || e->type == 7))
        m.xmp = tiff.value(*e, maxXmpBytes);
    if (!tiff.bigTiff())
        m.exif = ExifBuilder(tiff).build(ifd0);
}

// ---- JPEG ----

void readJpeg(const Source &source, PhotoMetadata &m)
{
    m.container = PhotoContainer::Jpeg;
    struct IccChunk {
        int sequence;
        int count;
        QByteArray data;
    };
    std::vector<IccChunk> chunks;
    qint64 iccBytes = 0;
    qint64 at = 2;
    // Everything of interest comes before the scan; each marker moves on by
    // at least two bytes, so the walk ends with the file.
    for (;;) {
        const QByteArray marker = source.at(at, 2);
        if (marker.isEmpty() || quint8(marker[0]) != 0xFF)
            break;
        const quint8 code = quint8(marker[1]);
        if (code == 0xFF) { // fill byte
            ++at;
            continue;
        }
        if (code == 0x01 || code == 0xD8 || (code >= 0xD0 && code <= 0xD7)) {
            at += 2;
            continue;
        }
        if (code == 0xD9 || code == 0xDA)
            break;
        const QByteArray lengthField = source.at(at + 2, 2);
        if (lengthField.isEmpty() || be16(lengthField, 0) < 2)
            break;
        const qint64 length = be16(lengthField, 0) - 2;
        const qint64 payloadAt = at + 4;
        at = payloadAt + length;
        if (length == 0)
            continue;
        const bool frame = code >= 0xC0 && code <= 0xCF && code != 0xC4 && code != 0xC8 && code != 0xCC;
        if (code != 0xE1 && code != 0xE2 && code != 0xEE && !frame)
            continue;
        const QByteArray payload = source.at(payloadAt, length);
        if (payload.isEmpty())
            break;
        if (frame && payload.size() >= 6) {
            switch (quint8(payload[5])) {
            case 1: m.colour = StoredColour::Grey; break;
            case 3: m.colour = StoredColour::Rgb; break;
            case 4: m.colour = StoredColour::Cmyk; break;
            default: m.colour = StoredColour::Other; break;
            }
        } else if (code == 0xE1 && m.exif.isEmpty() && startsWith(payload, 0, std::string_view("Exif\0", 5))
                   && payload.size() > 6) {
            m.exif = payload.mid(6);
        } else if (code == 0xE1 && m.xmp.isEmpty()
                   && startsWith(payload, 0, std::string_view("http://ns.adobe.com/xap/1.0/\0", 29))) {
            m.xmp = payload.mid(29);
        } else if (code == 0xE2 && startsWith(payload, 0, std::string_view("ICC_PROFILE\0", 12))) {
            if (payload.size() < 14) {
                m.iccDamaged = true;
                continue;
            }
            iccBytes += payload.size() - 14;
            chunks.push_back({quint8(payload[12]), quint8(payload[13]), payload.mid(14)});
        }
    }
    if (chunks.empty())
        return;
    // The chunks name their place and how many there are: every place
    // from 1 to that number exactly once, or the profile is not whole.
    std::sort(chunks.begin(), chunks.end(),
              [](const IccChunk &a, const IccChunk &b) { return a.sequence < b.sequence; });
    const int count = chunks.front().count;
    bool whole = count == int(chunks.size()) && iccBytes <= maxIccBytes;
    for (size_t i = 0; whole && i < chunks.size(); ++i)
        whole = chunks[i].count == count && chunks[i].sequence == int(i) + 1;
    if (!whole) {
        m.iccDamaged = true;
        return;
    }
    for (const IccChunk &chunk : chunks)
        m.icc.append(chunk.data);
    m.iccDamaged = m.icc.isEmpty();
}

// ---- PNG ----

void readPng(const Source &source, PhotoMetadata &m)
{
    m.container = PhotoContainer::Png;
    qint64 at = 8;
    for (;;) {
        const QByteArray head = source.at(at, 8);
        if (head.isEmpty())
            break;
        const quint32 length = be32(head, 0);
        const QByteArray type = head.mid(4, 4);
        if (length > 0x7FFFFFFFu || type == "IEND")
            break;
        const qint64 dataAt = at + 8;
        at = dataAt + qint64(length) + 4;
        // What we read of each chunk we want, at most; anything larger is
        // not a real one.
        const qint64 largest = type == "IHDR" ? 13
            : type == "iCCP" ? maxIccBytes
            : type == "eXIf" ? maxExifBytes
            : type == "iTXt" ? maxXmpBytes + 1024
                             : 0;
        if (qint64(length) > largest) {
            if (type == "iCCP")
                m.iccDamaged = true;
            continue;
        }
        // What the chunk's checksum rejects, libpng drops as well.
        const QByteArray chunk = source.at(dataAt - 4, qint64(length) + 8);
        if (chunk.isEmpty())
            break;
        const uLong crc = crc32(0, reinterpret_cast<const Bytef *>(chunk.constData()), uInt(length + 4));
        if (crc != be32(chunk, qsizetype(length) + 4)) {
            if (type == "iCCP")
                m.iccDamaged = true;
            continue;
        }
        const QByteArray data = chunk.mid(4, length);
        if (type == "IHDR" && data.size() >= 10) {
            const quint8 colourType = quint8(data[9]);
            m.colour = colourType == 0 || colourType == 4 ? StoredColour::Grey
                : colourType == 2 || colourType == 3 || colourType == 6 ? StoredColour::Rgb
                                                                         : StoredColour::Other;
        } else if (type == "iCCP" && m.icc.isEmpty()) {
            // name, 0, compression method 0, the deflated profile
            const qsizetype nul = data.indexOf('\0');
            std::optional<QByteArray> profile;
            if (nul >= 1 && nul <= 79 && data.size() > nul + 2 && data[nul + 1] == 0)
                profile = inflateCapped(data.constData() + nul + 2, data.size() - nul - 2, maxIccBytes);
            m.iccDamaged = !profile || profile->isEmpty();
            if (!m.iccDamaged)
                m.icc = *profile;
        } else if (type == "eXIf" && m.exif.isEmpty()) {
            m.exif = startsWith(data, 0, std::string_view("Exif\0\0", 6)) ? data.mid(6) : data;
        } else if (type == "iTXt" && m.xmp.isEmpty()
                   && startsWith(data, 0, std::string_view("XML:com.adobe.xmp\0", 18))) {
            // keyword, 0, compressed?, method, language, 0, translated keyword, 0, text
            qsizetype p = 18;
            if (data.size() < p + 2)
                continue;
            const bool compressed = data[p] != 0;
            p += 2;
            const qsizetype language = data.indexOf('\0', p);
            const qsizetype translated = language < 0 ? -1 : data.indexOf('\0', language + 1);
            if (translated < 0)
                continue;
            const char *text = data.constData() + translated + 1;
            const qsizetype textBytes = data.size() - translated - 1;
            if (!compressed) {
                if (textBytes <= maxXmpBytes)
                    m.xmp = QByteArray(text, textBytes);
            } else if (const auto inflated = inflateCapped(text, textBytes, maxXmpBytes)) {
                m.xmp = *inflated;
            }
        }
    }
}

// ---- WebP ----

void readWebP(const Source &source, PhotoMetadata &m)
{
    m.container = PhotoContainer::WebP;
    m.colour = StoredColour::Rgb;
    const QByteArray riff = source.at(0, 12);
    const qint64 end = std::min<qint64>(source.size(), qint64(le32(riff, 4)) + 8);
    qint64 at = 12;
    while (at + 8 <= end) {
        const QByteArray head = source.at(at, 8);
        if (head.isEmpty())
            break;
        const QByteArray type = head.left(4);
        const quint32 length = le32(head, 4);
        const qint64 dataAt = at + 8;
        at = dataAt + qint64(length) + (length % 2);
        const bool wanted = type == "ICCP" || type == "EXIF" || type == "XMP ";
        if (!wanted)
            continue;
        if (qint64(length) > end - dataAt) {
            if (type == "ICCP")
                m.iccDamaged = true;
            break;
        }
        if (type == "ICCP" && m.icc.isEmpty()) {
            m.icc = length <= quint32(maxIccBytes) ? source.at(dataAt, length) : QByteArray();
            m.iccDamaged = m.icc.isEmpty();
        } else if (type == "EXIF" && m.exif.isEmpty() && length <= quint32(maxExifBytes)) {
            const QByteArray data = source.at(dataAt, length);
            m.exif = startsWith(data, 0, std::string_view("Exif\0\0", 6)) ? data.mid(6) : data;
        } else if (type == "XMP " && m.xmp.isEmpty() && length <= quint32(maxXmpBytes)) {
            m.xmp = source.at(dataAt, length);
        }
    }
}

} // namespace

int exifOrientation(const QByteArray &exif)
{
    const Source source(exif);
    const TiffReader tiff(source);
    if (!tiff.valid())
        return 1;
    return orientationIn(tiff, tiff.directory(tiff.firstIfd()));
}

QByteArray exifSetUpright(QByteArray exif)
{
    const Source source(exif);
    const TiffReader tiff(source);
    if (!tiff.valid() || tiff.bigTiff())
        return exif;
    const std::vector<TiffEntry> ifd0 = tiff.directory(tiff.firstIfd());
    const TiffEntry *entry = orientationEntry(ifd0);
    if (!entry)
        return exif;
    char *field = exif.data() + entry->fieldAt;
    if (entry->type == 3) {
        const quint16 one = 1;
        tiff.bigEndian() ? qToBigEndian(one, field) : qToLittleEndian(one, field);
    } else {
        const quint32 one = 1;
        tiff.bigEndian() ? qToBigEndian(one, field) : qToLittleEndian(one, field);
    }
    return exif;
}

PhotoMetadata readPhotoMetadata(QIODevice &device)
{
    PhotoMetadata m;
    const Source source(device);
    const QByteArray magic = source.at(0, 12);
    if (magic.size() < 12)
        return m;
    if (startsWith(magic, 0, "\xFF\xD8\xFF"))
        readJpeg(source, m);
    else if (startsWith(magic, 0, "\x89PNG\r\n\x1A\n"))
        readPng(source, m);
    else if (startsWith(magic, 0, "II") || startsWith(magic, 0, "MM"))
        readTiff(source, m);
    else if (startsWith(magic, 0, "RIFF") && startsWith(magic, 8, "WEBP"))
        readWebP(source, m);
    if (m.container != PhotoContainer::Tiff && !m.exif.isEmpty())
        m.orientation = exifOrientation(m.exif);
    return m;
}

PhotoMetadata readPhotoMetadata(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return readPhotoMetadata(file);
}

} // namespace pictrove
