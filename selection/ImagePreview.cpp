#include "selection/ImagePreview.h"

#include "platform/SizeText.h"
#include "platform/Twips.h"
#include "platform/Rounding.h"
#include "selection/FitSize.h"
#include "decoding/ImageExtensions.h"

#include <QFileInfo>
#include <QFutureWatcher>
#include <QPromise>

#include <memory>

namespace pictrove {

namespace {
struct Loaded {
    LoadResult result;
    QImage shown;
    std::int64_t fileBytes = 0;
};
} // namespace

ImagePreview::ImagePreview(PreviewHost &host, QObject *parent) : QObject(parent), m_host(host)
{
    m_loader = [](const QString &path, const QString &extension, const CancelToken &cancel) {
        return loadPicture(path, extension, LoaderTable::Preview, &cancel);
    };
    m_thread.setMaxThreadCount(1);
    m_thread.setObjectName(QStringLiteral("preview"));
}

ImagePreview::~ImagePreview()
{
    ++*m_newest;
    if (m_cancel)
        m_cancel->cancel();
    m_thread.clear();
    m_thread.waitForDone();
}

void ImagePreview::previewImage(const QString &path)
{
    const std::uint64_t generation = ++m_generation;
    m_newest->store(generation);
    // The picture under way is no longer wanted: its decode ends now.
    if (m_cancel)
        m_cancel->cancel();
    auto cancel = std::make_shared<CancelToken>();
    m_cancel = cancel;
    ++m_pending;
    auto promise = std::make_shared<QPromise<Loaded>>();
    auto *watcher = new QFutureWatcher<Loaded>(this);
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher, generation, path] {
        watcher->deleteLater();
        --m_pending;
        if (generation != m_generation || watcher->future().resultCount() == 0)
            return;
        Loaded loaded = watcher->future().takeResult();
        show(path, std::move(loaded.result), std::move(loaded.shown), loaded.fileBytes);
    });
    watcher->setFuture(promise->future());
    const QSize pane = m_paneSize ? m_paneSize() : QSize();
    m_thread.start([promise, path, pane, cancel, generation, newest = m_newest,
                    loader = m_loader] {
        promise->start();
        // Clicked past while it waited: not decoded at all.
        if (newest->load() != generation || cancel->cancelled()) {
            promise->finish();
            return;
        }
        Loaded loaded;
        loaded.fileBytes = QFileInfo(path).size();
        try {
            loaded.result = loader(path, lowerExtensionOf(path), *cancel);
        } catch (...) {
            loaded.result = LoadResult{};
            loaded.result.error = QStringLiteral("the picture could not be read");
        }
        if (loaded.result.cancelled || newest->load() != generation) {
            promise->finish();
            return;
        }
        if (loaded.result.ok && pane.isValid())
            loaded.shown = shrinkForPane(loaded.result.image, pane);
        promise->addResult(std::move(loaded));
        promise->finish();
    });
}

void ImagePreview::reshrink()
{
    if (m_holder.isNull() || !m_paneSize)
        return;
    const std::uint64_t generation = m_generation;
    const QSize pane = m_paneSize();
    auto promise = std::make_shared<QPromise<QImage>>();
    auto *watcher = new QFutureWatcher<QImage>(this);
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher, generation] {
        watcher->deleteLater();
        if (generation != m_generation || watcher->future().resultCount() == 0)
            return;
        m_shown = watcher->future().takeResult();
        m_host.fitPreview();
    });
    watcher->setFuture(promise->future());
    m_thread.start([promise, pane, holder = m_holder, generation, newest = m_newest] {
        promise->start();
        if (newest->load() == generation)
            promise->addResult(shrinkForPane(holder, pane));
        promise->finish();
    });
}

void ImagePreview::show(const QString &path, LoadResult result, QImage shown,
                        std::int64_t fileBytes)
{
    m_path = path;
    const bool readable = result.ok && !result.image.isNull();
    m_holder = readable ? std::move(result.image) : QImage();
    m_metadata = readable ? PictureMetadata{std::move(result.exif), std::move(result.xmp)}
                          : PictureMetadata();
    m_shown = readable ? (shown.isNull() ? m_holder : std::move(shown)) : QImage();
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

    m_host.showInViews(m_holder, m_metadata);
    m_host.updateOptimizedP();
    m_host.updateOriginalP();
    m_host.setPanel4(text.panel4, text.iconKey);
    m_host.fitPreview();
    m_host.setDescription(text);
    QString problem;
    if (!readable)
        problem = QStringLiteral("%1 cannot be shown: %2")
                      .arg(fileName, result.error.isEmpty() ? QStringLiteral("the picture could not be read")
                                                            : result.error);
    else if (!result.warning.isEmpty())
        problem = fileName + QStringLiteral(": ") + result.warning;
    m_host.reportUnreadable(problem);
    m_host.applyLastFormat();
    emit previewShown(path, readable);
}

QImage shrinkForPane(const QImage &picture, QSize pane)
{
    const QSize size = previewPlacement(pane, picture.size()).size();
    if (size.isEmpty())
        return {};
    if (size == picture.size())
        return picture;
    return picture.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
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
