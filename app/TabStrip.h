#pragma once

#include <QWidget>

class QFrame;
class QTabBar;

namespace pictrove {

// sTab: the tab headers over a bordered body. The pages are not its
// children; the window lays them over the body and switches them when a
// tab is clicked.
class TabStrip : public QWidget {
    Q_OBJECT
public:
    explicit TabStrip(QWidget *parent = nullptr);

    QTabBar *tabs() const { return m_tabs; }
    // 1-based, as the tabs are numbered.
    int selectedTab() const;
    void selectTab(int tab);

signals:
    void clicked();

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    QTabBar *m_tabs = nullptr;
    QFrame *m_body = nullptr;
};

} // namespace pictrove
