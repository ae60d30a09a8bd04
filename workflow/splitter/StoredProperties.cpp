#include "workflow/splitter/StoredProperties.h"

#include <QStringList>

namespace pictrove {

void StoredProperties::set(const QString &name, const QString &value)
{
    for (auto &entry : m_entries) {
        if (entry.first == name) {
            entry.second = value;
            return;
        }
    }
    m_entries.emplace_back(name, value);
}

const QString *StoredProperties::find(const QString &name) const
{
    for (const auto &entry : m_entries) {
        if (entry.first == name)
            return &entry.second;
    }
    return nullptr;
}

void StoredProperties::write(const QString &name, const QString &value,
                             const QString &defaultValue)
{
    if (value != defaultValue)
        set(name, value);
}

void StoredProperties::write(const QString &name, long long value, long long defaultValue)
{
    if (value != defaultValue)
        set(name, QString::number(value));
}

// Booleans keep the classic numeric form: true is -1.
void StoredProperties::write(const QString &name, bool value, bool defaultValue)
{
    if (value != defaultValue)
        set(name, value ? QStringLiteral("-1") : QStringLiteral("0"));
}

bool StoredProperties::contains(const QString &name) const { return find(name) != nullptr; }

QString StoredProperties::read(const QString &name, const QString &defaultValue) const
{
    const QString *value = find(name);
    return value ? *value : defaultValue;
}

long long StoredProperties::read(const QString &name, long long defaultValue) const
{
    const QString *value = find(name);
    if (!value)
        return defaultValue;
    bool ok = false;
    const long long number = value->trimmed().toLongLong(&ok, 0);
    return ok ? number : defaultValue;
}

bool StoredProperties::read(const QString &name, bool defaultValue) const
{
    const QString *value = find(name);
    if (!value)
        return defaultValue;
    const QString text = value->trimmed().toLower();
    if (text == QLatin1String("true"))
        return true;
    if (text == QLatin1String("false"))
        return false;
    bool ok = false;
    const long long number = text.toLongLong(&ok);
    return ok ? number != 0 : defaultValue;
}

std::vector<QString> StoredProperties::names() const
{
    std::vector<QString> out;
    out.reserve(m_entries.size());
    for (const auto &entry : m_entries)
        out.push_back(entry.first);
    return out;
}

QString StoredProperties::toText() const
{
    QString text;
    for (const auto &[name, value] : m_entries)
        text += name + QLatin1Char('=') + value + QLatin1Char('\n');
    return text;
}

StoredProperties StoredProperties::fromText(const QString &text)
{
    StoredProperties props;
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (const QString &raw : lines) {
        const QString line = raw.trimmed();
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq <= 0)
            continue;
        props.set(line.left(eq).trimmed(), line.mid(eq + 1).trimmed());
    }
    return props;
}

} // namespace pictrove
