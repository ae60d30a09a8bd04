#include "tools/convert/PictureListInput.h"

#include "platform/Rounding.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace pictrove::convert {

namespace {
constexpr qsizetype RecordSize = 150;

QByteArray trimBlanks(QByteArray record)
{
    qsizetype begin = 0;
    qsizetype end = record.size();
    while (begin < end && record.at(begin) == ' ')
        ++begin;
    while (end > begin && record.at(end - 1) == ' ')
        --end;
    return record.mid(begin, end - begin);
}
} // namespace

bool isPictureList(const QString &path)
{
    return QFileInfo(path).suffix().compare(QLatin1String("ripl"), Qt::CaseInsensitive) == 0;
}

std::optional<QStringList> readPictureList(const QString &path, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = file.errorString();
        return std::nullopt;
    }
    const QByteArray bytes = file.readAll();
    const std::int64_t count = roundHalfEven(double(bytes.size()) / double(RecordSize));
    QStringList paths;
    paths.reserve(qsizetype(count));
    for (std::int64_t k = 0; k < count; ++k) {
        const qsizetype offset = qsizetype(k) * RecordSize;
        const qsizetype length = std::min(RecordSize, bytes.size() - offset);
        paths.append(QString::fromLocal8Bit(trimBlanks(bytes.mid(offset, length))));
    }
    return paths;
}

} // namespace pictrove::convert
