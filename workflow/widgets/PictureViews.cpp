#include "workflow/widgets/PictureViews.h"

#include "engine/core/PictureSurface.h"
#include "workflow/widgets/TwipsEdge.h"

#include <QGridLayout>
#include <QFormLayout>
#include <QGroupBox>
#include <QVBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPixmap>
#include <QScrollBar>
#include <QStyle>

#include <algorithm>

namespace pictrove {

namespace {
struct ViewNames {
    const char *viewport;
    const char *image;
    const char *vertical;
    const char *horizontal;
    const char *toolTip;
};

const ViewNames &namesOf(ViewPair::View view)
{
    static const ViewNames original{
        "CoriginalP", "OriginalP", "VVor", "HHor",
        "This is the Original Image. To change another image, select another file  from STEP 1 "
        "tab."};
    static const ViewNames optimized{"COptimizedP", "OptimizedP", "VVop", "HHop",
                                     "This is an Optimized Image View of the Original"};
    return view == ViewPair::Original ? original : optimized;
}

// Pixels scrolled by one click on a bar's arrow.
constexpr int kArrowStepPixels = 16;
} // namespace

ImageBox::ImageBox(ViewPair &views, ViewPair::View view, QWidget *parent)
    : QWidget(parent), m_views(views), m_view(view)
{
    setObjectName(QLatin1String(namesOf(view).image));
    setToolTip(QString::fromLatin1(namesOf(view).toolTip));
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Base);
    resize(0, 0);
}

void ImageBox::setSurface(PictureSurface *surface)
{
    if (m_surface)
        disconnect(m_surface, nullptr, this, nullptr);
    m_surface = surface;
    if (surface)
        connect(surface, &PictureSurface::changed, this, &ImageBox::followSurface);
    followSurface();
}

void ImageBox::followSurface()
{
    const QSize wanted = m_surface ? m_surface->clientSize() : QSize(0, 0);
    const bool resized = wanted != size();
    if (resized)
        resize(wanted);
    update();
    if (resized)
        emit sizeFollowed();
}

void ImageBox::setShowsTransparency(bool shows)
{
    m_showsTransparency = shows;
    update();
}

void ImageBox::paintEvent(QPaintEvent *event)
{
    if (!m_surface || m_surface->isEmpty())
        return;
    QPainter painter(this);
    if (m_showsTransparency && !m_surface->transparent().isNull()) {
        // The squares every image editor uses for "nothing here".
        static const QPixmap squares = [] {
            QPixmap tile(16, 16);
            tile.fill(QColor(0xFF, 0xFF, 0xFF));
            QPainter p(&tile);
            p.fillRect(0, 0, 8, 8, QColor(0xCC, 0xCC, 0xCC));
            p.fillRect(8, 8, 8, 8, QColor(0xCC, 0xCC, 0xCC));
            return tile;
        }();
        const QRect area = event->rect() & QRect(QPoint(0, 0), m_surface->clientSize());
        painter.fillRect(area, QBrush(squares));
        painter.drawImage(area.topLeft(), m_surface->transparent(), area);
        return;
    }
    painter.drawImage(0, 0, m_surface->image());
}

void ImageBox::mousePressEvent(QMouseEvent *event)
{
    m_views.press(m_view, toTwips(event->position()));
}

void ImageBox::mouseMoveEvent(QMouseEvent *event)
{
    m_views.move(m_view, toTwips(event->position()));
}

void ImageBox::mouseReleaseEvent(QMouseEvent *)
{
    m_views.release(m_view);
}

PictureViewport::PictureViewport(ViewPair &views, ViewPair::View view, QWidget *parent)
    : QWidget(parent), m_views(views), m_view(view)
{
    const ViewNames &names = namesOf(view);
    setObjectName(QLatin1String(names.viewport));
    m_clip = new QWidget(this);
    m_clip->setAutoFillBackground(true);
    m_clip->setBackgroundRole(QPalette::Dark); // the workspace colour around a small picture
    m_image = new ImageBox(views, view, m_clip);
    m_vertical = new QScrollBar(Qt::Vertical, this);
    m_vertical->setObjectName(QLatin1String(names.vertical));
    m_horizontal = new QScrollBar(Qt::Horizontal, this);
    m_horizontal->setObjectName(QLatin1String(names.horizontal));
    for (QScrollBar *bar : {m_horizontal, m_vertical}) {
        bar->setEnabled(false);
        bar->setRange(0, 0);
        const Qt::Orientation orientation = bar->orientation();
        // Clicks and thumb drags move the picture at once.
        connect(bar, &QScrollBar::valueChanged, this, [this, orientation](int value) {
            if (!m_syncing)
                m_views.scroll(m_view, orientation, value);
        });
    }

    connect(&views, &ViewPair::imageMoved, this, &PictureViewport::placeImage);
    connect(&views, &ViewPair::scrollBarsChanged, this, &PictureViewport::syncBars);
    connect(&views, &ViewPair::pointerChanged, this, &PictureViewport::showPointer);
    connect(m_image, &ImageBox::sizeFollowed, this, &PictureViewport::updateLayout);
}

void PictureViewport::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    reportSizes();
}

void PictureViewport::reportSizes()
{
    const int extent = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
    const int w = std::max(0, width() - extent);
    const int h = std::max(0, height() - extent);
    m_clip->setGeometry(0, 0, w, h);
    m_vertical->setGeometry(w, 0, extent, h);
    m_horizontal->setGeometry(0, h, w, extent);
    m_views.setViewportSize(m_view, toTwips(m_clip->size()));
    m_views.setImageSize(m_view, toTwips(m_image->size()));
}

void PictureViewport::updateLayout()
{
    reportSizes();
    m_views.update(m_view);
}

void PictureViewport::placeImage(ViewPair::View view, QPointF twips)
{
    if (view != m_view)
        return;
    m_image->move(toPixelsX(twips.x()), toPixelsY(twips.y()));
}

void PictureViewport::syncBars(ViewPair::View view)
{
    if (view != m_view)
        return;
    const ViewState &s = m_views.state(view);
    m_syncing = true;
    const auto apply = [](QScrollBar *bar, const ScrollBarState &b, double pageTwips,
                          double twipsPerPixel) {
        bar->setRange(0, int(std::max<std::int64_t>(0, b.maximum)));
        bar->setValue(int(b.value));
        bar->setEnabled(b.enabled);
        bar->setSingleStep(std::max(1, int(kArrowStepPixels * twipsPerPixel)));
        bar->setPageStep(std::max(1, int(pageTwips)));
    };
    apply(m_horizontal, s.horizontal, s.viewportInner.width(), twipsPerPixelX());
    apply(m_vertical, s.vertical, s.viewportInner.height(), twipsPerPixelY());
    m_syncing = false;
}

void PictureViewport::showPointer(ViewPair::View view, ViewPair::Pointer pointer)
{
    if (view != m_view)
        return;
    switch (pointer) {
    case ViewPair::Pointer::Grab:
        m_image->setCursor(Qt::ClosedHandCursor);
        break;
    case ViewPair::Pointer::Release:
        m_image->setCursor(Qt::OpenHandCursor);
        break;
    case ViewPair::Pointer::Default:
        m_image->unsetCursor();
        break;
    }
}

ViewInfoFrame::ViewInfoFrame(const Names &names, QWidget *parent) : QWidget(parent)
{
    setObjectName(QLatin1String(names.frame));
    auto *box = new QGroupBox(QString::fromLatin1(names.title), this);
    auto *outer = new QVBoxLayout(this);
    // Room below the box: the bottom edge of the pane may lie under the
    // page's lower border.
    outer->setContentsMargins(0, 0, 0, 6);
    outer->addWidget(box);
    auto *form = new QFormLayout(box);
    m_form = form;
    form->setContentsMargins(8, 4, 8, 4);
    form->setVerticalSpacing(2);
    form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    const auto row = [&](const QString &caption, const char *name) {
        auto *value = new QLabel(box);
        value->setObjectName(QLatin1String(name));
        value->setAccessibleDescription(QLatin1String(name));
        form->addRow(caption, value);
        return value;
    };
    m_type = row(QStringLiteral("File Type :"), names.typeLabel);
    m_size = row(QString::fromLatin1(names.sizeCaption), names.sizeLabel);
    m_colors = row(QStringLiteral("Colors :"), names.colorsLabel);
    // What a resize makes of the picture shows here, beside the original's.
    m_resolution = row(QStringLiteral("Resolution :"), names.resolutionLabel);
    resize(sizeHint());
}

int ViewInfoFrame::fitWidth(int width)
{
    // In the narrowest window a caption and its value do not fit side by
    // side: the values then go under their captions rather than being cut.
    QWidget *box = m_form->parentWidget();
    const auto measure = [&](QFormLayout::RowWrapPolicy policy) {
        m_form->setRowWrapPolicy(policy);
        m_form->invalidate();
        box->updateGeometry(); // the frame's own layout caches the box's size
        layout()->invalidate();
        return sizeHint();
    };
    const bool narrow = measure(QFormLayout::DontWrapRows).width() > width;
    return narrow ? measure(QFormLayout::WrapAllRows).height() : sizeHint().height();
}

PictureViewPane::PictureViewPane(ViewPair &views, ViewPair::View view, QWidget *parent)
    : QWidget(parent)
{
    const bool original = view == ViewPair::Original;
    setObjectName(original ? QStringLiteral("CoriginalPP") : QStringLiteral("COptimizedPP"));
    m_viewport = new PictureViewport(views, view, this);
    static const ViewInfoFrame::Names originalNames{"frmOriginalP", "Original", "oType",
                                                    "Original Size :", "oSize", "oColors",
                                                    "oResolution"};
    static const ViewInfoFrame::Names optimizedNames{"frmOptimizedP", "Optimized", "FileType4",
                                                     "Optimized Size :", "FileSize4", "Depth4",
                                                     "Resolution4"};
    m_info = new ViewInfoFrame(original ? originalNames : optimizedNames, this);
}

} // namespace pictrove
