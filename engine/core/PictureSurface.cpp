#include "engine/core/PictureSurface.h"

#include <QPainter>

#include <cstring>

namespace pictrove {

namespace {
// An alpha channel that is opaque throughout is no transparency to keep.
bool hasTransparency(const QImage &picture)
{
    if (picture.pixelFormat().alphaUsage() != QPixelFormat::UsesAlpha)
        return false;
    const QImage argb = picture.format() == QImage::Format_ARGB32 || picture.format() == QImage::Format_ARGB32_Premultiplied
        ? picture
        : picture.convertToFormat(QImage::Format_ARGB32);
    // A whole row's pixels are ANDed before its alpha is looked at: a
    // branch for every pixel costs more than the opaque rows it skips.
    const int width = argb.width();
    for (int y = 0; y < argb.height(); ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(argb.constScanLine(y));
        QRgb all = 0xFFFFFFFFu;
        for (int x = 0; x < width; ++x)
            all &= line[x];
        if (qAlpha(all) != 0xFF)
            return true;
    }
    return false;
}
} // namespace

PictureSurface::PictureSurface(QObject *parent) : QObject(parent) {}

PictureSurface::PictureSurface(QSize clientSize, QObject *parent) : QObject(parent)
{
    resize(clientSize);
}

void PictureSurface::resize(QSize clientSize)
{
    if (clientSize.width() <= 0 || clientSize.height() <= 0) {
        reset();
        return;
    }
    if (clientSize == m_image.size())
        return;
    m_transparent = QImage();
    QImage next(clientSize, QImage::Format_RGB32);
    next.fill(m_background);
    if (!m_image.isNull()) {
        QPainter painter(&next);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.drawImage(0, 0, m_image);
    }
    m_image = std::move(next);
    notifyChanged();
}

void PictureSurface::clear()
{
    if (m_image.isNull())
        return;
    m_transparent = QImage();
    m_image.fill(m_background);
    notifyChanged();
}

void PictureSurface::reset()
{
    m_metadata = PictureMetadata();
    m_transparent = QImage();
    if (m_image.isNull())
        return;
    m_image = QImage();
    notifyChanged();
}

void PictureSurface::setPicture(const QImage &picture, PictureMetadata metadata)
{
    if (picture.isNull()) {
        reset();
        return;
    }
    m_metadata = std::move(metadata);
    m_transparent = QImage();
    if (picture.format() == QImage::Format_RGB32) {
        m_image = picture;
    } else if (picture.hasAlphaChannel()) {
        if (hasTransparency(picture))
            m_transparent = picture.convertToFormat(QImage::Format_ARGB32);
        // A picture box shows transparent areas over its background.
        QImage flat(picture.size(), QImage::Format_RGB32);
        flat.fill(m_background);
        QPainter painter(&flat);
        painter.drawImage(0, 0, picture);
        painter.end();
        m_image = std::move(flat);
    } else {
        m_image = picture.convertToFormat(QImage::Format_RGB32);
    }
    notifyChanged();
}

void PictureSurface::paint(const std::function<void(QPainter &)> &draw)
{
    if (m_image.isNull())
        return;
    m_transparent = QImage();
    {
        QPainter painter(&m_image);
        draw(painter);
    }
    notifyChanged();
}

void PictureSurface::notifyChanged() { emit changed(); }

std::vector<std::uint8_t> PictureSurface::readBgr24Rows(bool padRows) const
{
    const int w = width();
    const int h = height();
    if (w <= 0 || h <= 0)
        return {};
    const std::size_t packed = std::size_t(w) * 3;
    const std::size_t stride = padRows ? (packed + 3) & ~std::size_t(3) : packed;
    std::vector<std::uint8_t> out(stride * std::size_t(h), 0);
    for (int y = 0; y < h; ++y) {
        const auto *src = reinterpret_cast<const QRgb *>(m_image.constScanLine(y));
        std::uint8_t *dst = out.data() + stride * std::size_t(y);
        for (int x = 0; x < w; ++x) {
            const QRgb p = src[x];
            dst[0] = std::uint8_t(qBlue(p));
            dst[1] = std::uint8_t(qGreen(p));
            dst[2] = std::uint8_t(qRed(p));
            dst += 3;
        }
    }
    return out;
}

} // namespace pictrove
