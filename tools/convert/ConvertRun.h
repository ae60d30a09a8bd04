#pragma once

#include "tools/convert/ConvertOptions.h"

#include <QString>
#include <QTextStream>

#include <cstdint>
#include <functional>
#include <optional>

namespace pictrove {
struct FormatChoice;
}

namespace pictrove::convert {

// Turns the texts of the command line into the choice the Step 2 handlers
// apply: the row by index or exact list text, the map by index or text
// within that row's map list, the dither by index or text. A usage error
// leaves the reason in error.
std::optional<FormatChoice> resolveChoice(const ConvertOptions &options, QString *error);

// Where the run reports. Per-file lines and the summary go to out, the
// progress bar (when wanted) to progress.
struct RunOutput {
    QTextStream &out;
    QTextStream &errors;
    bool showProgress = false;
};

struct RunSummary {
    std::int64_t written = 0;
    std::int64_t skipped = 0;
    std::int64_t failed = 0;
};

// Exit status: 0 when every input was written, 1 when any was skipped or
// failed, 2 on a usage error.
enum ExitCode { ExitAllWritten = 0, ExitSomeNotWritten = 1, ExitUsage = 2 };

// Converts every input in order through the batch worker, as the batch run
// would with these files in the basket.
int runConversion(const ConvertOptions &options, RunOutput &output, RunSummary *summary = nullptr);

// Asks a running conversion to stop once the file under way is finished
// (async-signal-safe: for SIGINT and SIGTERM handlers). Killing the process
// instead would leave that file's hidden work file behind.
void requestStop() noexcept;

} // namespace pictrove::convert
