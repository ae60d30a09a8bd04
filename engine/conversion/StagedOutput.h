#pragma once

#include <QString>

namespace pictrove {

// An output file built under a temporary name in its own folder and moved to
// its real name only once it is complete, so that a failed or interrupted
// conversion never destroys an existing file nor leaves a half-written one.
// The work file is removed on destruction unless it was committed.
class StagedOutput {
public:
    explicit StagedOutput(QString finalPath);
    ~StagedOutput();
    StagedOutput(const StagedOutput &) = delete;
    StagedOutput &operator=(const StagedOutput &) = delete;

    // Creates an empty, uniquely named work file beside the final path
    // (mode 0666 less the umask, like any new file). False with the reason
    // when the folder refuses it.
    bool create(QString *error);

    const QString &finalPath() const { return m_finalPath; }
    const QString &workPath() const { return m_workPath; }

    enum class Commit { Done, TargetExists, ReadOnly, Failed };
    // Moves the work file to the final name. With replace, an existing file
    // is swapped out atomically and the new one takes its permission bits
    // (and its owner and group where the process may set them), unless it
    // is read-only (ReadOnly, with readOnlyReason()); without replace an
    // existing file is left alone (TargetExists), also one that appeared
    // while the work was under way.
    Commit commit(bool replace, QString *error);

    // A file the user protected: no write bit for its owner (as chmod a-w
    // leaves it, which even root respects here, as mv does), or one this
    // process may not write. False for a file that does not exist.
    static bool isReadOnly(const QString &path);
    static QString readOnlyReason() { return QStringLiteral("the file is read-only"); }

private:
    QString m_finalPath;
    QString m_workPath;
    bool m_committed = false;
};

// Removes the work files a run left in folder when it was killed: files of
// the work-file pattern, owned by this user, whose owner process has ended.
// Returns how many were removed.
int removeStaleWorkFiles(const QString &folder);

} // namespace pictrove
