#pragma once

#include "app/Panes.h"
#include "app/StatusSink.h"
#include "workflow/options/OutputSettingsController.h"
#include "engine/conversion/ConversionContext.h"
#include "engine/core/PictureSurface.h"
#include "workflow/views/ViewPair.h"

#include <QWidget>

#include <functional>
#include <memory>

class QLabel;
class QProgressBar;
class QStatusBar;
class QToolButton;

namespace pictrove {

class ImagePreview;
class ImageSelection;
class BatchWiring;
class Step1Wiring;
class Step2Wiring;
class TabStrip;

// fBatchConvert, the program's one main window, as a frame: the tab strip
// over its two pages, the splitter trees, the status bar with its progress
// bar, the help, web-page and about buttons. It lays out its panes with the
// fixed pixel arithmetic of frame::, forwards the commands, and stores its
// layout into the settings when it closes. What the panes show is the work
// of the folder listing, the basket, the output options and the encoders.
class MainWindow : public QWidget {
    Q_OBJECT
public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    // Form_Load: wires and positions the splitters from the settings and
    // opens the folder tree on the last folder.
    void formLoad();

    // The pictures the views show. Loaders put the original here; the
    // newest finished Step 2 encode puts its result into the second one.
    PictureSurface &originalSurface() { return m_conversion.original; }
    PictureSurface &optimizedSurface() { return m_conversion.optimized; }
    ConversionContext &conversion() { return m_conversion; }
    ViewPair &views() { return m_views; }

    Step1Panes &step1() { return *m_step1; }
    Step2Panes &step2() { return *m_step2; }
    TabStrip *tabStrip() const { return m_tab; }
    QWidget *page1() const { return m_page1; }
    QWidget *page2() const { return m_page2; }
    QStatusBar *statusBar() const { return m_status->bar(); }
    // Status panels 1 to 5.
    QLabel *panel(int number) const { return m_status->panel(number); }
    QProgressBar *progressBar() const { return m_status->progress(); }

    // The initial folder of the picture-list file dialogs (CD).
    QString pictureListFolder() const;
    void setPictureListFolder(const QString &folder);

    // Step 1: the folder list, the basket and the current image.
    ImageSelection &selection();
    ImagePreview &preview();
    // "Save All ..." and "Stop".
    BatchWiring &batch() { return *m_batchWiring; }
    // The Step 2 options behind the option column.
    OutputSettingsController &options() { return m_options; }
    // True while a Step 2 encode whose result will be shown is asked for or
    // under way.
    bool encoding() const;

    // Selects LastFormatIndex in the format list and runs its handler, which
    // encodes the optimized preview of the current image again.
    void applyLastFormat();

    // Shows fAbout modally; tests replace it so that nothing blocks.
    std::function<void(QWidget *parent)> showAbout;
    // Re-fits the preview picture (FitPreview, the preview loader's part).
    std::function<void()> fitPreview;

    // Paths named at start or handed over by a second start: Step 1 comes
    // up with a folder opened in the tree, and the files or the picture
    // list taken as a drop or "Open Picture List from Disk" takes them.
    void openGivenPaths(const QStringList &paths);
    // Un-minimizes, raises and activates the window (as far as the window
    // manager lets a program that the user is not working in).
    void bringToFront();

    // Form_Resize: the whole layout pass.
    void formResize();

protected:
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void buildButtons();
    void tabClicked();
    void layOutLists();
    void formUnload();
    void runFitPreview();

    OutputSettingsController m_options;
    ConversionContext m_conversion;
    ViewPair m_views;

    TabStrip *m_tab = nullptr;
    QWidget *m_page1 = nullptr; // Frame_step1
    QWidget *m_page2 = nullptr; // Frame_step2
    std::unique_ptr<Step1Panes> m_step1;
    std::unique_ptr<Step2Panes> m_step2;
    std::unique_ptr<StatusSink> m_status;
    QToolButton *m_help = nullptr;
    QToolButton *m_online = nullptr;
    QToolButton *m_about = nullptr;
    Step1Wiring *m_step1Wiring = nullptr;
    Step2Wiring *m_step2Wiring = nullptr;
    BatchWiring *m_batchWiring = nullptr;
    bool m_unloaded = false;
    bool m_everShown = false;
};

} // namespace pictrove
