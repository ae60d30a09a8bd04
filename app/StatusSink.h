#pragma once

#include <QString>

class QIcon;
class QLabel;
class QProgressBar;
class QStatusBar;
class QWidget;

namespace pictrove {

// The status bar at the window's foot and the progress bar over its second
// panel: where the wirings say what is going on. Panels are numbered 1 to 5.
class StatusSink {
public:
    // The bars are children of the window, which places them.
    explicit StatusSink(QWidget *window);

    void setText(int panel, const QString &text);
    // The file-type icon beside panel 4's text; a null icon removes it.
    void setPanel4Icon(const QIcon &icon);

    // The batch run's position over panel 2, from 0 to maximum.
    void startProgress(int maximum);
    void setProgress(qint64 position);
    void endProgress();

    QStatusBar *bar() const { return m_bar; }
    QLabel *panel(int number) const;
    QProgressBar *progress() const { return m_progress; }

private:
    QStatusBar *m_bar = nullptr; // SB
    QLabel *m_panels[5] = {};
    QLabel *m_panel4Icon = nullptr;
    QProgressBar *m_progress = nullptr; // pb
};

} // namespace pictrove
