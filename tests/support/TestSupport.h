#pragma once

#include "platform/FileDialogService.h"
#include "platform/MessageService.h"

#include <QByteArray>
#include <QImage>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <functional>
#include <vector>

#include <sys/resource.h>

namespace pictrove::test {

// A private folder under the build tree's temporary area that vanishes with
// the test; fixtures never touch the user's home or /tmp's own files.
class Sandbox {
public:
    Sandbox();
    QString path() const { return m_dir.path(); }
    QString file(const QString &name) const { return m_dir.filePath(name); }
    bool write(const QString &name, const QByteArray &bytes) const;
    QByteArray read(const QString &name) const;

private:
    QTemporaryDir m_dir;
};

// Records every message box and answers with a preset answer.
class RecordingMessages final : public MessageService {
public:
    struct Call {
        QString text;
        QString title;
        MessageIcon icon;
        MessageButtons buttons;
    };
    RecordingMessages();
    ~RecordingMessages() override;
    MessageAnswer show(const QString &text, const QString &title, MessageIcon icon,
                       MessageButtons buttons) override;

    std::vector<Call> calls;
    MessageAnswer answer = MessageAnswer::Ok;
};

// Records every file dialog and answers with the next queued answer (a
// path, or nothing for a cancel); with none queued, a dialog is cancelled.
class RecordingFileDialogs final : public FileDialogService {
public:
    RecordingFileDialogs();
    ~RecordingFileDialogs() override;
    std::optional<QString> choose(const FileDialogRequest &request) override;

    std::vector<FileDialogRequest> requests;
    std::vector<std::optional<QString>> answers;
};

// Runs the event loop until condition holds or the time is up; false when
// it never held.
bool waitFor(const std::function<bool()> &condition, int milliseconds = 5000);

// Largest per-channel difference between two images of the same size, or
// 256 when the sizes differ.
int maxChannelDifference(const QImage &a, const QImage &b);

// A deterministic test picture: a colour gradient with some hard edges.
QImage makeTestPicture(int width, int height);

// A 32 x 24 PNG with one flipped byte in its gAMA chunk, on which a decoder
// library loops until its time limit ends it.
QByteArray loopingPngBytes();

// Makes every file of this process stop growing at `bytes`, as a full disk
// would: writes beyond it fail (EFBIG) instead of raising SIGXFSZ. Undone on
// destruction; keep it to the one call under test.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit &) = delete;
    FileSizeLimit &operator=(const FileSizeLimit &) = delete;
    bool active() const { return m_active; }

private:
    rlimit m_old{};
    void (*m_oldHandler)(int) = nullptr;
    bool m_active = false;
};

} // namespace pictrove::test
