// Every row's files, as the converter writes them, against digests recorded
// from an earlier build. Speed work on the decoder, the hand-over, the
// encoders and the writers must not change a byte the user gets; PNG files
// alone may be packed differently, so for them the pixels, the chunks around
// the image data and the header must match and the file may only shrink.
//
// Re-record (only when a change of output is intended and understood):
//   PICTROVE_RECORD_OUTPUTS=1 ./loading_tests --gtest_filter='OutputsUnchanged.*'
#include "LoaderFixtures.h"

#include "CameraFixtures.h"
#include "TestSupport.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <optional>

using namespace pictrove;

namespace {

// A picture with what palette reduction and dithering react to: smooth
// gradients, fine detail and noise, at an odd width so row padding shows.
QImage photoLike(int width, int height, bool alpha)
{
    QImage picture(width, height, alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    quint32 seed = 12345;
    for (int y = 0; y < height; ++y) {
        auto *row = reinterpret_cast<QRgb *>(picture.scanLine(y));
        for (int x = 0; x < width; ++x) {
            seed = seed * 1664525u + 1013904223u;
            const int noise = int(seed >> 28) - 8;
            const int r = qBound(0, x * 255 / width + noise, 255);
            const int g = qBound(0, y * 255 / height + ((x / 7 + y / 5) % 2) * 24 + noise, 255);
            const int b = qBound(0, 128 + int(100 * std::sin(x * 0.13) * std::cos(y * 0.09)) + noise, 255);
            const int dx = x - width / 2;
            const int dy = y - height / 2;
            const int a = alpha ? qBound(0, 255 - (dx * dx + dy * dy) * 255 / (width * width / 4), 255) : 255;
            row[x] = qRgba(r, g, b, a);
        }
    }
    return picture;
}

QByteArray encoded(const QImage &picture, const char *format, int quality = -1)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    picture.save(&buffer, format, quality);
    return bytes;
}

// The inputs, in the order given to the converter: the loader fixtures
// (flat quadrants in every recognised format) and a few photo-like pictures.
std::vector<std::pair<QString, QByteArray>> inputs()
{
    std::vector<std::pair<QString, QByteArray>> files;
    for (const test::LoaderFixture &fixture : test::loaderFixtures())
        files.emplace_back(fixture.name, fixture.bytes);
    const QImage photo = photoLike(197, 131, false);
    files.emplace_back(QStringLiteral("photo.png"), encoded(photo, "PNG"));
    files.emplace_back(QStringLiteral("photo.jpg"), encoded(photo, "JPEG", 90));
    files.emplace_back(QStringLiteral("alpha.png"), encoded(photoLike(96, 80, true), "PNG"));
    files.emplace_back(QStringLiteral("grey.png"),
                       encoded(photoLike(64, 48, false).convertToFormat(QImage::Format_Grayscale8), "PNG"));
    test::CameraDetails camera;
    camera.pixelSize = QSize(120, 90);
    files.emplace_back(QStringLiteral("camera.jpg"),
                       test::cameraJpeg(photoLike(120, 90, false), test::exifBlock(camera),
                                        test::xmpPacket(6, QSize(120, 90))));
    return files;
}

// The option sets the converter is run with: every row as it comes, every
// map and dither of the palette rows, and the transforms on a row of each kind.
std::vector<QStringList> variants()
{
    std::vector<QStringList> list;
    for (int row = 0; row < 29; ++row)
        list.push_back({QStringLiteral("-f"), QString::number(row)});
    for (int row = 0; row <= 13; ++row)
        for (int map = 0; map < 7; ++map)
            list.push_back({QStringLiteral("-f"), QString::number(row), QStringLiteral("--map"), QString::number(map)});
    for (int row : {3, 7, 9, 10, 13})
        for (int dither = 1; dither < 11; ++dither)
            list.push_back({QStringLiteral("-f"), QString::number(row), QStringLiteral("--dither"), QString::number(dither)});
    for (int row : {7, 12, 13, 14, 18, 22, 25, 27}) {
        list.push_back({QStringLiteral("-f"), QString::number(row), QStringLiteral("--greyscale")});
        list.push_back({QStringLiteral("-f"), QString::number(row), QStringLiteral("--flip-h"), QStringLiteral("--invert")});
        list.push_back({QStringLiteral("-f"), QString::number(row), QStringLiteral("--flip-v"),
                        QStringLiteral("--resize"), QStringLiteral("50%")});
    }
    list.push_back({QStringLiteral("-f"), QStringLiteral("7"), QStringLiteral("--interlaced")});
    list.push_back({QStringLiteral("-f"), QStringLiteral("7"), QStringLiteral("--dither"), QStringLiteral("1"),
                    QStringLiteral("--map"), QStringLiteral("1")});
    list.push_back({QStringLiteral("-f"), QStringLiteral("20"), QStringLiteral("--quality"), QStringLiteral("60")});
    list.push_back({QStringLiteral("-f"), QStringLiteral("14"), QStringLiteral("--strip-metadata")});
    list.push_back({QStringLiteral("-f"), QStringLiteral("18"), QStringLiteral("--strip-metadata")});
    return list;
}

QString hex(const QByteArray &bytes)
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex().left(24));
}

// A PNG's digest: the pixels at 16 bits a channel, the header and every
// chunk but the image data, and the size, which the check lets shrink.
struct PngDigest {
    QString pixels;
    QString chunks;
    qint64 size = 0;
};

std::optional<PngDigest> pngDigest(const QByteArray &file)
{
    QImage picture;
    if (!picture.loadFromData(file, "PNG"))
        return std::nullopt;
    picture = picture.convertToFormat(QImage::Format_RGBA64);
    QByteArray pixels;
    for (int y = 0; y < picture.height(); ++y)
        pixels.append(reinterpret_cast<const char *>(picture.constScanLine(y)), picture.width() * 8);
    QByteArray chunks;
    for (const QByteArray &type : test::pngChunkTypes(file)) {
        if (type == "IDAT" && chunks.endsWith("IDAT;"))
            continue; // how the image data is split is the writer's business
        chunks += type + ';';
    }
    QByteArray around = chunks;
    for (const QByteArray &type : test::pngChunkTypes(file))
        if (type != "IDAT")
            for (const QByteArray &data : test::pngChunks(file, type))
                around += data;
    return PngDigest{hex(pixels), QString::fromLatin1(chunks) + hex(around), file.size()};
}

QString digestLine(const QByteArray &file)
{
    if (file.startsWith("\x89PNG")) {
        if (const auto png = pngDigest(file))
            return QStringLiteral("png %1 %2 %3").arg(png->pixels, png->chunks).arg(png->size);
    }
    return QStringLiteral("bytes %1").arg(hex(file));
}

QString recordPath()
{
    return QStringLiteral(PICTROVE_LOADER_FIXTURES "/../outputs-unchanged.txt");
}

// "variant<TAB>file" -> digest line.
using Digests = std::map<QString, QString>;

Digests readRecord()
{
    Digests record;
    QFile file(recordPath());
    if (!file.open(QIODevice::ReadOnly))
        return record;
    for (const QByteArray &line : file.readAll().split('\n')) {
        const QList<QByteArray> fields = line.split('\t');
        if (fields.size() == 3)
            record[QString::fromUtf8(fields[0] + '\t' + fields[1])] = QString::fromUtf8(fields[2]);
    }
    return record;
}

TEST(OutputsUnchanged, EveryRowWritesTheFilesItWroteBefore)
{
    test::Sandbox sandbox;
    QDir(sandbox.path()).mkdir(QStringLiteral("in"));
    QStringList arguments;
    for (const auto &[name, bytes] : inputs()) {
        ASSERT_TRUE(sandbox.write(QStringLiteral("in/") + name, bytes));
        arguments << sandbox.file(QStringLiteral("in/") + name);
    }

    // The option sets run on the photo-like pictures and a fixture with
    // alpha; every row as it comes runs on every input.
    QStringList photos;
    for (const QString &path : arguments)
        if (!path.contains(QLatin1String("/quad")) || path.endsWith(QLatin1String("quad.png")))
            photos << path;

    Digests written;
    int run = 0;
    for (const QStringList &variant : variants()) {
        const bool plainRow = variant.size() == 2;
        const QString out = sandbox.file(QStringLiteral("out%1").arg(run++));
        ASSERT_TRUE(QDir().mkpath(out));
        QProcess process;
        process.start(QCoreApplication::applicationDirPath() + QStringLiteral("/pictrove-convert"),
                      QStringList(variant) << QStringLiteral("-q") << QStringLiteral("-o") << out
                                                << (plainRow ? arguments : photos));
        ASSERT_TRUE(process.waitForFinished(300000)) << variant.join(u' ').toStdString();
        const QString key = variant.join(u' ');
        const QStringList names = QDir(out).entryList(QDir::Files, QDir::Name);
        for (const QString &name : names) {
            QFile file(QDir(out).filePath(name));
            ASSERT_TRUE(file.open(QIODevice::ReadOnly));
            written[key + u'\t' + name] = digestLine(file.readAll());
        }
        QDir(out).removeRecursively();
    }

    if (qEnvironmentVariableIsSet("PICTROVE_RECORD_OUTPUTS")) {
        QFile file(recordPath());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        for (const auto &[key, digest] : written)
            file.write((key + u'\t' + digest + u'\n').toUtf8());
        GTEST_SKIP() << "recorded " << written.size() << " files into " << recordPath().toStdString();
    }

    const Digests record = readRecord();
    ASSERT_FALSE(record.empty()) << "no record at " << recordPath().toStdString();
    for (const auto &[key, digest] : record) {
        const auto found = written.find(key);
        if (found == written.end()) {
            ADD_FAILURE() << key.toStdString() << ": not written any more";
            continue;
        }
        if (found->second == digest)
            continue;
        // A PNG may be packed differently: same pixels and chunks, no larger.
        const QStringList was = digest.split(u' ');
        const QStringList now = found->second.split(u' ');
        const bool repacked = was.size() == 4 && now.size() == 4 && was[0] == QLatin1String("png")
            && now[0] == was[0] && now[1] == was[1] && now[2] == was[2] && now[3].toLongLong() <= was[3].toLongLong();
        EXPECT_TRUE(repacked) << key.toStdString() << "\n  was: " << digest.toStdString()
                              << "\n  now: " << found->second.toStdString();
    }
    for (const auto &[key, digest] : written)
        EXPECT_TRUE(record.count(key)) << key.toStdString() << ": a file that was not written before";
}

} // namespace
