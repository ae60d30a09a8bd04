#include "settings/Text256.h"

#include "platform/Utf8.h"

#include <QByteArray>

#include <algorithm>

namespace pictrove {
namespace {
constexpr char Blank = ' ';

bool isText(char c) { return c != Blank; }
} // namespace

QString trimBlanks(const QString &value)
{
    qsizetype begin = 0;
    qsizetype end = value.size();
    while (begin < end && value.at(begin) == QLatin1Char(Blank))
        ++begin;
    while (end > begin && value.at(end - 1) == QLatin1Char(Blank))
        --end;
    return value.sliced(begin, end - begin);
}

Text256::Text256() { m_bytes.fill(Blank); }

Text256::Text256(const QString &value) : Text256() { *this = value; }

Text256 &Text256::operator=(const QString &value)
{
    const QByteArray utf8 = value.toUtf8();
    const qsizetype length = utf8PrefixLength(utf8, qsizetype(Size));
    m_bytes.fill(Blank);
    std::copy_n(utf8.constData(), length, m_bytes.begin());
    return *this;
}

QString Text256::text() const { return QString::fromUtf8(m_bytes.data(), qsizetype(Size)); }

QString Text256::trimmed() const
{
    const auto *first = std::find_if(m_bytes.begin(), m_bytes.end(), isText);
    const auto *last = std::find_if(m_bytes.rbegin(), m_bytes.rend(), isText).base();
    return first < last ? QString::fromUtf8(first, last - first) : QString();
}

QString Text256::trimmedRight() const
{
    const auto *last = std::find_if(m_bytes.rbegin(), m_bytes.rend(), isText).base();
    return QString::fromUtf8(m_bytes.data(), last - m_bytes.begin());
}

} // namespace pictrove
