#pragma once

#include "metadata/PictureMetadata.h"

#include <QColor>
#include <QImage>
#include <QObject>
#include <QSize>

#include <cstdint>
#include <functional>
#include <vector>

class QPainter;

namespace pictrove {

// The engine's picture box: a client area backed by a QImage in
// Format_RGB32. Loaders give it pictures, encoders read it back and the PCX
// route draws into it. A widget may show it (and repaints on changed()), but
// nothing here needs one, so the engine and its tests run headless.
class PictureSurface : public QObject {
    Q_OBJECT
public:
    explicit PictureSurface(QObject *parent = nullptr);
    explicit PictureSurface(QSize clientSize, QObject *parent = nullptr);

    QSize clientSize() const { return m_image.size(); }
    int width() const { return m_image.width(); }
    int height() const { return m_image.height(); }
    bool isEmpty() const { return m_image.isNull(); }

    // Changes the client size. What fits of the old content stays at the
    // top left; new area is filled with the background colour.
    void resize(QSize clientSize);
    // Fills the whole client area with the background colour.
    void clear();
    // Drops the picture, its metadata and the client area (a picture box
    // with no picture).
    void reset();

    QColor background() const { return m_background; }
    void setBackground(const QColor &color) { m_background = color; }

    // Makes picture the surface's content and its client area exactly the
    // picture's size, with the source's metadata in place of the previous
    // picture's. A null picture empties the surface.
    void setPicture(const QImage &picture, PictureMetadata metadata = {});

    // What the source file said about the picture set last, for the writers
    // that carry it on; drawing into the surface does not change it.
    const PictureMetadata &metadata() const { return m_metadata; }

    // The content as it stands, Format_RGB32 (null when empty).
    const QImage &image() const { return m_image; }
    // The picture set last with its transparency, Format_ARGB32, for the
    // writers that keep it and the view that shows it; null when the picture
    // was opaque or the content has been drawn over since.
    const QImage &transparent() const { return m_transparent; }
    // transparent() when there is one, image() otherwise.
    const QImage &picture() const { return m_transparent.isNull() ? m_image : m_transparent; }

    // Draws into the client area; changed() follows.
    void paint(const std::function<void(QPainter &)> &draw);
    // Direct access for writers that fill pixels themselves; call
    // notifyChanged() afterwards.
    QImage &backingStore()
    {
        m_transparent = QImage();
        return m_image;
    }
    void notifyChanged();

    // The displayed pixels as W x H rows of 24-bit colour, top row first,
    // blue-green-red, each row padded to a multiple of four bytes when
    // padRows is set (the layout GetDIBits gives), packed otherwise.
    std::vector<std::uint8_t> readBgr24Rows(bool padRows) const;

signals:
    void changed();

private:
    QImage m_image;
    QImage m_transparent;
    PictureMetadata m_metadata;
    QColor m_background{Qt::white};
};

} // namespace pictrove
