#pragma once
// The main view's page "Показания АЦП в графической форме": the time-series graph alone, kept
// current once a second, with the graph commands as actions (keyboard shortcuts on the page;
// the frame's menu and tool bar trigger the same slots).
#include <QMessageBox>
#include <QPointer>
#include <QWidget>
#include <array>

#include "ui/ui_context.h"

class QAction;
class QTimer;

namespace dravmer::ui {

class CGraphHub;
class CGraphicCtrl;

class CGraphPage : public QWidget {
    Q_OBJECT
public:
    explicit CGraphPage(SUiContext& ctx, QWidget* parent = nullptr);
    CGraphicCtrl* Graph() const { return m_graph; }
    // The page's commands by their menu ids (32778 copy, 32781.. zoom and shift, 32797 comment,
    // 32804/32805 axis menus, ...); nullptr for an id the page does not handle.
    QAction* Action(int id) const;
    bool UpdatesStopped() const { return m_stopped; }
    // The last message the page showed (a comment that could not be written), while it is open.
    QMessageBox* LastMessage() const { return m_message; }

public slots:
    void ApplySettings(bool gridChanged = false);
    void ApplyColors();
    void RefreshCurves(int change = 0, int position = -1);
    void SaveAxes(int slot);
    void LoadAxes(int slot);
    void EditComment();
    void SaveToFile();
    void ToggleUpdates();
    void Tick();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void MakeActions();
    // The frame's commands, the curve box and the statistics range, when the page sits in the
    // main window.
    void ConnectFrame();
    void FillCurveBox();
    void Copy();
    QAction* Add(int id, const QString& text, const QKeySequence& key = {});
    void Tell(int icon, const QString& text);

    SUiContext& m_ctx;
    CGraphHub& m_hub;
    CGraphicCtrl* m_graph = nullptr;
    QTimer* m_timer = nullptr;
    bool m_stopped = false;
    std::vector<std::pair<int, QAction*>> m_actions;
    QPointer<QMessageBox> m_message;
};

}  // namespace dravmer::ui
