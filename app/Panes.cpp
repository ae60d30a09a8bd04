#include "app/Panes.h"

#include "decoding/ResizeTarget.h"

#include "app/FrameLayout.h"

#include "selection/widgets/FolderTree.h"
#include "selection/widgets/SelectionViews.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QToolBar>
#include <QToolButton>
#include <QStyle>
#include <QVBoxLayout>

#include <tuple>
#include <utility>

namespace pictrove {

namespace {
template <typename W>
W *named(W *widget, const char *name)
{
    widget->setObjectName(QLatin1String(name));
    return widget;
}

QToolBar *captionedToolBar(QWidget *parent, const char *name, const QString &caption)
{
    auto *bar = named(new QToolBar(parent), name);
    bar->setIconSize(QSize(16, 16));
    auto *label = new QLabel(caption, bar);
    label->setContentsMargins(4, 0, 8, 0);
    QFont bold = label->font();
    bold.setBold(true);
    label->setFont(bold);
    bar->addWidget(label);
    bar->adjustSize();
    bar->move(0, 0);
    return bar;
}

template <typename List>
List *reportList(QWidget *parent, const char *name, const QString &toolTip,
                 const QList<int> &widthsTwips)
{
    auto *list = named(new List(parent), name);
    list->setToolTip(toolTip);
    list->setColumnWidthsTwips(widthsTwips);
    list->setAccessibleDescription(toolTip);
    return list;
}

// A toolbar button: its text is the button's name for the user (shown as a
// tool tip, read by screen readers); the icon comes from the desktop's theme,
// or from the style where the theme has none.
QAction *toolButton(QToolBar *bar, const QString &text, const char *themeIcon,
                    QStyle::StandardPixmap fallback, bool showText = false)
{
    // Many themes draw toolbar actions only as symbolic icons.
    QIcon icon = QIcon::fromTheme(QLatin1String(themeIcon));
    if (icon.isNull())
        icon = QIcon::fromTheme(QLatin1String(themeIcon) + QStringLiteral("-symbolic"));
    if (icon.isNull())
        icon = bar->style()->standardIcon(fallback);
    QAction *action = bar->addAction(icon, text);
    if (showText)
        if (auto *button = qobject_cast<QToolButton *>(bar->widgetForAction(action)))
            button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    return action;
}

QLabel *descriptionRow(QFormLayout *form, const QString &caption, const char *name)
{
    auto *value = named(new QLabel(form->parentWidget()), name);
    value->setTextInteractionFlags(Qt::TextSelectableByMouse);
    value->setWordWrap(true);
    form->addRow(caption, value);
    return value;
}

// A splitter of a page, wired from its saved design: orientation, design
// position and the names of its two panes.
Splitter *designedSplitter(QWidget *parent, const char *name, QWidget *first, QWidget *second,
                           const QString &design)
{
    auto *splitter = named(new Splitter(parent), name);
    first->setParent(splitter);
    second->setParent(splitter);
    splitter->readProperties(StoredProperties::fromText(design));
    return splitter;
}

QComboBox *optionList(QWidget *parent, const char *name, const QString &toolTip)
{
    auto *box = named(new QComboBox(parent), name);
    box->setToolTip(toolTip);
    // The options column has a fixed width; a list sized to its longest
    // entry would push the column past it and squeeze everything else.
    // The open list still widens to show whole entries.
    box->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    box->setMinimumContentsLength(8);
    return box;
}
} // namespace

Step1Panes::Step1Panes(QWidget *page)
{
    fT = new FolderTree(page);

    plvFolder = named(new QWidget(page), "plvFolder");
    TBFolder = captionedToolBar(plvFolder, "TBFolder", QStringLiteral("Images in Folder"));
    lvFolder = reportList<FolderListView>(
        plvFolder, "lvFolder", QStringLiteral("List all the image file(s) from a folder"),
        {5292, 2540, 2540});
    folderButtons = {
        toolButton(TBFolder, QStringLiteral("Check All"), "edit-select-all",
                   QStyle::SP_DialogYesButton),
        toolButton(TBFolder, QStringLiteral("Uncheck All"), "edit-clear",
                   QStyle::SP_DialogNoButton),
        toolButton(TBFolder, QStringLiteral("Add Checked File(s) to Tray"), "list-add",
                   QStyle::SP_ArrowRight),
    };

    lvFolder->setAccessibleName(QStringLiteral("Images in Folder"));

    plvSelected = named(new QWidget(page), "plvSelected");
    TBSelected = captionedToolBar(plvSelected, "TBSelected", QStringLiteral("Image Basket"));
    lvSelected = reportList<BasketView>(
        plvSelected, "lvSelected",
        QStringLiteral("List all the image file(s) inserted from the Image Folder or from Picture "
                       "List"),
        {3440, 2117, 6615});
    lvSelected->setAccessibleName(QStringLiteral("Image Basket"));
    basketButtons = {
        toolButton(TBSelected, QStringLiteral("Remove Selected File"), "list-remove",
                   QStyle::SP_DialogDiscardButton),
        toolButton(TBSelected, QStringLiteral("Remove All"), "edit-delete",
                   QStyle::SP_TrashIcon),
        toolButton(TBSelected, QStringLiteral("Open Picture List from Disk"), "document-open",
                   QStyle::SP_DialogOpenButton),
        toolButton(TBSelected, QStringLiteral("Save as Picture List"), "document-save-as",
                   QStyle::SP_DialogSaveButton),
    };

    Preview = named(new QLabel(page), "Preview");
    Preview->setFrameShape(QFrame::StyledPanel);
    Preview->setFrameShadow(QFrame::Sunken);
    Preview->setBackgroundRole(QPalette::Base);
    Preview->setAutoFillBackground(true);
    Preview->setAccessibleName(QStringLiteral("Image Preview"));
    PPreview = new PreviewBox(Preview);

    Frame_Preview = named(new QGroupBox(QStringLiteral("Image Preview && Description"), page),
                          "Frame_Preview");
    auto *description = new QFormLayout(Frame_Preview);
    description->setContentsMargins(8, 6, 8, 6);
    description->setVerticalSpacing(3);
    description->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    LFileName = descriptionRow(description, QStringLiteral("File Name :"), "LFileName");
    LType = descriptionRow(description, QStringLiteral("Type :"), "LType");
    LResolution = descriptionRow(description, QStringLiteral("Resolution :"), "LResolution");
    LLocation = descriptionRow(description, QStringLiteral("Location :"), "LLocation");

    bs13 = designedSplitter(page, "bs13", plvFolder, plvSelected,
                            QStringLiteral("LeftOrTopControl=plvFolder\n"
                                           "RightOrBottomControl=plvSelected\n"));
    bs14 = designedSplitter(page, "bs14", Preview, Frame_Preview,
                            QStringLiteral("LeftOrTopControl=Preview\n"
                                           "RightOrBottomControl=Frame_Preview\n"
                                           "SplitterPosition=30\n"));
    bs12 = designedSplitter(page, "bs12", bs13, bs14,
                            QStringLiteral("LeftOrTopControl=bs13\nRightOrBottomControl=bs14\n"
                                           "SplitterPosition=75\nOrientation=1\n"));
    bs11 = designedSplitter(page, "bs11", fT, bs12,
                            QStringLiteral("LeftOrTopControl=fT\nRightOrBottomControl=bs12\n"
                                           "SplitterPosition=30\n"));
}

Step2Panes::Step2Panes(QWidget *page, ViewPair &views)
{
    CoriginalPP = new PictureViewPane(views, ViewPair::Original, page);
    COptimizedPP = new PictureViewPane(views, ViewPair::Optimized, page);
    bs21 = designedSplitter(page, "bs21", CoriginalPP, COptimizedPP,
                            QStringLiteral("LeftOrTopControl=CoriginalPP\n"
                                           "RightOrBottomControl=COptimizedPP\n"));

    cSave = named(new QWidget(page), "cSave");
    cSave->resize(212, 400);
    auto *column = new QVBoxLayout(cSave);
    column->setContentsMargins(6, 0, 4, 6);
    // The column must fit the page of the smallest window (600 x 500) with
    // its wrapped captions, or the layout squeezes the check boxes until
    // their captions are cut; hence the tight spacing here and below.
    column->setSpacing(4);

    column->addWidget(new QLabel(QStringLiteral("Select a format from below:"), cSave));
    CboFiles = optionList(cSave, "CboFiles",
                          QStringLiteral("List all the available file formats which you can save "
                                         "the processed images. Select a particular format to "
                                         "continue"));
    column->addWidget(CboFiles);
    auto *formatsNote = new QLabel(QStringLiteral("Available File Formats to output all files"),
                                   cSave);
    formatsNote->setWordWrap(true);
    formatsNote->setEnabled(false);
    column->addWidget(formatsNote);
    buildResize(cSave, column);

    fgif = named(new QGroupBox(cSave), "fgif");
    auto *gifForm = new QFormLayout(fgif);
    gifForm->setContentsMargins(8, 6, 8, 6);
    gifForm->setVerticalSpacing(3);
    cboDither = optionList(fgif, "cboDither", QStringLiteral("Select a dithering from the list."));
    cboColorMode = optionList(fgif, "cboColorMode",
                              QStringLiteral("Specify a color mode (Either Color or greyscale)"));
    cboMap = optionList(fgif, "cboMap",
                        QStringLiteral("Select a Color Map (color table configuration) to apply "
                                       "to the optimized image."));
    gifForm->addRow(QStringLiteral("Dither:"), cboDither);
    gifForm->addRow(QStringLiteral("Mode:"), cboColorMode);
    gifForm->addRow(QStringLiteral("Maps:"), cboMap);
    FrmAPI = named(new QGroupBox(fgif), "FrmAPI");
    auto *checks = new QGridLayout(FrmAPI);
    checks->setContentsMargins(8, 2, 8, 2);
    checks->setVerticalSpacing(0);
    chkFlipH = named(new QCheckBox(QStringLiteral("Flip Horizontal"), FrmAPI), "chkFlipH");
    chkFlipV = named(new QCheckBox(QStringLiteral("Flip Vertical"), FrmAPI), "chkFlipV");
    chkInvert = named(new QCheckBox(QStringLiteral("Invert"), FrmAPI), "chkInvert");
    ChkInterlaced = named(new QCheckBox(QStringLiteral("InterLaced"), FrmAPI), "ChkInterlaced");
    checks->addWidget(chkFlipH, 0, 0);
    checks->addWidget(chkFlipV, 1, 0);
    checks->addWidget(chkInvert, 2, 0);
    checks->addWidget(ChkInterlaced, 3, 0);
    gifForm->addRow(FrmAPI);
    column->addWidget(fgif);

    Fjpg = named(new QGroupBox(QStringLiteral("JPEG Options"), cSave), "Fjpg");
    auto *jpgColumn = new QVBoxLayout(Fjpg);
    jpgColumn->setContentsMargins(8, 4, 8, 6);
    jpgColumn->setSpacing(3);
    cboJpg = optionList(Fjpg, "cboJpg", QString());
    jpgColumn->addWidget(cboJpg);
    frameJPG = named(new QWidget(Fjpg), "frameJPG");
    auto *quality = new QHBoxLayout(frameJPG);
    quality->setContentsMargins(0, 0, 0, 0);
    TxtJPG = named(new QLineEdit(QStringLiteral("60"), frameJPG), "TxtJPG");
    TxtJPG->setToolTip(QStringLiteral("Enter JPEG Quality value between 1-100."));
    TxtJPG->setMaximumWidth(44);
    TxtJPGD = named(new QScrollBar(Qt::Vertical, frameJPG), "TxtJPGD");
    // Up raises the quality, as on an up-down control.
    TxtJPGD->setInvertedAppearance(true);
    TxtJPGD->setInvertedControls(true);
    TxtJPGD->setRange(1, 100);
    TxtJPGD->setValue(60);
    TxtJPGD->setFixedHeight(TxtJPG->sizeHint().height());
    auto *qualityCaption = new QLabel(QStringLiteral("Enter JPEG Quality between 1 to 100"),
                                      frameJPG);
    qualityCaption->setWordWrap(true);
    quality->addWidget(TxtJPG);
    quality->addWidget(TxtJPGD);
    quality->addWidget(qualityCaption, 1);
    jpgColumn->addWidget(frameJPG);
    column->addWidget(Fjpg);

    // Under the colour mode and the check boxes, which these rows keep.
    frameWeb = named(new QWidget(cSave), "frameWeb");
    auto *webQuality = new QHBoxLayout(frameWeb);
    webQuality->setContentsMargins(8, 0, 8, 0);
    TxtWeb = named(new QLineEdit(QStringLiteral("80"), frameWeb), "TxtWeb");
    TxtWeb->setToolTip(QStringLiteral("Enter a quality value between 1-100 and press Enter."));
    TxtWeb->setMaximumWidth(44);
    TxtWebD = named(new QScrollBar(Qt::Vertical, frameWeb), "TxtWebD");
    TxtWebD->setInvertedAppearance(true);
    TxtWebD->setInvertedControls(true);
    TxtWebD->setRange(1, 100);
    TxtWebD->setValue(80);
    TxtWebD->setFixedHeight(TxtWeb->sizeHint().height());
    LblWebQuality = named(new QLabel(QStringLiteral("Enter WebP Quality between 1 to 100"), frameWeb),
                          "LblWebQuality");
    LblWebQuality->setWordWrap(true);
    TxtWeb->setAccessibleName(QStringLiteral("Quality"));
    webQuality->addWidget(TxtWeb);
    webQuality->addWidget(TxtWebD);
    webQuality->addWidget(LblWebQuality, 1);
    frameWeb->hide();
    column->addWidget(frameWeb);

    // Under both option frames, since it applies to JPEG, PNG and TIFF rows
    // alike. Rows whose files cannot hold metadata hide it: the GIF rows'
    // column, the tallest, has no room left for it at the smallest window,
    // and they show "InterLaced" where the other rows show this box.
    chkKeepMetadata = named(new QCheckBox(QStringLiteral("Keep metadata"), cSave),
                            "chkKeepMetadata");
    chkKeepMetadata->setAccessibleName(QStringLiteral("Keep metadata"));
    chkKeepMetadata->setToolTip(
        QStringLiteral("Writes the date taken, the camera and the other details of the source "
                       "into the new file (JPEG, PNG, TIFF, WebP and AVIF). Turn it off to leave out private "
                       "details such as the GPS position."));
    chkKeepMetadata->setAccessibleDescription(chkKeepMetadata->toolTip());
    column->addWidget(chkKeepMetadata);

    column->addStretch(1);
    cmdBatch = named(new QPushButton(QStringLiteral("Save All ..."), cSave), "cmdBatch");
    CmdSave = named(new QPushButton(QStringLiteral("Save As"), cSave), "CmdSave");
    CmdCancel = named(new QPushButton(QStringLiteral("Stop"), cSave), "CmdCancel");
    column->addWidget(cmdBatch);
    auto *row = new QHBoxLayout;
    row->addWidget(CmdSave);
    row->addWidget(CmdCancel);
    column->addLayout(row);
}

namespace {
// A digits-only field and its up-down bar, as the custom quality's.
std::pair<QLineEdit *, QScrollBar *> numberField(QWidget *parent, QBoxLayout *row, const char *name,
                                                 const char *barName, const QString &what,
                                                 int minimum, int maximum)
{
    auto *text = named(new QLineEdit(parent), name);
    text->setAccessibleName(what);
    text->setToolTip(QStringLiteral("%1, %2 to %3").arg(what).arg(minimum).arg(maximum));
    text->setMaximumWidth(48);
    text->setMinimumWidth(36);
    auto *bar = named(new QScrollBar(Qt::Vertical, parent), barName);
    bar->setAccessibleName(what);
    bar->setInvertedAppearance(true); // up raises the number
    bar->setInvertedControls(true);
    bar->setRange(minimum, maximum);
    bar->setFixedHeight(text->sizeHint().height());
    row->addWidget(text);
    row->addWidget(bar);
    return {text, bar};
}
} // namespace

void Step2Panes::buildResize(QWidget *column, QBoxLayout *layout)
{
    auto *modeRow = new QHBoxLayout;
    modeRow->setSpacing(4);
    auto *caption = new QLabel(QStringLiteral("Resize:"), column);
    cboResize = optionList(column, "cboResize",
                           QStringLiteral("Resize the written pictures; the aspect ratio is always "
                                          "kept."));
    cboResize->setAccessibleName(QStringLiteral("Resize"));
    caption->setBuddy(cboResize);
    modeRow->addWidget(caption);
    modeRow->addWidget(cboResize, 1);
    layout->addLayout(modeRow);

    frameResize = named(new QWidget(column), "frameResize");
    auto *inner = new QVBoxLayout(frameResize);
    inner->setContentsMargins(0, 0, 0, 0);
    inner->setSpacing(2);
    auto *numbers = new QHBoxLayout;
    numbers->setSpacing(2);
    frameResizeW = named(new QWidget(frameResize), "frameResizeW");
    auto *wRow = new QHBoxLayout(frameResizeW);
    wRow->setContentsMargins(0, 0, 0, 0);
    wRow->setSpacing(1);
    std::tie(TxtResizeW, TxtResizeWD) = numberField(frameResizeW, wRow, "TxtResizeW", "TxtResizeWD",
                                                    QStringLiteral("Pixels"), minResizePixels,
                                                    maxResizePixels);
    frameResizeH = named(new QWidget(frameResize), "frameResizeH");
    auto *hRow = new QHBoxLayout(frameResizeH);
    hRow->setContentsMargins(0, 0, 0, 0);
    hRow->setSpacing(1);
    hRow->addWidget(new QLabel(QStringLiteral("\u00d7"), frameResizeH));
    std::tie(TxtResizeH, TxtResizeHD) = numberField(frameResizeH, hRow, "TxtResizeH", "TxtResizeHD",
                                                    QStringLiteral("Height in pixels"),
                                                    minResizePixels, maxResizePixels);
    frameResizeP = named(new QWidget(frameResize), "frameResizeP");
    auto *pRow = new QHBoxLayout(frameResizeP);
    pRow->setContentsMargins(0, 0, 0, 0);
    pRow->setSpacing(1);
    std::tie(TxtResizeP, TxtResizePD) = numberField(frameResizeP, pRow, "TxtResizeP", "TxtResizePD",
                                                    QStringLiteral("Percent"), minResizePercent,
                                                    maxResizePercent);
    pRow->addWidget(new QLabel(QStringLiteral("%"), frameResizeP));
    numbers->addWidget(frameResizeW);
    numbers->addWidget(frameResizeH);
    numbers->addWidget(frameResizeP);
    numbers->addStretch(1);
    inner->addLayout(numbers);
    chkNeverEnlarge = named(new QCheckBox(QStringLiteral("Never enlarge"), frameResize),
                            "chkNeverEnlarge");
    chkNeverEnlarge->setToolTip(
        QStringLiteral("Pictures smaller than the size asked for are written at their own size."));
    inner->addWidget(chkNeverEnlarge);
    layout->addWidget(frameResize);
}

namespace {
void layOutViewPane(PictureViewPane *pane, int narrower)
{
    ViewInfoFrame *info = pane->info();
    const int width = frame::viewPane(pane->size(), info->height(), narrower).infoWidth;
    const int needed = info->fitWidth(width);
    if (needed > 0 && needed != info->height())
        info->resize(info->width(), needed);
    const frame::ViewPaneLayout layout = frame::viewPane(pane->size(), info->height(), narrower);
    pane->viewport()->setGeometry(layout.viewport);
    info->setGeometry(info->x(), layout.infoTop, layout.infoWidth, info->height());
}
} // namespace

void Step2Panes::updateOriginalP() { CoriginalPP->viewport()->updateLayout(); }

void Step2Panes::updateOptimizedP() { COptimizedPP->viewport()->updateLayout(); }

void Step2Panes::layOutViewPanes()
{
    layOutViewPane(CoriginalPP, 0);
    layOutViewPane(COptimizedPP, 25);
}

void Step2Panes::relayOutViewsForTexts()
{
    layOutViewPanes();
    updateOriginalP();
    updateOptimizedP();
}

} // namespace pictrove
