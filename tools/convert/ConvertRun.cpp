#include "tools/convert/ConvertRun.h"

#include "engine/catalogue/FormatCatalogue.h"
#include "workflow/options/OutputSettingsController.h"
#include "engine/conversion/BatchOutputName.h"
#include "engine/conversion/BatchWorker.h"
#include "engine/conversion/ConversionContext.h"
#include "engine/conversion/SourcePrefetch.h"
#include "selection/PictureListFile.h"

#include <QFileInfo>

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

struct Entry {
    QString path;
    QString failure; // set: reported as failed, takes no position
};

// The inputs in basket order. A picture list adds its entries; as opening it
// in the window does, entries whose files are gone are left out (and
// reported here). Plain inputs that do not exist are left out the same way,
// so positions count the pictures a basket could hold.
std::vector<Entry> expandInputs(const QStringList &inputs)
{
    std::vector<Entry> entries;
    for (const QString &input : inputs) {
        if (picturelist::isPictureList(input)) {
            QString error;
            const auto paths = picturelist::read(input, &error);
            if (!paths) {
                entries.push_back({input, QStringLiteral("cannot read the picture list: ") + error});
                continue;
            }
            for (const QString &path : *paths) {
                if (QFileInfo(path).isFile())
                    entries.push_back({path, {}});
                else
                    entries.push_back({path, QStringLiteral("listed in %1 but no longer exists").arg(input)});
            }
        } else if (QFileInfo(input).isFile()) {
            entries.push_back({input, {}});
        } else {
            entries.push_back({input, QFileInfo::exists(input) ? QStringLiteral("not a file")
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
    if (options.quality && choice.row != LastJpegRow)
        return refuse("--quality", "only \"JPEG - Custom Quality ..\" takes a custom quality");

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
        const QStringList dithers = itemTexts(ditherOptions());
        choice.dither = pickItem(dithers, *options.dither);
        if (!choice.dither) {
            *error = QStringLiteral("unknown dither \"%1\": choose one of %2").arg(*options.dither, quotedList(dithers));
            return std::nullopt;
        }
    }
    if (options.greyscale)
        choice.colorMode = 1;
    choice.customJpegQuality = options.quality.value_or(60);
    choice.interlaced = options.interlaced;
    choice.flipHorizontal = options.flipH;
    choice.flipVertical = options.flipV;
    choice.invert = options.invert;
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

    OutputSettingsController controller;
    // No preview to encode here: a JPEG preset's quality goes straight to
    // JpegQuality, where the window's preview encode would have put it.
    controller.reencodeJpeg = [&controller](int quality) { controller.settings.JpegQuality = quality; };
    controller.fillOptionLists(std::int16_t(*choice->customJpegQuality));
    controller.applyChoice(*choice);
    if (choice->dither && *choice->dither != 0 && !controller.cboDither.enabled) {
        output.errors << "pictrove-convert: --dither: the colour map chosen takes no dithering\n";
        output.errors.flush();
        return ExitUsage;
    }

    ConversionContext context(controller.encodingOptions());
    const OutputSettings &settings = controller.settings;
    const bool jpeg = isJpegRow(choice->row);
    const std::uint8_t overwrite = options.overwrite ? 1 : 0;

    const std::vector<Entry> entries = expandInputs(options.inputs);
    RunSummary summary;
    ProgressBar progress(output.errors, output.showProgress, std::int64_t(entries.size()));
    auto report = [&](const FileResult &result) {
        progress.clear();
        switch (result.status) {
        case FileStatus::Written:
            ++summary.written;
            if (!options.quiet)
                output.out << "written " << result.path << '\n';
            break;
        case FileStatus::Skipped:
            ++summary.skipped;
            if (!options.quiet)
                output.out << "skipped " << result.path << ": " << result.reason << '\n';
            break;
        case FileStatus::Failed:
            ++summary.failed;
            if (!options.quiet)
                output.out << "failed " << result.path << ": " << result.reason << '\n';
            break;
        }
        output.out.flush();
    };

    // The next picture is decoded (in the decoder process) while the current
    // one is encoded.
    SourcePrefetch prefetch;
    auto prefetchAfter = [&entries, &prefetch](std::size_t index) {
        for (std::size_t next = index + 1; next < entries.size(); ++next) {
            if (entries[next].failure.isEmpty()) {
                prefetch.start(entries[next].path);
                return;
            }
        }
    };
    prefetchAfter(std::size_t(-1));

    std::int64_t position = 0;
    std::size_t done = 0;
    for (std::size_t i = 0; i < entries.size() && !stopRequested.load(); ++i, ++done) {
        const Entry &entry = entries[i];
        progress.show(std::int64_t(i));
        if (!entry.failure.isEmpty()) {
            report(FileResult::failed(entry.path, entry.failure));
            continue;
        }
        ++position;
        const QString target = batchOutputPath(options.output, options.name, position, settings.Extension);
        if (!options.overwrite && QFileInfo::exists(target)) {
            // Nothing to decode for a file that will be left alone.
            if (prefetch.pending() == entry.path)
                prefetchAfter(i);
            report(FileResult::skipped(target, QStringLiteral("a file of that name exists")));
            continue;
        }
        const LoadResult loaded = prefetch.take(entry.path);
        prefetchAfter(i);
        AdoptBatchSource(context, entry.path, loaded);
        report(jpeg ? EncodeBatchJpeg(context, target, settings.JpegQuality, overwrite)
                    : EncodeBatchImage(context, target, overwrite));
    }
    progress.clear();
    const std::size_t left = entries.size() - done;
    if (left > 0) {
        output.errors << "pictrove-convert: stopped; " << left << " input(s) not converted\n";
        output.errors.flush();
    }
    output.out << summary.written << " written, " << summary.skipped << " skipped, " << summary.failed
               << " failed\n";
    output.out.flush();
    if (summaryOut)
        *summaryOut = summary;
    return summary.skipped == 0 && summary.failed == 0 && left == 0 ? ExitAllWritten
                                                                    : ExitSomeNotWritten;
}

void requestStop() noexcept { stopRequested.store(true); }

} // namespace pictrove::convert
