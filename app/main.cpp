#include "platform/QuietStart.h"
#include "app/AppController.h"
#include "app/Artwork.h"
#include "app/DesktopServices.h"
#include "app/TerminationSignals.h"
#include "engine/conversion/LargeImageMemory.h"
#include "selection/GivenPaths.h"

#include <QApplication>
#include <QDir>
#include <QIcon>

int main(int argc, char *argv[])
{
    // Every Step 2 preview and "Save All ..." works on whole pictures, as
    // pictrove-convert does.
    pictrove::restartForPictureWork(argv);
    pictrove::keepLargeImageBuffers();
    pictrove::dropRuntimeFolderWarning();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Pictrove"));
    QApplication::setApplicationVersion(QStringLiteral(PICTROVE_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("example.tevalen.Pictrove"));
    QApplication::setWindowIcon(pictrove::productIcon());
    // Outside a desktop session Qt knows no icon theme; file types and
    // toolbar buttons then take their icons from Adwaita where it is there.
    QIcon::setFallbackThemeName(QStringLiteral("Adwaita"));

    pictrove::QtMessageService messageBoxes;
    pictrove::installMessageService(&messageBoxes);
    pictrove::QtFileDialogService fileDialogs;
    pictrove::installFileDialogService(&fileDialogs);
    pictrove::DesktopUrlOpener opener;
    pictrove::installUrlOpener(&opener);

    pictrove::AppController controller(QCoreApplication::applicationFilePath());
    // Files, URLs, a picture list or a folder from the file manager's
    // "Open With" (Exec=pictrove %F), made absolute here: a running copy
    // that takes them over has a working folder of its own.
    controller.setGivenPaths(
        pictrove::localPathsFromArguments(QCoreApplication::arguments().mid(1), QDir::currentPath()));
    pictrove::TerminationSignals terminationSignals([&controller] { controller.closeNormally(); });
    controller.start();
    const int result = app.exec();
    pictrove::installUrlOpener(nullptr);
    pictrove::installFileDialogService(nullptr);
    pictrove::installMessageService(nullptr);
    return result;
}
