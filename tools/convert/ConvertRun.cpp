#include "tools/convert/ConvertRun.h"

#include "engine/catalogue/FormatCatalogue.h"
#include "engine/catalogue/FormatChoice.h"
#include "engine/conversion/BatchRun.h"
#include "engine/conversion/ConversionContext.h"
#include "selection/PictureListFile.h"

#include <QFileInfo>
#include <QThread>

#include <atomic>

namespace pictrove::convert {

namespace {

std::atomic<bool> stopRequested{false};
static_assert(std::atomic<bool>::is_always_lock_free);

// An item chosen by its index in the list or by its exact text (letter case
// aside, when that leaves one item).
std::optional<int> pickItem(const QStringList &items, const QString &wanted)
{
    bool isNumber = false;
    const int index = wanted.toInt(&isNumber);
    if (isNumber)
        return index >= 0 && index < items.size() ? std::optional<int>(index) : std::nullopt;
    const qsizetype exact = items.indexOf(wanted);
    if (exact >= 0)
        return int(exact);
    std::optional<int> match;
    for (qsizetype i = 0; i < items.size(); ++i) {
        if (items.at(i).compare(wanted, Qt::CaseInsensitive) == 0) {
            if (match)
                return std::nullopt;
            match = int(i);
        }
    }
    return match;
}

QString quotedList(const QStringList &items)
{
    QStringList quoted;
    for (int i = 0; i < items.size(); ++i)
        quoted << QStringLiteral("%1 \"%2\"").arg(i).arg(items.at(i));
    return quoted.join(QStringLiteral(", "));
}


// The inputs in basket order. A picture list adds its entries; as opening it
// in the window does, entries whose files are gone are left out (and
// reported here). Plain inputs that do not exist are left out the same way,
// so positions count the pictures a basket could hold.
std::vector<BatchEntry> expandInputs(const QStringList &inputs)
{
    std::vector<BatchEntry> entries;
    for (const QString &input : inputs) {
        if (picturelist::isPictureList(input)) {
            QString error;
            const auto paths = picturelist::read(input, &error);
            if (!paths) {
                entries.push_back({input, QStringLiteral("cannot read the picture list: ") + error});
                continue;
            }
            for (const QString &path : *paths) {
                const QFileInfo info(path);
                if (info.isFile())
                    entries.push_back({path, {}});
                else if (info.isDir())
                    entries.push_back({path, QStringLiteral("listed in %1 but is a folder").arg(input)});
                else
                    entries.push_back({path, QStringLiteral("listed in %1 but no longer exists").arg(input)});
            }
        } else if (QFileInfo(input).isFile()) {
            entries.push_back({input, {}});
        } else {
            const QFileInfo info(input);
            entries.push_back({input, info.isDir()    ? QStringLiteral("is a folder")
                                      : info.exists() ? QStringLiteral("not a file")
                                                      : QStringLiteral("no such file")});
        }
    }
    return entries;
}

class ProgressBar {
public:
    ProgressBar(QTextStream &stream, bool enabled, std::int64_t total)
        : m_stream(stream), m_enabled(enabled && total > 0), m_total(total)
    {
    }
    void show(std::int64_t done)
    {
        if (!m_enabled)
            return;
        constexpr int Width = 30;
        const int filled = int(done * Width / m_total);
        m_stream << '\r' << '[' << QString(filled, QLatin1Char('#')) << QString(Width - filled, QLatin1Char(' '))
                 << "] " << done << '/' << m_total;
        m_stream.flush();
        m_visible = true;
    }
    // Clears the bar so that a line can be printed in its place.
    void clear()
    {
        if (!m_visible)
            return;
        m_stream << "\r\x1b[K";
        m_stream.flush();
        m_visible = false;
    }

private:
    QTextStream &m_stream;
    bool m_enabled;
    std::int64_t m_total;
    bool m_visible = false;
};

// A path or reason as the terminal gets it: control characters (a crafted
// picture list can hold ESC, BEL, line feeds) are shown escaped, never
// passed on to rewrite the user's terminal.
QString terminalSafe(const QString &text)
{
    QString safe;
    safe.reserve(text.size());
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u < 0x20 || u == 0x7f || (u >= 0x80 && u < 0xa0))
            safe += QStringLiteral("\\x%1").arg(int(u), 2, 16, QLatin1Char('0'));
        else
            safe += c;
    }
    return safe;
}

} // namespace

std::optional<FormatChoice> resolveChoice(const ConvertOptions &options, QString *error)
{
    FormatChoice choice;
    const QStringList rows = formatListTexts();
    bool isNumber = false;
    const int rowIndex = options.format.toInt(&isNumber);
    if (isNumber ? (rowIndex < 0 || rowIndex >= FormatCount) : !rows.contains(options.format)) {
        *error = QStringLiteral("unknown format \"%1\": give a row 0-%2 or its exact list text (%3)")
                     .arg(options.format).arg(FormatCount - 1).arg(quotedList(rows));
        return std::nullopt;
    }
    choice.row = isNumber ? rowIndex : int(rows.indexOf(options.format));
    const FormatRow &row = *formatRow(choice.row);
    const bool jpeg = row.kind == FormatKind::Jpeg;

    // The window shows only the controls of the row's kind; asking for a
    // hidden one is a mistake better reported than ignored.
    auto refuse = [&](const char *option, const char *why) {
        *error = QStringLiteral("%1 does not apply to \"%2\": %3")
                     .arg(QLatin1String(option), row.listText, QLatin1String(why));
        return std::nullopt;
    };
    if (jpeg) {
        if (options.map)
            return refuse("--map", "JPEG rows have no colour map");
        if (options.dither)
            return refuse("--dither", "JPEG rows have no dithering");
        if (options.greyscale)
            return refuse("--greyscale", "JPEG rows have no colour mode");
        if (options.flipH || options.flipV || options.invert)
            return refuse("--flip-h/--flip-v/--invert", "JPEG rows apply no flips or inversion");
    }
    if (options.interlaced && !row.interlaceShown())
        return refuse("--interlaced", "only GIF rows are interlaced");
    if (options.quality && choice.row != LastJpegRow && !row.hasWebQuality())
        return refuse("--quality", "only \"JPEG - Custom Quality ..\", \"WebP - Lossy\" and \"AVIF\" take a quality");
    if (row.kind == FormatKind::Web) {
        if (options.map)
            return refuse("--map", "WebP and AVIF rows have no colour map");
        if (options.dither)
            return refuse("--dither", "WebP and AVIF rows have no dithering");
    }

    if (options.map) {
        QStringList maps;
        for (const MapItem &item : row.mapItems)
            maps << item.text;
        choice.map = pickItem(maps, *options.map);
        if (!choice.map) {
            *error = QStringLiteral("unknown colour map \"%1\" for \"%2\": choose one of %3")
                         .arg(*options.map, row.listText, quotedList(maps));
            return std::nullopt;
        }
    }
    if (options.dither) {
        const QStringList dithers = itemTexts(ditherItems);
        choice.dither = pickItem(dithers, *options.dither);
        if (!choice.dither) {
            *error = QStringLiteral("unknown dither \"%1\": choose one of %2").arg(*options.dither, quotedList(dithers));
            return std::nullopt;
        }
    }
    if (options.greyscale)
        choice.colorMode = 1;
    choice.customJpegQuality = options.quality.value_or(60);
    choice.webQuality = options.quality; // unset: the row's own default
    choice.interlaced = options.interlaced;
    choice.flipHorizontal = options.flipH;
    choice.flipVertical = options.flipV;
    choice.invert = options.invert;
    // Accepted with every row, also those whose files hold no metadata, so
    // that a script can always ask for it.
    choice.keepMetadata = !options.stripMetadata;
    choice.resize = options.resize;
    return choice;
}

int runConversion(const ConvertOptions &options, RunOutput &output, RunSummary *summaryOut)
{
    QString error;
    const std::optional<FormatChoice> choice = resolveChoice(options, &error);
    if (!choice) {
        output.errors << "pictrove-convert: " << error << '\n';
        output.errors.flush();
        return ExitUsage;
    }

    const ChosenOptions chosen = encodingOptionsFor(*choice);
    if (choice->dither && *choice->dither != 0 && chosen.ditherLocked) {
        output.errors << "pictrove-convert: --dither: the colour map chosen takes no dithering\n";
        output.errors.flush();
        return ExitUsage;
    }

    BatchJob job;
    job.entries = expandInputs(options.inputs);
    job.destination = options.output;
    job.genericName = options.name;
    job.options = chosen.options;
    job.jpeg = isJpegRow(choice->row);
    job.overwrite = options.overwrite;
    job.workers = options.jobs > 0 ? options.jobs : std::max(1, QThread::idealThreadCount());

    ProgressBar progress(output.errors, output.showProgress, std::int64_t(job.entries.size()));
    std::int64_t reported = 0;
    BatchCallbacks callbacks;
    callbacks.stopRequested = [] { return stopRequested.load(); };
    callbacks.finished = [&](std::size_t, const FileResult &result) {
        progress.clear();
        if (!options.quiet) {
            switch (result.status) {
            case FileStatus::Written:
                output.out << "written " << terminalSafe(result.path) << '\n';
                if (!result.warning.isEmpty())
                    output.out << "warning " << terminalSafe(result.source) << ": "
                               << terminalSafe(result.warning) << '\n';
                break;
            case FileStatus::Skipped:
                output.out << "skipped " << terminalSafe(result.path) << ": "
                           << terminalSafe(result.reason) << '\n';
                break;
            case FileStatus::Failed:
                output.out << "failed " << terminalSafe(result.path) << ": "
                           << terminalSafe(result.reason) << '\n';
                break;
            }
            output.out.flush();
        }
        progress.show(++reported);
    };
    const BatchSummary summary = runBatch(job, callbacks);
    progress.clear();
    if (summary.notStarted > 0) {
        output.errors << "pictrove-convert: stopped; " << summary.notStarted
                      << " input(s) not converted\n";
        output.errors.flush();
    }
    output.out << summary.written << " written, " << summary.skipped << " skipped, "
               << summary.failed << " failed\n";
    output.out.flush();
    if (summaryOut)
        *summaryOut = {summary.written, summary.skipped, summary.failed};
    return summary.skipped == 0 && summary.failed == 0 && summary.notStarted == 0
               ? ExitAllWritten
               : ExitSomeNotWritten;
}

void requestStop() noexcept { stopRequested.store(true); }

} // namespace pictrove::convert
