#include "platform/TempFolder.h"

#include "platform/ProgramFolder.h"

#include <QDir>
#include <QFile>
#include <QTemporaryFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pictrove {
namespace {

// Closes a POSIX descriptor on every path.
class Descriptor {
public:
    explicit Descriptor(int fd) : m_fd(fd) {}
    ~Descriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Descriptor(const Descriptor &) = delete;
    Descriptor &operator=(const Descriptor &) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

QString usableFolder(const QString &parent, const QString &name)
{
    if (parent.isEmpty())
        return QString();
    const QString folder = joinPath(parent, name);
    return ensurePrivateFolder(folder) ? folder + QLatin1Char('/') : QString();
}

} // namespace

bool ensurePrivateFolder(const QString &path)
{
    const QByteArray native = QFile::encodeName(path);
    if (::mkdir(native.constData(), 0700) != 0 && errno != EEXIST)
        return false;
    struct stat info {};
    if (::lstat(native.constData(), &info) != 0)
        return false;
    if (!S_ISDIR(info.st_mode) || info.st_uid != ::geteuid())
        return false;
    if ((info.st_mode & 077) != 0 && ::chmod(native.constData(), 0700) != 0)
        return false;
    return true;
}

QString GetTempFolder()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    QString folder = usableFolder(runtime, QStringLiteral("pictrove"));
    if (folder.isEmpty())
        folder = usableFolder(QDir::tempPath(), QStringLiteral("pictrove-%1").arg(::geteuid()));
    return folder;
}

QString StripAtNul(const QString &text)
{
    const qsizetype nul = text.indexOf(QChar(0));
    return nul < 0 ? text : text.left(nul);
}

QString GetPreviewFilePath()
{
    const QString folder = GetTempFolder();
    return folder.isEmpty() ? QString() : folder + QStringLiteral("t65s8s98");
}

bool replaceFileNoFollow(const QString &path, const QByteArray &bytes)
{
    QTemporaryFile part(path + QStringLiteral(".XXXXXX"));
    if (!part.open() || part.write(bytes) != bytes.size() || !part.flush())
        return false;
    if (::rename(QFile::encodeName(part.fileName()).constData(),
                 QFile::encodeName(path).constData())
        != 0)
        return false;
    part.setAutoRemove(false);
    return true;
}

QByteArray readFileNoFollow(const QString &path, bool *ok)
{
    if (ok)
        *ok = false;
    const Descriptor fd(
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    struct stat info {};
    if (fd.get() < 0 || ::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode))
        return QByteArray();
    QFile file;
    if (!file.open(fd.get(), QIODevice::ReadOnly, QFileDevice::DontCloseHandle))
        return QByteArray();
    QByteArray bytes = file.readAll();
    if (ok)
        *ok = file.error() == QFileDevice::NoError;
    return bytes;
}

bool removeNoFollow(const QString &path)
{
    const QByteArray native = QFile::encodeName(path);
    return ::unlink(native.constData()) == 0 || errno == ENOENT;
}

} // namespace pictrove
