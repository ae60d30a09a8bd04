#include "app/SingleInstance.h"

#include "platform/ProgramFolder.h"
#include "platform/TempFolder.h"

#include <QCryptographicHash>
#include <QFileInfo>

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

} // namespace pictrove
