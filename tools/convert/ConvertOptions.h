#pragma once

#include "decoding/ResizeTarget.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace pictrove::convert {

// The command line as given, before the catalogue gives the texts a meaning.
struct ConvertOptions {
    QStringList inputs;
    QString format = QStringLiteral("7");
    QString output;
    QString name = QStringLiteral("Sample");
    bool overwrite = false;
    std::optional<QString> map;
    std::optional<QString> dither;
    bool greyscale = false;
    bool flipH = false;
    bool flipV = false;
    bool invert = false;
    bool interlaced = false;
    bool stripMetadata = false; // no EXIF or XMP of the sources in the written files
    std::optional<int> quality; // 1..100
    ResizeSetting resize;       // --resize and --enlarge; Original when not given
    bool quiet = false;
    int jobs = 0; // files converted at once; 0: one per processor
};

struct ParsedCommandLine {
    enum class Action { Run, Help, Version, UsageError, ListFormats };
    Action action = Action::UsageError;
    ConvertOptions options;
    QString error; // for UsageError
};

// Parses the arguments after the program name. Checks what needs no
// catalogue: known options, required values, the quality range, the
// destination folder's existence, at least one input.
ParsedCommandLine parseCommandLine(const QStringList &arguments);

QString usageText();

// --resize's value: "WxH" (fit in the box), "N" (longest side) or "N%";
// nothing when it is none of these or out of range.
std::optional<ResizeSetting> parseResize(const QString &text);

} // namespace pictrove::convert
