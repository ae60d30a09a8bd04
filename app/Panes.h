#pragma once

#include "workflow/widgets/PictureViews.h"
#include "workflow/widgets/Splitter.h"

class QComboBox;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QScrollBar;
class QToolBar;
class QAction;
class QBoxLayout;

namespace pictrove {

class BasketView;
class FolderListView;
class FolderTree;
class PreviewBox;

// The panes of the Step 1 page and the splitters that divide it. The
// lists, the toolbars and the preview are the places the folder listing,
// the Image Basket and the preview loader fill.
struct Step1Panes {
    explicit Step1Panes(QWidget *page);

    Splitter *bs11;
    Splitter *bs12;
    Splitter *bs13;
    Splitter *bs14;
    FolderTree *fT;
    QWidget *plvFolder;
    QToolBar *TBFolder;
    FolderListView *lvFolder;
    QWidget *plvSelected;
    QToolBar *TBSelected;
    BasketView *lvSelected;
    QLabel *Preview;
    PreviewBox *PPreview;
    QGroupBox *Frame_Preview;
    QLabel *LFileName;
    QLabel *LType;
    QLabel *LResolution;
    QLabel *LLocation;

    // TBFolder's buttons 1 to 3, TBSelected's 1 to 4, in toolbar order.
    QList<QAction *> folderButtons;
    QList<QAction *> basketButtons;
};

// The panes of the Step 2 page: the two views under bs21 and the cSave
// column with the format list, the options and the commands.
struct Step2Panes {
    Step2Panes(QWidget *page, ViewPair &views);
    // The resize block, under the format list.
    void buildResize(QWidget *column, QBoxLayout *layout);

    // Update_OriginalP and Update_OptimizedP: lay out one view's picture.
    void updateOriginalP();
    void updateOptimizedP();
    // Places both view panes in their frames: the information frame under a
    // view is as high as its texts need at the width it gets.
    void layOutViewPanes();
    // New texts in the information frames: the panes and pictures again.
    void relayOutViewsForTexts();

    Splitter *bs21;
    PictureViewPane *CoriginalPP;
    PictureViewPane *COptimizedPP;
    QWidget *cSave;
    QComboBox *CboFiles;
    QGroupBox *fgif;
    QComboBox *cboDither;
    QComboBox *cboColorMode;
    QComboBox *cboMap;
    QGroupBox *FrmAPI;
    QCheckBox *chkFlipH;
    QCheckBox *chkFlipV;
    QCheckBox *chkInvert;
    QCheckBox *ChkInterlaced;
    QCheckBox *chkKeepMetadata;
    QGroupBox *Fjpg;
    QComboBox *cboJpg;
    QWidget *frameJPG;
    QLineEdit *TxtJPG;
    QScrollBar *TxtJPGD;
    QWidget *frameWeb; // the lossy WebP and AVIF rows' quality
    QLineEdit *TxtWeb;
    QScrollBar *TxtWebD;
    QLabel *LblWebQuality;
    // Resize, for every row (see OutputSettingsController).
    QComboBox *cboResize;
    QWidget *frameResize;
    QWidget *frameResizeW;
    QWidget *frameResizeH;
    QWidget *frameResizeP;
    QLineEdit *TxtResizeW;
    QScrollBar *TxtResizeWD;
    QLineEdit *TxtResizeH;
    QScrollBar *TxtResizeHD;
    QLineEdit *TxtResizeP;
    QScrollBar *TxtResizePD;
    QCheckBox *chkNeverEnlarge;
    QPushButton *cmdBatch;
    QPushButton *CmdSave;
    QPushButton *CmdCancel;
};

} // namespace pictrove
