#include "ui/graphs/graph_page.h"

#include <QAction>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QShortcut>
#include <QTimer>
#include <QVBoxLayout>

#include "files/experiment_files.h"
#include "graph/graph_list.h"
#include "graph/graph_settings.h"
#include "ui/command_table.h"
#include "ui/graphs/graph_comment_dialog.h"
#include "ui/graphs/graph_hub.h"
#include "ui/graphs/graphic_ctrl.h"
#include "ui/qt_translations.h"
#include "ui/view_state.h"

namespace dravmer::ui {

using namespace graph;

CGraphPage::CGraphPage(SUiContext& ctx, QWidget* parent)
    : QWidget(parent), m_ctx(ctx), m_hub(CGraphHub::For(ctx)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_graph = new CGraphicCtrl(this);
    layout->addWidget(m_graph);

    m_graph->SetVerticalLines(11);
    ApplySettings(false);
    m_graph->SetTimeWindow(0, 2000);
    RefreshCurves(CGraphHub::Refresh);

    m_timer = new QTimer(this);
    m_timer->setInterval(1000);
    connect(m_timer, &QTimer::timeout, this, &CGraphPage::Tick);

    connect(&m_hub, &CGraphHub::settingsChanged, this, &CGraphPage::ApplySettings);
    connect(&m_hub, &CGraphHub::colorsChanged, this, &CGraphPage::ApplyColors);
    connect(&m_hub, &CGraphHub::curvesChanged, this, &CGraphPage::RefreshCurves);
    connect(&m_hub, &CGraphHub::curveSelected, m_graph, &CGraphicCtrl::SelectCurve);
    connect(&m_hub, &CGraphHub::statisticsRecomputed, this, [this] { unsetCursor(); });
    connect(m_graph, &CGraphicCtrl::curveSelected, &m_hub, &CGraphHub::curveSelected);
    connect(m_graph, &CGraphicCtrl::selectionChanged, this, [this] {
        setCursor(Qt::BusyCursor);
        m_hub.RecomputeStatistics();
        emit m_hub.selectionChanged();
    });
    connect(&ctx.events, &CBenchEvents::experimentStarted, this, [this](int number) {
        m_graph->State().experiment = number;
        m_graph->State().startTime = std::time(nullptr);
        if (m_hub.captionOn && m_ctx.bench.StoreCount() > 0)
            m_ctx.bench.Files(0).WriteLabel(LabelTextFromComment(m_hub.caption.toStdString()));
        RefreshCurves(CGraphHub::Refresh);
        m_timer->start();
    });
    MakeActions();
    ConnectFrame();
}

void CGraphPage::ConnectFrame() {
    if (m_ctx.view) {
        m_ctx.view->SetStatisticsRangeProvider([](std::uint32_t& from, std::uint32_t& to) {
            int first = 0, last = 0;
            if (!GraphList().Selection(&first, &last)) return false;
            from = static_cast<std::uint32_t>(std::max(0, first));
            to = static_cast<std::uint32_t>(std::max(0, last));
            return true;
        });
        connect(m_ctx.view, &CViewState::deviceListChanged, this,
                [this] { RefreshCurves(CGraphHub::Refresh); });
    }
    if (!m_ctx.commands) return;
    if (QComboBox* box = m_ctx.commands->CurveBox()) {
        connect(m_ctx.commands, &CCommandTable::curveBoxChanged, m_graph,
                [this](int curve) { m_graph->SelectCurve(curve); });
        connect(m_graph, &CGraphicCtrl::curveSelected, box,
                [box](int position) { box->setCurrentIndex(position + 1); });
    }
    FillCurveBox();
}

void CGraphPage::FillCurveBox() {
    if (!m_ctx.commands || !m_ctx.commands->CurveBox()) return;
    QComboBox* box = m_ctx.commands->CurveBox();
    const auto& curves = m_graph->Curves();
    box->blockSignals(true);
    while (box->count() > 1) box->removeItem(1);
    for (const auto& c : curves) {
        QPixmap swatch(12, 12);
        swatch.fill(ToQColor(c.color));
        box->addItem(QIcon(swatch), QString::number(c.slot + 1));
        box->setItemData(box->count() - 1, ToQColor(c.color), Qt::ForegroundRole);
    }
    box->setCurrentIndex(m_graph->State().selectedCurve + 1);
    box->blockSignals(false);
}

void CGraphPage::Copy() {
    if (m_hub.statGraph && m_hub.statGraph->isVisible())
        QMetaObject::invokeMethod(m_hub.statGraph, "CopyToClipboard");
    else
        m_graph->CopyToClipboard();
}

QAction* CGraphPage::Action(int id) const { return m_commands->Get(id); }

QAction* CGraphPage::Handle(int id, const QKeySequence& key, std::function<void()> handler) {
    QAction* action = m_commands->Handle(id, this, std::move(handler));
    // The graph's keys (arrows, Home, End, letters) act while the page has the focus only, so
    // the tables and edits of the other pages keep theirs.
    if (action && !key.isEmpty()) {
        auto* shortcut = new QShortcut(key, this);
        shortcut->setContext(Qt::WidgetWithChildrenShortcut);
        connect(shortcut, &QShortcut::activated, action, [action] {
            if (action->isEnabled()) action->trigger();
        });
    }
    return action;
}

void CGraphPage::MakeActions() {
    using namespace cmd;
    // Inside the window the page serves the window's commands; on its own it keeps a table of
    // them for itself (its boxes stay hidden).
    m_commands = m_ctx.commands;
    if (!m_commands) {
        m_commands = new CCommandTable(this);
        m_commands->CurveBox()->hide();
        m_commands->DeviceBox()->hide();
    }
    CGraphicCtrl* g = m_graph;
    Handle(CopyGraph, QKeySequence::Copy, [this] { Copy(); });
    Handle(FreezeGraph, {}, [this] { ToggleUpdates(); });
    Handle(ZoomInY, Qt::CTRL | Qt::Key_Up, [g] { g->ZoomValueIn(); });
    Handle(ZoomOutY, Qt::CTRL | Qt::Key_Down, [g] { g->ZoomValueOut(); });
    Handle(GraphToStart, Qt::Key_Home, [g] { g->ToStart(); });
    Handle(ShiftLeft, Qt::Key_Right, [g] { g->ScrollForward(); });
    Handle(ShiftRight, Qt::Key_Left, [g] { g->ScrollBack(); });
    Handle(GraphToEnd, Qt::Key_End, [g] { g->ToEnd(); });
    Handle(ShiftUp, Qt::Key_Up, [g] { g->ShiftUp(); });
    Handle(ShiftDown, Qt::Key_Down, [g] { g->ShiftDown(); });
    Handle(ZoomInX, Qt::CTRL | Qt::Key_Right, [g] { g->ZoomTimeIn(); });
    Handle(ZoomOutX, Qt::CTRL | Qt::Key_Left, [g] { g->ZoomTimeOut(); });
    Handle(FitGraph, Qt::Key_F, [g] { g->Fit(); });
    // A one-shot command that only looks like a switch: it never stays pressed.
    QAction* common = Handle(CommonScale, Qt::Key_C, [this] {
        m_graph->CommonScale();
        if (QAction* a = Action(cmd::CommonScale)) a->setChecked(false);
    });
    if (common) common->setChecked(false);
    Handle(FitAllCommonScale, Qt::Key_A, [g] { g->FitAllCommon(); });
    QAction* fwd = Handle(MoveSelectionForward, Qt::SHIFT | Qt::Key_Right,
                          [g] { g->MoveSelectionForward(); });
    QAction* back = Handle(MoveSelectionBack, Qt::SHIFT | Qt::Key_Left,
                           [g] { g->MoveSelectionBack(); });
    auto selectionEnables = [g, fwd, back] {
        fwd->setEnabled(g->State().selection.active);
        back->setEnabled(g->State().selection.active);
    };
    selectionEnables();
    connect(g, &CGraphicCtrl::selectionChanged, this, selectionEnables);
    Handle(EditGraphComment, {}, [this] { EditComment(); });
    Handle(SaveGraphToFile, QKeySequence::Save, [this] { SaveToFile(); });
    // The axis sets 1..5 under "Сохранить оси" and "Загрузить оси".
    for (int n = 0; n < kAxisSets; ++n) {
        Handle(SaveAxesId(n + 1), {}, [this, n] { SaveAxes(n); });
        Handle(LoadAxesId(n + 1), {}, [this, n] { LoadAxes(n); });
    }
    for (int id : {cmd::LoadAxes, cmd::SaveAxes})
        if (QAction* a = Action(id)) a->setEnabled(true);
}

void CGraphPage::ApplySettings(bool gridChanged) {
    const SGraphSettings& s = m_hub.Settings();
    m_graph->SetHorizontalLines(s.cellsHoriz + 1);
    auto& st = m_graph->State();
    st.timeAxes = s.timeAxes;
    st.selectionBand = s.selectionBand;
    ApplyColors();
    if (gridChanged) {
        m_graph->SetTimeWindow(st.window.first, st.window.last);
        RefreshCurves(CGraphHub::Refresh);
        m_graph->Fit();
    }
}

void CGraphPage::ApplyColors() {
    const SGraphSettings& s = m_hub.Settings();
    auto& st = m_graph->State();
    st.background = s.background;
    st.gridColor = s.gridColor;
    st.selectionColor = s.selectionColor;
    m_graph->SetAutoPlace(s.autoPlace);
    m_graph->SetCurves(m_hub.Curves());
}

void CGraphPage::RefreshCurves(int change, int position) {
    m_graph->SelectCurve(-1);
    m_graph->SetCurves(m_hub.Curves());
    if (change == CGraphHub::Removed) m_graph->CurveRemoved(position);
    else if (change == CGraphHub::Added) m_graph->CurveAdded();
    else m_graph->RescaleAll();
    FillCurveBox();
}

void CGraphPage::SaveAxes(int slot) {
    SAxisSet set;
    for (int k = 0; k < kMaxCurves; ++k) {
        set.min[static_cast<std::size_t>(k)] = m_graph->State().axes[static_cast<std::size_t>(k)].min;
        set.max[static_cast<std::size_t>(k)] = m_graph->State().axes[static_cast<std::size_t>(k)].max;
    }
    SaveAxisSet(m_ctx.settings, slot, set);
    m_ctx.settings.Flush();
}

void CGraphPage::LoadAxes(int slot) {
    auto set = LoadAxisSet(m_ctx.settings, slot);
    if (!set) return;  // never saved (or not a set of 50 pairs): the axes stay
    for (int k = 0; k < kMaxCurves; ++k) {
        auto& a = m_graph->State().axes[static_cast<std::size_t>(k)];
        a.min = set->min[static_cast<std::size_t>(k)];
        a.max = set->max[static_cast<std::size_t>(k)];
    }
    m_graph->RescaleAll();
}

void CGraphPage::EditComment() {
    const std::string labelPath = m_ctx.bench.ExperimentLabelPath();
    QString text = m_hub.caption;
    // The dialog edits the comment of the experiment on screen: when that experiment's label
    // says something else than the caption, the dialog starts from it, so that OK never
    // replaces a comment the operator has not seen.
    if (!labelPath.empty() && QFileInfo::exists(QString::fromStdString(labelPath))) {
        const std::string label = ReadLabelText(labelPath);
        if (LabelTextFromComment(text.toStdString()) != label)
            text = QString::fromUtf8(kDefaultCaption) + QString::fromStdString(label);
    }
    CGraphCommentDialog dlg(m_ctx.settings, text, m_hub.captionOn,
                            QString::fromStdString(labelPath), this);
    if (dlg.exec() != QDialog::Accepted) return;
    m_hub.caption = dlg.Text();
    m_hub.captionOn = dlg.Shown();
    auto& st = m_graph->State();
    st.caption = m_hub.caption.toStdString();
    st.captionOn = m_hub.captionOn;
    m_graph->update();
    std::string detail;
    switch (m_ctx.bench.WriteExperimentLabel(LabelTextFromComment(st.caption), &detail)) {
        case CBench::LabelResult::Written:
            if (m_ctx.view) m_ctx.view->NotifyExperimentCommentChanged();
            break;
        case CBench::LabelResult::NoExperiment:
            Tell(QMessageBox::Information,
                 tr("Файл комментария не записан: на экране нет эксперимента с файлами "
                    "(загруженного или записанного в файл). Текст остался подписью графика."));
            break;
        case CBench::LabelResult::WriteFailed:
            Tell(QMessageBox::Warning, tr("Файл комментария не записан:\n%1")
                                           .arg(QString::fromStdString(detail)));
            break;
    }
}

void CGraphPage::Tell(int icon, const QString& text) {
    // Window-modal and not waited for, like the main window's messages.
    auto* box = new QMessageBox(static_cast<QMessageBox::Icon>(icon),
                                tr("Редактировать комментарий к графику"), text, QMessageBox::Ok,
                                this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
    m_message = box;
}

void CGraphPage::SaveToFile() {
    QString path = QFileDialog::getSaveFileName(this, tr("Сохранить график в файл…"), QString(),
                                                tr("Изображение PNG (*.png);;Рисунок SVG (*.svg)"));
    if (path.isEmpty()) return;
    if (QFileInfo(path).suffix().isEmpty()) path += QStringLiteral(".png");
    QInputDialog ask(this);
    ask.setWindowTitle(tr("Размер изображения"));
    ask.setLabelText(tr("Ширина x высота в точках:"));
    ask.setTextValue(QStringLiteral("%1x%2").arg(m_graph->width()).arg(m_graph->height()));
    ask.setCancelButtonText(tr("Отмена"));
    if (ask.exec() != QDialog::Accepted) return;
    const QString sizeText = ask.textValue();
    const QStringList parts = sizeText.split(QLatin1Char('x'));
    int w = parts.size() == 2 ? parts[0].trimmed().toInt() : 0;
    int h = parts.size() == 2 ? parts[1].trimmed().toInt() : 0;
    QString error;
    if (!SaveGraphFile(path, w, h, m_graph->State(), m_graph->Curves(), m_graph->Cache(), &error,
                       UiLanguage()))
        QMessageBox::warning(this, tr("Сохранить график в файл…"), error);
}

void CGraphPage::ToggleUpdates() {
    m_stopped = !m_stopped;
    if (QAction* a = Action(cmd::FreezeGraph)) a->setChecked(m_stopped);
    if (m_stopped) m_timer->stop();
    else if (isVisible()) m_timer->start();
}

void CGraphPage::Tick() {
    if (m_stopped) return;
    auto curves = m_hub.Curves();
    if (!curves.empty() && curves.front().store && curves.front().store->StartTime() != 0)
        m_graph->State().startTime = curves.front().store->StartTime();
    m_graph->SetCurves(std::move(curves));
    m_graph->Tick();
}

void CGraphPage::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    Tick();
    if (!m_stopped) m_timer->start();
}

void CGraphPage::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    m_timer->stop();
}

}  // namespace dravmer::ui
