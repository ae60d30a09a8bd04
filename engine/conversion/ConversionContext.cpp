#include "engine/conversion/ConversionContext.h"

#include <QCoreApplication>
#include <QCursor>
#include <QGuiApplication>

namespace pictrove {

ConversionContext::ConversionContext(OutputSettingsController &options, ConversionHooks hooks)
    : options(options), hooks(std::move(hooks))
{
}

ConversionContext::~ConversionContext() = default;

ConversionHooks interactiveHooks(std::function<void(const QString &)> status)
{
    ConversionHooks hooks;
    hooks.status = std::move(status);
    hooks.yield = [] { QCoreApplication::processEvents(); };
    hooks.beginWait = [] { QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor)); };
    hooks.endWait = [] { QGuiApplication::restoreOverrideCursor(); };
    return hooks;
}

const char *StageTimes::name(Stage stage)
{
    switch (stage) {
    case Load: return "load (decode + hand-over)";
    case Palette: return "PaletteEncoder (reduce + write BMP/GIF)";
    case Reload: return "FreeImage bitmap (BMP read back / in memory)";
    case LibrarySave: return "FreeImage writes the target";
    case PcxDraw: return "PCX: draw into the optimized surface";
    case PcxWrite: return "PCX: the writer";
    case Jpeg: return "JPEG (convert + write)";
    case Show: return "show the written file";
    case Count: break;
    }
    return "";
}

} // namespace pictrove
