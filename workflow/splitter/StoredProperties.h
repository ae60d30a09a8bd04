#pragma once

#include <QString>

#include <utility>
#include <vector>

namespace pictrove {

// The saved design of a control: named values in the order they were
// written, as "Name=Value" lines. A value equal to its default is not
// written, so a reader falls back to the default for anything missing.
class StoredProperties {
public:
    void write(const QString &name, const QString &value, const QString &defaultValue);
    void write(const QString &name, long long value, long long defaultValue);
    void write(const QString &name, bool value, bool defaultValue);

    bool contains(const QString &name) const;
    QString read(const QString &name, const QString &defaultValue) const;
    long long read(const QString &name, long long defaultValue) const;
    bool read(const QString &name, bool defaultValue) const;

    // Names in the order they were written.
    std::vector<QString> names() const;
    bool isEmpty() const { return m_entries.empty(); }

    QString toText() const;
    // Lines without "=" and blank lines are skipped; a later line of the
    // same name replaces an earlier one.
    static StoredProperties fromText(const QString &text);

private:
    void set(const QString &name, const QString &value);
    const QString *find(const QString &name) const;

    std::vector<std::pair<QString, QString>> m_entries;
};

} // namespace pictrove
