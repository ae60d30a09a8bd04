#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>

namespace pictrove {

// A picture list (".ripl"): one 150-byte record per image, the full path in
// UTF-8, left-aligned and padded with blanks. No header, no count.
namespace picturelist {

inline constexpr qsizetype RecordSize = 150;

// Whether a path names a picture list (extension "ripl" in any letter case).
bool isPictureList(const QString &path);

struct Encoded {
    QByteArray bytes;
    // Paths longer than a record: stored cut at the last whole character
    // that fits, so they no longer name their file.
    std::int64_t cut = 0;
};
Encoded encode(const QStringList &paths);

// The records of bytes, each stripped of leading and trailing blanks. The
// count is the length / 150 rounded halves to even (2.4 and 2.5 records read
// as 2, 2.6 as 3), so a long enough trailing part is a record of its own.
QStringList decode(const QByteArray &bytes);

// Reads a picture list; nothing, with the reason, when the file cannot be
// opened.
std::optional<QStringList> read(const QString &path, QString *error = nullptr);

// Writes a picture list, replacing an existing file only by a complete new
// one. False, with the reason, when it could not be written.
bool write(const QString &path, const QByteArray &bytes, QString *error = nullptr);

} // namespace picturelist
} // namespace pictrove
