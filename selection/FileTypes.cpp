#include "selection/FileTypes.h"

#include <QMimeDatabase>

namespace pictrove {

const FileTypes::Type &FileTypes::forExtension(const QString &ext)
{
    auto it = m_types.find(ext);
    if (it != m_types.end())
        return *it;
    static const QMimeDatabase database;
    const QMimeType mime =
        database.mimeTypeForFile(QStringLiteral("x.") + ext, QMimeDatabase::MatchExtension);
    Type type;
    if (mime.isValid() && !mime.isDefault())
        type.description = mime.comment();
    if (type.description.isEmpty())
        type.description = ext.toUpper() + QStringLiteral(" image");
    for (const QString &name : {mime.iconName(), mime.genericIconName(),
                                QStringLiteral("image-x-generic")}) {
        if (!name.isEmpty() && QIcon::hasThemeIcon(name)) {
            type.icon = QIcon::fromTheme(name);
            break;
        }
    }
    if (type.icon.isNull())
        type.icon = m_fallback;
    return *m_types.insert(ext, type);
}

FileTypes &FileTypes::shared()
{
    static FileTypes types;
    return types;
}

} // namespace pictrove
