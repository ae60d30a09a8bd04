#include "PeerBench.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTextStream>

#include <algorithm>
#include <limits>

namespace pictrove::bench {

namespace {

// /usr/local/bin/convert on these machines is a wrapper of its own; the
// real ImageMagick is Debian's.
const QString Magick = QStringLiteral("/usr/bin/convert");

PeerCommand magick(const QStringList &options, const QString &prefix = {})
{
    return {QStringLiteral("ImageMagick"), QStringList{Magick, QStringLiteral("%in")} + options + QStringList{prefix + QStringLiteral("%out")},
            {}, {Magick}};
}

PeerCommand graphicsMagick(const QStringList &options, const QString &prefix = {})
{
    return {QStringLiteral("GraphicsMagick"),
            QStringList{QStringLiteral("gm"), QStringLiteral("convert"), QStringLiteral("%in")} + options
                + QStringList{prefix + QStringLiteral("%out")},
            {}, {QStringLiteral("gm")}};
}

// GraphicsMagick where no goal names it: it makes a full run much longer.
PeerCommand extra(PeerCommand peer)
{
    peer.extra = true;
    return peer;
}

PeerCommand vips(const QString &outputOptions = {})
{
    return {QStringLiteral("vips"),
            {QStringLiteral("vips"), QStringLiteral("copy"), QStringLiteral("%in"), QStringLiteral("%out") + outputOptions},
            {}, {QStringLiteral("vips")}};
}

std::vector<PeerRow> makeRows()
{
    const auto words = [](const char *text) { return QString::fromLatin1(text).split(u' '); };
    std::vector<PeerRow> rows;
    // Binary is Floyd-Steinberg error diffusion; ImageMagick's and
    // GraphicsMagick's own Floyd-Steinberg is the nearest they have.
    rows.push_back({GifRow, QStringLiteral("GIF-256, Binary"), words("--dither Binary"), QStringLiteral("gif"),
                    {magick(words("-dither FloydSteinberg -colors 256")),
                     extra(graphicsMagick(words("-dither -colors 256")))}});
    PeerCommand pngquant{QStringLiteral("pngquant"),
                         words("pngquant --nofs --force --output %out 256 %in"), {}, {QStringLiteral("pngquant")}};
    pngquant.pngInput = true;
    rows.push_back({Png8Row, QStringLiteral("PNG-8"), {}, QStringLiteral("png"),
                    {magick(words("+dither -colors 256"), QStringLiteral("PNG8:")), pngquant,
                     extra(graphicsMagick(words("+dither -colors 256"), QStringLiteral("PNG8:")))}});
    rows.push_back({Png24Row, QStringLiteral("PNG-24"), {}, QStringLiteral("png"),
                    {magick({}, QStringLiteral("PNG24:")), vips(), extra(graphicsMagick({}, QStringLiteral("PNG24:")))}});
    // One process pair a file, as a shell loop runs them; djpeg decodes the
    // photos, netpbm's decoders the graphics.
    const PeerCommand loop{QStringLiteral("djpeg | cjpeg"), {},
                           QStringLiteral("%dec %in | cjpeg -quality 60 > %out"),
                           {QStringLiteral("cjpeg")}};
    rows.push_back({JpegCustomRow, QStringLiteral("JPEG q60"), words("--quality 60"), QStringLiteral("jpg"),
                    {loop, magick(words("-quality 60")), extra(graphicsMagick(words("-quality 60")))}});
    rows.push_back({Bmp24Row, QStringLiteral("BMP-24"), {}, QStringLiteral("bmp"),
                    {magick(words("-type TrueColor"), QStringLiteral("BMP3:")),
                     graphicsMagick(words("-type TrueColor"), QStringLiteral("BMP3:"))}});
    rows.push_back({Tga24Row, QStringLiteral("TGA-24"), {}, QStringLiteral("tga"),
                    {magick(words("-type TrueColor -compress None")),
                     graphicsMagick(words("-type TrueColor -compress None"))}});
    rows.push_back({Pcx24Row, QStringLiteral("PCX-24"), {}, QStringLiteral("pcx"),
                    {magick(words("-type TrueColor")), graphicsMagick(words("-type TrueColor"))}});
    // The row's text says uncompressed, but it has always written LZW.
    rows.push_back({TiffRow, QStringLiteral("TIFF (LZW)"), {}, QStringLiteral("tif"),
                    {magick(words("-compress lzw")), graphicsMagick(words("-compress LZW")),
                     vips(QStringLiteral("[compression=lzw]"))}});
    return rows;
}

bool installed(const QString &program)
{
    if (program.startsWith(u'/'))
        return QFileInfo(program).isExecutable();
    return !QStandardPaths::findExecutable(program).isEmpty();
}

QStringList replaced(QStringList words, const QString &in, const QString &out)
{
    words.replaceInStrings(QStringLiteral("%in"), in);
    words.replaceInStrings(QStringLiteral("%out"), out);
    return words;
}

int missingOutputs(const QStringList &outs)
{
    return int(std::count_if(outs.begin(), outs.end(), [](const QString &o) { return QFileInfo(o).size() <= 0; }));
}

QString fresh(const QString &folder)
{
    QDir(folder).removeRecursively();
    QDir().mkpath(folder);
    return folder;
}

QString seconds(double s) { return QString::number(s, 'f', 2) + QStringLiteral(" s"); }

} // namespace

QString PeerCommand::text() const
{
    if (!script.isEmpty())
        return script;
    return argv.join(u' ');
}

const std::vector<PeerRow> &peerRows()
{
    static const std::vector<PeerRow> rows = makeRows();
    return rows;
}

const PeerRow *peerRow(int row)
{
    for (const PeerRow &r : peerRows())
        if (r.row == row)
            return &r;
    return nullptr;
}

QString pnmDecoder(const QString &path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QLatin1String("jpg") || suffix == QLatin1String("jpeg"))
        return QStringLiteral("djpeg");
    if (suffix == QLatin1String("png"))
        return QStringLiteral("pngtopnm");
    if (suffix == QLatin1String("gif"))
        return QStringLiteral("giftopnm");
    if (suffix == QLatin1String("bmp"))
        return QStringLiteral("bmptopnm");
    if (suffix == QLatin1String("tga"))
        return QStringLiteral("tgatoppm");
    if (suffix == QLatin1String("tif") || suffix == QLatin1String("tiff"))
        return QStringLiteral("tifftopnm");
    return {};
}

QStringList fileArgv(const PeerCommand &peer, const QString &in, const QString &out)
{
    if (peer.script.isEmpty())
        return replaced(peer.argv, in, out);
    // The names travel as sh's positional parameters, never through its parser.
    QString script = peer.script;
    script.replace(QStringLiteral("%dec"), QStringLiteral("\"$3\""));
    script.replace(QStringLiteral("%in"), QStringLiteral("\"$1\""));
    script.replace(QStringLiteral("%out"), QStringLiteral("\"$2\""));
    return {QStringLiteral("sh"), QStringLiteral("-c"), script, QStringLiteral("sh"), in, out, pnmDecoder(in)};
}

QStringList parallelArgv(const QString &parallel, const PeerCommand &peer, int jobs, const QStringList &ins,
                         const QStringList &outs)
{
    QStringList argv{parallel, QStringLiteral("--will-cite"), QStringLiteral("-j"), QString::number(jobs),
                     QStringLiteral("--halt"), QStringLiteral("never"), QStringLiteral("--link")};
    if (peer.script.isEmpty()) {
        // -q: parallel quotes every word itself, so names reach the tool as
        // they are, whatever they hold.
        argv << QStringLiteral("-q") << replaced(peer.argv, QStringLiteral("{1}"), QStringLiteral("{2}"));
    } else {
        QString script = peer.script;
        script.replace(QStringLiteral("%dec"), QStringLiteral("{3}"));
        script.replace(QStringLiteral("%in"), QStringLiteral("{1}"));
        script.replace(QStringLiteral("%out"), QStringLiteral("{2}"));
        argv << script;
    }
    argv << QStringLiteral(":::") << ins << QStringLiteral(":::") << outs;
    if (peer.usesDecoder()) {
        argv << QStringLiteral(":::");
        for (const QString &in : ins)
            argv << pnmDecoder(in);
    }
    return argv;
}

SetRun runSequential(const PeerCommand &peer, const QStringList &ins, const QStringList &outs)
{
    SetRun run;
    QElapsedTimer timer;
    timer.start();
    for (qsizetype i = 0; i < ins.size(); ++i)
        run.cpu += runProcess(fileArgv(peer, ins[i], outs[i])).cpuSeconds;
    run.wall = double(timer.nsecsElapsed()) / 1e9;
    run.failures = missingOutputs(outs);
    return run;
}

SetRun runParallel(const QString &parallel, const PeerCommand &peer, int jobs, const QStringList &ins,
                   const QStringList &outs)
{
    const ProcessRun p = runProcess(parallelArgv(parallel, peer, jobs, ins, outs));
    return {p.wallSeconds, p.cpuSeconds, missingOutputs(outs)};
}

qint64 bytesOf(const QStringList &paths)
{
    qint64 bytes = 0;
    for (const QString &path : paths)
        bytes += std::max<qint64>(0, QFileInfo(path).size());
    return bytes;
}

QString sequentialLabel(const PeerCommand &peer) { return peer.tool; }

QString parallelLabel(const PeerCommand &peer, int jobs)
{
    return QStringLiteral("%1 on %2 cores").arg(peer.tool).arg(jobs);
}

const Measured *RowResult::peer(const QString &label) const
{
    for (const Measured &m : peers)
        if (m.label == label && m.available)
            return &m;
    return nullptr;
}

const Measured *RowResult::fastestPeer() const
{
    const Measured *fastest = nullptr;
    for (const Measured &m : peers)
        if (m.available && !m.walls.empty() && m.failures == 0 && (!fastest || m.wall() < fastest->wall()))
            fastest = &m;
    return fastest;
}

std::optional<GoalCheck> goalFor(const RowResult &result)
{
    if (!result.row)
        return std::nullopt;
    const int row = result.row->row;
    const bool oursMeasured = result.ours.available && !result.ours.walls.empty() && result.ours.failures == 0;
    const double ours = result.ours.wall();
    const auto usable = [](const Measured *m) { return m && !m->walls.empty() && m->failures == 0; };
    GoalCheck check;
    const auto ratioGoal = [&](const Measured *peer, const QString &goal, bool peerOverOurs, double limit) {
        check.goal = goal;
        if (!oursMeasured || !usable(peer) || ours <= 0 || peer->wall() <= 0) {
            check.figure = QStringLiteral("not measured");
            return check;
        }
        const double ratio = peerOverOurs ? peer->wall() / ours : ours / peer->wall();
        check.figure = peerOverOurs
            ? QStringLiteral("%1 / ours %2 = %3x").arg(seconds(peer->wall()), seconds(ours)).arg(ratio, 0, 'f', 2)
            : QStringLiteral("ours %1 / %2 = %3x").arg(seconds(ours), seconds(peer->wall())).arg(ratio, 0, 'f', 2);
        check.verdict = (peerOverOurs ? ratio >= limit : ratio <= limit) ? Verdict::Met : Verdict::Missed;
        return check;
    };
    const auto spread = [&](const QString &tool) {
        for (const Measured &m : result.peers)
            if (m.label.startsWith(tool + QStringLiteral(" on ")))
                return m.available ? &m : nullptr;
        return static_cast<const Measured *>(nullptr);
    };
    switch (row) {
    case JpegCustomRow:
        return ratioGoal(result.peer(QStringLiteral("djpeg | cjpeg")),
                         QStringLiteral("at most 0.8 x the one-core djpeg | cjpeg loop"), false, 0.8);
    case Bmp24Row:
    case Tga24Row:
    case Pcx24Row:
        return ratioGoal(spread(QStringLiteral("GraphicsMagick")),
                         QStringLiteral("at least 3 x GraphicsMagick on both cores"), true, 3.0);
    case GifRow:
        return ratioGoal(spread(QStringLiteral("ImageMagick")),
                         QStringLiteral("at least 6 x ImageMagick on both cores"), true, 6.0);
    case Png24Row: {
        check.goal = QStringLiteral("faster than vips on both cores, bytes no more than ImageMagick's");
        const Measured *v = spread(QStringLiteral("vips"));
        const Measured *im = result.peer(QStringLiteral("ImageMagick"));
        if (!oursMeasured || !usable(v) || !usable(im)) {
            check.figure = QStringLiteral("not measured");
            return check;
        }
        check.figure = QStringLiteral("ours %1 vs %2; %3 MB vs %4 MB")
                           .arg(seconds(ours), seconds(v->wall()))
                           .arg(double(result.ours.bytes) / 1e6, 0, 'f', 1)
                           .arg(double(im->bytes) / 1e6, 0, 'f', 1);
        check.verdict = ours < v->wall() && result.ours.bytes <= im->bytes ? Verdict::Met : Verdict::Missed;
        return check;
    }
    default:
        return std::nullopt;
    }
}

RowResult measureRow(const PeerRow &row, const PeerSetup &setup, QTextStream &log)
{
    RowResult result;
    result.row = &row;
    const auto outputs = [&](const QString &folder, const QString &stem) {
        QStringList outs;
        for (qsizetype i = 0; i < setup.inputs.size(); ++i)
            outs << QStringLiteral("%1/%2%3.%4").arg(folder, stem).arg(i + 1).arg(row.extension);
        return outs;
    };
    const auto record = [&](Measured &m, const SetRun &run, const QStringList &outs) {
        m.walls.push_back(run.wall);
        m.cpus.push_back(run.cpu);
        m.failures = run.failures;
        m.bytes = bytesOf(outs);
        log << "  " << m.label << ": " << QString::number(run.wall, 'f', 2) << " s";
        if (run.failures)
            log << " (" << run.failures << " not written)";
        log << '\n';
        log.flush();
    };

    // Ours: the real program as a user runs it, then with one job.
    const auto ourArgv = [&](const QString &folder, int jobs) {
        QStringList argv{setup.converter, QStringLiteral("-q"), QStringLiteral("--overwrite"),
                         QStringLiteral("-f"), QString::number(row.row)};
        argv << row.ourOptions << QStringLiteral("-o") << folder << QStringLiteral("-n") << QStringLiteral("ours");
        if (jobs > 0)
            argv << QStringLiteral("-j") << QString::number(jobs);
        return argv << setup.inputs;
    };
    result.ours.label = QStringLiteral("Pictrove, %1 jobs (its default)").arg(setup.jobs);
    result.oursOneJob.label = QStringLiteral("Pictrove, 1 job");
    for (Measured *m : {&result.ours, &result.oursOneJob}) {
        m->available = installed(setup.converter);
        if (!m->available)
            m->missing = setup.converter + QStringLiteral(" not found");
    }

    struct PeerRuns {
        const PeerCommand *command;
        std::size_t sequential, spread; // indices into result.peers, or npos
    };
    constexpr std::size_t none = std::numeric_limits<std::size_t>::max();
    std::vector<PeerRuns> peerRuns;
    for (const PeerCommand &peer : row.peers) {
        if (peer.extra && !setup.extraPeers)
            continue;
        QStringList missing;
        QStringList needed = peer.programs;
        if (peer.usesDecoder())
            for (const QString &in : setup.inputs)
                needed << pnmDecoder(in);
        needed.removeDuplicates();
        for (const QString &program : needed)
            if (program.isEmpty() || !installed(program))
                missing << (program.isEmpty() ? QStringLiteral("a decoder for some inputs") : program);
        if (peer.pngInput && setup.pngInputs.size() != setup.inputs.size())
            missing << QStringLiteral("PNG copies of the inputs");
        Measured sequential;
        sequential.label = sequentialLabel(peer);
        sequential.available = missing.isEmpty();
        sequential.missing = missing.join(QStringLiteral(", ")) + QStringLiteral(" missing");
        PeerRuns runs{&peer, result.peers.size(), none};
        result.peers.push_back(sequential);
        if (peer.parallel) {
            Measured spread;
            spread.label = parallelLabel(peer, setup.jobs);
            spread.available = sequential.available && !setup.parallel.isEmpty();
            spread.missing = sequential.available ? QStringLiteral("GNU parallel missing") : sequential.missing;
            runs.spread = result.peers.size();
            result.peers.push_back(spread);
        }
        peerRuns.push_back(runs);
    }

    for (int round = 1; round <= setup.rounds; ++round) {
        log << row.name << ", round " << round << " of " << setup.rounds << '\n';
        if (result.ours.available) {
            for (auto [m, jobs] : {std::pair{&result.ours, 0}, std::pair{&result.oursOneJob, 1}}) {
                const QString folder = fresh(setup.outFolder + QStringLiteral("/ours"));
                const QStringList outs = outputs(folder, QStringLiteral("ours"));
                const ProcessRun p = runProcess(ourArgv(folder, jobs));
                record(*m, {p.wallSeconds, p.cpuSeconds, missingOutputs(outs)}, outs);
            }
        }
        for (const PeerRuns &runs : peerRuns) {
            const PeerCommand &peer = *runs.command;
            const QStringList &ins = peer.pngInput ? setup.pngInputs : setup.inputs;
            Measured &sequential = result.peers[runs.sequential];
            if (sequential.available) {
                const QString folder = fresh(setup.outFolder + QStringLiteral("/peer"));
                const QStringList outs = outputs(folder, QStringLiteral("peer"));
                record(sequential, runSequential(peer, ins, outs), outs);
            }
            if (runs.spread != none && result.peers[runs.spread].available) {
                const QString folder = fresh(setup.outFolder + QStringLiteral("/peer"));
                const QStringList outs = outputs(folder, QStringLiteral("peer"));
                record(result.peers[runs.spread], runParallel(setup.parallel, peer, setup.jobs, ins, outs), outs);
            }
        }
        QDir(setup.outFolder).removeRecursively();
    }
    return result;
}

void printRow(QTextStream &out, const RowResult &result, bool withBytes)
{
    out << '\n' << result.row->name << "  (pictrove-convert -f " << result.row->row;
    if (!result.row->ourOptions.isEmpty())
        out << ' ' << result.row->ourOptions.join(u' ');
    out << ")\n";
    out << QStringLiteral("  %1 %2 %3 %4\n")
               .arg(QStringLiteral("tool"), -38)
               .arg(QStringLiteral("wall s"), 8)
               .arg(QStringLiteral("CPU s"), 8)
               .arg(withBytes ? QStringLiteral("out MB") : QString(), 9);
    const auto line = [&](const Measured &m) {
        if (!m.available) {
            out << QStringLiteral("  %1 skipped: %2\n").arg(m.label, -38).arg(m.missing);
            return;
        }
        out << QStringLiteral("  %1 %2 %3 %4").arg(m.label, -38).arg(m.wall(), 8, 'f', 2).arg(m.cpu(), 8, 'f', 2)
                   .arg(withBytes ? QString::number(double(m.bytes) / 1e6, 'f', 1) : QString(), 9);
        if (m.failures)
            out << "  (" << m.failures << " files not written)";
        out << '\n';
    };
    line(result.ours);
    line(result.oursOneJob);
    for (const Measured &m : result.peers)
        line(m);
    for (const PeerCommand &peer : result.row->peers)
        if (result.peer(sequentialLabel(peer)) || !peer.extra)
            out << "    " << peer.tool << ": " << peer.text() << (peer.pngInput ? "  (reads PNG copies)" : "") << '\n';
    out.flush();
}

void printRatios(QTextStream &out, const std::vector<RowResult> &results, int jobs, double readingAlone)
{
    out << QStringLiteral("\n%1 %2  %3 %4 %5\n")
               .arg(QStringLiteral("row"), -16)
               .arg(QStringLiteral("Pictrove"), 9)
               .arg(QStringLiteral("fastest peer"), -38)
               .arg(QStringLiteral("ratio"), 7)
               .arg(QStringLiteral("%1 jobs / 1 job").arg(jobs), 16);
    for (const RowResult &r : results) {
        const Measured *fastest = r.fastestPeer();
        const bool ours = r.ours.available && !r.ours.walls.empty();
        out << QStringLiteral("%1 %2  %3 %4 %5\n")
                   .arg(r.row->name, -16)
                   .arg(ours ? seconds(r.ours.wall()) : QStringLiteral("-"), 9)
                   .arg(fastest ? QStringLiteral("%1 %2").arg(fastest->label, seconds(fastest->wall()))
                                : QStringLiteral("none measured"), -38)
                   .arg(ours && fastest ? QStringLiteral("%1x").arg(fastest->wall() / r.ours.wall(), 0, 'f', 2)
                                        : QStringLiteral("-"), 7)
                   .arg(ours && !r.oursOneJob.walls.empty()
                            ? QStringLiteral("%1x").arg(r.oursOneJob.wall() / r.ours.wall(), 0, 'f', 2)
                            : QStringLiteral("-"), 16);
    }
    out << "\ngoals\n";
    for (const RowResult &r : results) {
        const std::optional<GoalCheck> check = goalFor(r);
        if (!check)
            continue;
        const char *mark = check->verdict == Verdict::Met ? "met" : check->verdict == Verdict::Missed ? "MISSED" : "-";
        out << QStringLiteral("%1 %2 %3 %4\n").arg(r.row->name, -16).arg(check->goal, -64).arg(check->figure, -40)
                   .arg(QLatin1String(mark));
    }
    out << QStringLiteral("%1 %2 ").arg(QStringLiteral("every row"), -16)
               .arg(QStringLiteral("%1 jobs approach %1 x one job's throughput").arg(jobs), -64);
    QStringList scaling;
    for (const RowResult &r : results)
        if (!r.ours.walls.empty() && !r.oursOneJob.walls.empty())
            scaling << QStringLiteral("%1 %2x").arg(r.row->name).arg(r.oursOneJob.wall() / r.ours.wall(), 0, 'f', 2);
    out << scaling.join(QStringLiteral(", ")) << '\n';
    if (readingAlone > 0) {
        QStringList bounds;
        for (const RowResult &r : results) {
            const std::optional<GoalCheck> check = goalFor(r);
            if (!check || !check->goal.contains(QStringLiteral("GraphicsMagick")))
                continue;
            for (const Measured &m : r.peers)
                if (m.label.startsWith(QStringLiteral("GraphicsMagick on ")) && !m.walls.empty())
                    bounds << QStringLiteral("%1 %2x").arg(r.row->name).arg(m.wall() / readingAlone, 0, 'f', 2);
        }
        out << QStringLiteral("%1 %2 %3\n")
                   .arg(QStringLiteral("reading alone"), -16)
                   .arg(QStringLiteral("the corpus read through %1 decoder processes, nothing written: %2")
                            .arg(jobs).arg(seconds(readingAlone)), -64)
                   .arg(bounds.isEmpty() ? QString()
                                         : QStringLiteral("so against GraphicsMagick on both cores we reach at most ")
                                 + bounds.join(QStringLiteral(", ")));
    }
    out.flush();
}

} // namespace pictrove::bench
