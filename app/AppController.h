#pragma once

#include "app/SingleInstance.h"
#include "app/SplashWindow.h"
#include "app/StartupSequence.h"

#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTimer>

#include <functional>
#include <memory>

namespace pictrove {

class MainWindow;


// Brings the program up: the splash, then on its first tick StartProgram
// with the real windows. Owns the main window for the life of the process.
class AppController : public QObject, public StartupHost {
    Q_OBJECT
public:
    // lockFolder empty: the user's private runtime folder.
    explicit AppController(const QString &executablePath, const QString &lockFolder = QString());
    ~AppController() override;

    // The paths named on the command line, absolute (localPathsFromArguments).
    void setGivenPaths(const QStringList &paths) { m_givenPaths = paths; }

    // Creates and shows the splash; its timer does the rest.
    void start();

    SplashWindow *splash() const { return m_splash; }
    MainWindow *mainWindow() const { return m_main.get(); }
    // Whether StartProgram has run (it runs at most once).
    bool started() const { return m_started; }

    // Closes the program as the user would: through the main window's
    // close, so its layout is stored, or by closing the splash.
    void closeNormally();

    // Ends the process after a refused start; tests replace it.
    std::function<void()> quit;

    // StartupHost
    void loadSettings() override;
    void loadMainWindow() override;
    bool anotherCopyRunning() override;
    void reportAlreadyRunning() override;
    void unloadMainWindow() override;
    void closeSplash() override;
    void endProcess() override;
    void maximizeMainWindow() override;
    void sizeMainWindow(int widthTwips, int heightTwips) override;
    void setPictureListFolder(const QString &folder) override;
    void showMainWindow() override;
    bool handOverToRunningCopy() override;
    void listenForHandOvers() override;
    void openGivenPaths() override;

    // The running copy's hand-over socket (tests connect to it).
    QString handOverSocketPath() const { return m_instance.socketPath(); }

signals:
    void mainWindowShown();

private:
    void onTick();
    // Paths a second start handed over: opened now, or once the message
    // box or dialog that waits for the user has been answered.
    void takeHandedOver(const QStringList &paths);
    void openPending();

    SingleInstance m_instance;
    QStringList m_givenPaths;
    std::unique_ptr<HandoverServer> m_handovers;
    QStringList m_pendingPaths;
    QTimer m_pendingRetry;
    QPointer<SplashWindow> m_splash;
    std::unique_ptr<MainWindow> m_main;
    bool m_started = false;
    bool m_starting = false;        // inside StartProgram
    bool m_closeAfterStart = false; // a close arrived during StartProgram
};

} // namespace pictrove
