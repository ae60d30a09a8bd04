#pragma once

// The corpus through pictrove-convert beside the programs people use for
// the same conversions, each one process per file, in turn and spread over
// the cores with GNU parallel; medians of interleaved rounds, the ratios and
// whether they reach the speed goals.
#include "ProcessRun.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

class QTextStream;

namespace pictrove::bench {

// A peer's command for one file. argv words, or an sh script when it is a
// pipeline; %in, %out and %dec (the netpbm-style decoder that writes the
// input to standard output) stand for the file's names.
struct PeerCommand {
    QString tool;          // "ImageMagick", "GraphicsMagick", ...
    QStringList argv;      // empty when script is used
    QString script;
    QStringList programs;  // what must be installed
    bool pngInput = false; // reads a PNG copy of each picture, made beforehand
    bool parallel = true;  // also spread over the cores
    bool extra = false;    // beyond the table the goals need: run only when asked

    bool usesDecoder() const { return script.contains(QLatin1String("%dec")); }
    // How it reads in the printed table: the command as typed.
    QString text() const;
};

// One row of the table: the catalogue row and the options pictrove-convert
// gets beside its -f, and the peers that do the same.
struct PeerRow {
    int row = 0;
    QString name;
    QStringList ourOptions;
    QString extension;
    std::vector<PeerCommand> peers;
};

inline constexpr int GifRow = 7, Bmp24Row = 12, Png8Row = 13, Png24Row = 14, JpegCustomRow = 20,
                     Pcx24Row = 22, Tga24Row = 24, TiffRow = 25;

// The table's rows: GIF-256 with Binary dither, PNG-8, PNG-24, JPEG q60,
// BMP-24, TGA-24, PCX-24, TIFF.
const std::vector<PeerRow> &peerRows();
const PeerRow *peerRow(int row);

// The program that writes a picture of this name to standard output as
// PNM or JPEG's own decoder's output (djpeg for JPEG, netpbm's for the
// rest), or empty when none is known.
QString pnmDecoder(const QString &path);

// The argv of one file's run, and of a whole set through GNU parallel with
// `jobs` at once (its inputs, outputs and decoders linked column by column).
QStringList fileArgv(const PeerCommand &peer, const QString &in, const QString &out);
QStringList parallelArgv(const QString &parallel, const PeerCommand &peer, int jobs,
                         const QStringList &ins, const QStringList &outs);

// A tool's run over the set: the medians of its rounds.
struct Measured {
    QString label;
    bool available = false;
    QString missing;       // why not, when unavailable
    std::vector<double> walls, cpus;
    qint64 bytes = 0;      // written by the last round
    int failures = 0;      // of the last round
    double wall() const { return median(walls); }
    double cpu() const { return median(cpus); }
};

// One tool run over a set of files, one process per file in turn, or through
// GNU parallel: time, CPU and failures (files not written).
struct SetRun {
    double wall = 0, cpu = 0;
    int failures = 0;
};
SetRun runSequential(const PeerCommand &peer, const QStringList &ins, const QStringList &outs);
SetRun runParallel(const QString &parallel, const PeerCommand &peer, int jobs, const QStringList &ins,
                   const QStringList &outs);

// The whole size of the files.
qint64 bytesOf(const QStringList &paths);

// A row measured: ours with the default jobs and with one, then each peer
// in turn and on both cores.
struct RowResult {
    const PeerRow *row = nullptr;
    Measured ours, oursOneJob;
    std::vector<Measured> peers;
    const Measured *peer(const QString &label) const;
    const Measured *fastestPeer() const;
};

enum class Verdict { Met, Missed, NotMeasured };

struct GoalCheck {
    QString goal;    // what the goal asks
    QString figure;  // what was measured
    Verdict verdict = Verdict::NotMeasured;
};

// The speed goal of a row, when it has one.
std::optional<GoalCheck> goalFor(const RowResult &result);

// Labels of the peers' runs.
QString sequentialLabel(const PeerCommand &peer);
QString parallelLabel(const PeerCommand &peer, int jobs);

// Everything the row runs need.
struct PeerSetup {
    QString converter;        // pictrove-convert
    QString parallel;         // GNU parallel, or empty
    int jobs = 2;             // the converter's default and parallel's -j
    int rounds = 3;
    QStringList inputs;
    QStringList pngInputs;    // the same pictures as PNG, for peers that read only PNG
    QString outFolder;
    bool extraPeers = false;  // also the peers marked extra
};

// Runs a row: rounds of ours with its default jobs, ours with one job and
// every available peer in turn and spread, in that order, again and again.
RowResult measureRow(const PeerRow &row, const PeerSetup &setup, QTextStream &log);

// The per-row block and the closing table of ratios and goals.
void printRow(QTextStream &out, const RowResult &result, bool withBytes);
// readingAlone: the wall time of reading the corpus through one decoder
// process per job, writing nothing (0 when not measured): the ratio a row
// can reach against a peer is at most the peer's time over it, and is
// printed as that bound beside the GraphicsMagick rows.
void printRatios(QTextStream &out, const std::vector<RowResult> &results, int jobs,
                 double readingAlone = 0);

} // namespace pictrove::bench
