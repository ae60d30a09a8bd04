#pragma once

#include <QString>

#include <array>
#include <cstddef>

namespace pictrove {

// A fixed 256-byte text field of the settings record: UTF-8, left-aligned,
// padded on the right with blanks. Assigning a longer value cuts it to the
// last whole character that fits in 256 bytes, so a stored path is never
// left with half of a multi-byte character at its end.
class Text256 {
public:
    static constexpr std::size_t Size = 256;
    using Bytes = std::array<char, Size>;

    Text256();
    Text256(const QString &value); // implicit, so that a path assigns naturally
    Text256 &operator=(const QString &value);

    // The stored text, padding included.
    QString text() const;
    // Without leading and trailing blanks (the folder and name fields).
    QString trimmed() const;
    // Without trailing blanks only (the picture-list folder).
    QString trimmedRight() const;

    const Bytes &bytes() const { return m_bytes; }
    void setBytes(const Bytes &bytes) { m_bytes = bytes; }

    bool operator==(const Text256 &other) const = default;

private:
    Bytes m_bytes;
};

static_assert(sizeof(Text256) == Text256::Size);

// value without leading and trailing blanks (0x20) and nothing else: a tab
// or a non-breaking space typed into a name is part of it.
QString trimBlanks(const QString &value);

} // namespace pictrove
