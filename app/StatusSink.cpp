#include "app/StatusSink.h"

#include "app/StatusPanel.h"

#include <QIcon>
#include <QProgressBar>
#include <QStatusBar>

#include <algorithm>
#include <climits>

namespace pictrove {

namespace {
constexpr int kPanelWidths[5] = {160, 160, 100, 96, 318};
}

StatusSink::StatusSink(QWidget *window)
{
    m_bar = new QStatusBar(window);
    m_bar->setObjectName(QStringLiteral("SB"));
    m_bar->setSizeGripEnabled(true);
    for (int i = 0; i < 5; ++i) {
        auto *label = new StatusPanel(m_bar);
        label->setObjectName(QStringLiteral("SBPanel%1").arg(i + 1));
        // Each panel wants its designed width and grows with a longer text
        // (a long file name, a large basket), the first four up to twice
        // that. When the bar is short of room the widest give way first,
        // down to their texts or designed widths, so the last one, which
        // takes what is left, keeps room for its messages. A text longer
        // than its panel is cut in the middle and shown whole as a tool tip.
        label->setDesignedWidth(kPanelWidths[i], i < 4 ? kPanelWidths[i] : kPanelWidths[i] / 2);
        if (i < 4)
            label->setMaximumWidth(kPanelWidths[i] * 2);
        m_bar->addWidget(label, i == 4 ? 1 : 0);
        m_panels[i] = label;
    }
    // Panel 4 shows the previewed file's type icon before its text.
    m_panel4Icon = new QLabel(m_panels[3]);
    m_panel4Icon->setObjectName(QStringLiteral("SBPanel4Icon"));
    m_panel4Icon->setGeometry(3, 2, 16, 16);
    m_panel4Icon->hide();
    m_panels[0]->setText(QStringLiteral("Tevalen Pictrove"));
    m_panels[0]->setToolTip(QStringLiteral("Tevalen Pictrove"));

    m_progress = new QProgressBar(window);
    m_progress->setObjectName(QStringLiteral("pb"));
    m_progress->setTextVisible(false);
    m_progress->setFixedHeight(m_bar->sizeHint().height() - 4);
    // Shown by the batch run while it converts.
    m_progress->hide();
}

QLabel *StatusSink::panel(int number) const
{
    return number >= 1 && number <= 5 ? m_panels[number - 1] : nullptr;
}

void StatusSink::setText(int panel, const QString &text)
{
    if (QLabel *label = this->panel(panel))
        label->setText(text);
}

void StatusSink::setPanel4Icon(const QIcon &icon)
{
    QLabel *panel4 = m_panels[3];
    if (icon.isNull()) {
        m_panel4Icon->hide();
        panel4->setContentsMargins(3, 0, 3, 0);
        return;
    }
    m_panel4Icon->setPixmap(icon.pixmap(QSize(16, 16)));
    m_panel4Icon->move(3, (panel4->height() - 16) / 2);
    m_panel4Icon->show();
    panel4->setContentsMargins(22, 0, 3, 0);
}

void StatusSink::startProgress(int maximum)
{
    m_progress->setMaximum(maximum);
    m_progress->setValue(0);
    m_progress->show();
    m_progress->raise();
}

void StatusSink::setProgress(qint64 position)
{
    m_progress->setValue(int(std::min<qint64>(position, INT_MAX)));
}

void StatusSink::endProgress() { m_progress->hide(); }

} // namespace pictrove
