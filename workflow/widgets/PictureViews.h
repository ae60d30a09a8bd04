#pragma once

#include "engine/core/PictureSurface.h"
#include "workflow/views/ViewPair.h"

#include <QPointer>
#include <QWidget>

class QFormLayout;
class QGroupBox;
class QLabel;
class QScrollBar;

namespace pictrove {



// Shows a picture surface at one screen pixel per picture pixel, its size
// always the surface's client size, and repaints whenever the surface
// changes. Mouse presses, moves and releases go to the view pair.
class ImageBox : public QWidget {
    Q_OBJECT
public:
    ImageBox(ViewPair &views, ViewPair::View view, QWidget *parent = nullptr);

    void setSurface(PictureSurface *surface);
    PictureSurface *surface() const { return m_surface; }
    // A surface picture with transparency is drawn over a checkerboard, so
    // that the user sees which parts a file leaves transparent.
    void setShowsTransparency(bool shows);

signals:
    void sizeFollowed();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    void followSurface();

    ViewPair &m_views;
    ViewPair::View m_view;
    QPointer<PictureSurface> m_surface;
    bool m_showsTransparency = false;
};

// The viewport of one Step 2 view (CoriginalP, COptimizedP): the picture,
// clipped, with a vertical and a horizontal scroll bar along its right and
// bottom edges. Values of the bars are twips, as in the view pair.
class PictureViewport : public QWidget {
    Q_OBJECT
public:
    PictureViewport(ViewPair &views, ViewPair::View view, QWidget *parent = nullptr);

    ImageBox *image() const { return m_image; }
    QScrollBar *horizontalBar() const { return m_horizontal; }
    QScrollBar *verticalBar() const { return m_vertical; }
    // Update_OriginalP / Update_OptimizedP.
    void updateLayout();

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void placeImage(ViewPair::View view, QPointF twips);
    void syncBars(ViewPair::View view);
    void showPointer(ViewPair::View view, ViewPair::Pointer pointer);
    void reportSizes();

    ViewPair &m_views;
    ViewPair::View m_view;
    QWidget *m_clip = nullptr;
    ImageBox *m_image = nullptr;
    QScrollBar *m_horizontal = nullptr;
    QScrollBar *m_vertical = nullptr;
    bool m_syncing = false;
};

// The information frame under a view ("Original" / "Optimized") with its
// three caption and value labels.
class ViewInfoFrame : public QWidget {
    Q_OBJECT
public:
    struct Names {
        const char *frame;
        const char *title;
        const char *typeLabel;
        const char *sizeCaption;
        const char *sizeLabel;
        const char *colorsLabel;
        const char *resolutionLabel;
    };
    ViewInfoFrame(const Names &names, QWidget *parent = nullptr);

    // Lays the texts out for a width: captions and values side by side when
    // they fit, each value under its caption when they do not. Returns the
    // height the frame then needs.
    int fitWidth(int width);

    QLabel *typeValue() const { return m_type; }
    QLabel *sizeValue() const { return m_size; }
    QLabel *colorsValue() const { return m_colors; }
    QLabel *resolutionValue() const { return m_resolution; }

private:
    QLabel *m_type = nullptr;
    QLabel *m_size = nullptr;
    QLabel *m_colors = nullptr;
    QLabel *m_resolution = nullptr;
    QFormLayout *m_form = nullptr;
};

// One Step 2 pane (CoriginalPP, COptimizedPP): the viewport above its
// information frame. The main window places both in its layout pass.
class PictureViewPane : public QWidget {
    Q_OBJECT
public:
    PictureViewPane(ViewPair &views, ViewPair::View view, QWidget *parent = nullptr);

    PictureViewport *viewport() const { return m_viewport; }
    ViewInfoFrame *info() const { return m_info; }

private:
    PictureViewport *m_viewport = nullptr;
    ViewInfoFrame *m_info = nullptr;
};

} // namespace pictrove
