#pragma once

#include "decoding/PictureLoader.h"

#include <QImage>
#include <QObject>
#include <QRect>
#include <QString>

#include <cstdint>
#include <functional>

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
    // The holder's picture for OriginalP and OptimizedP; null empties them.
    virtual void showInViews(const QImage &picture) = 0;
    virtual void updateOptimizedP() = 0;
    virtual void updateOriginalP() = 0;
    virtual void setPanel4(const QString &text, const QString &iconKey) = 0;
    virtual void fitPreview() = 0;
    virtual void setDescription(const PreviewDescription &description) = 0;
    // Why the file could not be read (panel 5), or an empty text once a
    // picture has been read again.
    virtual void reportUnreadable(const QString &message) = 0;
    virtual void applyLastFormat() = 0;
};

// PreviewImage: makes an image file the current image. The file is decoded
// on a worker thread, so a large photo or a damaged file never freezes the
// window; when the user clicks on while one is read, only the newest click
// is shown. A file that cannot be read does not leave the previous picture
// on screen under the new file's name: the holder and the views are
// emptied and the reason is reported.
class ImagePreview : public QObject {
    Q_OBJECT
public:
    using Loader = std::function<LoadResult(const QString &path, const QString &extension)>;

    explicit ImagePreview(PreviewHost &host, QObject *parent = nullptr);
    ~ImagePreview() override;

    // The default reads through the preview's dispatch table.
    void setLoader(Loader loader) { m_loader = std::move(loader); }

    void previewImage(const QString &path);

    // The current image at full size (tPreview), null when none.
    const QImage &holder() const { return m_holder; }
    const ImageDescription &description() const { return m_description; }
    QString currentPath() const { return m_path; }
    bool loading() const { return m_pending > 0; }

signals:
    // A preview has been shown (after every host call).
    void previewShown(const QString &path, bool readable);

private:
    void show(const QString &path, LoadResult result, std::int64_t fileBytes);

    PreviewHost &m_host;
    Loader m_loader;
    QImage m_holder;
    ImageDescription m_description;
    QString m_path;
    std::uint64_t m_generation = 0;
    int m_pending = 0;
};

// FitPreview's placement: the holder's picture fitted into the pane less
// 150 twips each way, never enlarged, centred in the pane. Pixels in and
// out; empty when nothing can be shown.
QRect previewPlacement(QSize pane, QSize picture);

} // namespace pictrove
