#pragma once

#include "selection/ImagePreview.h"
#include "selection/ImageSelection.h"

#include <QObject>

#include <functional>

namespace pictrove {

class MainWindow;

// Connects the Step 1 widgets to the selection logic and shows what the
// preview loader reads: the views, the labels, the preview box and panel 4.
class Step1Wiring : public QObject, public PreviewHost {
    Q_OBJECT
public:
    explicit Step1Wiring(MainWindow &window);
    ~Step1Wiring() override;

    ImageSelection &selection() { return m_selection; }
    ImagePreview &preview() { return m_preview; }

    // FitPreview: re-fits the holder into the preview pane, no reload.
    void fitPreview() override;

    // PreviewHost
    void showInViews(const QImage &picture) override;
    void updateOptimizedP() override;
    void updateOriginalP() override;
    void setPanel4(const QString &text, const QString &iconKey) override;
    void setDescription(const PreviewDescription &description) override;
    void reportUnreadable(const QString &message) override;
    void applyLastFormat() override;

private:
    void connectLists();
    void connectToolbars();

    MainWindow &m_window;
    ImageSelection m_selection;
    ImagePreview m_preview;
    bool m_panel5ShowsUnreadable = false;
};

} // namespace pictrove
