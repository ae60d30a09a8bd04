#pragma once

#include "engine/palette/RowProgress.h"

#include <QImage>

// Small helpers shared by the dither loops.
namespace pictrove::dither_rows {

inline int clamp255(int v) { return v < 0 ? 0 : v > 255 ? 255 : v; }

// Row y is finished. Waiters hear of every 16th row only: waking another
// thread per row would cost more than it saves. The last rows arrive with
// RowProgress::finish().
inline void rowDone(RowProgress *progress, int y)
{
    if (progress && (y + 1) % 16 == 0)
        progress->publish(y + 1);
}

template <class Q>
typename Q::Code *targetLine(QImage &target, int y)
{
    return reinterpret_cast<typename Q::Code *>(target.scanLine(y));
}

} // namespace pictrove::dither_rows
