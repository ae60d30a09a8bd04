#include "app/DesktopServices.h"

#include <QApplication>
#include <QDesktopServices>
#include <QMessageBox>

namespace pictrove {

MessageAnswer QtMessageService::show(const QString &text, const QString &title, MessageIcon icon,
                                     MessageButtons buttons)
{
    QMessageBox box(QApplication::activeWindow());
    box.setWindowTitle(title);
    box.setText(text);
    switch (icon) {
    case MessageIcon::None: box.setIcon(QMessageBox::NoIcon); break;
    case MessageIcon::Information: box.setIcon(QMessageBox::Information); break;
    case MessageIcon::Exclamation: box.setIcon(QMessageBox::Warning); break;
    case MessageIcon::Critical: box.setIcon(QMessageBox::Critical); break;
    case MessageIcon::Question: box.setIcon(QMessageBox::Question); break;
    }
    switch (buttons) {
    case MessageButtons::Ok: box.setStandardButtons(QMessageBox::Ok); break;
    case MessageButtons::OkCancel:
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        break;
    case MessageButtons::YesNo: box.setStandardButtons(QMessageBox::Yes | QMessageBox::No); break;
    case MessageButtons::YesNoCancel:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        break;
    }
    switch (box.exec()) {
    case QMessageBox::Cancel: return MessageAnswer::Cancel;
    case QMessageBox::Yes: return MessageAnswer::Yes;
    case QMessageBox::No: return MessageAnswer::No;
    default:
        // Closing the box by the window manager counts as its escape button.
        if (buttons == MessageButtons::YesNo)
            return MessageAnswer::No;
        if (buttons == MessageButtons::OkCancel || buttons == MessageButtons::YesNoCancel)
            return box.clickedButton() == box.button(QMessageBox::Ok) ? MessageAnswer::Ok
                                                                      : MessageAnswer::Cancel;
        return MessageAnswer::Ok;
    }
}

bool DesktopUrlOpener::open(const QUrl &url) { return QDesktopServices::openUrl(url); }

} // namespace pictrove
