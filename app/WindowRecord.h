#pragma once

#include <QSize>

namespace pictrove {

struct StartupSettings;

enum class WindowShow { Normal, Minimized, Maximized };

// Form_Unload step 2: a normal window stores its outer size in twips and
// clears Maximized; a maximized one sets Maximized to -1 and keeps the size
// it had before; a minimized one changes none of the three.
void storeWindowPlacement(StartupSettings &settings, WindowShow show, QSize outerPixels);

// Start-up step 4, the other way round: the outer size in pixels for a
// stored size in twips.
QSize outerPixelsFromTwips(int widthTwips, int heightTwips);

} // namespace pictrove
