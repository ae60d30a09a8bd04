#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace pictrove {

// One file dialog as the program asks for it. The filter is written as
// "Display text|pattern" pairs joined by "|", e.g.
// "Picture List(*.ripl)|*.ripl".
struct FileDialogRequest {
    enum class Mode { Open, Save };
    Mode mode = Mode::Open;
    QString title;
    QString filter;
    QString initialFolder;
    QString initialName;
    // Save only: ask before an existing file is chosen. Off, the file is
    // replaced without a question.
    bool confirmOverwrite = false;
};

// Every file dialog of the program goes through this interface: the window
// installs one that shows a QFileDialog, tests install one that answers at
// once. No extension is ever appended to what the user typed.
class FileDialogService {
public:
    virtual ~FileDialogService() = default;
    // The chosen file's path, or nothing when the user cancelled.
    virtual std::optional<QString> choose(const FileDialogRequest &request) = 0;
};

// The filter pairs as Qt's name filters: "Picture List(*.ripl)|*.ripl" gives
// "Picture List(*.ripl)"; a display text that does not show its pattern gets
// it added in parentheses, which is where Qt reads patterns from.
QStringList nameFilters(const QString &filter);

// The process-wide service. Without an installed one every dialog is
// cancelled (headless use).
FileDialogService &fileDialogs();
void installFileDialogService(FileDialogService *service);

} // namespace pictrove
