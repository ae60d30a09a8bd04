#include "app/Artwork.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

// The icon lives in a static library's resources, which are registered by
// hand.
static void registerArtworkResources() { Q_INIT_RESOURCE(resources); }

namespace pictrove {

namespace {
// One slanted photo card of the stack in the picture.
void drawCard(QPainter &p, QPointF centre, double angle, const QColor &sky, const QColor &hill)
{
    p.save();
    p.translate(centre);
    p.rotate(angle);
    const QRectF card(-62, -46, 124, 92);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 70));
    p.drawRoundedRect(card.translated(4, 5), 6, 6);
    p.setBrush(QColor(250, 250, 247));
    p.drawRoundedRect(card, 6, 6);
    const QRectF photo = card.adjusted(8, 8, -8, -18);
    QLinearGradient skyGradient(photo.topLeft(), photo.bottomLeft());
    skyGradient.setColorAt(0, sky.lighter(130));
    skyGradient.setColorAt(1, sky);
    p.setBrush(skyGradient);
    p.drawRect(photo);
    QPainterPath hills;
    hills.moveTo(photo.bottomLeft());
    hills.lineTo(photo.left(), photo.bottom() - 18);
    hills.quadTo(photo.left() + 30, photo.bottom() - 42, photo.center().x(), photo.bottom() - 22);
    hills.quadTo(photo.right() - 20, photo.bottom() - 6, photo.right(), photo.bottom() - 26);
    hills.lineTo(photo.bottomRight());
    hills.closeSubpath();
    p.setBrush(hill);
    p.drawPath(hills);
    p.setBrush(QColor(255, 221, 87));
    p.drawEllipse(QPointF(photo.right() - 20, photo.top() + 16), 8, 8);
    p.restore();
}
} // namespace

QImage productPicture()
{
    QImage image(480, 240, QImage::Format_RGB888);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);

    QLinearGradient background(0, 0, 480, 240);
    background.setColorAt(0, QColor(22, 46, 84));
    background.setColorAt(1, QColor(18, 108, 128));
    p.fillRect(image.rect(), background);
    p.setPen(QPen(QColor(255, 255, 255, 22), 1));
    for (int x = -240; x < 480; x += 16)
        p.drawLine(x, 240, x + 240, 0);

    drawCard(p, QPointF(112, 132), -12, QColor(76, 146, 214), QColor(58, 130, 80));
    drawCard(p, QPointF(132, 118), 4, QColor(233, 140, 86), QColor(120, 72, 110));
    drawCard(p, QPointF(150, 128), 16, QColor(92, 178, 196), QColor(44, 98, 62));

    p.setPen(QColor(255, 255, 255));
    QFont title(QStringLiteral("DejaVu Sans"));
    title.setPixelSize(40);
    title.setBold(true);
    p.setFont(title);
    p.drawText(QRectF(232, 70, 240, 50), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("Pictrove"));
    QFont maker(title);
    maker.setPixelSize(15);
    maker.setBold(false);
    maker.setLetterSpacing(QFont::AbsoluteSpacing, 3);
    p.setFont(maker);
    p.setPen(QColor(190, 226, 236));
    p.drawText(QRectF(234, 50, 240, 22), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("TEVALEN"));
    QFont line(title);
    line.setPixelSize(14);
    line.setBold(false);
    p.setFont(line);
    p.setPen(QColor(230, 240, 244));
    p.drawText(QRectF(234, 122, 240, 40), Qt::AlignLeft | Qt::TextWordWrap,
               QStringLiteral("Batch image converter\nTune once, convert them all"));
    p.setPen(QColor(160, 200, 212));
    QFont small(title);
    small.setPixelSize(11);
    small.setBold(false);
    p.setFont(small);
    p.drawText(QRectF(234, 200, 236, 20), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("Version %1").arg(QStringLiteral(PICTROVE_VERSION)));
    p.end();
    return image;
}

QIcon productIcon()
{
    static const bool registered = (registerArtworkResources(), true);
    (void)registered;
    return QIcon(QStringLiteral(":/pictrove/pictrove.svg"));
}

QIcon genericPictureIcon()
{
    QIcon icon;
    for (const int size : {16, 32}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        const qreal u = size / 16.0;
        const QRectF frame(1.5 * u, 2.5 * u, 13 * u, 11 * u);
        p.setPen(QPen(QColor(90, 90, 90), u));
        p.setBrush(QColor(200, 228, 250));
        p.drawRect(frame);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(250, 200, 40));
        p.drawEllipse(QPointF(5 * u, 6 * u), 1.6 * u, 1.6 * u);
        p.setBrush(QColor(70, 150, 70));
        p.drawPolygon(QPolygonF({QPointF(2 * u, 13 * u), QPointF(7 * u, 7.5 * u),
                                 QPointF(10 * u, 10.5 * u), QPointF(11.5 * u, 9 * u),
                                 QPointF(14 * u, 13 * u)}));
        p.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

} // namespace pictrove
