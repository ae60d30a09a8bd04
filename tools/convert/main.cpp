// pictrove-convert: converts image files into one catalogue format from the
// command line, through the same options and batch worker as the window.
#include "platform/QuietStart.h"
#include "engine/conversion/LargeImageMemory.h"
#include "tools/convert/ConvertOptions.h"
#include "tools/convert/ConvertRun.h"
#include "tools/convert/FormatListing.h"

#include <QGuiApplication>
#include <QTextStream>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace {

// The first interruption ends the run after the file under way, so that no
// work file is left behind; a second one ends it at once.
void stopAfterThisFile(int) { pictrove::convert::requestStop(); }

void stopCleanlyOnInterruption()
{
    struct sigaction action {};
    action.sa_handler = stopAfterThisFile;
    action.sa_flags = SA_RESTART | SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    for (const int number : {SIGINT, SIGTERM, SIGHUP})
        sigaction(number, &action, nullptr);
}

} // namespace

int main(int argc, char *argv[])
{
    using namespace pictrove::convert;
    pictrove::restartForPictureWork(argv);
    pictrove::keepLargeImageBuffers();
    // Pictures are drawn into surfaces, never onto a screen: whatever
    // platform the session names for Qt programs, no display is needed (a
    // script may run over ssh or from cron). The decoder inherits this.
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    pictrove::dropRuntimeFolderWarning();
    QGuiApplication app(argc, argv);
    QGuiApplication::setApplicationName(QStringLiteral("pictrove-convert"));
    QGuiApplication::setApplicationVersion(QStringLiteral(PICTROVE_VERSION));

    QTextStream out(stdout);
    QTextStream errors(stderr);
    const ParsedCommandLine parsed = parseCommandLine(QCoreApplication::arguments().mid(1));
    switch (parsed.action) {
    case ParsedCommandLine::Action::Help:
        out << usageText();
        return ExitAllWritten;
    case ParsedCommandLine::Action::Version:
        out << "pictrove-convert " << PICTROVE_VERSION << '\n';
        return ExitAllWritten;
    case ParsedCommandLine::Action::ListFormats:
        out << formatListing();
        return ExitAllWritten;
    case ParsedCommandLine::Action::UsageError:
        errors << "pictrove-convert: " << parsed.error << "\n\n" << usageText();
        return ExitUsage;
    case ParsedCommandLine::Action::Run:
        break;
    }
    RunOutput output{out, errors, isatty(STDERR_FILENO) == 1};
    stopCleanlyOnInterruption();
    return runConversion(parsed.options, output);
}
