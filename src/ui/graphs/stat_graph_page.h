#pragma once
// The main view's page "Среднее UG0-9": the statistics graph of the current device, redrawn
// once a second while shown, when the device changes and when the statistics are recomputed.
#include <QWidget>

#include "ui/ui_context.h"

class QTimer;

namespace dravmer::ui {

class CGraphHub;
class CStatGraphCtrl;

class CStatGraphPage : public QWidget {
    Q_OBJECT
public:
    explicit CStatGraphPage(SUiContext& ctx, QWidget* parent = nullptr);
    CStatGraphCtrl* Graph() const { return m_graph; }
    int CurrentDevice() const { return m_device; }

public slots:
    void SetCurrentDevice(int index);
    void ApplyColors();
    void Refresh();
    // A new experiment: the axes are chosen afresh from its first data.
    void PrepareForExperiment();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    SUiContext& m_ctx;
    CGraphHub& m_hub;
    CStatGraphCtrl* m_graph = nullptr;
    QTimer* m_timer = nullptr;
    int m_device = 0;
};

}  // namespace dravmer::ui
