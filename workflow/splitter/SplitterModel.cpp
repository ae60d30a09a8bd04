#include "workflow/splitter/SplitterModel.h"

#include "platform/Rounding.h"

namespace pictrove {

namespace {
const QString kEnabled = QStringLiteral("Enabled");
const QString kLeftOrTop = QStringLiteral("LeftOrTopControl");
const QString kRightOrBottom = QStringLiteral("RightOrBottomControl");
const QString kOrientation = QStringLiteral("Orientation");
const QString kWidth = QStringLiteral("SplitterWidth");
const QString kPosition = QStringLiteral("SplitterPosition");
const QString kMax = QStringLiteral("SplitterMax");
const QString kMin = QStringLiteral("SplitterMin");
const QString kColor = QStringLiteral("SplitterColor");

constexpr int kDefaultWidth = 70;
constexpr int kDefaultPosition = 50;
constexpr int kDefaultMax = 90;
constexpr int kDefaultMin = 10;
} // namespace

SplitterModel::SplitterModel(QObject *parent) : QObject(parent) {}

double SplitterModel::extent() const
{
    return isHorizontal() ? m_size.height() : m_size.width();
}

QRectF SplitterModel::rectAt(double offset) const
{
    if (isHorizontal())
        return QRectF(0, offset, m_size.width(), m_splitterWidth);
    return QRectF(offset, 0, m_splitterWidth, m_size.height());
}

void SplitterModel::placeGhostFromPosition()
{
    m_ghost = rectAt(double(floorToInt(m_position * extent() / 100.0)));
    emit barChanged();
}

void SplitterModel::resize(QSizeF twips)
{
    m_size = twips;
    emit resized();
    placeGhostFromPosition();
    refresh();
}

std::optional<QRectF> SplitterModel::paneRect(Pane pane) const
{
    return pane == Pane::LeftOrTop ? m_firstPane : m_secondPane;
}

// A pane that would get a negative size cannot be placed; like any failed
// placement it ends the layout there.
bool SplitterModel::layOutPane(Pane pane, const QRectF &rect)
{
    if (rect.width() < 0 || rect.height() < 0)
        return false;
    (pane == Pane::LeftOrTop ? m_firstPane : m_secondPane) = rect;
    emit paneLaidOut(pane, rect);
    return true;
}

void SplitterModel::refresh()
{
    m_bar = m_ghost;
    emit barChanged();
    m_firstPane.reset();
    m_secondPane.reset();
    if (!m_runMode)
        return;

    const double w = m_size.width();
    const double h = m_size.height();
    QRectF first;
    QRectF second;
    if (isHorizontal()) {
        const double top = m_bar.top();
        first = QRectF(0, 0, w, top);
        second = QRectF(0, top + m_splitterWidth, w, h - top - m_splitterWidth);
    } else {
        const double left = m_bar.left();
        first = QRectF(0, 0, left, h);
        second = QRectF(left + m_splitterWidth, 0, w - left - m_splitterWidth, h);
    }
    if (!m_leftOrTop.isEmpty() && !layOutPane(Pane::LeftOrTop, first))
        return;
    if (!m_rightOrBottom.isEmpty())
        layOutPane(Pane::RightOrBottom, second);
}

void SplitterModel::press()
{
    if (!m_enabled || m_dragging)
        return;
    m_ghost = m_bar;
    m_dragging = true;
    emit barChanged();
    emit splitBegin();
}

void SplitterModel::move(QPointF offset)
{
    if (!m_dragging)
        return;
    const double size = extent();
    const double target = isHorizontal() ? m_bar.top() + offset.y() : m_bar.left() + offset.x();
    const std::int64_t newPosition = roundHalfEven(target);
    const std::int64_t lower = floorToInt(m_min * size / 100.0);
    const std::int64_t upper = floorToInt(m_max * size / 100.0);
    if (lower < newPosition && newPosition < upper) {
        m_ghost = rectAt(target);
        // Written as the control always computed it, so that a stored
        // percentage never differs from the one of earlier versions.
        m_position = int(floorToInt(100.0 / (size / double(newPosition))));
        emit barChanged();
    }
    emit splitMove();
}

void SplitterModel::release()
{
    if (!m_dragging)
        return;
    m_dragging = false;
    refresh();
    emit splitComplete();
}

void SplitterModel::setEnabled(bool enabled)
{
    m_enabled = enabled;
    emit propertyChanged(kEnabled);
}

void SplitterModel::setLeftOrTopControl(const QString &name)
{
    m_leftOrTop = name;
    emit propertyChanged(kLeftOrTop);
    refresh();
}

void SplitterModel::setRightOrBottomControl(const QString &name)
{
    m_rightOrBottom = name;
    emit propertyChanged(kRightOrBottom);
    refresh();
}

void SplitterModel::setOrientation(int orientation)
{
    m_orientation = orientation;
    emit propertyChanged(kOrientation);
    m_bar = rectAt(double(floorToInt(m_position * extent() / 100.0)));
    m_ghost = m_bar;
    emit orientationChanged();
    emit barChanged();
}

void SplitterModel::setSplitterWidth(int twips)
{
    m_splitterWidth = twips;
    emit propertyChanged(kWidth);
    placeGhostFromPosition();
    refresh();
}

void SplitterModel::setSplitterPosition(int percent)
{
    if (percent > m_max)
        percent = m_max;
    if (percent < m_min)
        percent = m_min;
    m_position = percent;
    emit propertyChanged(kPosition);
    placeGhostFromPosition();
    refresh();
}

// The odd limits (1 and 99 rather than 0 and 100) are those the control
// has always had; stored designs depend on them.
void SplitterModel::setSplitterMax(int percent)
{
    if (percent < 0)
        percent = 1;
    else if (percent > 100)
        percent = 99;
    if (percent < m_min)
        percent = m_min + 1;
    m_max = percent;
    emit propertyChanged(kMax);
    placeGhostFromPosition();
    refresh();
}

void SplitterModel::setSplitterMin(int percent)
{
    if (percent > 100)
        percent = 99;
    else if (percent < 0)
        percent = 1;
    if (percent > m_max)
        percent = m_max - 1;
    m_min = percent;
    emit propertyChanged(kMin);
    placeGhostFromPosition();
    refresh();
}

void SplitterModel::setSplitterColor(std::uint32_t color)
{
    m_color = color;
    emit propertyChanged(kColor);
    emit barChanged();
}

StoredProperties SplitterModel::writeProperties() const
{
    StoredProperties props;
    props.write(kEnabled, m_enabled, true);
    props.write(kLeftOrTop, m_leftOrTop, QString());
    props.write(kOrientation, (long long)m_orientation, (long long)VerticalBar);
    props.write(kRightOrBottom, m_rightOrBottom, QString());
    props.write(kPosition, (long long)m_position, (long long)kDefaultPosition);
    props.write(kMax, (long long)m_max, (long long)kDefaultMax);
    props.write(kMin, (long long)m_min, (long long)kDefaultMin);
    props.write(kColor, (long long)m_color, (long long)ButtonFaceColor);
    props.write(kWidth, (long long)m_splitterWidth, (long long)kDefaultWidth);
    return props;
}

// The order matters: the position is limited by the maximum and minimum
// read just before it.
void SplitterModel::readProperties(const StoredProperties &props, bool runMode)
{
    m_runMode = runMode;
    setEnabled(props.read(kEnabled, true));
    setLeftOrTopControl(props.read(kLeftOrTop, QString()));
    setRightOrBottomControl(props.read(kRightOrBottom, QString()));
    setSplitterColor(std::uint32_t(props.read(kColor, (long long)ButtonFaceColor)));
    setSplitterWidth(int(props.read(kWidth, (long long)kDefaultWidth)));
    setSplitterMax(int(props.read(kMax, (long long)kDefaultMax)));
    setSplitterMin(int(props.read(kMin, (long long)kDefaultMin)));
    setSplitterPosition(int(props.read(kPosition, (long long)kDefaultPosition)));
    setOrientation(int(props.read(kOrientation, (long long)VerticalBar)));
}

} // namespace pictrove
