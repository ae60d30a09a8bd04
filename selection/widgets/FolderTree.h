#pragma once

#include <QTreeView>

class QFileSystemModel;

namespace pictrove {

// fT, the Step 1 folder browser: folders only, reporting the selected
// folder's full path. The folder listing builds on it.
class FolderTree : public QTreeView {
    Q_OBJECT
public:
    explicit FolderTree(QWidget *parent = nullptr);

    // Opens the tree on an existing folder and selects it.
    void openFolder(const QString &path);
    // The selected folder's full path, empty when none is selected.
    QString currentFolder() const;

signals:
    void folderChanged(const QString &path);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void keepOpenedFolderInSight();

    QFileSystemModel *m_model = nullptr;
    bool m_keepInSight = false; // until the user scrolls, clicks or types
};

} // namespace pictrove
