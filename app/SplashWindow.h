#pragma once

#include <QTimer>
#include <QWidget>

class QLabel;

namespace pictrove {

// fSplash: the product picture, shown from the moment it is created, with
// the 500 ms timer whose tick starts the program. Closing the splash
// before the tick (a click, a double-click on the picture, or the picture
// losing the focus) takes the timer with it, so the program never starts.
class SplashWindow : public QWidget {
    Q_OBJECT
public:
    explicit SplashWindow(QWidget *parent = nullptr);

    QLabel *picture() const { return m_picture; }
    QTimer &timer() { return m_timer; }

signals:
    void tick();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QLabel *m_picture = nullptr; // picSplash
    QTimer m_timer;              // tSplash
};

} // namespace pictrove
