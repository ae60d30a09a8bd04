#include "app/AppController.h"

#include "app/MainWindow.h"
#include "app/SplashWindow.h"
#include "app/WindowRecord.h"
#include "platform/MessageService.h"
#include "settings/StartupSettings.h"

#include <QApplication>
#include <QGuiApplication>
#include <QScreen>

#include <utility>

namespace pictrove {

AppController::AppController(const QString &executablePath, const QString &lockFolder)
    : m_instance(executablePath, lockFolder)
{
    quit = [] { QCoreApplication::exit(0); };
    m_pendingRetry.setInterval(250);
    connect(&m_pendingRetry, &QTimer::timeout, this, &AppController::openPending);
}

AppController::~AppController()
{
    if (m_splash)
        delete m_splash.data();
}

void AppController::start()
{
    m_splash = new SplashWindow;
    connect(m_splash, &SplashWindow::tick, this, &AppController::onTick);
}

void AppController::onTick()
{
    // The timer keeps ticking until the splash is gone, also while a
    // message box of a start step waits for the user; start only once.
    if (m_started)
        return;
    m_started = true;
    // A message box of a start step takes the focus from the splash, which
    // then closes; with no window left on screen Qt would end the program
    // before the main window appears. The start routine decides instead.
    const bool quitOnLastClose = QGuiApplication::quitOnLastWindowClosed();
    QGuiApplication::setQuitOnLastWindowClosed(false);
    m_starting = true;
    StartProgram(*this);
    m_starting = false;
    QGuiApplication::setQuitOnLastWindowClosed(quitOnLastClose);
    // A close asked for while a start step waited for the user (a logout
    // while a message was up) is carried out now that the window stands.
    if (m_closeAfterStart)
        closeNormally();
}

void AppController::closeNormally()
{
    // A message box or dialog waiting for the user is answered with its
    // escape button first, so that what waits behind it can finish.
    if (QWidget *modal = QApplication::activeModalWidget())
        modal->close();
    // The start routine goes on once its message is answered and would
    // show the main window regardless; it has to finish first.
    if (m_starting) {
        m_closeAfterStart = true;
        return;
    }
    if (m_main && m_main->isVisible())
        m_main->close();
    else if (m_splash)
        m_splash->close();
    else if (quit)
        quit();
}

void AppController::loadSettings() { LoadSettings(); }

void AppController::loadMainWindow()
{
    m_main = std::make_unique<MainWindow>();
    m_main->formLoad();
}

bool AppController::anotherCopyRunning() { return m_instance.anotherCopyRunning(); }

void AppController::reportAlreadyRunning()
{
    messages().show(QStringLiteral("Pictrove is already running!"), QStringLiteral("Pictrove"),
                    MessageIcon::Information, MessageButtons::Ok);
}

bool AppController::handOverToRunningCopy()
{
    return !m_givenPaths.isEmpty() && handover::send(m_instance.socketPath(), m_givenPaths);
}

void AppController::listenForHandOvers()
{
    m_handovers = std::make_unique<HandoverServer>(m_instance.socketPath());
    connect(m_handovers.get(), &HandoverServer::pathsReceived, this,
            &AppController::takeHandedOver);
    m_handovers->listen();
}

void AppController::openGivenPaths()
{
    if (m_main && !m_givenPaths.isEmpty())
        m_main->openGivenPaths(m_givenPaths);
}

void AppController::takeHandedOver(const QStringList &paths)
{
    m_pendingPaths += paths;
    openPending();
}

void AppController::openPending()
{
    if (m_pendingPaths.isEmpty() || !m_main) {
        m_pendingRetry.stop();
        return;
    }
    // A message box or dialog is waiting for the user (whose answer the
    // code behind it waits for): the basket must not change under it.
    if (QApplication::activeModalWidget()) {
        if (!m_pendingRetry.isActive())
            m_pendingRetry.start();
        return;
    }
    m_pendingRetry.stop();
    const QStringList paths = std::exchange(m_pendingPaths, {});
    m_main->bringToFront();
    m_main->openGivenPaths(paths);
}

void AppController::unloadMainWindow()
{
    if (m_main)
        m_main->close();
}

void AppController::closeSplash()
{
    if (m_splash)
        m_splash->close();
}

void AppController::endProcess()
{
    if (quit)
        quit();
}

void AppController::maximizeMainWindow()
{
    if (m_main)
        m_main->setWindowState(m_main->windowState() | Qt::WindowMaximized);
}

void AppController::sizeMainWindow(int widthTwips, int heightTwips)
{
    if (!m_main)
        return;
    const QScreen *screen = m_main->screen();
    m_main->resize(
        restoredOuterSize(widthTwips, heightTwips, screen ? screen->availableSize() : QSize()));
}

void AppController::setPictureListFolder(const QString &folder)
{
    if (m_main)
        m_main->setPictureListFolder(folder);
}

void AppController::showMainWindow()
{
    if (!m_main)
        return;
    m_main->show();
    emit mainWindowShown();
}

} // namespace pictrove
