#include "TestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QThread>
#include <QFile>

#include <algorithm>
#include <csignal>
#include <cstdlib>

namespace pictrove::test {

static QString sandboxTemplate()
{
    // CTest runs from the build tree; keep fixtures there rather than in /tmp.
    const QByteArray base = qgetenv("PICTROVE_TEST_TMP");
    QString root = base.isEmpty() ? QDir::currentPath() + QStringLiteral("/test-sandboxes")
                                  : QString::fromLocal8Bit(base);
    QDir().mkpath(root);
    return root + QStringLiteral("/sandbox-XXXXXX");
}

Sandbox::Sandbox() : m_dir(sandboxTemplate()) {}

bool Sandbox::write(const QString &name, const QByteArray &bytes) const
{
    QFile f(file(name));
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

QByteArray Sandbox::read(const QString &name) const
{
    QFile f(file(name));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

RecordingMessages::RecordingMessages() { installMessageService(this); }
RecordingMessages::~RecordingMessages() { installMessageService(nullptr); }

MessageAnswer RecordingMessages::show(const QString &text, const QString &title,
                                      MessageIcon icon, MessageButtons buttons)
{
    calls.push_back({text, title, icon, buttons});
    return answer;
}

RecordingFileDialogs::RecordingFileDialogs() { installFileDialogService(this); }
RecordingFileDialogs::~RecordingFileDialogs() { installFileDialogService(nullptr); }

std::optional<QString> RecordingFileDialogs::choose(const FileDialogRequest &request)
{
    requests.push_back(request);
    if (answers.empty())
        return std::nullopt;
    const QString path = answers.front().value_or(QString());
    const bool chosen = answers.front().has_value();
    answers.erase(answers.begin());
    if (!chosen)
        return std::nullopt;
    return path;
}

bool waitFor(const std::function<bool()> &condition, int milliseconds)
{
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > milliseconds)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(2);
    }
    return true;
}

int maxChannelDifference(const QImage &a, const QImage &b)
{
    if (a.size() != b.size())
        return 256;
    const QImage x = a.convertToFormat(QImage::Format_RGB32);
    const QImage y = b.convertToFormat(QImage::Format_RGB32);
    int worst = 0;
    for (int row = 0; row < x.height(); ++row) {
        const auto *p = reinterpret_cast<const QRgb *>(x.constScanLine(row));
        const auto *q = reinterpret_cast<const QRgb *>(y.constScanLine(row));
        for (int col = 0; col < x.width(); ++col) {
            worst = std::max({worst, std::abs(qRed(p[col]) - qRed(q[col])),
                              std::abs(qGreen(p[col]) - qGreen(q[col])),
                              std::abs(qBlue(p[col]) - qBlue(q[col]))});
        }
    }
    return worst;
}

QImage makeTestPicture(int width, int height)
{
    QImage img(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        auto *line = reinterpret_cast<QRgb *>(img.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const int r = width > 1 ? x * 255 / (width - 1) : 128;
            const int g = height > 1 ? y * 255 / (height - 1) : 128;
            const int b = ((x / 8 + y / 8) % 2) ? 220 : 30;
            line[x] = qRgb(r, g, b);
        }
    }
    return img;
}

FileSizeLimit::FileSizeLimit(rlim_t bytes)
{
    m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    ::getrlimit(RLIMIT_FSIZE, &m_old);
    rlimit limited = m_old;
    limited.rlim_cur = bytes;
    m_active = ::setrlimit(RLIMIT_FSIZE, &limited) == 0;
}

FileSizeLimit::~FileSizeLimit()
{
    ::setrlimit(RLIMIT_FSIZE, &m_old);
    std::signal(SIGXFSZ, m_oldHandler);
}

} // namespace pictrove::test
