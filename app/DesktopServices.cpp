#include "app/DesktopServices.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QPointer>
#include <QScopeGuard>

namespace pictrove {

MessageAnswer QtMessageService::show(const QString &text, const QString &title, MessageIcon icon,
                                     MessageButtons buttons)
{
    // Closing the box by the window manager counts as its escape button.
    const MessageAnswer escape = buttons == MessageButtons::YesNo ? MessageAnswer::No
                                 : buttons == MessageButtons::Ok  ? MessageAnswer::Ok
                                                                  : MessageAnswer::Cancel;
    // The box is centred over the active window, unless that window closes
    // itself and would take the box with it: the splash does so as soon as
    // a start-up message takes the focus from it. The box may still vanish
    // with its owner; it lives on the heap and is watched for that.
    QWidget *owner = QApplication::activeWindow();
    if (owner && owner->testAttribute(Qt::WA_DeleteOnClose))
        owner = nullptr;
    QPointer<QMessageBox> box = new QMessageBox(owner);
    const auto release = qScopeGuard([&box] { delete box.data(); });
    box->setWindowTitle(title);
    box->setText(text);
    switch (icon) {
    case MessageIcon::None: box->setIcon(QMessageBox::NoIcon); break;
    case MessageIcon::Information: box->setIcon(QMessageBox::Information); break;
    case MessageIcon::Exclamation: box->setIcon(QMessageBox::Warning); break;
    case MessageIcon::Critical: box->setIcon(QMessageBox::Critical); break;
    case MessageIcon::Question: box->setIcon(QMessageBox::Question); break;
    }
    switch (buttons) {
    case MessageButtons::Ok: box->setStandardButtons(QMessageBox::Ok); break;
    case MessageButtons::OkCancel:
        box->setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        break;
    case MessageButtons::YesNo: box->setStandardButtons(QMessageBox::Yes | QMessageBox::No); break;
    case MessageButtons::YesNoCancel:
        box->setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        break;
    }
    const int result = box->exec();
    if (!box)
        return escape;
    switch (result) {
    case QMessageBox::Cancel: return MessageAnswer::Cancel;
    case QMessageBox::Yes: return MessageAnswer::Yes;
    case QMessageBox::No: return MessageAnswer::No;
    default:
        if (box->clickedButton() && box->clickedButton() == box->button(QMessageBox::Ok))
            return MessageAnswer::Ok;
        return escape;
    }
}

std::optional<QString> QtFileDialogService::choose(const FileDialogRequest &request)
{
    QPointer<QFileDialog> dialog = new QFileDialog(QApplication::activeWindow());
    const auto release = qScopeGuard([&dialog] { delete dialog.data(); });
    const bool save = request.mode == FileDialogRequest::Mode::Save;
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    dialog->setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog->setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog->setOption(QFileDialog::DontConfirmOverwrite, !request.confirmOverwrite);
    if (!request.title.isEmpty())
        dialog->setWindowTitle(request.title);
    const QStringList filters = nameFilters(request.filter);
    if (!filters.isEmpty())
        dialog->setNameFilters(filters);
    const QString folder = request.initialFolder.trimmed();
    if (!folder.isEmpty() && QDir(folder).exists())
        dialog->setDirectory(folder);
    if (!request.initialName.isEmpty())
        dialog->selectFile(request.initialName);
    if (dialog->exec() != QDialog::Accepted || !dialog || dialog->selectedFiles().isEmpty())
        return std::nullopt;
    return dialog->selectedFiles().constFirst();
}

bool DesktopUrlOpener::open(const QUrl &url) { return QDesktopServices::openUrl(url); }

} // namespace pictrove
