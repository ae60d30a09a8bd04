#pragma once

#include <QIcon>
#include <QImage>

namespace pictrove {

// The product picture of the splash and about windows: 480 x 240 pixels,
// 24-bit colour.
QImage productPicture();

// The program's icon (the same artwork as the installed desktop icon).
QIcon productIcon();

// A small picture-file icon (a framed landscape) for file types the icon
// theme has no icon for.
QIcon genericPictureIcon();

} // namespace pictrove
