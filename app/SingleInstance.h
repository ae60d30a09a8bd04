#pragma once

#include <QLockFile>
#include <QString>

#include <memory>

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

    // The lock file's name for an executable path.
    static QString lockName(const QString &executablePath);

private:
    QString m_path;
    std::unique_ptr<QLockFile> m_lock;
};

} // namespace pictrove
