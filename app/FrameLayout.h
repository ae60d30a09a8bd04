#pragma once

#include <QRect>
#include <QSize>

#include <optional>

namespace pictrove {

// The main window's fixed pixel layout, one function per step of the resize
// pass. W and H are the client width and height; every step reads sizes
// afresh because earlier steps change them (a splitter placed in step 6
// sizes the list containers read in steps 7 and 8).
namespace frame {

inline constexpr int MinimumWidth = 600;
inline constexpr int MinimumHeight = 500;

// The outer size the window must be given when the client is below the
// minimum; each dimension is checked by itself. Nothing when it fits.
std::optional<QSize> snappedOuterSize(QSize client, QSize outer);

QRect tabStrip(QSize client, int statusBarHeight);
// Frame_step1 and Frame_step2 lie on top of each other.
QRect stepPage(QSize client, int statusBarHeight);
// A list under its toolbar; narrower is how much it leaves free on the right.
QRect listUnderToolbar(QSize containerInner, int toolbarTop, int toolbarHeight, int narrower);
// cSave: the right-hand column of the second page.
QRect saveColumn(int page2InnerWidth, int columnWidth, int page1InnerHeight);
// bs21 spans the client's height, not the page's; the page clips it.
QRect step2Splitter(QSize client, int columnWidth);

// A Step 2 view pane: the viewport above its information frame.
struct ViewPaneLayout {
    QRect viewport;
    int infoTop;
    int infoWidth;
};
ViewPaneLayout viewPane(QSize paneInner, int infoHeight, int narrower);

// pb over status panel 2.
QRect progressBar(int panelLeft, int panelWidth, int clientHeight, int barHeight);

} // namespace frame
} // namespace pictrove
