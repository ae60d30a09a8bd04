#pragma once

#include "workflow/splitter/SplitterModel.h"

#include <QPointer>
#include <QWidget>

namespace pictrove {

// The program's pane splitter: a bar that divides the widget into two
// panes, dragged with a grey ghost bar, limited to SplitterMin..SplitterMax
// percent. The panes are children of the splitter and are moved by it;
// nested splitters are simply panes. All arithmetic is in SplitterModel.
class Splitter : public QWidget {
    Q_OBJECT
public:
    explicit Splitter(QWidget *parent = nullptr);

    SplitterModel &model() { return m_model; }
    const SplitterModel &model() const { return m_model; }

    // Attaches a pane: it becomes a child of the splitter and is laid out
    // at once. nullptr detaches.
    void setLeftOrTopControl(QWidget *pane);
    void setRightOrBottomControl(QWidget *pane);
    QWidget *leftOrTopControl() const { return m_first; }
    QWidget *rightOrBottomControl() const { return m_second; }

    int splitterPosition() const { return m_model.splitterPosition(); }
    void setSplitterPosition(int percent) { m_model.setSplitterPosition(percent); }

    // Brings the model up to the widget's current size at once. Geometry
    // set on a hidden widget reaches resizeEvent only when it is shown, so
    // the host calls this after placing a splitter, and nested splitters
    // are synced as they are placed.
    void syncSize();

    // Reads a saved design; pane names are looked up among the children.
    void readProperties(const StoredProperties &props);

    QWidget *bar() const { return m_bar; }
    QWidget *ghost() const { return m_ghost; }

signals:
    void resized();
    void splitBegin();
    void splitMove();
    void splitComplete();

protected:
    void resizeEvent(QResizeEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void placeBar();
    void applyColor();
    void applyCursor();
    void placePane(SplitterModel::Pane pane, QRectF rect);
    QWidget *findPane(const QString &name) const;

    SplitterModel m_model;
    QWidget *m_bar = nullptr;   // picSplitter
    QWidget *m_ghost = nullptr; // picMover
    QPointer<QWidget> m_first;
    QPointer<QWidget> m_second;
};

} // namespace pictrove
