#pragma once

#include <QString>

namespace pictrove {

enum class MessageIcon { None, Information, Exclamation, Critical, Question };
enum class MessageButtons { Ok, OkCancel, YesNo, YesNoCancel };
enum class MessageAnswer { Ok, Cancel, Yes, No };

// Every message box of the program goes through this interface: the window
// installs one that shows a QMessageBox, tests install one that records the
// call and answers at once, so no test ever blocks on a dialog.
class MessageService {
public:
    virtual ~MessageService() = default;
    virtual MessageAnswer show(const QString &text, const QString &title, MessageIcon icon,
                               MessageButtons buttons) = 0;
};

// The process-wide service. Without an installed one, messages are answered
// with the first button and not shown (headless use).
MessageService &messages();
void installMessageService(MessageService *service);

} // namespace pictrove
