#include "platform/FileDialogService.h"

namespace pictrove {
namespace {
class CancellingDialogs final : public FileDialogService {
public:
    std::optional<QString> choose(const FileDialogRequest &) override { return std::nullopt; }
};

CancellingDialogs cancelling;
FileDialogService *current = &cancelling;
} // namespace

QStringList nameFilters(const QString &filter)
{
    const QStringList parts = filter.split(u'|');
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString &display = parts[i];
        const QString patterns = QString(parts[i + 1]).replace(u';', u' ');
        filters.append(display.contains(u'(' + patterns + u')')
                           ? display
                           : display + QStringLiteral(" (") + patterns + u')');
    }
    return filters;
}

FileDialogService &fileDialogs() { return *current; }

void installFileDialogService(FileDialogService *service)
{
    current = service ? service : &cancelling;
}

} // namespace pictrove
