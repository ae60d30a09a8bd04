// The files that tell the desktop about the program: the desktop entry's
// media types against what the program reads, and the validators that
// desktops and software centres apply.
#include "decoding/ImageExtensions.h"

#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QXmlStreamReader>
#include <QMimeDatabase>
#include <QProcess>
#include <QHash>
#include <QSet>
#include <QStandardPaths>

#include <gtest/gtest.h>

#include <algorithm>

namespace {

const QString DesktopEntry = QStringLiteral(PICTROVE_DESKTOP_ENTRY);
const QString Metainfo = QStringLiteral(PICTROVE_METAINFO);

// The metainfo file's elements as path -> texts ("component/provides/mediatype"),
// and each screenshot image's attributes.
struct MetainfoFile {
    QHash<QString, QStringList> texts;
    QList<QXmlStreamAttributes> images;
    bool wellFormed = false;
};

MetainfoFile readMetainfo()
{
    MetainfoFile result;
    QFile file(Metainfo);
    if (!file.open(QIODevice::ReadOnly))
        return result;
    QXmlStreamReader xml(&file);
    QStringList path;
    while (!xml.atEnd()) {
        switch (xml.readNext()) {
        case QXmlStreamReader::StartElement:
            path << xml.name().toString();
            if (path.join(QLatin1Char('/')) == QLatin1String("component/screenshots/screenshot/image"))
                result.images << xml.attributes();
            break;
        case QXmlStreamReader::EndElement:
            path.removeLast();
            break;
        case QXmlStreamReader::Characters:
            if (!xml.isWhitespace())
                result.texts[path.join(QLatin1Char('/'))] << xml.text().toString().trimmed();
            break;
        default:
            break;
        }
    }
    result.wellFormed = !xml.hasError();
    return result;
}

QString desktopValue(const QString &key)
{
    QFile file(DesktopEntry);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QString prefix = key + QLatin1Char('=');
    for (const QByteArray &line : file.readAll().split('\n')) {
        const QString text = QString::fromUtf8(line).trimmed();
        if (text.startsWith(prefix))
            return text.mid(prefix.size());
    }
    return {};
}

QSet<QString> listed(const QString &value)
{
    QSet<QString> set;
    for (const QString &item : value.split(QLatin1Char(';'), Qt::SkipEmptyParts))
        set.insert(item);
    return set;
}

// A media type the program claims: a picture type, or MNG (which the
// database files under video/). application/ types (Visio's .vst) name
// other programs' documents that merely share an extension.
bool claimable(const QMimeType &type)
{
    return type.isValid() && !type.isDefault() &&
           !type.name().startsWith(QLatin1String("application/"));
}

// What the media-type database says the recognised extensions are.
QSet<QString> typesOfRecognisedExtensions()
{
    const QMimeDatabase database;
    QSet<QString> types;
    for (const QString &ext : pictrove::recognisedExtensions())
        for (const QMimeType &type : database.mimeTypesForFileName(QStringLiteral("x.") + ext))
            if (claimable(type))
                types.insert(type.name());
    return types;
}

struct ToolRun {
    bool started = false;
    int exitCode = -1;
    QString output;
};

ToolRun runTool(const QString &program, const QStringList &arguments)
{
    ToolRun run;
    if (QStandardPaths::findExecutable(program).isEmpty())
        return run;
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    run.started = process.waitForStarted(10000);
    if (!run.started || !process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished();
        return run;
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.output = QString::fromUtf8(process.readAll());
    return run;
}

} // namespace

TEST(DesktopEntry, DeclaresEveryTypeThatTheProgramReadsAndNoOther)
{
    const QSet<QString> declared = listed(desktopValue(QStringLiteral("MimeType")));
    const QSet<QString> expected = typesOfRecognisedExtensions();
    ASSERT_FALSE(expected.isEmpty());
    for (const QString &type : expected)
        EXPECT_TRUE(declared.contains(type)) << "missing from MimeType: " << type.toStdString();

    // Each declared type is a picture type whose extensions include one the
    // program reads (a file manager offers the program for nothing else).
    const QMimeDatabase database;
    for (const QString &name : declared) {
        const QMimeType type = database.mimeTypeForName(name);
        EXPECT_TRUE(claimable(type)) << name.toStdString();
        const QStringList suffixes = type.suffixes();
        EXPECT_TRUE(std::any_of(suffixes.begin(), suffixes.end(),
                                [](const QString &s) {
                                    return pictrove::isRecognisedExtension(s);
                                }))
            << name.toStdString() << " has no recognised extension";
    }
}

TEST(DesktopEntry, TakesFilesAndPassesTheValidator)
{
    // %F: local paths, several at once; the program also takes file URLs.
    EXPECT_EQ(desktopValue(QStringLiteral("Exec")), QStringLiteral("pictrove %F"));
    const ToolRun run = runTool(QStringLiteral("desktop-file-validate"), {DesktopEntry});
    ASSERT_TRUE(run.started) << "desktop-file-validate is not installed "
                                "(scripts/install-deps.sh --test)";
    EXPECT_EQ(run.exitCode, 0) << run.output.toStdString();
    // Hints are not failures for the validator, but a clean entry has none.
    EXPECT_TRUE(run.output.trimmed().isEmpty()) << run.output.toStdString();
}

TEST(Metainfo, NamesTheDesktopEntryAndItsMediaTypes)
{
    const MetainfoFile metainfo = readMetainfo();
    ASSERT_TRUE(metainfo.wellFormed);
    // One id for both files, as software centres match them.
    const QString id = QFileInfo(DesktopEntry).completeBaseName();
    EXPECT_EQ(metainfo.texts.value(QStringLiteral("component/id")), QStringList{id});
    EXPECT_EQ(metainfo.texts.value(QStringLiteral("component/launchable")),
              QStringList{id + QStringLiteral(".desktop")});
    EXPECT_EQ(QFileInfo(Metainfo).fileName(), id + QStringLiteral(".metainfo.xml"));

    const QStringList mediatypes =
        metainfo.texts.value(QStringLiteral("component/provides/mediatype"));
    EXPECT_EQ(QSet<QString>(mediatypes.begin(), mediatypes.end()),
              listed(desktopValue(QStringLiteral("MimeType"))));
    EXPECT_EQ(mediatypes.size(), listed(desktopValue(QStringLiteral("MimeType"))).size());
}

TEST(Metainfo, ScreenshotsAreShippedAtTheSizesStated)
{
    const MetainfoFile metainfo = readMetainfo();
    ASSERT_TRUE(metainfo.wellFormed);
    const QStringList urls =
        metainfo.texts.value(QStringLiteral("component/screenshots/screenshot/image"));
    ASSERT_EQ(urls.size(), metainfo.images.size());
    ASSERT_FALSE(urls.isEmpty());
    const QString shipped = QFileInfo(Metainfo).absolutePath() + QStringLiteral("/screenshots/");
    for (qsizetype i = 0; i < urls.size(); ++i) {
        EXPECT_TRUE(urls[i].startsWith(QLatin1String("https://"))) << urls[i].toStdString();
        const QString file = shipped + urls[i].section(QLatin1Char('/'), -1);
        const QSize size = QImageReader(file).size();
        EXPECT_EQ(size.width(), metainfo.images[i].value(QStringLiteral("width")).toInt())
            << file.toStdString();
        EXPECT_EQ(size.height(), metainfo.images[i].value(QStringLiteral("height")).toInt())
            << file.toStdString();
    }
}

TEST(Metainfo, PassesTheSoftwareCentresValidator)
{
    // --no-net: the screenshot URLs name the project's site, which a build
    // machine need not reach. Warnings count as failures here.
    const ToolRun run = runTool(QStringLiteral("appstreamcli"),
                                {QStringLiteral("validate"), QStringLiteral("--no-net"), Metainfo});
    ASSERT_TRUE(run.started) << "appstreamcli is not installed (scripts/install-deps.sh --test)";
    EXPECT_EQ(run.exitCode, 0) << run.output.toStdString();
}
