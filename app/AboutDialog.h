#pragma once

#include <QDialog>

namespace pictrove {

// fAbout: the product picture and an OK button; OK or a double-click on
// the picture closes it.
class AboutDialog : public QDialog {
    Q_OBJECT
public:
    explicit AboutDialog(QWidget *parent = nullptr);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
};

} // namespace pictrove
