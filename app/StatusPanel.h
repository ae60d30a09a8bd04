#pragma once

#include <QLabel>

namespace pictrove {

// A status bar panel: a sunken label whose text, when longer than the
// panel, is cut in the middle (a file name's start and its size or reason
// stay readable) and shown whole as the panel's tool tip. text() is always
// the whole text, for the accessibility interface as for the program.
class StatusPanel : public QLabel {
    Q_OBJECT
public:
    explicit StatusPanel(QWidget *parent = nullptr);

    // What the panel shows of its text in its present width.
    QString shownText() const;

    // The width the panel asks for (more for a longer text), and the width
    // it gives way to when the bar is short of room (less for a shorter text).
    void setDesignedWidth(int preferred, int leastForLongText);
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    bool event(QEvent *event) override;

private:
    int m_preferred = 0;
    int m_least = 0;
};

} // namespace pictrove
