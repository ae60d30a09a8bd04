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

QByteArray loopingPngBytes()
{
    return QByteArray::fromHex(
        "89504e470d0a1a0a0000000d4948445200000020000000180802000000143168630000000467414d410000b18f0bfc61"
        "050000ffff6348524d00007a26000080840000fa00000080e8000075300000ea6000003a98000017709cba513c000000"
        "06624b474400ff00ff00ffa0bda7930000000774494d4507ea0c080f020aa2f09b0b000000324944415448c763fccf40"
        "1a602451031389e6930c462d18b560d482e160012303036985cbffd1b268994cabcd6b91a03e00000558052be2dfb694"
        "0000002574455874646174653a63726561746500323032362d31322d30385431353a30323a30392b30303a30300de059"
        "010000002574455874646174653a6d6f6469667900323032362d31322d30385431353a30323a30392b30303a30307cbd"
        "e1bd0000000049454e44ae426082");
}

} // namespace pictrove::test
