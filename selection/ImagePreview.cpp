#include "selection/ImagePreview.h"

#include "platform/SizeText.h"
#include "platform/Twips.h"
#include "platform/Rounding.h"
#include "selection/FitSize.h"
#include "decoding/ImageExtensions.h"

#include <QFileInfo>
#include <QFutureWatcher>
#include <QPromise>
#include <QThreadPool>

#include <memory>

namespace pictrove {

namespace {
struct Loaded {
    LoadResult result;
    std::int64_t fileBytes = 0;
};
} // namespace

ImagePreview::ImagePreview(PreviewHost &host, QObject *parent) : QObject(parent), m_host(host)
{
    m_loader = [](const QString &path, const QString &extension) {
        return loadPicture(path, extension, LoaderTable::Preview);
    };
}

ImagePreview::~ImagePreview() = default;

void ImagePreview::previewImage(const QString &path)
{
    const std::uint64_t generation = ++m_generation;
    ++m_pending;
    auto promise = std::make_shared<QPromise<Loaded>>();
    auto *watcher = new QFutureWatcher<Loaded>(this);
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher, generation, path] {
        watcher->deleteLater();
        --m_pending;
        if (generation != m_generation || watcher->future().resultCount() == 0)
            return;
        Loaded loaded = watcher->future().takeResult();
        show(path, std::move(loaded.result), loaded.fileBytes);
    });
    watcher->setFuture(promise->future());
    QThreadPool::globalInstance()->start([promise, path, loader = m_loader] {
        promise->start();
        Loaded loaded;
        loaded.fileBytes = QFileInfo(path).size();
        try {
            loaded.result = loader(path, lowerExtensionOf(path));
        } catch (...) {
            loaded.result = LoadResult{};
            loaded.result.error = QStringLiteral("the picture could not be read");
        }
        promise->addResult(std::move(loaded));
        promise->finish();
    });
}

void ImagePreview::show(const QString &path, LoadResult result, std::int64_t fileBytes)
{
    m_path = path;
    const bool readable = result.ok && !result.image.isNull();
    m_holder = readable ? std::move(result.image) : QImage();
    if (readable)
        m_description = {m_holder.width(), m_holder.height(), result.depth};

    const QString fileName = path.mid(path.lastIndexOf(u'/') + 1);
    const QString extension = lowerExtensionOf(path);
    PreviewDescription text;
    text.fileName = fileName;
    text.type = extension.toUpper();
    text.location = path;
    text.size = kilobyteText(fileBytes, false);
    text.iconKey = extension;
    if (readable) {
        text.resolution = QStringLiteral("%1 x %2").arg(m_holder.width()).arg(m_holder.height());
        text.colors = QString::number(m_description.depth) + QStringLiteral(" bit");
        text.panel4 = fileName + u' ' + text.resolution;
    } else {
        text.panel4 = fileName;
    }

    m_host.showInViews(m_holder);
    m_host.updateOptimizedP();
    m_host.updateOriginalP();
    m_host.setPanel4(text.panel4, text.iconKey);
    m_host.fitPreview();
    m_host.setDescription(text);
    m_host.reportUnreadable(
        readable ? QString()
                 : QStringLiteral("%1 cannot be shown: %2")
                       .arg(fileName, result.error.isEmpty()
                                          ? QStringLiteral("the picture could not be read")
                                          : result.error));
    m_host.applyLastFormat();
    emit previewShown(path, readable);
}

QRect previewPlacement(QSize pane, QSize picture)
{
    if (picture.isEmpty() || pane.isEmpty())
        return {};
    const int availableWidth =
        int(roundHalfEven((pane.width() * twipsPerPixelX() - 150) / twipsPerPixelX()));
    const int availableHeight =
        int(roundHalfEven((pane.height() * twipsPerPixelY() - 150) / twipsPerPixelY()));
    if (availableWidth <= 0 || availableHeight <= 0)
        return {};
    const QSize fitted =
        FitSize(picture.width(), picture.height(), availableWidth, availableHeight);
    if (fitted.isEmpty())
        return {};
    return QRect((pane.width() - fitted.width()) / 2, (pane.height() - fitted.height()) / 2,
                 fitted.width(), fitted.height());
}

} // namespace pictrove
