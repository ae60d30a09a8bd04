#include "selection/PictureListFile.h"

#include "platform/Rounding.h"
#include "platform/Utf8.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>

namespace pictrove::picturelist {

namespace {
QByteArray trimBlanks(QByteArrayView record)
{
    qsizetype begin = 0;
    qsizetype end = record.size();
    while (begin < end && record.at(begin) == ' ')
        ++begin;
    while (end > begin && record.at(end - 1) == ' ')
        --end;
    return record.sliced(begin, end - begin).toByteArray();
}
} // namespace

bool isPictureList(const QString &path)
{
    return QFileInfo(path).suffix().compare(QLatin1String("ripl"), Qt::CaseInsensitive) == 0;
}

Encoded encode(const QStringList &paths)
{
    Encoded out;
    out.bytes.fill(' ', paths.size() * RecordSize);
    char *record = out.bytes.data();
    for (const QString &path : paths) {
        const QByteArray utf8 = path.toUtf8();
        const qsizetype length = utf8PrefixLength(utf8, RecordSize);
        if (length < utf8.size())
            ++out.cut;
        std::copy_n(utf8.constData(), length, record);
        record += RecordSize;
    }
    return out;
}

QStringList decode(const QByteArray &bytes)
{
    const std::int64_t count = roundHalfEven(double(bytes.size()) / double(RecordSize));
    QStringList paths;
    paths.reserve(qsizetype(count));
    const QByteArrayView all(bytes);
    for (std::int64_t k = 0; k < count; ++k) {
        const qsizetype offset = qsizetype(k) * RecordSize;
        const qsizetype length = std::min(RecordSize, bytes.size() - offset);
        paths.append(QString::fromUtf8(trimBlanks(all.sliced(offset, length))));
    }
    return paths;
}

std::optional<QStringList> read(const QString &path, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = file.errorString();
        return std::nullopt;
    }
    return decode(file.readAll());
}

bool write(const QString &path, const QByteArray &bytes, QString *error)
{
    QSaveFile file(path);
    // commit() does not notice when writing out its buffer fails: flush first.
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.flush() ||
        !file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}

} // namespace pictrove::picturelist
