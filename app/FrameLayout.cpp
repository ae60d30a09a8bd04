#include "app/FrameLayout.h"

namespace pictrove::frame {

std::optional<QSize> snappedOuterSize(QSize client, QSize outer)
{
    QSize wanted = outer;
    if (client.width() < MinimumWidth)
        wanted.setWidth(MinimumWidth);
    if (client.height() < MinimumHeight)
        wanted.setHeight(MinimumHeight);
    if (wanted == outer)
        return std::nullopt;
    return wanted;
}

QRect tabStrip(QSize client, int statusBarHeight)
{
    return QRect(0, 0, client.width() - 3, client.height() - statusBarHeight);
}

QRect stepPage(QSize client, int statusBarHeight)
{
    return QRect(5, 25, client.width() - 13, client.height() - statusBarHeight - 33);
}

QRect listUnderToolbar(QSize containerInner, int toolbarTop, int toolbarHeight, int narrower)
{
    return QRect(0, toolbarTop + toolbarHeight, containerInner.width() - narrower,
                 containerInner.height() - toolbarHeight);
}

QRect saveColumn(int page2InnerWidth, int columnWidth, int page1InnerHeight)
{
    return QRect(page2InnerWidth - columnWidth, 0, columnWidth, page1InnerHeight);
}

QRect step2Splitter(QSize client, int columnWidth)
{
    return QRect(0, 0, client.width() - columnWidth, client.height());
}

ViewPaneLayout viewPane(QSize paneInner, int infoHeight, int narrower)
{
    ViewPaneLayout out;
    out.viewport = QRect(0, 0, paneInner.width() - narrower, paneInner.height() - infoHeight - 55);
    out.infoTop = out.viewport.top() + out.viewport.height() + 5;
    out.infoWidth = out.viewport.width();
    return out;
}

QRect progressBar(int panelLeft, int panelWidth, int clientHeight, int barHeight)
{
    return QRect(panelLeft + 1, clientHeight - barHeight, panelWidth - 2, barHeight);
}

} // namespace pictrove::frame
