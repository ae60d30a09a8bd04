#pragma once

#include <QImage>
#include <QTreeView>

#include <functional>

class QMimeData;

namespace pictrove {

// A list in report view (lvFolder, lvSelected): whole rows, several
// selected at once, rows of one height so that fifty thousand entries
// scroll as fast as fifty. entryClicked() reports a click on an entry and
// a move of the current entry by the keyboard alike.
class ReportListView : public QTreeView {
    Q_OBJECT
public:
    explicit ReportListView(QWidget *parent = nullptr);

    // Column widths as designed, in twips. Until the user sizes a column
    // himself, a list narrower than their sum shows them narrowed in
    // proportion, so that every column stays in sight.
    void setColumnWidthsTwips(const QList<int> &widths);
    void setModel(QAbstractItemModel *model) override;

signals:
    void entryClicked(int row);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void fitColumns();

    QList<int> m_designedWidths; // pixels
    bool m_fitting = false;
    bool m_userSized = false;
};

// lvFolder. Enter adds the selected entries; a drag starts only from an
// entry that was already selected when the button went down.
class FolderListView : public ReportListView {
    Q_OBJECT
public:
    static const QString EntriesMimeType;

    explicit FolderListView(QWidget *parent = nullptr);

    // Runs a drag of data; the default is a QDrag. Tests replace it.
    std::function<void(QMimeData *data)> runDrag;

signals:
    void enterPressed();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void startDrag(Qt::DropActions supportedActions) override;

private:
    bool m_pressOnSelected = false;
};

// lvSelected. Delete removes the selected entries; it takes drops of
// lvFolder's entries and of local files from the desktop's file manager and
// refuses anything else.
class BasketView : public ReportListView {
    Q_OBJECT
public:
    explicit BasketView(QWidget *parent = nullptr);

    // Whether data is a drop the basket takes.
    static bool accepts(const QMimeData *data);
    // Hands a drop of data to the signals; false when it is refused.
    bool takeDrop(const QMimeData *data);

signals:
    void deletePressed();
    void folderEntriesDropped();
    void filesDropped(const QStringList &paths);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;
};

// PPreview: the current image scaled into the preview pane, centred,
// never enlarged. The scaled copy is made only when the size changes, and
// only from a copy already shrunk off the user-interface thread: a picture
// of a hundred megapixels would take seconds to scale here.
class PreviewBox : public QWidget {
    Q_OBJECT
public:
    explicit PreviewBox(QWidget *pane);

    // FitPreview: places a picture of the holder's size in the pane,
    // showing source (the holder, or a copy of it shrunk for the pane) at
    // that place; an empty size or a pane too small hides the box. False
    // when source is smaller than the place and was enlarged: a sharper
    // copy is wanted.
    bool fit(QSize holder, const QImage &source);
    const QImage &shown() const { return m_scaled; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QImage m_scaled;
    qint64 m_sourceKey = 0;
};

} // namespace pictrove
