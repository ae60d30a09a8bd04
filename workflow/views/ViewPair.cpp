#include "workflow/views/ViewPair.h"

#include "platform/Rounding.h"

#include <algorithm>
#include <limits>

namespace pictrove {

namespace {
// Scroll bars on screen hold 32-bit values; twips of a picture of 140
// million pixels would be needed to reach that.
constexpr std::int64_t kLargestValue = std::numeric_limits<std::int32_t>::max();

// Centred when smaller than the viewport, else at the leading edge.
double leadingEdge(double image, double viewport)
{
    return image >= viewport ? 0.0 : (viewport - image) / 2.0;
}
} // namespace

bool ScrollBarState::accepts(std::int64_t candidate) const
{
    return candidate >= 0 && candidate <= maximum && candidate <= kLargestValue;
}

ViewPair::ViewPair(QObject *parent) : QObject(parent) {}

ScrollBarState &ViewPair::bar(View view, Qt::Orientation orientation)
{
    return orientation == Qt::Horizontal ? m_views[view].horizontal : m_views[view].vertical;
}

void ViewPair::setImageSize(View view, QSizeF inner, QSizeF outer)
{
    m_views[view].imageInner = inner;
    m_views[view].imageOuter = outer;
}

void ViewPair::setViewportSize(View view, QSizeF inner) { m_views[view].viewportInner = inner; }

void ViewPair::update(View view)
{
    ViewState &s = m_views[view];
    QPointF pos(leadingEdge(s.imageInner.width(), s.viewportInner.width()),
                leadingEdge(s.imageInner.height(), s.viewportInner.height()));

    s.horizontal.enabled = s.imageOuter.width() > s.viewportInner.width();
    s.vertical.enabled = s.imageOuter.height() > s.viewportInner.height();

    const auto setMaximum = [](ScrollBarState &b, double overflow) {
        const std::int64_t maximum = roundHalfEven(overflow);
        if (maximum <= kLargestValue) // a range the bar cannot hold keeps the old one
            b.maximum = maximum;
        // A shorter range pulls the value in, as a scroll bar does.
        b.value = std::clamp<std::int64_t>(b.value, 0, std::max<std::int64_t>(0, b.maximum));
    };
    setMaximum(s.vertical, s.imageInner.height() - s.viewportInner.height());
    setMaximum(s.horizontal, s.imageInner.width() - s.viewportInner.width());

    // A picture that overflows stays where its scroll bar says, so the bar
    // and the picture never disagree after a resize or a new picture.
    if (s.horizontal.enabled)
        pos.setX(-double(s.horizontal.value));
    if (s.vertical.enabled)
        pos.setY(-double(s.vertical.value));
    s.imagePos = pos;
    emit scrollBarsChanged(view);
    emit imageMoved(view, pos);
}

void ViewPair::applyValue(View view, Qt::Orientation orientation, std::int64_t value)
{
    ScrollBarState &b = bar(view, orientation);
    b.value = value;
    QPointF &pos = m_views[view].imagePos;
    if (orientation == Qt::Horizontal)
        pos.setX(-double(value));
    else
        pos.setY(-double(value));
    emit scrollBarsChanged(view);
    emit imageMoved(view, pos);
}

bool ViewPair::scroll(View view, Qt::Orientation orientation, std::int64_t value)
{
    if (!bar(view, orientation).accepts(value))
        return false;
    applyValue(view, orientation, value);
    return true;
}

void ViewPair::press(View view, QPointF pos)
{
    m_pointers[view] = Pointer::Grab;
    emit pointerChanged(view, Pointer::Grab);
    m_dragging = true;
    m_pressPoint = pos + m_views[view].imagePos;
    for (View v : {Original, Optimized})
        m_valuesAtPress[v] = {m_views[v].horizontal.value, m_views[v].vertical.value};
}

// Every enabled bar takes its value at the press minus the distance the
// mouse has travelled since, so the pressed picture follows the mouse and
// the other one moves by the same amount. Measuring from the press keeps
// the two in step even while one of them cannot follow (it fits its
// viewport, or has reached the end of its range).
void ViewPair::move(View view, QPointF pos)
{
    if (!m_dragging)
        return;
    const QPointF travelled = pos + m_views[view].imagePos - m_pressPoint;
    const View order[] = {view, other(view)};
    for (View v : order) {
        for (Qt::Orientation o : {Qt::Horizontal, Qt::Vertical}) {
            const ScrollBarState &b = bar(v, o);
            if (!b.enabled)
                continue;
            const bool horizontal = o == Qt::Horizontal;
            const double start = double(m_valuesAtPress[v][horizontal ? 0 : 1]);
            const std::int64_t value =
                roundHalfEven(start - (horizontal ? travelled.x() : travelled.y()));
            if (value != b.value && b.accepts(value)) // past the end it stops where it last was
                applyValue(v, o, value);
        }
    }
}

void ViewPair::release(View view)
{
    m_pointers[view] = Pointer::Release;
    emit pointerChanged(view, Pointer::Release);
    m_dragging = false;
}

} // namespace pictrove
