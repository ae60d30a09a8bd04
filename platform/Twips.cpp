#include "platform/Twips.h"

#include <QGuiApplication>
#include <QScreen>

namespace pictrove {
namespace {
double overrideX = 0;
double overrideY = 0;

double fromScreen(bool horizontal)
{
    const QScreen *screen = qobject_cast<QGuiApplication *>(QCoreApplication::instance())
                                ? QGuiApplication::primaryScreen()
                                : nullptr;
    const double dpi = screen ? (horizontal ? screen->logicalDotsPerInchX()
                                            : screen->logicalDotsPerInchY())
                              : 96.0;
    return dpi > 0 ? 1440.0 / dpi : 15.0;
}
} // namespace

double twipsPerPixelX() { return overrideX > 0 ? overrideX : fromScreen(true); }
double twipsPerPixelY() { return overrideY > 0 ? overrideY : fromScreen(false); }

void setTwipsPerPixel(double x, double y)
{
    overrideX = x;
    overrideY = y;
}

} // namespace pictrove
