#pragma once

#include <QHash>
#include <QIcon>
#include <QString>

#include <functional>

namespace pictrove {

// The type description and the 16 x 16 icon of each file extension, from
// the desktop's media-type database and icon theme, asked once per
// extension and kept: a listing of thousands of files asks nothing per file.
class FileTypes {
public:
    struct Type {
        QString description; // e.g. "PNG image"
        QIcon icon;
    };

    // The icon an extension gets when neither its media type nor the
    // generic image type has one in the theme. Set before the first lookup.
    void setFallbackIcon(const QIcon &icon) { m_fallback = icon; }

    // ext lower-cased, without the dot.
    const Type &forExtension(const QString &ext);

    // The instance the lists share.
    static FileTypes &shared();

private:
    QHash<QString, Type> m_types;
    QIcon m_fallback;
};

} // namespace pictrove
