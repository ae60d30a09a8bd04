#pragma once

#include "platform/Rounding.h"
#include "platform/Twips.h"

#include <QPointF>
#include <QRect>
#include <QRectF>
#include <QSize>
#include <QSizeF>

namespace pictrove {

// Logic keeps twips; widgets work in pixels. Rectangles convert edge by
// edge, so that panes laid side by side in twips share their pixel edges
// and a pane that ends at the container's edge ends there in pixels too.
inline int toPixelsX(double twips) { return int(roundHalfEven(twips / twipsPerPixelX())); }
inline int toPixelsY(double twips) { return int(roundHalfEven(twips / twipsPerPixelY())); }

inline QRect toPixels(const QRectF &twips)
{
    const int left = toPixelsX(twips.left());
    const int top = toPixelsY(twips.top());
    return QRect(left, top, toPixelsX(twips.left() + twips.width()) - left,
                 toPixelsY(twips.top() + twips.height()) - top);
}

inline QSizeF toTwips(QSize pixels)
{
    return QSizeF(pixels.width() * twipsPerPixelX(), pixels.height() * twipsPerPixelY());
}

inline QPointF toTwips(QPointF pixels)
{
    return QPointF(pixels.x() * twipsPerPixelX(), pixels.y() * twipsPerPixelY());
}

} // namespace pictrove
