#pragma once

#include "workflow/batch/DestinationChoice.h"

#include <QDialog>
#include <QTreeWidget>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace pictrove {

// The destination dialog's folder tree: a "Desktop" node on top, then the
// file system from "/", each folder's subfolders read when it is opened.
// Reports the selected node's path (empty for Desktop) and name.
class DestinationTree : public QTreeWidget {
    Q_OBJECT
public:
    explicit DestinationTree(QWidget *parent = nullptr);

    // Opens the tree down to an existing folder, hidden ones along the way
    // included, and selects it. False, with nothing selected, when the
    // folder cannot be reached.
    bool openFolder(const QString &path);

signals:
    void folderSelected(const QString &path, const QString &displayName);
    // A double-click or Enter on a node.
    void defaultAction();

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    QTreeWidgetItem *addFolder(QTreeWidgetItem *parent, const QString &name, const QString &path);
    void fill(QTreeWidgetItem *item);
};

// fBatchConverterBrowse, "Select Folder": the folder, the generic name and
// the two boxes, laid out on its twip grid. A DestinationChoice holds its
// state; closing the window frame counts as Cancel.
class DestinationDialog : public QDialog {
    Q_OBJECT
public:
    DestinationDialog(DestinationChoice choice, QWidget *parent = nullptr);

    const DestinationChoice &choice() const { return m_choice; }
    // Set once Select has been accepted.
    const std::optional<Destination> &result() const { return m_result; }

    DestinationTree *tree() const { return m_tree; }
    QLineEdit *genericName() const { return m_generic; }
    QCheckBox *overwrite() const { return m_overwrite; }
    QCheckBox *showDestination() const { return m_show; }
    QPushButton *selectButton() const { return m_select; }
    QPushButton *cancelButton() const { return m_cancel; }
    QLabel *fileName() const { return m_fileName; }

    // Runs it modally: the destination chosen, or nothing on Cancel.
    static std::optional<Destination> choose(DestinationChoice choice, QWidget *parent);

private:
    void showState();
    void selectClicked();

    DestinationChoice m_choice;
    std::optional<Destination> m_result;
    DestinationTree *m_tree = nullptr;
    QLineEdit *m_generic = nullptr;
    QCheckBox *m_overwrite = nullptr;
    QCheckBox *m_show = nullptr;
    QPushButton *m_select = nullptr;
    QPushButton *m_cancel = nullptr;
    QLabel *m_fileName = nullptr;
};

} // namespace pictrove
