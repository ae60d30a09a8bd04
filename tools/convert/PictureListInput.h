#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace pictrove::convert {

// Whether an input names a picture list (extension "ripl", any case).
bool isPictureList(const QString &path);

// The paths recorded in a picture list, in order: 150-byte blank-padded
// records, the record count being the length / 150 rounded halves to even
// (so a trailing part of at least half a record is read as one more
// record). Nothing when the file cannot be read.
std::optional<QStringList> readPictureList(const QString &path, QString *error);

} // namespace pictrove::convert
