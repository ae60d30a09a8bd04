#include "PeerBench.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextStream>

#include <gtest/gtest.h>

using namespace pictrove::bench;

namespace {

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString &path, const QByteArray &bytes, bool executable = false)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    file.close();
    if (executable)
        file.setPermissions(file.permissions() | QFile::ExeOwner);
}

PeerCommand argvPeer(const QString &tool, const QStringList &argv, const QStringList &programs = {})
{
    PeerCommand peer;
    peer.tool = tool;
    peer.argv = argv;
    peer.programs = programs;
    return peer;
}

PeerCommand scriptPeer(const QString &tool, const QString &script)
{
    PeerCommand peer;
    peer.tool = tool;
    peer.script = script;
    return peer;
}

// Inputs whose names a shell would split or unquote.
struct AwkwardSet {
    QTemporaryDir dir;
    QStringList ins, outs;
    AwkwardSet()
    {
        QDir(dir.path()).mkdir(QStringLiteral("out"));
        const char *names[] = {"plain.txt", "with space.txt", "it's $HOME.txt"};
        for (const char *name : names) {
            ins << dir.filePath(QString::fromLatin1(name));
            outs << dir.filePath(QStringLiteral("out/") + QString::fromLatin1(name));
            writeFile(ins.back(), QByteArray("content of ") + name);
        }
    }
    void clearOutputs()
    {
        for (const QString &out : outs)
            QFile::remove(out);
    }
};

TEST(PeerRuns, OneProcessPerFileAndThroughParallelWriteTheSameFiles)
{
    AwkwardSet set;
    ASSERT_TRUE(set.dir.isValid());
    const PeerCommand copy = argvPeer(QStringLiteral("copy"), {QStringLiteral("cp"), QStringLiteral("%in"), QStringLiteral("%out")});
    const PeerCommand pipeline = scriptPeer(QStringLiteral("upper"), QStringLiteral("cat %in | tr a-z A-Z > %out"));

    SetRun run = runSequential(copy, set.ins, set.outs);
    EXPECT_EQ(run.failures, 0);
    for (qsizetype i = 0; i < set.ins.size(); ++i)
        EXPECT_EQ(readAll(set.outs[i]), readAll(set.ins[i]));
    EXPECT_EQ(bytesOf(set.outs), bytesOf(set.ins));
    set.clearOutputs();
    run = runSequential(pipeline, set.ins, set.outs);
    EXPECT_EQ(run.failures, 0);
    EXPECT_EQ(readAll(set.outs[1]), readAll(set.ins[1]).toUpper());

    const QString parallel = QStandardPaths::findExecutable(QStringLiteral("parallel"));
    if (parallel.isEmpty())
        GTEST_SKIP() << "GNU parallel is not installed";
    for (const PeerCommand &peer : {copy, pipeline}) {
        set.clearOutputs();
        run = runParallel(parallel, peer, 2, set.ins, set.outs);
        EXPECT_EQ(run.failures, 0) << qPrintable(peer.tool);
        for (qsizetype i = 0; i < set.ins.size(); ++i) {
            const QByteArray expected = peer.script.isEmpty() ? readAll(set.ins[i]) : readAll(set.ins[i]).toUpper();
            EXPECT_EQ(readAll(set.outs[i]), expected) << qPrintable(set.ins[i]);
        }
    }
}

TEST(PeerRuns, FilesNotWrittenAreCountedAsFailures)
{
    AwkwardSet set;
    const PeerCommand fails = argvPeer(QStringLiteral("false"), {QStringLiteral("false"), QStringLiteral("%in"), QStringLiteral("%out")});
    EXPECT_EQ(runSequential(fails, set.ins, set.outs).failures, 3);
    const PeerCommand empty = scriptPeer(QStringLiteral("empty"), QStringLiteral(": > %out"));
    EXPECT_EQ(runSequential(empty, set.ins, set.outs).failures, 3);
}

TEST(PeerRuns, TheDecoderOfAPipelineFollowsEachFilesKind)
{
    EXPECT_EQ(pnmDecoder(QStringLiteral("/a/photo.jpg")), QStringLiteral("djpeg"));
    EXPECT_EQ(pnmDecoder(QStringLiteral("/a/PHOTO.JPEG")), QStringLiteral("djpeg"));
    EXPECT_EQ(pnmDecoder(QStringLiteral("/a/g.png")), QStringLiteral("pngtopnm"));
    EXPECT_EQ(pnmDecoder(QStringLiteral("/a/g.tif")), QStringLiteral("tifftopnm"));
    EXPECT_EQ(pnmDecoder(QStringLiteral("/a/g.webp")), QString());

    const PeerCommand loop = peerRow(JpegCustomRow)->peers.front();
    ASSERT_TRUE(loop.usesDecoder());
    const QStringList one = fileArgv(loop, QStringLiteral("/a/g.png"), QStringLiteral("/o/1.jpg"));
    EXPECT_EQ(one.last(), QStringLiteral("pngtopnm"));
    const QStringList all = parallelArgv(QStringLiteral("parallel"), loop, 2,
                                         {QStringLiteral("/a/p.jpg"), QStringLiteral("/a/g.gif")},
                                         {QStringLiteral("/o/1.jpg"), QStringLiteral("/o/2.jpg")});
    EXPECT_EQ(all.mid(all.size() - 3), (QStringList{QStringLiteral(":::"), QStringLiteral("djpeg"), QStringLiteral("giftopnm")}));
}

TEST(PeerRows, EveryRowOfTheTableHasItsPeers)
{
    const auto tools = [](int row) {
        QStringList names;
        for (const PeerCommand &peer : peerRow(row)->peers)
            names << peer.tool;
        return names;
    };
    EXPECT_EQ(peerRows().size(), 8u);
    EXPECT_TRUE(tools(GifRow).contains(QStringLiteral("ImageMagick")));
    EXPECT_TRUE(peerRow(GifRow)->ourOptions.contains(QStringLiteral("Binary")));
    EXPECT_TRUE(tools(Png8Row).contains(QStringLiteral("pngquant")));
    EXPECT_TRUE(tools(Png24Row).contains(QStringLiteral("vips")));
    EXPECT_TRUE(tools(JpegCustomRow).contains(QStringLiteral("djpeg | cjpeg")));
    EXPECT_TRUE(peerRow(JpegCustomRow)->ourOptions.contains(QStringLiteral("60")));
    for (int row : {Bmp24Row, Tga24Row, Pcx24Row, TiffRow})
        EXPECT_TRUE(tools(row).contains(QStringLiteral("GraphicsMagick"))) << row;
    // The wrapper in /usr/local/bin is not ImageMagick.
    for (const PeerRow &row : peerRows()) {
        for (const PeerCommand &peer : row.peers) {
            if (peer.tool == QLatin1String("ImageMagick")) {
                EXPECT_EQ(peer.argv.first(), QStringLiteral("/usr/bin/convert"));
            }
        }
    }
}

Measured measured(const QString &label, double wall, qint64 bytes = 0)
{
    Measured m;
    m.label = label;
    m.available = true;
    m.walls = {wall + 1, wall, wall - 0.5};
    m.cpus = m.walls;
    m.bytes = bytes;
    return m;
}

RowResult resultFor(int row, double ours, std::vector<Measured> peers, qint64 ourBytes = 0)
{
    RowResult r;
    r.row = peerRow(row);
    r.ours = measured(QStringLiteral("Pictrove"), ours, ourBytes);
    r.oursOneJob = measured(QStringLiteral("Pictrove, 1 job"), ours * 1.5);
    r.peers = std::move(peers);
    return r;
}

TEST(PeerGoals, RatiosAreTakenTheRightWayRoundAtTheirLimits)
{
    // GIF-256: ImageMagick on both cores at least 6 x our time.
    EXPECT_EQ(goalFor(resultFor(GifRow, 5, {measured(QStringLiteral("ImageMagick on 2 cores"), 30)}))->verdict,
              Verdict::Met);
    EXPECT_EQ(goalFor(resultFor(GifRow, 5, {measured(QStringLiteral("ImageMagick on 2 cores"), 29)}))->verdict,
              Verdict::Missed);
    // ImageMagick's one-core run does not count for it.
    EXPECT_EQ(goalFor(resultFor(GifRow, 1, {measured(QStringLiteral("ImageMagick"), 30)}))->verdict,
              Verdict::NotMeasured);
    // JPEG: at most 0.8 x the loop's time.
    EXPECT_EQ(goalFor(resultFor(JpegCustomRow, 1.6, {measured(QStringLiteral("djpeg | cjpeg"), 2)}))->verdict,
              Verdict::Met);
    EXPECT_EQ(goalFor(resultFor(JpegCustomRow, 1.7, {measured(QStringLiteral("djpeg | cjpeg"), 2)}))->verdict,
              Verdict::Missed);
    // BMP, TGA, PCX: GraphicsMagick on both cores at least 3 x our time.
    for (int row : {Bmp24Row, Tga24Row, Pcx24Row}) {
        EXPECT_EQ(goalFor(resultFor(row, 2, {measured(QStringLiteral("GraphicsMagick on 2 cores"), 6)}))->verdict,
                  Verdict::Met);
        EXPECT_EQ(goalFor(resultFor(row, 2.1, {measured(QStringLiteral("GraphicsMagick on 2 cores"), 6)}))->verdict,
                  Verdict::Missed);
    }
    EXPECT_FALSE(goalFor(resultFor(TiffRow, 1, {})).has_value());
}

TEST(PeerGoals, Png24NeedsBothTheTimeAndTheBytes)
{
    const auto verdict = [](double ours, qint64 ourBytes, double vips, qint64 magickBytes) {
        return goalFor(resultFor(Png24Row, ours,
                                 {measured(QStringLiteral("ImageMagick"), 20, magickBytes),
                                  measured(QStringLiteral("vips on 2 cores"), vips, 1)},
                                 ourBytes))
            ->verdict;
    };
    EXPECT_EQ(verdict(8, 100, 9, 100), Verdict::Met);
    EXPECT_EQ(verdict(8, 101, 9, 100), Verdict::Missed);
    EXPECT_EQ(verdict(9, 100, 9, 100), Verdict::Missed);
}

TEST(PeerGoals, AMissingOrFailingPeerLeavesTheGoalUnmeasured)
{
    Measured missing = measured(QStringLiteral("GraphicsMagick on 2 cores"), 60);
    missing.available = false;
    EXPECT_EQ(goalFor(resultFor(Bmp24Row, 1, {missing}))->verdict, Verdict::NotMeasured);
    Measured failing = measured(QStringLiteral("GraphicsMagick on 2 cores"), 60);
    failing.failures = 1;
    const RowResult r = resultFor(Bmp24Row, 1, {failing, measured(QStringLiteral("GraphicsMagick"), 90)});
    EXPECT_EQ(goalFor(r)->verdict, Verdict::NotMeasured);
    // Nor is it the fastest peer.
    ASSERT_NE(r.fastestPeer(), nullptr);
    EXPECT_EQ(r.fastestPeer()->label, QStringLiteral("GraphicsMagick"));
}

// A stand-in for pictrove-convert that copies its inputs to the names the
// real one gives them and notes each run.
QString fakeConverter(const QString &folder, const QString &log)
{
    const QString path = folder + QStringLiteral("/fake-convert");
    writeFile(path,
              QStringLiteral("#!/bin/sh\n"
                             "jobs=default\n"
                             "while [ $# -gt 0 ]; do case \"$1\" in\n"
                             "  -o) out=$2; shift 2;; -n) name=$2; shift 2;; -j) jobs=$2; shift 2;;\n"
                             "  -f) shift 2;; -q|--overwrite) shift;; *) break;; esac; done\n"
                             "i=1; for f in \"$@\"; do cp \"$f\" \"$out/$name$i.bmp\"; i=$((i+1)); done\n"
                             "echo \"ours $jobs\" >> '%1'\n").arg(log).toUtf8(),
              true);
    return path;
}

TEST(PeerRounds, OursAndEachPeerTakeTurnsRoundByRound)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString log = dir.filePath(QStringLiteral("log"));
    PeerSetup setup;
    setup.converter = fakeConverter(dir.path(), log);
    setup.rounds = 2;
    setup.jobs = 2;
    setup.outFolder = dir.filePath(QStringLiteral("out"));
    for (int i = 0; i < 2; ++i) {
        setup.inputs << dir.filePath(QStringLiteral("in%1.txt").arg(i));
        writeFile(setup.inputs.back(), "12345");
    }
    PeerCommand noted = scriptPeer(QStringLiteral("noted"), QStringLiteral("cp %in %out && echo peer >> '%1'").arg(log));
    noted.parallel = false;
    const PeerCommand absent = argvPeer(QStringLiteral("absent"), {QStringLiteral("pictrove-no-such-tool"), QStringLiteral("%in")},
                                        {QStringLiteral("pictrove-no-such-tool")});
    PeerCommand pngOnly = argvPeer(QStringLiteral("png only"), {QStringLiteral("cp"), QStringLiteral("%in"), QStringLiteral("%out")});
    pngOnly.pngInput = true;
    const PeerRow row{Bmp24Row, QStringLiteral("BMP-24"), {}, QStringLiteral("bmp"), {noted, absent, pngOnly}};

    QString logged;
    QTextStream progress(&logged);
    const RowResult r = measureRow(row, setup, progress);
    EXPECT_EQ(readAll(log), QByteArray("ours default\nours 1\npeer\npeer\nours default\nours 1\npeer\npeer\n"));
    EXPECT_EQ(r.ours.walls.size(), 2u);
    EXPECT_EQ(r.oursOneJob.walls.size(), 2u);
    EXPECT_EQ(r.ours.failures, 0);
    EXPECT_EQ(r.ours.bytes, 10);
    ASSERT_EQ(r.peers.size(), 5u); // noted; absent, in turn and spread; png only, likewise
    EXPECT_EQ(r.peers[0].walls.size(), 2u);
    EXPECT_EQ(r.peers[0].bytes, 10);
    EXPECT_FALSE(r.peers[1].available);
    EXPECT_TRUE(r.peers[1].missing.contains(QStringLiteral("pictrove-no-such-tool")));
    EXPECT_FALSE(r.peers[2].available);
    EXPECT_FALSE(r.peers[3].available);
    EXPECT_TRUE(r.peers[3].missing.contains(QStringLiteral("PNG")));
    EXPECT_FALSE(QFileInfo::exists(setup.outFolder)); // nothing left behind

    QString printed;
    QTextStream out(&printed);
    printRow(out, r, true);
    printRatios(out, {r}, 2);
    EXPECT_TRUE(printed.contains(QStringLiteral("skipped: pictrove-no-such-tool missing")));
    EXPECT_TRUE(printed.contains(QStringLiteral("noted")));
}

} // namespace
