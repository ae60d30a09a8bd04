#pragma once

#include "app/FrameCommands.h"
#include "platform/FileDialogService.h"
#include "platform/MessageService.h"

namespace pictrove {

// Message boxes as QMessageBox windows over the active window.
class QtMessageService final : public MessageService {
public:
    MessageAnswer show(const QString &text, const QString &title, MessageIcon icon,
                       MessageButtons buttons) override;
};

// File dialogs as QFileDialog windows over the active window. Qt's own
// dialog, so that nothing appends an extension to what the user typed.
class QtFileDialogService final : public FileDialogService {
public:
    std::optional<QString> choose(const FileDialogRequest &request) override;
};

// Documents and web pages through the desktop's default programs.
class DesktopUrlOpener final : public UrlOpener {
public:
    bool open(const QUrl &url) override;
};

} // namespace pictrove
