#include "engine/palette/ImageQuantFailure.h"

#include <libimagequant.h>

namespace pictrove {

namespace {

QString words(int code)
{
    switch (code) {
    case LIQ_QUALITY_TOO_LOW:
        return QStringLiteral("its colours would match the picture too poorly");
    case LIQ_VALUE_OUT_OF_RANGE:
        return QStringLiteral("a setting is out of range");
    case LIQ_OUT_OF_MEMORY:
        return QStringLiteral("not enough memory");
    case LIQ_ABORTED:
        return QStringLiteral("it was stopped");
    default:
        // The rest say a call was made wrongly; the number is all there is.
        return QStringLiteral("libimagequant error %1").arg(code);
    }
}

} // namespace

QString imageQuantFailure(int code)
{
    return QStringLiteral("the optimal palette could not be made: ") + words(code);
}

} // namespace pictrove
