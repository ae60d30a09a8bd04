#pragma once

#include <QByteArray>
#include <QHash>
#include <QLockFile>
#include <QObject>
#include <QString>
#include <QStringList>

#include <sys/types.h>

#include <memory>
#include <optional>

class QLocalServer;
class QLocalSocket;
class QTimer;

namespace pictrove {

// "Another copy of this program is running": a lock file in the user's
// private runtime folder, named after the executable's path, so that only
// copies started from the same executable see each other (a build tree and
// an installed copy keep separate settings files and may run side by side).
// A lock left behind by a process that has died does not count.
class SingleInstance {
public:
    // lockFolder empty: the user's private temporary folder.
    explicit SingleInstance(const QString &executablePath, const QString &lockFolder = QString());

    // Takes the lock when it is free. True when another live process holds
    // it; false when this process holds it now, or when no lock can be made
    // at all (then the program runs rather than refuse to start).
    bool anotherCopyRunning();

    QString lockPath() const { return m_path; }
    // The running copy's hand-over socket, beside the lock (or, when that
    // path is too long for a socket address, in /tmp/pictrove-<uid>/);
    // empty when there is no usable folder.
    QString socketPath() const;

    // The lock file's name for an executable path.
    static QString lockName(const QString &executablePath);

private:
    QString m_path;
    std::unique_ptr<QLockFile> m_lock;
};

// ---- Handing paths to the running copy -------------------------------------
//
// A second start with files gives them to the copy that runs, over a local
// socket in the user's private runtime folder. The running copy treats
// whatever arrives as hostile: only its own user may connect, a message
// must be complete within a time limit and a size bound, and anything that
// is not a list of absolute paths is dropped, all without blocking the
// window's thread.
namespace handover {

// Larger than any selection a file manager hands over (tens of thousands
// of paths), far below what could strain the window.
constexpr qsizetype MaxMessageBytes = 8 * 1024 * 1024;
constexpr int ConnectionTimeLimitMs = 5000;
constexpr int MaxConnections = 8;

// "PTOPEN1\0", the payload's length (4 bytes, big-endian), then each path
// in UTF-8 followed by a NUL.
QByteArray encode(const QStringList &absolutePaths);
// The paths of a complete message; nothing for any other bytes.
std::optional<QStringList> decode(const QByteArray &message);

// The second start's side: connects, sends, and waits for the running
// copy's receipt. False when no copy listens or none confirmed in time.
bool send(const QString &socketPath, const QStringList &absolutePaths, int timeoutMs = 5000);

} // namespace handover

// The running copy's side. Lives on the window's thread; every wait is a
// signal or a timer, never a blocking read.
class HandoverServer : public QObject {
    Q_OBJECT
public:
    explicit HandoverServer(const QString &socketPath, QObject *parent = nullptr);
    ~HandoverServer() override;

    // Listens at the socket path, first removing a socket a crashed copy
    // left there (this copy holds the lock, so no live copy listens on it).
    // The socket is made for the user alone.
    bool listen();

    // Tests shorten the limits and pretend to be another user.
    void setLimits(qsizetype maxBytes, int timeLimitMs);
    void setAllowedUser(uid_t uid) { m_allowedUid = uid; }

signals:
    void pathsReceived(const QStringList &paths);

private:
    void accept();
    void readFrom(QLocalSocket *socket);
    void drop(QLocalSocket *socket);

    QString m_path;
    QLocalServer *m_server = nullptr;
    QHash<QLocalSocket *, QByteArray> m_buffers;
    qsizetype m_maxBytes = handover::MaxMessageBytes;
    int m_timeLimitMs = handover::ConnectionTimeLimitMs;
    uid_t m_allowedUid;
};

} // namespace pictrove
