#include "workflow/widgets/Splitter.h"

#include "workflow/widgets/TwipsEdge.h"

#include <QMouseEvent>
#include <QResizeEvent>

namespace pictrove {

namespace {
QColor colorFromCode(std::uint32_t code, const QPalette &palette)
{
    if (code & 0x80000000u) {
        // System colours; the splitter only ever uses the button face.
        return palette.color(QPalette::Button);
    }
    return QColor(int(code & 0xFF), int((code >> 8) & 0xFF), int((code >> 16) & 0xFF));
}
} // namespace

Splitter::Splitter(QWidget *parent) : QWidget(parent)
{
    m_bar = new QWidget(this);
    m_bar->setObjectName(QStringLiteral("picSplitter"));
    m_bar->setAutoFillBackground(true);
    m_bar->installEventFilter(this);

    m_ghost = new QWidget(this);
    m_ghost->setObjectName(QStringLiteral("picMover"));
    m_ghost->setAutoFillBackground(true);
    QPalette ghostPalette = m_ghost->palette();
    ghostPalette.setColor(QPalette::Window, QColor(0x80, 0x80, 0x80));
    m_ghost->setPalette(ghostPalette);
    m_ghost->hide();

    connect(&m_model, &SplitterModel::barChanged, this, &Splitter::placeBar);
    connect(&m_model, &SplitterModel::orientationChanged, this, &Splitter::applyCursor);
    connect(&m_model, &SplitterModel::propertyChanged, this, [this](const QString &name) {
        if (name == QLatin1String("SplitterColor"))
            applyColor();
        else if (name == QLatin1String("Enabled"))
            m_bar->setEnabled(m_model.enabled());
    });
    connect(&m_model, &SplitterModel::paneLaidOut, this, &Splitter::placePane);
    connect(&m_model, &SplitterModel::resized, this, &Splitter::resized);
    connect(&m_model, &SplitterModel::splitBegin, this, &Splitter::splitBegin);
    connect(&m_model, &SplitterModel::splitMove, this, &Splitter::splitMove);
    connect(&m_model, &SplitterModel::splitComplete, this, &Splitter::splitComplete);
    applyColor();
    applyCursor();
}

void Splitter::setLeftOrTopControl(QWidget *pane)
{
    m_first = pane;
    if (pane && pane->parentWidget() != this)
        pane->setParent(this);
    m_model.setLeftOrTopControl(pane ? pane->objectName() : QString());
}

void Splitter::setRightOrBottomControl(QWidget *pane)
{
    m_second = pane;
    if (pane && pane->parentWidget() != this)
        pane->setParent(this);
    m_model.setRightOrBottomControl(pane ? pane->objectName() : QString());
}

QWidget *Splitter::findPane(const QString &name) const
{
    if (name.isEmpty())
        return nullptr;
    return findChild<QWidget *>(name, Qt::FindDirectChildrenOnly);
}

void Splitter::readProperties(const StoredProperties &props)
{
    // Resolve the panes first so that the Refresh runs of the setters find
    // them when the model reports their places.
    m_first = findPane(props.read(QStringLiteral("LeftOrTopControl"), QString()));
    m_second = findPane(props.read(QStringLiteral("RightOrBottomControl"), QString()));
    m_model.readProperties(props, true);
    applyColor();
}

void Splitter::syncSize()
{
    const QSizeF twips = toTwips(size());
    if (twips != m_model.size())
        m_model.resize(twips);
}

void Splitter::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    syncSize();
}

void Splitter::placeBar()
{
    m_bar->setGeometry(toPixels(m_model.barRect()));
    m_ghost->setGeometry(toPixels(m_model.ghostRect()));
    m_ghost->setVisible(m_model.ghostVisible());
    m_bar->raise();
    if (m_model.ghostVisible())
        m_ghost->raise();
}

void Splitter::placePane(SplitterModel::Pane pane, QRectF rect)
{
    QWidget *target = pane == SplitterModel::Pane::LeftOrTop ? m_first : m_second;
    if (!target)
        return;
    target->setGeometry(toPixels(rect));
    if (auto *nested = qobject_cast<Splitter *>(target))
        nested->syncSize();
    m_bar->raise();
}

void Splitter::applyColor()
{
    QPalette p = m_bar->palette();
    p.setColor(QPalette::Window, colorFromCode(m_model.splitterColor(), palette()));
    m_bar->setPalette(p);
}

void Splitter::applyCursor()
{
    m_bar->setCursor(m_model.isHorizontal() ? Qt::SizeVerCursor : Qt::SizeHorCursor);
}

bool Splitter::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_bar)
        return QWidget::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::MouseButtonPress:
        m_model.press();
        return true;
    case QEvent::MouseMove: {
        // Without a button held there is no drag and the model ignores it.
        const auto *mouse = static_cast<QMouseEvent *>(event);
        m_model.move(toTwips(mouse->position()));
        return true;
    }
    case QEvent::MouseButtonRelease:
        m_model.release();
        return true;
    default:
        return QWidget::eventFilter(watched, event);
    }
}

} // namespace pictrove
