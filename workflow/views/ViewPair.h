#pragma once

#include <QObject>
#include <QPointF>
#include <QSizeF>

#include <array>
#include <cstdint>

namespace pictrove {

// One scroll bar of a view, in twips. The minimum is always 0.
struct ScrollBarState {
    std::int64_t value = 0;
    std::int64_t maximum = 0;
    bool enabled = false;

    bool accepts(std::int64_t candidate) const;
};

// One of the two Step 2 views: an image inside a clipping viewport, in
// twips of the viewport's coordinates.
struct ViewState {
    QSizeF imageInner;    // the picture's size
    QSizeF imageOuter;    // with the image box's border, if any
    QSizeF viewportInner; // the visible area
    QPointF imagePos;     // the image's top-left corner in the viewport
    ScrollBarState horizontal;
    ScrollBarState vertical;
};

// The original and the optimized view side by side: their layout, their
// scroll bars and the drag-to-pan that moves both by the same amount so
// that the same region of both pictures stays in sight. Widgets feed sizes
// and mouse positions in and follow the signals; nothing here needs one.
class ViewPair : public QObject {
    Q_OBJECT
public:
    enum View { Original = 0, Optimized = 1 };
    enum class Pointer { Default, Grab, Release };

    explicit ViewPair(QObject *parent = nullptr);

    const ViewState &state(View view) const { return m_views[view]; }
    Pointer pointer(View view) const { return m_pointers[view]; }
    bool dragging() const { return m_dragging; }

    // Sizes change without a layout; update() lays out.
    void setImageSize(View view, QSizeF inner, QSizeF outer);
    void setImageSize(View view, QSizeF inner) { setImageSize(view, inner, inner); }
    void setViewportSize(View view, QSizeF inner);

    // Centres a picture smaller than its viewport, puts a larger one at the
    // scroll position, and sets which bars are enabled and their ranges.
    void update(View view);

    // A scroll bar's value changed (by a click or while its thumb is
    // dragged). Returns false, changing nothing, for a value outside the
    // bar's range.
    bool scroll(View view, Qt::Orientation bar, std::int64_t value);

    // Mouse on a picture, positions in that picture's own twips.
    void press(View view, QPointF pos);
    void move(View view, QPointF pos);
    void release(View view);

signals:
    void imageMoved(pictrove::ViewPair::View view, QPointF pos);
    void scrollBarsChanged(pictrove::ViewPair::View view);
    void pointerChanged(pictrove::ViewPair::View view, pictrove::ViewPair::Pointer pointer);

private:
    static View other(View view) { return view == Original ? Optimized : Original; }
    ScrollBarState &bar(View view, Qt::Orientation orientation);
    void applyValue(View view, Qt::Orientation orientation, std::int64_t value);

    std::array<ViewState, 2> m_views;
    std::array<Pointer, 2> m_pointers{Pointer::Default, Pointer::Default};
    bool m_dragging = false;
    QPointF m_pressPoint; // in the pressed view's viewport coordinates
    std::array<std::array<std::int64_t, 2>, 2> m_valuesAtPress{}; // [view][horizontal, vertical]
};

} // namespace pictrove
