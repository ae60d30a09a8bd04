#include "selection/Decoders.h"

namespace pictrove {

LoadResult loadFailure(const QString &reason)
{
    LoadResult result;
    result.error = reason;
    return result;
}

LoadResult decodeRoute(const LoaderRoute &route, const QString &path, QStringView extension,
                       const DecodeLimits &limits)
{
    switch (route.kind) {
    case DecoderKind::DevIL:
        return decodeWithDevil(path, extension, limits);
    case DecoderKind::FreeImage:
        return decodeWithFreeImage(path, route.freeImageFormat, route.flags, limits);
    case DecoderKind::FreeImageDetected:
        return decodeWithFreeImageDetected(path, limits);
    case DecoderKind::DcxFirstPage:
        return decodeDcxFirstPage(path, limits);
    case DecoderKind::Platform:
        return decodeWithPlatform(path, extension, limits);
    case DecoderKind::None:
        break;
    }
    return loadFailure(QStringLiteral("no loader reads files of this type"));
}

LoadResult decodeInProcess(const QString &path, QStringView extension, LoaderTable table,
                           const DecodeLimits &limits)
{
    LoadResult first = decodeRoute(routeFor(table, extension), path, extension, limits);
    if (first.ok)
        return first;
    // A listed file that one library cannot read may still be readable by the
    // other table's library; trying it costs only the failed file.
    const LoaderRoute fallback = fallbackRouteFor(table, extension);
    if (fallback.kind == DecoderKind::None)
        return first;
    LoadResult second = decodeRoute(fallback, path, extension, limits);
    return second.ok ? second : first;
}

} // namespace pictrove
