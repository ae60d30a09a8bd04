#pragma once

#include "app/FrameCommands.h"
#include "platform/MessageService.h"

namespace pictrove {

// Message boxes as QMessageBox windows over the active window.
class QtMessageService final : public MessageService {
public:
    MessageAnswer show(const QString &text, const QString &title, MessageIcon icon,
                       MessageButtons buttons) override;
};

// Documents and web pages through the desktop's default programs.
class DesktopUrlOpener final : public UrlOpener {
public:
    bool open(const QUrl &url) override;
};

} // namespace pictrove
