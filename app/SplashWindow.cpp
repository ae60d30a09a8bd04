#include "app/SplashWindow.h"

#include "app/Artwork.h"

#include <QEvent>
#include <QFocusEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QPixmap>
#include <QScreen>

namespace pictrove {

SplashWindow::SplashWindow(QWidget *parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint)
{
    setObjectName(QStringLiteral("fSplash"));
    setWindowTitle(QStringLiteral("Pictrove"));
    setAttribute(Qt::WA_DeleteOnClose);
    m_picture = new QLabel(this);
    m_picture->setObjectName(QStringLiteral("picSplash"));
    const QImage art = productPicture();
    m_picture->setPixmap(QPixmap::fromImage(art));
    m_picture->setGeometry(0, 0, art.width(), art.height());
    m_picture->setFocusPolicy(Qt::StrongFocus);
    m_picture->installEventFilter(this);
    setFixedSize(art.size());
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());

    m_timer.setObjectName(QStringLiteral("tSplash"));
    m_timer.setInterval(500);
    connect(&m_timer, &QTimer::timeout, this, &SplashWindow::tick);
    m_timer.start();

    show();
    m_picture->setFocus(Qt::OtherFocusReason);
}

void SplashWindow::mousePressEvent(QMouseEvent *)
{
    close();
}

bool SplashWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_picture) {
        switch (event->type()) {
        case QEvent::MouseButtonDblClick:
        case QEvent::FocusOut:
            close();
            return false;
        case QEvent::MouseButtonPress:
            // A single click on the picture is a click on the window.
            close();
            return true;
        default:
            break;
        }
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace pictrove
