#pragma once

#include "decoding/CancelToken.h"
#include "decoding/PictureLoader.h"
#include "metadata/PictureMetadata.h"

#include <QImage>
#include <QObject>
#include <QRect>
#include <QString>
#include <QThreadPool>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

namespace pictrove {

// The texts that describe the current image: the Step 1 description frame,
// the original frame of Step 2 and status panel 4.
struct PreviewDescription {
    QString fileName;   // LFileName
    QString type;       // LType and oType: the upper-cased extension
    QString resolution; // LResolution: "W x H", empty when unreadable
    QString location;   // LLocation: the full path
    QString size;       // oSize: whole kilobytes, halves to even, " KB"
    QString colors;     // oColors: "<depth> bit", empty when unreadable
    QString panel4;     // "name W x H", or the name alone when unreadable
    QString iconKey;    // lower-cased extension, for panel 4's icon
};

// The window's side of a preview, called in this order once the picture is
// read: both views get the picture, the optimized view is laid out and then
// the original one, panel 4 is set, the preview box is fitted, the
// descriptions are set and the last output format is applied again.
class PreviewHost {
public:
    virtual ~PreviewHost() = default;
    // The holder's picture for OriginalP and OptimizedP, with what its file
    // says beyond the pixels for the writers; null empties them.
    virtual void showInViews(const QImage &picture, const PictureMetadata &metadata) = 0;
    virtual void updateOptimizedP() = 0;
    virtual void updateOriginalP() = 0;
    virtual void setPanel4(const QString &text, const QString &iconKey) = 0;
    virtual void fitPreview() = 0;
    virtual void setDescription(const PreviewDescription &description) = 0;
    // Why the file could not be read, or what about a picture that was read
    // is not as the file meant it (a colour profile that could not be
    // used), for panel 5; an empty text for a picture read without either.
    virtual void reportUnreadable(const QString &message) = 0;
    virtual void applyLastFormat() = 0;
};

// PreviewImage: makes an image file the current image. The file is decoded
// on a thread of the preview's own, so a large photo or a damaged file never
// freezes the window, and nothing the window's painting waits for (Qt's
// global thread pool) is ever held by a decode. Only the newest click is
// decoded: a newer one ends the decode under way and drops those still
// waiting. A file that cannot be read does not leave the previous picture
// on screen under the new file's name: the holder and the views are
// emptied and the reason is reported.
class ImagePreview : public QObject {
    Q_OBJECT
public:
    // Loads one file; a load should end soon after cancel is cancelled.
    using Loader = std::function<LoadResult(const QString &path, const QString &extension,
                                            const CancelToken &cancel)>;

    explicit ImagePreview(PreviewHost &host, QObject *parent = nullptr);
    // Ends the decode under way, without waiting for its time limit.
    ~ImagePreview() override;

    // The default reads through the preview's dispatch table.
    void setLoader(Loader loader) { m_loader = std::move(loader); }
    // The preview pane's size, asked when a file is to be shown: the
    // picture is shrunk for the preview box on the preview's thread.
    void setPaneSize(std::function<QSize()> paneSize) { m_paneSize = std::move(paneSize); }

    void previewImage(const QString &path);
    // Shrinks the holder again on the preview's thread, for a pane that has
    // grown past the shrunk copy; the host's fitPreview follows.
    void reshrink();

    // The current image at full size (tPreview), null when none: what Step 2
    // and Save As work on.
    const QImage &holder() const { return m_holder; }
    // The holder as the preview box shows it: shrunk to the pane it had
    // when it was read (the holder itself when it fits). Null when none.
    const QImage &shown() const { return m_shown; }
    // The holder's EXIF and XMP, replaced with it.
    const PictureMetadata &metadata() const { return m_metadata; }
    const ImageDescription &description() const { return m_description; }
    QString currentPath() const { return m_path; }
    bool loading() const { return m_pending > 0; }

signals:
    // A preview has been shown (after every host call).
    void previewShown(const QString &path, bool readable);

private:
    void show(const QString &path, LoadResult result, QImage shown, std::int64_t fileBytes);

    PreviewHost &m_host;
    Loader m_loader;
    std::function<QSize()> m_paneSize;
    // One thread: a decode that a newer click ends gives way at once, and
    // the clicks between the two are dropped.
    QThreadPool m_thread;
    std::shared_ptr<CancelToken> m_cancel;
    std::shared_ptr<std::atomic<std::uint64_t>> m_newest =
        std::make_shared<std::atomic<std::uint64_t>>(0);
    QImage m_holder;
    QImage m_shown;
    PictureMetadata m_metadata;
    ImageDescription m_description;
    QString m_path;
    std::uint64_t m_generation = 0;
    int m_pending = 0;
};

// The picture shrunk to its placement in a pane of that size, smoothly;
// the picture itself when it fits, null when nothing can be shown.
QImage shrinkForPane(const QImage &picture, QSize pane);

// FitPreview's placement: the holder's picture fitted into the pane less
// 150 twips each way, never enlarged, centred in the pane. Pixels in and
// out; empty when nothing can be shown.
QRect previewPlacement(QSize pane, QSize picture);

} // namespace pictrove
