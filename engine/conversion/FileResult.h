#pragma once

#include <QMetaType>
#include <QString>

namespace pictrove {

// What happened to one file of a conversion: the batch run ignores it, the
// command line prints it and counts it.
enum class FileStatus { Written, Skipped, Failed };

struct FileResult {
    FileStatus status = FileStatus::Failed;
    QString path;   // the output path (written, skipped) or the input (failed)
    QString reason; // empty when written
    // With Written: what about the picture did not come out as its file
    // meant it (a colour profile that could not be used), and that file.
    QString warning;
    QString source;

    static FileResult written(const QString &path) { return {FileStatus::Written, path, {}, {}, {}}; }
    static FileResult skipped(const QString &path, const QString &reason)
    {
        return {FileStatus::Skipped, path, reason, {}, {}};
    }
    static FileResult failed(const QString &path, const QString &reason)
    {
        return {FileStatus::Failed, path, reason, {}, {}};
    }

    bool ok() const { return status == FileStatus::Written; }
};

} // namespace pictrove

Q_DECLARE_METATYPE(pictrove::FileResult)
