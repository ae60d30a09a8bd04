#pragma once

#include "workflow/splitter/StoredProperties.h"

#include <QObject>
#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <QString>

#include <cstdint>
#include <optional>

namespace pictrove {

// The state and arithmetic of the program's pane splitter, in twips of the
// splitter's own coordinate space. A widget shows it (converting to pixels
// at its edge) and forwards mouse presses on the bar; tests drive it
// directly. Panes are named; the widget moves the panes it was given when
// paneLaidOut() arrives.
class SplitterModel : public QObject {
    Q_OBJECT
public:
    // Orientation 1 is a horizontal bar (panes above and below); every
    // other value is a vertical bar (panes left and right).
    static constexpr int HorizontalBar = 1;
    static constexpr int VerticalBar = 0;
    // The system's button-face colour, in the classic system-colour form.
    static constexpr std::uint32_t ButtonFaceColor = 0x8000000F;

    enum class Pane { LeftOrTop, RightOrBottom };

    explicit SplitterModel(QObject *parent = nullptr);

    bool enabled() const { return m_enabled; }
    void setEnabled(bool enabled);

    QString leftOrTopControl() const { return m_leftOrTop; }
    void setLeftOrTopControl(const QString &name);
    QString rightOrBottomControl() const { return m_rightOrBottom; }
    void setRightOrBottomControl(const QString &name);

    int orientation() const { return m_orientation; }
    bool isHorizontal() const { return m_orientation == HorizontalBar; }
    void setOrientation(int orientation);

    int splitterWidth() const { return m_splitterWidth; }
    void setSplitterWidth(int twips);

    int splitterPosition() const { return m_position; }
    void setSplitterPosition(int percent);
    int splitterMax() const { return m_max; }
    void setSplitterMax(int percent);
    int splitterMin() const { return m_min; }
    void setSplitterMin(int percent);

    std::uint32_t splitterColor() const { return m_color; }
    void setSplitterColor(std::uint32_t color);

    // Panes are laid out only in run mode, never inside a designer.
    bool runMode() const { return m_runMode; }
    void setRunMode(bool runMode) { m_runMode = runMode; }

    QSizeF size() const { return m_size; }
    // The splitter was resized: Resize, then the ghost from the position,
    // then Refresh.
    void resize(QSizeF twips);
    // Places the bar where the ghost is and lays out the panes.
    void refresh();

    QRectF barRect() const { return m_bar; }
    QRectF ghostRect() const { return m_ghost; }
    bool ghostVisible() const { return m_dragging; }
    bool dragging() const { return m_dragging; }
    // Where the last Refresh put each pane (nothing when it was not laid out).
    std::optional<QRectF> paneRect(Pane pane) const;

    // Mouse on the bar. offset is measured from the bar's top-left corner.
    void press();
    void move(QPointF offset);
    void release();

    // The saved design, written and read in the fixed orders of the control.
    StoredProperties writeProperties() const;
    void readProperties(const StoredProperties &props, bool runMode);

signals:
    void resized();
    void splitComplete();
    void splitMove();
    void splitBegin();
    void propertyChanged(const QString &storedName);
    // The bar, the ghost or its visibility changed.
    void barChanged();
    void orientationChanged();
    void paneLaidOut(pictrove::SplitterModel::Pane pane, QRectF rect);

private:
    double extent() const; // height for a horizontal bar, width otherwise
    QRectF rectAt(double offset) const;
    void placeGhostFromPosition();
    bool layOutPane(Pane pane, const QRectF &rect);

    bool m_enabled = true;
    QString m_leftOrTop;
    QString m_rightOrBottom;
    int m_orientation = VerticalBar;
    int m_splitterWidth = 70;
    int m_position = 50;
    int m_max = 90;
    int m_min = 10;
    std::uint32_t m_color = ButtonFaceColor;
    bool m_runMode = true;

    QSizeF m_size;
    QRectF m_bar;
    QRectF m_ghost;
    bool m_dragging = false;
    std::optional<QRectF> m_firstPane;
    std::optional<QRectF> m_secondPane;
};

} // namespace pictrove
