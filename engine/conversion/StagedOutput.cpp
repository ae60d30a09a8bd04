#include "engine/conversion/StagedOutput.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pictrove {

namespace {

QString systemError(int code) { return QString::fromLocal8Bit(std::strerror(code)); }

// rename(2) that refuses to replace: renameat2 where the file system has it,
// a hard link where it has not.
int renameNoReplace(const QByteArray &from, const QByteArray &to)
{
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return -1;
    if (::link(from.constData(), to.constData()) != 0)
        return -1;
    ::unlink(from.constData());
    return 0;
}

} // namespace

StagedOutput::StagedOutput(QString finalPath) : m_finalPath(std::move(finalPath)) {}

StagedOutput::~StagedOutput()
{
    if (!m_committed && !m_workPath.isEmpty())
        ::unlink(QFile::encodeName(m_workPath).constData());
}

bool StagedOutput::create(QString *error)
{
    const QFileInfo target(m_finalPath);
    const QString folder = target.absolutePath();
    // Hidden and marked, so that a crash leaves something recognisable. The
    // writers add a suffix of their own (QSaveFile's ".XXXXXX"): a name too
    // long to take both within the file system's 255 bytes gets a short one.
    // The owner's process id is part of the name, so that a later run can
    // tell the work file of a run that was killed from one under way.
    constexpr qsizetype longestNamed = 255 - 13 - 7 - 11;
    const QString stem = (QFile::encodeName(target.fileName()).size() <= longestNamed
                              ? folder + QStringLiteral("/.") + target.fileName() + QStringLiteral(".part-")
                              : folder + QStringLiteral("/.pictrove.part-")) +
                         QString::number(::getpid()) + u'-';
    for (int attempt = 0; attempt < 32; ++attempt) {
        const QString candidate =
            stem + QString::number(QRandomGenerator::global()->generate() & 0xFFFFFF, 16);
        const int fd = ::open(QFile::encodeName(candidate).constData(),
                              O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
        if (fd >= 0) {
            ::close(fd);
            m_workPath = candidate;
            return true;
        }
        if (errno != EEXIST) {
            if (error)
                *error = QStringLiteral("cannot create a file in %1: %2").arg(folder, systemError(errno));
            return false;
        }
    }
    if (error)
        *error = QStringLiteral("cannot create a unique file in %1").arg(folder);
    return false;
}

int removeStaleWorkFiles(const QString &folder)
{
    // ".<name>.part-<pid>-<hex>", with a writer's own ".XXXXXX" after it at
    // most: nothing else is ever touched.
    static const QRegularExpression pattern(
        QStringLiteral("^\\..*\\.part-([0-9]{1,10})-[0-9a-f]{1,6}(\\.[A-Za-z0-9]{6})?$"));
    int removed = 0;
    const QFileInfoList files =
        QDir(folder).entryInfoList(QDir::Files | QDir::Hidden | QDir::NoSymLinks);
    for (const QFileInfo &file : files) {
        const QRegularExpressionMatch match = pattern.match(file.fileName());
        if (!match.hasMatch() || file.ownerId() != ::geteuid())
            continue;
        bool ok = false;
        const qint64 pid = match.captured(1).toLongLong(&ok);
        if (!ok || pid <= 0 || pid > std::numeric_limits<pid_t>::max())
            continue;
        // Alive, or not ours to ask about: left alone.
        if (::kill(pid_t(pid), 0) == 0 || errno != ESRCH)
            continue;
        if (::unlink(QFile::encodeName(file.absoluteFilePath()).constData()) == 0)
            ++removed;
    }
    return removed;
}

bool StagedOutput::isReadOnly(const QString &path)
{
    const QByteArray local = QFile::encodeName(path);
    struct stat st{};
    if (::stat(local.constData(), &st) != 0)
        return false;
    return (st.st_mode & S_IWUSR) == 0 || (::access(local.constData(), W_OK) != 0 && errno == EACCES);
}

StagedOutput::Commit StagedOutput::commit(bool replace, QString *error)
{
    if (m_workPath.isEmpty() || m_committed) {
        if (error)
            *error = QStringLiteral("nothing to commit");
        return Commit::Failed;
    }
    const QByteArray from = QFile::encodeName(m_workPath);
    const QByteArray to = QFile::encodeName(m_finalPath);
    if (replace) {
        if (isReadOnly(m_finalPath)) {
            if (error)
                *error = readOnlyReason();
            return Commit::ReadOnly;
        }
        // The replacement is the same file to the user: same permissions,
        // same owner where we may set it (only root may give a file away).
        struct stat old{};
        if (::stat(to.constData(), &old) == 0 && S_ISREG(old.st_mode)) {
            ::chmod(from.constData(), old.st_mode & 07777);
            if (::chown(from.constData(), old.st_uid, old.st_gid) != 0)
                (void)::chown(from.constData(), uid_t(-1), old.st_gid);
        }
    }
    const int rc = replace ? std::rename(from.constData(), to.constData())
                           : renameNoReplace(from, to);
    if (rc == 0) {
        m_committed = true;
        return Commit::Done;
    }
    if (!replace && errno == EEXIST)
        return Commit::TargetExists;
    if (error)
        *error = QStringLiteral("cannot move the new file to %1: %2").arg(m_finalPath, systemError(errno));
    return Commit::Failed;
}

} // namespace pictrove
