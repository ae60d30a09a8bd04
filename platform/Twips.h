#pragma once

namespace pictrove {

// Twips are 1/1440 inch. Layout logic keeps twips and converts at the
// widget edge through these factors, taken from the primary screen's
// logical DPI (15 at 96 DPI). Tests fix them with setTwipsPerPixel.
double twipsPerPixelX();
double twipsPerPixelY();

// Overrides the screen's factors; a value <= 0 returns to the screen's.
void setTwipsPerPixel(double x, double y);

} // namespace pictrove
