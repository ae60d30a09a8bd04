#include "app/TabStrip.h"

#include <QFrame>
#include <QTabBar>

namespace pictrove {

TabStrip::TabStrip(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("sTab"));
    m_body = new QFrame(this);
    m_body->setFrameShape(QFrame::StyledPanel);
    m_body->setFrameShadow(QFrame::Raised);
    m_tabs = new QTabBar(this);
    m_tabs->setDrawBase(false);
    m_tabs->setExpanding(false);
    // Both tabs must end left of the help button at x = 296.
    QFont tabFont = m_tabs->font();
    tabFont.setPointSizeF(tabFont.pointSizeF() * 0.85);
    m_tabs->setFont(tabFont);
    m_tabs->addTab(QStringLiteral("Step 1 : Select Images"));
    m_tabs->addTab(QStringLiteral("Step 2 : Output Settings"));
    connect(m_tabs, &QTabBar::currentChanged, this, &TabStrip::clicked);
}

int TabStrip::selectedTab() const { return m_tabs->currentIndex() + 1; }

void TabStrip::selectTab(int tab) { m_tabs->setCurrentIndex(tab - 1); }

void TabStrip::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    const int headerHeight = m_tabs->sizeHint().height();
    m_tabs->setGeometry(2, 0, std::min(m_tabs->sizeHint().width(), width() - 2), headerHeight);
    m_body->setGeometry(0, headerHeight - 1, width(), std::max(0, height() - headerHeight + 1));
    m_tabs->raise();
}

} // namespace pictrove
