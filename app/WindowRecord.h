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

// The size a stored placement gives the window on a screen whose free area
// is `available` pixels: never more than the screen (a damaged file or a
// larger monitor used before must not leave the window's right part out of
// reach), never less than one pixel (the minimum-size rule of the layout
// raises the small end). An empty `available` means no screen is known.
QSize restoredOuterSize(int widthTwips, int heightTwips, QSize available);

} // namespace pictrove
