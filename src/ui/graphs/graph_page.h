#pragma once
// The main view's page "Показания АЦП в графической форме": the time-series graph alone, kept
// current once a second. The page serves the window's graph commands (it registers their
// handlers by id) and gives them their keys while it has the focus.
#include <QMessageBox>
#include <QPointer>
#include <QWidget>
#include <array>
#include <functional>

#include "ui/ui_context.h"

class QAction;
class QTimer;

namespace dravmer::ui {

class CCommandTable;
class CGraphHub;
class CGraphicCtrl;

class CGraphPage : public QWidget {
    Q_OBJECT
public:
    explicit CGraphPage(SUiContext& ctx, QWidget* parent = nullptr);
    CGraphicCtrl* Graph() const { return m_graph; }
    // A command by its id (cmd::FitGraph, ...): the window's, or the page's own table's when
    // the page stands alone; nullptr for an id the table does not hold.
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
    // Registers the page's handler of a command, with the page's own key for it.
    QAction* Handle(int id, const QKeySequence& key, std::function<void()> handler);
    void Tell(int icon, const QString& text);

    SUiContext& m_ctx;
    CGraphHub& m_hub;
    CGraphicCtrl* m_graph = nullptr;
    QTimer* m_timer = nullptr;
    bool m_stopped = false;
    CCommandTable* m_commands = nullptr;
    QPointer<QMessageBox> m_message;
};

}  // namespace dravmer::ui
