#pragma once

#include "selection/ImagePreview.h"
#include "selection/ImageSelection.h"

#include <QObject>

#include <functional>

namespace pictrove {

class ConversionContext;
class StatusSink;
struct Step1Panes;
struct Step2Panes;

// Connects the Step 1 widgets to the selection logic and shows what the
// preview loader reads: the views, the labels, the preview box and panel 4.
class Step1Wiring : public QObject, public PreviewHost {
    Q_OBJECT
public:
    // The Step 2 panes show the current image beside its optimized copy,
    // which the conversion state's surfaces hold.
    Step1Wiring(Step1Panes &step1, Step2Panes &step2, ConversionContext &conversion,
                StatusSink &status, QObject *parent = nullptr);
    ~Step1Wiring() override;

    ImageSelection &selection() { return m_selection; }
    ImagePreview &preview() { return m_preview; }

    // FitPreview: re-fits the holder into the preview pane, no reload.
    void fitPreview() override;

    // PreviewHost
    void showInViews(const QImage &picture, const PictureMetadata &metadata) override;
    void updateOptimizedP() override;
    void updateOriginalP() override;
    void setPanel4(const QString &text, const QString &iconKey) override;
    void setDescription(const PreviewDescription &description) override;
    void reportUnreadable(const QString &message) override;
    void applyLastFormat() override;

signals:
    // A new current image wants the last output format applied to it.
    void lastFormatWanted();

private:
    void connectLists();
    void connectToolbars();

    Step1Panes &m_step1;
    Step2Panes &m_step2;
    ConversionContext &m_conversion;
    StatusSink &m_status;
    ImageSelection m_selection;
    ImagePreview m_preview;
    bool m_panel5ShowsUnreadable = false;
};

} // namespace pictrove
