#include "workflow/widgets/DestinationDialog.h"

#include "workflow/widgets/TwipsEdge.h"

#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QStyle>

namespace pictrove {

namespace {
constexpr int PathRole = Qt::UserRole;
constexpr int FilledRole = Qt::UserRole + 1;

template <typename W>
W *placed(W *widget, const char *name, double left, double top, double width, double height)
{
    widget->setObjectName(QLatin1String(name));
    widget->setGeometry(toPixels(QRectF(left, top, width, height)));
    return widget;
}
} // namespace

DestinationTree::DestinationTree(QWidget *parent) : QTreeWidget(parent)
{
    setObjectName(QStringLiteral("fT"));
    setHeaderHidden(true);
    setAccessibleName(QStringLiteral("Folders"));
    setUniformRowHeights(true);
    const QIcon folder = style()->standardIcon(QStyle::SP_DirIcon);
    auto *desktop = new QTreeWidgetItem(this, {QStringLiteral("Desktop")});
    desktop->setIcon(0, style()->standardIcon(QStyle::SP_DesktopIcon));
    desktop->setData(0, PathRole, QString()); // a node of its own, not a folder path
    desktop->setData(0, FilledRole, true);
    QTreeWidgetItem *root = addFolder(nullptr, QStringLiteral("/"), QStringLiteral("/"));
    root->setIcon(0, folder);
    connect(this, &QTreeWidget::itemExpanded, this, &DestinationTree::fill);
    connect(this, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem *item) {
        if (item)
            emit folderSelected(item->data(0, PathRole).toString(), item->text(0));
    });
    connect(this, &QTreeWidget::itemDoubleClicked, this, [this] { emit defaultAction(); });
}

QTreeWidgetItem *DestinationTree::addFolder(QTreeWidgetItem *parent, const QString &name,
                                            const QString &path)
{
    auto *item = parent ? new QTreeWidgetItem(parent, {name}) : new QTreeWidgetItem(this, {name});
    item->setData(0, PathRole, path);
    item->setData(0, FilledRole, false);
    item->setIcon(0, style()->standardIcon(QStyle::SP_DirIcon));
    // Opened on demand: the arrow shows until the folder is read.
    item->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
    return item;
}

void DestinationTree::fill(QTreeWidgetItem *item)
{
    if (!item || item->data(0, FilledRole).toBool())
        return;
    item->setData(0, FilledRole, true);
    const QString path = item->data(0, PathRole).toString();
    const QStringList names = QDir(path).entryList(QDir::Dirs | QDir::NoDotAndDotDot,
                                                   QDir::Name | QDir::IgnoreCase);
    for (const QString &name : names)
        addFolder(item, name, path.endsWith(u'/') ? path + name : path + u'/' + name);
    item->setChildIndicatorPolicy(names.isEmpty() ? QTreeWidgetItem::DontShowIndicator
                                                  : QTreeWidgetItem::ShowIndicator);
}

bool DestinationTree::openFolder(const QString &path)
{
    const QString clean = QDir::cleanPath(QDir(path).absolutePath());
    QTreeWidgetItem *item = topLevelItem(1); // "/"
    const QStringList parts = clean.split(u'/', Qt::SkipEmptyParts);
    for (const QString &part : parts) {
        fill(item);
        item->setExpanded(true);
        QTreeWidgetItem *next = nullptr;
        for (int i = 0; i < item->childCount() && !next; ++i)
            if (item->child(i)->text(0) == part)
                next = item->child(i);
        const QString parentPath = item->data(0, PathRole).toString();
        const QString childPath =
            parentPath.endsWith(u'/') ? parentPath + part : parentPath + u'/' + part;
        // The tree lists no hidden folders, but a stored destination may lie
        // under one: show exactly the folders along that path rather than
        // stop at a visible parent the user never chose.
        if (!next && QFileInfo(childPath).isDir())
            next = addFolder(item, part, childPath);
        if (!next) {
            setCurrentItem(nullptr);
            clearSelection();
            return false;
        }
        item = next;
    }
    setCurrentItem(item);
    scrollToItem(item, QAbstractItemView::PositionAtCenter);
    return true;
}

void DestinationTree::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        emit defaultAction();
        return;
    }
    QTreeWidget::keyPressEvent(event);
}

DestinationDialog::DestinationDialog(DestinationChoice choice, QWidget *parent)
    : QDialog(parent), m_choice(std::move(choice))
{
    setObjectName(QStringLiteral("fBatchConverterBrowse"));
    setWindowTitle(QStringLiteral("Select Folder"));
    setModal(true);
    // The client area of the design, 6855 x 5925 twips; what lies below it
    // (FileName) is never seen.
    setFixedSize(toPixels(QRectF(0, 0, 6855, 5925)).size());
    placed(new QLabel(QStringLiteral("Select a Folder"), this), "Label1", 120, 120, 1215 + 600, 255);
    m_tree = placed(new DestinationTree(this), "fT", 120, 360, 6615, 3900);
    m_tree->setObjectName(QStringLiteral("fT"));
    placed(new QLabel(QStringLiteral("Specify a generic file name"), this), "Label2", 120, 4440,
           4815, 255);
    m_generic = placed(new QLineEdit(this), "tGeneric", 120, 4680, 6615, 375);
    m_generic->setAccessibleName(QStringLiteral("Specify a generic file name"));
    m_overwrite = placed(new QCheckBox(QStringLiteral("Overwrite"), this), "chkOverwrite", 120,
                         5160, 4335, 255);
    m_show = placed(new QCheckBox(QStringLiteral("Display Destination Folder when done"), this),
                    "chkShowDestination", 120, 5400, 4335, 255);
    m_cancel = placed(new QPushButton(QStringLiteral("Cancel"), this), "cmdCancel", 4560, 5160,
                      1020, 345);
    m_select = placed(new QPushButton(QStringLiteral("Select"), this), "cmdOK", 5640, 5160, 1020,
                      345);
    m_select->setDefault(true);
    m_fileName = placed(new QLabel(this), "FileName", 480, 6120, 3015, 255);

    m_generic->setText(m_choice.genericName);
    m_overwrite->setChecked(m_choice.overwrite);
    m_show->setChecked(m_choice.showDestination);
    connect(m_tree, &DestinationTree::folderSelected, this,
            [this](const QString &path, const QString &name) {
                m_choice.folderSelected(path, name);
                showState();
            });
    connect(m_tree, &DestinationTree::defaultAction, this, [this] {
        if (m_choice.selectEnabled)
            selectClicked();
    });
    connect(m_select, &QPushButton::clicked, this, &DestinationDialog::selectClicked);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
    // A folder the tree cannot reach is never replaced by another one: the
    // dialog opens with nothing selected and Select disabled.
    if (!m_tree->openFolder(m_choice.startFolder))
        m_choice.clearFolder();
    showState();
}

void DestinationDialog::showState()
{
    m_fileName->setText(m_choice.path);
    m_select->setEnabled(m_choice.selectEnabled);
}

void DestinationDialog::selectClicked()
{
    m_choice.genericName = m_generic->text();
    m_choice.overwrite = m_overwrite->isChecked();
    m_choice.showDestination = m_show->isChecked();
    m_result = m_choice.select();
    if (m_result)
        accept();
}

std::optional<Destination> DestinationDialog::choose(DestinationChoice choice, QWidget *parent)
{
    QPointer<DestinationDialog> dialog = new DestinationDialog(std::move(choice), parent);
    const int answer = dialog->exec();
    std::optional<Destination> result;
    if (dialog && answer == QDialog::Accepted)
        result = dialog->result();
    delete dialog.data();
    return result;
}

} // namespace pictrove
