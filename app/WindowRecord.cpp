#include "app/WindowRecord.h"

#include "platform/Rounding.h"
#include "platform/Twips.h"
#include "settings/StartupSettings.h"

namespace pictrove {

void storeWindowPlacement(StartupSettings &settings, WindowShow show, QSize outerPixels)
{
    switch (show) {
    case WindowShow::Normal:
        settings.WindowHeight = std::int32_t(roundHalfEven(outerPixels.height() * twipsPerPixelY()));
        settings.WindowWidth = std::int32_t(roundHalfEven(outerPixels.width() * twipsPerPixelX()));
        settings.Maximized = 0;
        break;
    case WindowShow::Maximized:
        settings.Maximized = -1;
        break;
    case WindowShow::Minimized:
        break;
    }
}

QSize outerPixelsFromTwips(int widthTwips, int heightTwips)
{
    return QSize(int(roundHalfEven(widthTwips / twipsPerPixelX())),
                 int(roundHalfEven(heightTwips / twipsPerPixelY())));
}

QSize restoredOuterSize(int widthTwips, int heightTwips, QSize available)
{
    QSize size = outerPixelsFromTwips(widthTwips, heightTwips);
    if (!available.isEmpty())
        size = size.boundedTo(available);
    return size.expandedTo(QSize(1, 1));
}

} // namespace pictrove
