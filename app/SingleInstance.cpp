#include "app/SingleInstance.h"

#include "platform/ProgramFolder.h"
#include "platform/TempFolder.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStringDecoder>
#include <QTimer>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace pictrove {

QString SingleInstance::lockName(const QString &executablePath)
{
    const QString canonical = QFileInfo(executablePath).canonicalFilePath();
    const QByteArray key = (canonical.isEmpty() ? executablePath : canonical).toUtf8();
    const QByteArray hash = QCryptographicHash::hash(key, QCryptographicHash::Sha1).toHex();
    return QStringLiteral("pictrove-") + QString::fromLatin1(hash.left(16)) +
           QStringLiteral(".lock");
}

SingleInstance::SingleInstance(const QString &executablePath, const QString &lockFolder)
{
    const QString folder = lockFolder.isEmpty() ? GetTempFolder() : lockFolder;
    if (!folder.isEmpty())
        m_path = joinPath(folder, lockName(executablePath));
}

QString SingleInstance::socketPath() const
{
    if (m_path.isEmpty())
        return {};
    QString path = m_path;
    path.chop(int(qstrlen(".lock")));
    path += QStringLiteral(".socket");
    if (size_t(QFile::encodeName(path).size()) < sizeof(sockaddr_un{}.sun_path))
        return path;
    // A runtime folder so deep that the path does not fit a socket address
    // (107 bytes): a short private folder takes the socket, under a name
    // that still tells lock folders and executables apart.
    const QString shortFolder = QStringLiteral("/tmp/pictrove-%1").arg(::geteuid());
    if (!ensurePrivateFolder(shortFolder))
        return {};
    const QByteArray hash =
        QCryptographicHash::hash(path.toUtf8(), QCryptographicHash::Sha1).toHex();
    return joinPath(shortFolder,
                    QStringLiteral("pictrove-") + QString::fromLatin1(hash.left(16)) +
                        QStringLiteral(".socket"));
}

bool SingleInstance::anotherCopyRunning()
{
    if (m_lock && m_lock->isLocked())
        return false;
    if (m_path.isEmpty())
        return false;
    m_lock = std::make_unique<QLockFile>(m_path);
    // Only a live owner counts: QLockFile removes the lock of a dead process
    // when it tries, and age alone never makes a lock stale.
    m_lock->setStaleLockTime(0);
    if (m_lock->tryLock(0))
        return false;
    if (m_lock->error() != QLockFile::LockFailedError)
        return false;
    // A lock file without a readable owner (cut short by a crash or a power
    // failure before its contents reached the disk) names no process that
    // could be alive, and QLockFile never ages it out. It is removed only
    // when no process holds it open: a live copy keeps its file locked.
    qint64 pid = 0;
    QString host;
    QString application;
    if (!m_lock->getLockInfo(&pid, &host, &application) && m_lock->removeStaleLockFile() &&
        m_lock->tryLock(0))
        return false;
    return m_lock->error() == QLockFile::LockFailedError;
}

// ---- Hand-over ------------------------------------------------------------

namespace handover {
namespace {
const QByteArray Magic("PTOPEN1\0", 8);
constexpr qsizetype HeaderBytes = 12;
const QByteArray Receipt("OK\n");

quint32 payloadLength(const QByteArray &header)
{
    const auto *b = reinterpret_cast<const unsigned char *>(header.constData()) + Magic.size();
    return (quint32(b[0]) << 24) | (quint32(b[1]) << 16) | (quint32(b[2]) << 8) | quint32(b[3]);
}
} // namespace

QByteArray encode(const QStringList &absolutePaths)
{
    QByteArray payload;
    for (const QString &path : absolutePaths) {
        payload += path.toUtf8();
        payload += '\0';
    }
    QByteArray message = Magic;
    const quint32 length = quint32(payload.size());
    for (int shift : {24, 16, 8, 0})
        message += char((length >> shift) & 0xFF);
    return message + payload;
}

std::optional<QStringList> decode(const QByteArray &message)
{
    if (message.size() < HeaderBytes || !message.startsWith(Magic) ||
        message.size() > MaxMessageBytes)
        return std::nullopt;
    const QByteArray payload = message.mid(HeaderBytes);
    if (payloadLength(message) != quint32(payload.size()) || payload.isEmpty() ||
        !payload.endsWith('\0'))
        return std::nullopt;
    QStringList paths;
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    for (qsizetype start = 0; start < payload.size();) {
        const qsizetype end = payload.indexOf('\0', start);
        const QByteArray bytes = payload.mid(start, end - start);
        start = end + 1;
        QString path = utf8.decode(bytes);
        if (utf8.hasError() || !path.startsWith(QLatin1Char('/')))
            return std::nullopt;
        paths.append(std::move(path));
    }
    return paths;
}

bool send(const QString &socketPath, const QStringList &absolutePaths, int timeoutMs)
{
    if (socketPath.isEmpty() || absolutePaths.isEmpty())
        return false;
    const QByteArray message = encode(absolutePaths);
    if (message.size() > MaxMessageBytes)
        return false;
    QLocalSocket socket;
    socket.connectToServer(socketPath);
    if (!socket.waitForConnected(timeoutMs))
        return false;
    socket.write(message);
    while (socket.bytesToWrite() > 0)
        if (!socket.waitForBytesWritten(timeoutMs))
            return false;
    QByteArray answer;
    while (answer.size() < Receipt.size() && socket.waitForReadyRead(timeoutMs))
        answer += socket.read(Receipt.size() - answer.size());
    return answer == Receipt;
}

} // namespace handover

HandoverServer::HandoverServer(const QString &socketPath, QObject *parent)
    : QObject(parent), m_path(socketPath), m_allowedUid(::geteuid())
{
}

HandoverServer::~HandoverServer()
{
    // The socket file goes with the server, so the next start finds none.
    if (m_server)
        m_server->close();
}

void HandoverServer::setLimits(qsizetype maxBytes, int timeLimitMs)
{
    m_maxBytes = maxBytes;
    m_timeLimitMs = timeLimitMs;
}

bool HandoverServer::listen()
{
    if (m_path.isEmpty())
        return false;
    if (!m_server) {
        m_server = new QLocalServer(this);
        m_server->setSocketOptions(QLocalServer::UserAccessOption);
        m_server->setMaxPendingConnections(handover::MaxConnections);
        connect(m_server, &QLocalServer::newConnection, this, &HandoverServer::accept);
    }
    // Whatever lies at the path (a crashed copy's socket, a file planted in
    // our private folder) is not a live copy's: this copy holds the lock.
    QLocalServer::removeServer(m_path);
    if (QFileInfo(m_path).exists() || QFileInfo(m_path).isSymLink())
        QFile::remove(m_path);
    return m_server->listen(m_path);
}

void HandoverServer::accept()
{
    while (QLocalSocket *socket = m_server->nextPendingConnection()) {
        socket->setParent(this);
        // The runtime folder keeps other users out already; the peer's
        // credentials say so for certain, whatever the folder's mode.
        struct ucred peer {};
        socklen_t size = sizeof(peer);
        const bool sameUser =
            ::getsockopt(int(socket->socketDescriptor()), SOL_SOCKET, SO_PEERCRED, &peer,
                         &size) == 0 &&
            peer.uid == m_allowedUid;
        if (!sameUser || m_buffers.size() >= handover::MaxConnections) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        m_buffers.insert(socket, QByteArray());
        auto *limit = new QTimer(socket);
        limit->setSingleShot(true);
        connect(limit, &QTimer::timeout, this, [this, socket] { drop(socket); });
        limit->start(m_timeLimitMs);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { readFrom(socket); });
        connect(socket, &QLocalSocket::disconnected, this, [this, socket] { drop(socket); });
        readFrom(socket);
    }
}

void HandoverServer::readFrom(QLocalSocket *socket)
{
    auto it = m_buffers.find(socket);
    if (it == m_buffers.end())
        return;
    QByteArray &buffer = *it;
    // Only the header, then what it announces, is read; an announcement
    // over the bound ends the connection before its bytes are taken.
    qsizetype total = handover::HeaderBytes;
    while (true) {
        if (buffer.size() >= handover::HeaderBytes) {
            total = handover::HeaderBytes + qsizetype(handover::payloadLength(buffer));
            if (!buffer.startsWith(handover::Magic) || total > m_maxBytes) {
                drop(socket);
                return;
            }
        }
        if (buffer.size() >= total || socket->bytesAvailable() <= 0)
            break;
        buffer += socket->read(total - buffer.size());
    }
    if (buffer.size() < total)
        return; // the rest comes with a later readyRead, or the time limit ends it
    const std::optional<QStringList> paths = handover::decode(buffer);
    if (paths) {
        socket->write(handover::Receipt);
        socket->flush();
    }
    drop(socket);
    if (paths)
        emit pathsReceived(*paths);
}

void HandoverServer::drop(QLocalSocket *socket)
{
    if (m_buffers.remove(socket) == 0)
        return;
    socket->disconnect(this);
    socket->disconnectFromServer();
    socket->deleteLater();
}

} // namespace pictrove
