#include "decoding/PictureLoader.h"

#include "decoding/CancelToken.h"
#include "decoding/Decoders.h"
#include "decoding/DecoderSandbox.h"
#include "decoding/ImageExtensions.h"

#include <atomic>
#include <mutex>

namespace pictrove {

namespace {
std::atomic<LoaderMode> currentMode{LoaderMode::Sandboxed};
// Neither library may decode on two threads at once in this process.
std::mutex inProcessDecodes;
}

void setLoaderMode(LoaderMode mode) { currentMode = mode; }
LoaderMode loaderMode() { return currentMode; }

LoadResult loadPicture(const QString &path, LoaderTable table)
{
    return loadPicture(path, lowerExtensionOf(path), table);
}

LoadResult loadPicture(const QString &path, const QString &extension, LoaderTable table,
                       const CancelToken *cancel, DecoderSandbox *decoder,
                       const ResizeSetting &resize)
{
    const QString ext = extension.toLower();
    if (routeFor(table, ext).kind == DecoderKind::None)
        return loadFailure(QStringLiteral("no loader reads files of this type"));
    if (currentMode == LoaderMode::InProcess) {
        std::lock_guard lock(inProcessDecodes);
        if (cancel && cancel->cancelled())
            return cancelledLoad();
        DecodeLimits limits;
        limits.resize = resize;
        return decodeInProcess(path, ext, table, limits);
    }
    return (decoder ? *decoder : DecoderSandbox::shared()).load(path, ext, table, cancel, resize);
}

QImage LoadImageBitmap(const QString &path, const QString &extension,
                       ImageDescription &description)
{
    LoadResult result = loadPicture(path, extension, LoaderTable::Preview);
    if (!result.ok)
        return {};
    description = {result.image.width(), result.image.height(), result.depth};
    return std::move(result.image);
}

} // namespace pictrove
