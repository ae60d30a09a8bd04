#pragma once

// Reading a PNG file's chunks and its picture data for comparing two
// writers' files: the chunks other than IDAT byte for byte, the IDAT run
// as the filtered rows its zlib stream holds.
#include <QByteArray>
#include <QString>
#include <QStringList>

#include <zlib.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

namespace pictrove::test {

struct PngChunk {
    QByteArray type;
    QByteArray data;
};

struct PngParts {
    bool ok = false;
    std::vector<PngChunk> chunks; // the IDAT run as one chunk "IDAT" holding the whole stream
    QByteArray filtered;          // the stream inflated; empty when it does not inflate
};

inline std::uint32_t pngBigEndian(const char *p)
{
    const auto *u = reinterpret_cast<const unsigned char *>(p);
    return (std::uint32_t(u[0]) << 24) | (std::uint32_t(u[1]) << 16) | (std::uint32_t(u[2]) << 8) | u[3];
}

inline QByteArray inflateZlib(const QByteArray &stream)
{
    z_stream s{};
    if (inflateInit(&s) != Z_OK)
        return {};
    QByteArray out;
    char buffer[1 << 16];
    s.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(stream.constData()));
    s.avail_in = uInt(stream.size());
    int r = Z_OK;
    while (r == Z_OK) {
        s.next_out = reinterpret_cast<Bytef *>(buffer);
        s.avail_out = sizeof buffer;
        r = inflate(&s, Z_NO_FLUSH);
        out.append(buffer, qsizetype(sizeof buffer - s.avail_out));
    }
    const bool whole = r == Z_STREAM_END && s.avail_in == 0;
    inflateEnd(&s);
    return whole ? out : QByteArray();
}

// Checks each chunk's CRC too: a chunk with a wrong one makes ok false.
inline PngParts readPng(const QByteArray &file)
{
    PngParts parts;
    if (!file.startsWith(QByteArray("\x89PNG\r\n\x1a\n", 8)))
        return parts;
    QByteArray stream;
    qsizetype p = 8;
    while (p + 12 <= file.size()) {
        const std::uint32_t length = pngBigEndian(file.constData() + p);
        if (qsizetype(length) > file.size() - p - 12)
            return parts;
        const QByteArray type = file.mid(p + 4, 4);
        const QByteArray data = file.mid(p + 8, qsizetype(length));
        const uLong crc = crc32(0, reinterpret_cast<const Bytef *>(file.constData() + p + 4), uInt(length + 4));
        if (crc != pngBigEndian(file.constData() + p + 8 + length))
            return parts;
        if (type == "IDAT") {
            if (parts.chunks.empty() || parts.chunks.back().type != "IDAT")
                parts.chunks.push_back({type, {}});
            stream += data;
        } else {
            parts.chunks.push_back({type, data});
        }
        p += 12 + qsizetype(length);
        if (type == "IEND")
            break;
    }
    parts.filtered = inflateZlib(stream);
    parts.ok = p == file.size() && !parts.filtered.isEmpty();
    return parts;
}

// The picture's rows as bytes, the filters undone (8-bit grey, RGB or
// palette indices, not interlaced); empty when the rows do not fit the
// header.
inline QByteArray unfilteredRows(const PngParts &parts)
{
    if (parts.chunks.empty() || parts.chunks.front().type != "IHDR" || parts.chunks.front().data.size() != 13)
        return {};
    const QByteArray &ihdr = parts.chunks.front().data;
    const std::uint32_t width = pngBigEndian(ihdr.constData());
    const std::uint32_t height = pngBigEndian(ihdr.constData() + 4);
    const int type = ihdr[9];
    if (ihdr[8] != 8 || ihdr[12] != 0 || (type != 0 && type != 2 && type != 3))
        return {};
    const std::size_t bpp = type == 2 ? 3 : 1;
    const std::size_t n = std::size_t(width) * bpp;
    if (std::size_t(parts.filtered.size()) != (n + 1) * height)
        return {};
    QByteArray rows(qsizetype(n * height), '\0');
    const QByteArray zero(qsizetype(n), '\0');
    for (std::uint32_t y = 0; y < height; ++y) {
        const auto *in = reinterpret_cast<const std::uint8_t *>(parts.filtered.constData()) + (n + 1) * y;
        auto *cur = reinterpret_cast<std::uint8_t *>(rows.data()) + n * y;
        const auto *prev = y ? cur - n : reinterpret_cast<const std::uint8_t *>(zero.constData());
        for (std::size_t i = 0; i < n; ++i) {
            const int a = i >= bpp ? cur[i - bpp] : 0;
            const int b = prev[i];
            const int c = i >= bpp ? prev[i - bpp] : 0;
            int predicted = 0;
            switch (in[0]) {
            case 0: break;
            case 1: predicted = a; break;
            case 2: predicted = b; break;
            case 3: predicted = (a + b) / 2; break;
            case 4: {
                const int p = a + b - c;
                const int pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
                predicted = pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
                break;
            }
            default: return {};
            }
            cur[i] = std::uint8_t(in[1 + i] + predicted);
        }
    }
    return rows;
}

inline QString chunkSequence(const PngParts &parts)
{
    QStringList types;
    for (const PngChunk &c : parts.chunks)
        types << QString::fromLatin1(c.type);
    return types.join(u' ');
}

// Empty when two files hold the same picture in the same chunks, their
// IDAT streams aside; else what differs first.
inline QString differenceBesidesIdat(const PngParts &a, const PngParts &b)
{
    if (chunkSequence(a) != chunkSequence(b))
        return QStringLiteral("chunks %1 against %2").arg(chunkSequence(a), chunkSequence(b));
    for (std::size_t i = 0; i < a.chunks.size(); ++i)
        if (a.chunks[i].type != "IDAT" && a.chunks[i].data != b.chunks[i].data)
            return QStringLiteral("the %1 chunks differ").arg(QString::fromLatin1(a.chunks[i].type));
    const QByteArray rows = unfilteredRows(a);
    if (rows.isEmpty())
        return QStringLiteral("no rows to compare");
    return rows == unfilteredRows(b) ? QString() : QStringLiteral("the pixels differ");
}

} // namespace pictrove::test
