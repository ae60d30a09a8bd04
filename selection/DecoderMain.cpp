// pictrove-decoder: reads picture files for the program in a process of its
// own, so that a decoder library that crashes, loops or exhausts memory on a
// hostile file takes down only this helper. Serves requests on fd 3 until the
// program closes its end.
#include "selection/DecoderProtocol.h"
#include "selection/Decoders.h"

#include <QByteArray>
#include <QFile>
#include <QGuiApplication>

#include <sys/resource.h>

#include <algorithm>

namespace proto = pictrove::decoderprotocol;
using namespace pictrove;

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool capAddressSpace = false; // the sanitizer reserves terabytes of shadow memory
#else
constexpr bool capAddressSpace = true;
#endif

void limitAddressSpace()
{
    const rlim_t cap = rlim_t(4) << 30;
    rlimit limit{};
    if (capAddressSpace && ::getrlimit(RLIMIT_AS, &limit) == 0 && limit.rlim_cur > cap) {
        limit.rlim_cur = cap;
        ::setrlimit(RLIMIT_AS, &limit);
    }
}

bool reply(const LoadResult &result)
{
    proto::ReplyHeader header;
    const QByteArray error = result.error.left(1000).toUtf8();
    header.errorBytes = std::uint32_t(error.size());
    QImage image;
    if (result.ok) {
        const bool alpha = result.image.hasAlphaChannel();
        image = result.image.convertToFormat(alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
        header.ok = image.isNull() ? 0 : 1;
        header.width = image.width();
        header.height = image.height();
        header.depth = result.depth;
        header.format = alpha ? proto::PixelFormat::Argb32 : proto::PixelFormat::Rgb32;
    }
    const int fd = proto::channelFd;
    return proto::writeFully(fd, &header, sizeof header)
        && proto::writeFully(fd, error.constData(), std::size_t(error.size()))
        && (!header.ok
            || proto::writeFully(fd, image.constBits(), std::size_t(image.sizeInBytes())));
}

} // namespace

int main(int argc, char **argv)
{
    limitAddressSpace();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen"); // metafiles are drawn, never shown
    // Qt's start-up notes would only clutter the program's terminal.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    QGuiApplication app(argc, argv);

    const int fd = proto::channelFd;
    for (;;) {
        proto::RequestHeader request;
        if (!proto::readFully(fd, &request, sizeof request))
            return 0; // the program closed its end
        if (request.magic != proto::requestMagic || request.pathBytes > proto::maxPathBytes
            || request.extensionBytes > 64 || request.table > 1)
            return 2;
        QByteArray path(qsizetype(request.pathBytes), Qt::Uninitialized);
        QByteArray ext(qsizetype(request.extensionBytes), Qt::Uninitialized);
        if (!proto::readFully(fd, path.data(), std::size_t(path.size()))
            || !proto::readFully(fd, ext.data(), std::size_t(ext.size())))
            return 2;
        DecodeLimits limits;
        limits.maxPixels = std::clamp<std::int64_t>(request.maxPixels, 1, limits.maxPixels);
        const LoadResult result = decodeInProcess(QFile::decodeName(path), QString::fromUtf8(ext),
                                                  LoaderTable(request.table), limits);
        if (!reply(result))
            return 0;
    }
}
