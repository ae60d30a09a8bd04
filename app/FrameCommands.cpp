#include "app/FrameCommands.h"

#include "platform/MessageService.h"
#include "platform/ProgramFolder.h"

#include <QDir>
#include <QFileInfo>

namespace pictrove {

namespace {
class NoOpener final : public UrlOpener {
public:
    bool open(const QUrl &) override { return false; }
};

NoOpener none;
UrlOpener *current = &none;
} // namespace

UrlOpener &urlOpener() { return *current; }
void installUrlOpener(UrlOpener *opener) { current = opener ? opener : &none; }

QUrl productWebPage() { return QUrl(QStringLiteral("https://www.tevalen.example/pictrove/default.htm")); }

QString helpDocumentPath()
{
    // Beside the program (a build tree, an unpacked copy), else where an
    // installation puts shared data: <prefix>/share/pictrove beside <prefix>/bin.
    const QString beside = joinPath(programFolder(), QStringLiteral("Help/default.htm"));
    if (QFileInfo(beside).isFile())
        return beside;
    const QString installed = QDir::cleanPath(
        programFolder() + QStringLiteral("/../share/pictrove/Help/default.htm"));
    return QFileInfo(installed).isFile() ? installed : beside;
}

void OpenHelp()
{
    const QString path = helpDocumentPath();
    if (!QFileInfo(path).isFile()) {
        messages().show(QStringLiteral("Help Files are Missing! Please Re-install Pictrove Again"),
                        QStringLiteral("Help Files Missing!"), MessageIcon::Information,
                        MessageButtons::Ok);
        return;
    }
    urlOpener().open(QUrl::fromLocalFile(path));
}

void OpenProductWebPage() { urlOpener().open(productWebPage()); }

} // namespace pictrove
