#include "tools/convert/ConvertOptions.h"

#include <QCommandLineParser>
#include <QFileInfo>
#include <QRegularExpression>

namespace pictrove::convert {

QString usageText()
{
    return QStringLiteral(
        "Usage: pictrove-convert [options] INPUT...\n"
        "Converts image files into one catalogue format, named as the batch run names them:\n"
        "DIR/TEXT<position>.<extension>.\n"
        "\n"
        "  INPUT                 image files, and picture-list files (.ripl) whose entries are taken in order\n"
        "  -f, --format ROW      catalogue row: its index 0-28 or its exact list text (default 7, \"GIF-256 Colors\")\n"
        "  -o, --output DIR      destination folder (required; must exist)\n"
        "  -n, --name TEXT       generic file name, used exactly as given (default \"Sample\")\n"
        "      --overwrite       replace existing files (default: leave them and report the entry as skipped)\n"
        "      --map ITEM        colour-map item of the row, by its text or its index in the row's map list\n"
        "      --dither ITEM     dither item, by its text or index (default \"None\")\n"
        "      --greyscale       colour mode \"Greyscale\" (default \"Colors\")\n"
        "      --flip-h, --flip-v, --invert, --interlaced\n"
        "      --quality N       quality 1-100 for \"JPEG - Custom Quality ..\" (default 60),\n"
        "                        \"WebP - Lossy\" (default 80) and \"AVIF\" (default 60)\n"
        "      --resize SIZE     resize every picture, keeping its aspect ratio: WxH fits it in W x H\n"
        "                        pixels, N makes its longer side N pixels, N% scales it (1-1000 %);\n"
        "                        pixels 1-65535; pictures are never enlarged unless --enlarge is given\n"
        "      --enlarge         let --resize enlarge pictures smaller than the size asked for\n"
        "      --strip-metadata  leave the sources' EXIF and XMP (date taken, camera, GPS position, ...)\n"
        "                        out of the written files; by default JPEG, PNG, TIFF, WebP and AVIF files keep them\n"
        "  -j, --jobs N          files converted at once (default: one per processor); names,\n"
        "                        numbers and the order of the lines are those of one job\n"
        "  -q, --quiet           no per-file lines\n"
        "      --list-formats    print each catalogue row as INDEX<tab>TEXT<tab>EXTENSION, one a line\n"
        "  -h, --help, --version\n"
        "\n"
        "Exit status: 0 when every input was written, 1 when any was skipped or failed or the run was\n"
        "interrupted (Ctrl-C: the file under way is finished first), 2 on a usage error.\n");
}

std::optional<ResizeSetting> parseResize(const QString &text)
{
    // Digits only: no sign, no blanks, no fraction, as in Step 2's fields.
    const auto number = [](QStringView digits, int most) -> std::optional<int> {
        if (digits.isEmpty() || digits.size() > 7)
            return std::nullopt;
        for (const QChar c : digits)
            if (c < QLatin1Char('0') || c > QLatin1Char('9'))
                return std::nullopt;
        const int value = digits.toInt();
        if (value < 1 || value > most)
            return std::nullopt;
        return value;
    };
    ResizeSetting s;
    if (text.endsWith(QLatin1Char('%'))) {
        const auto p = number(QStringView(text).chopped(1), maxResizePercent);
        if (!p)
            return std::nullopt;
        s.mode = ResizeMode::Percent;
        s.percent = *p;
        return s;
    }
    const qsizetype x = text.indexOf(QRegularExpression(QStringLiteral("[xX\u00d7]")));
    if (x >= 0) {
        const auto w = number(QStringView(text).left(x), maxResizePixels);
        const auto h = number(QStringView(text).mid(x + 1), maxResizePixels);
        if (!w || !h)
            return std::nullopt;
        s.mode = ResizeMode::Fit;
        s.width = *w;
        s.height = *h;
        return s;
    }
    const auto side = number(text, maxResizePixels);
    if (!side)
        return std::nullopt;
    s.mode = ResizeMode::LongestSide;
    s.side = *side;
    return s;
}

ParsedCommandLine parseCommandLine(const QStringList &arguments)
{
    ParsedCommandLine result;
    auto usageError = [&result](const QString &message) {
        result.action = ParsedCommandLine::Action::UsageError;
        result.error = message;
        return result;
    };

    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption format({QStringLiteral("f"), QStringLiteral("format")}, {}, QStringLiteral("ROW"));
    const QCommandLineOption output({QStringLiteral("o"), QStringLiteral("output")}, {}, QStringLiteral("DIR"));
    const QCommandLineOption name({QStringLiteral("n"), QStringLiteral("name")}, {}, QStringLiteral("TEXT"));
    const QCommandLineOption overwrite(QStringLiteral("overwrite"));
    const QCommandLineOption map(QStringLiteral("map"), {}, QStringLiteral("ITEM"));
    const QCommandLineOption dither(QStringLiteral("dither"), {}, QStringLiteral("ITEM"));
    const QCommandLineOption greyscale(QStringLiteral("greyscale"));
    const QCommandLineOption flipH(QStringLiteral("flip-h"));
    const QCommandLineOption flipV(QStringLiteral("flip-v"));
    const QCommandLineOption invert(QStringLiteral("invert"));
    const QCommandLineOption interlaced(QStringLiteral("interlaced"));
    const QCommandLineOption quality(QStringLiteral("quality"), {}, QStringLiteral("N"));
    const QCommandLineOption stripMetadata(QStringLiteral("strip-metadata"));
    const QCommandLineOption resize(QStringLiteral("resize"), {}, QStringLiteral("SIZE"));
    const QCommandLineOption enlarge(QStringLiteral("enlarge"));
    const QCommandLineOption quiet(QStringList{QStringLiteral("q"), QStringLiteral("quiet")});
    const QCommandLineOption jobs(QStringList{QStringLiteral("j"), QStringLiteral("jobs")},
                                  QString(), QStringLiteral("N"));
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption version(QStringLiteral("version"));
    const QCommandLineOption listFormats(QStringLiteral("list-formats"));
    parser.addOptions({format, output, name, overwrite, map, dither, greyscale, flipH, flipV, invert,
                       interlaced, quality, stripMetadata, quiet, jobs, help, version});
    parser.addOption(listFormats);
    parser.addOptions({resize, enlarge});

    // QCommandLineParser wants the program name first.
    if (!parser.parse(QStringList{QStringLiteral("pictrove-convert")} + arguments))
        return usageError(parser.errorText());
    if (parser.isSet(help)) {
        result.action = ParsedCommandLine::Action::Help;
        return result;
    }
    if (parser.isSet(version)) {
        result.action = ParsedCommandLine::Action::Version;
        return result;
    }
    // Scripts and the shell completion ask for the rows before they know
    // a destination or an input.
    if (parser.isSet(listFormats)) {
        result.action = ParsedCommandLine::Action::ListFormats;
        return result;
    }

    // A repeated option is almost certainly a mistake in a script.
    for (const QString &option : parser.optionNames()) {
        if (parser.optionNames().count(option) > 1)
            return usageError(QStringLiteral("option %1 given more than once").arg(option));
    }

    ConvertOptions &o = result.options;
    o.inputs = parser.positionalArguments();
    if (parser.isSet(format))
        o.format = parser.value(format);
    o.output = parser.value(output);
    if (parser.isSet(name))
        o.name = parser.value(name);
    o.overwrite = parser.isSet(overwrite);
    if (parser.isSet(map))
        o.map = parser.value(map);
    if (parser.isSet(dither))
        o.dither = parser.value(dither);
    o.greyscale = parser.isSet(greyscale);
    o.flipH = parser.isSet(flipH);
    o.flipV = parser.isSet(flipV);
    o.invert = parser.isSet(invert);
    o.interlaced = parser.isSet(interlaced);
    o.stripMetadata = parser.isSet(stripMetadata);
    o.quiet = parser.isSet(quiet);
    if (parser.isSet(jobs)) {
        bool ok = false;
        const int n = parser.value(jobs).toInt(&ok);
        if (!ok || n < 1 || n > 64)
            return usageError(QStringLiteral("--jobs takes a whole number from 1 to 64, not \"%1\"")
                                  .arg(parser.value(jobs)));
        o.jobs = n;
    }
    if (parser.isSet(quality)) {
        bool ok = false;
        const int q = parser.value(quality).toInt(&ok);
        if (!ok || q < 1 || q > 100)
            return usageError(QStringLiteral("--quality takes a whole number from 1 to 100, not \"%1\"")
                                  .arg(parser.value(quality)));
        o.quality = q;
    }

    if (parser.isSet(resize)) {
        const std::optional<ResizeSetting> asked = parseResize(parser.value(resize));
        if (!asked)
            return usageError(QStringLiteral("--resize takes WxH, N or N% (pixels 1 to 65535, "
                                             "percent 1 to 1000), not \"%1\"")
                                  .arg(parser.value(resize)));
        o.resize = *asked;
        o.resize.neverEnlarge = !parser.isSet(enlarge);
    } else if (parser.isSet(enlarge)) {
        return usageError(QStringLiteral("--enlarge goes with --resize"));
    }

    if (!parser.isSet(output) || o.output.isEmpty())
        return usageError(QStringLiteral("the destination folder (-o DIR) is required"));
    if (!QFileInfo(o.output).isDir())
        return usageError(QStringLiteral("the destination folder %1 does not exist").arg(o.output));
    if (o.name.contains(QLatin1Char('/')))
        return usageError(QStringLiteral("the generic name must not contain \"/\""));
    if (o.inputs.isEmpty())
        return usageError(QStringLiteral("no input files given"));

    result.action = ParsedCommandLine::Action::Run;
    return result;
}

} // namespace pictrove::convert
