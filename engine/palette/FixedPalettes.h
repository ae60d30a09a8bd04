#pragma once

#include <QRgb>

#include <vector>

// The fixed colour maps. Each function returns the colours in table order;
// callers pad the table to the file's 2^depth entries.
namespace pictrove::palettes {

using Palette = std::vector<QRgb>;

// Black, white: the Windows monochrome palette.
Palette windowsMonochrome();
// The 16 standard Windows colours in Windows table order.
Palette windows16();
// The 20 reserved Windows system colours (first ten, then last ten).
Palette windowsStatic20();
// Windows' 256-entry halftone palette as we build it: the 20 system colours
// in entries 0-9 and 246-255, the 6x6x6 cube between them, then greys.
Palette windowsHalftone256();
// The Windows 256-colour system palette as we build it: the 20 system
// colours in entries 0-9 and 246-255 and a 6-7-5 lattice with greys between.
Palette windowsSystem256();
// The 16 IBM VGA text-mode colours in VGA order.
Palette vga16();
// The 216 web-safe colours: every mix of 0x00, 0x33, .. 0xFF.
Palette webSafe216();
// count evenly spaced greys from black to white (count >= 2).
Palette fixedGrey(int count);
// An evenly spread lattice of at most maxColours colours (maxColours >= 2).
Palette fixedColourLattice(int maxColours);

} // namespace pictrove::palettes
