#include "app/StatusPanel.h"

#include <QHelpEvent>
#include <QPainter>
#include <QStyle>
#include <QToolTip>

#include <algorithm>

namespace pictrove {

StatusPanel::StatusPanel(QWidget *parent) : QLabel(parent)
{
    setFrameShape(QFrame::Panel);
    setFrameShadow(QFrame::Sunken);
    setContentsMargins(3, 0, 3, 0);
}

void StatusPanel::setDesignedWidth(int preferred, int leastForLongText)
{
    m_preferred = preferred;
    m_least = leastForLongText;
    updateGeometry();
}

QSize StatusPanel::sizeHint() const
{
    QSize size = QLabel::sizeHint();
    size.setWidth(std::max(size.width(), m_preferred));
    return size;
}

QSize StatusPanel::minimumSizeHint() const
{
    QSize size = QLabel::minimumSizeHint();
    size.setWidth(std::min(QLabel::sizeHint().width(), m_least));
    return size;
}

QString StatusPanel::shownText() const
{
    return fontMetrics().elidedText(text(), Qt::ElideMiddle, contentsRect().width());
}

void StatusPanel::paintEvent(QPaintEvent *event)
{
    QFrame::paintEvent(event); // the sunken frame; the text is ours
    QPainter painter(this);
    style()->drawItemText(&painter, contentsRect(), int(alignment()), palette(), isEnabled(),
                          shownText(), foregroundRole());
}

bool StatusPanel::event(QEvent *event)
{
    // The whole text, also when a tool tip of its own was never set.
    if (event->type() == QEvent::ToolTip && toolTip().isEmpty()) {
        if (text().isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(static_cast<QHelpEvent *>(event)->globalPos(), text(), this);
        return true;
    }
    return QLabel::event(event);
}

} // namespace pictrove
