#include "selection/FitSize.h"

#include "platform/Rounding.h"

namespace pictrove {

QSize FitSize(int imageWidth, int imageHeight, int boxWidth, int boxHeight)
{
    if (boxWidth >= imageWidth && boxHeight >= imageHeight)
        return {imageWidth, imageHeight};
    if (imageWidth <= 0 || imageHeight <= 0) // a ratio would divide by zero
        return {0, 0};
    const float rx = float(boxWidth) / float(imageWidth);
    const float ry = float(boxHeight) / float(imageHeight);
    if (rx >= ry)
        return {int(roundHalfEven(double(imageWidth) * double(ry))), boxHeight};
    return {boxWidth, int(roundHalfEven(double(rx) * double(imageHeight)))};
}

} // namespace pictrove
