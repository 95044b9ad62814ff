#include "ui/graphs/graph_page.h"

#include <QAction>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
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
    for (const auto& [id, mine] : m_actions) {
        QAction* theirs = id ? m_ctx.commands->Get(id) : nullptr;
        if (!theirs || theirs->menu()) continue;
        QAction* own = mine;
        if (id == cmd::FreezeGraph) {
            connect(theirs, &QAction::triggered, this, [this, theirs] {
                ToggleUpdates();
                theirs->setChecked(m_stopped);
            });
        } else if (id == cmd::CommonScale) {
            connect(theirs, &QAction::triggered, this, [this, theirs] {
                m_graph->CommonScale();
                theirs->setChecked(false);
            });
        } else {
            connect(theirs, &QAction::triggered, own, &QAction::trigger);
        }
        theirs->setEnabled(own->isEnabled());
        connect(own, &QAction::enabledChanged, theirs, &QAction::setEnabled);
    }
    for (int id : {cmd::LoadAxes, cmd::SaveAxes})
        if (QAction* a = m_ctx.commands->Get(id)) a->setEnabled(true);
    // The export has no command id of its own: it joins the graph menu after "copy graph".
    if (QAction* copy = m_ctx.commands->Get(cmd::CopyGraph))
        for (QObject* o : copy->associatedObjects())
            if (auto* menu = qobject_cast<QMenu*>(o)) {
                const auto acts = menu->actions();
                const auto at = acts.indexOf(copy);
                menu->insertAction(at + 1 < acts.size() ? acts[at + 1] : nullptr, Action(0));
                break;
            }
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

QAction* CGraphPage::Add(int id, const QString& text, const QKeySequence& key) {
    auto* a = new QAction(text, this);
    a->setToolTip(text);
    if (!key.isEmpty()) {
        a->setShortcut(key);
        a->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        addAction(a);
    }
    m_actions.emplace_back(id, a);
    return a;
}

QAction* CGraphPage::Action(int id) const {
    for (const auto& [i, a] : m_actions)
        if (i == id) return a;
    return nullptr;
}

void CGraphPage::MakeActions() {
    CGraphicCtrl* g = m_graph;
    connect(Add(32778, tr("Копировать график в буфер обмена"), QKeySequence::Copy),
            &QAction::triggered, this, &CGraphPage::Copy);
    QAction* stop = Add(32779, tr("Остановить обновление графика"));
    stop->setCheckable(true);
    connect(stop, &QAction::triggered, this, &CGraphPage::ToggleUpdates);
    connect(Add(32781, tr("Увеличить масштаб по вертикальной оси"), Qt::CTRL | Qt::Key_Up),
            &QAction::triggered, g, &CGraphicCtrl::ZoomValueIn);
    connect(Add(32782, tr("Уменьшить масштаб по вертикальной оси"), Qt::CTRL | Qt::Key_Down),
            &QAction::triggered, g, &CGraphicCtrl::ZoomValueOut);
    connect(Add(32783, tr("В начало графика"), Qt::Key_Home), &QAction::triggered, g,
            &CGraphicCtrl::ToStart);
    connect(Add(32784, tr("Сдвинуть влево"), Qt::Key_Right), &QAction::triggered, g,
            &CGraphicCtrl::ScrollForward);
    connect(Add(32785, tr("Сдвинуть вправо"), Qt::Key_Left), &QAction::triggered, g,
            &CGraphicCtrl::ScrollBack);
    connect(Add(32786, tr("Сдвинуть в конец"), Qt::Key_End), &QAction::triggered, g,
            &CGraphicCtrl::ToEnd);
    connect(Add(32789, tr("Сдвинуть вверх"), Qt::Key_Up), &QAction::triggered, g,
            &CGraphicCtrl::ShiftUp);
    connect(Add(32790, tr("Сдвинуть вниз"), Qt::Key_Down), &QAction::triggered, g,
            &CGraphicCtrl::ShiftDown);
    connect(Add(32791, tr("Увеличить масштаб по горизонтальной оси"), Qt::CTRL | Qt::Key_Right),
            &QAction::triggered, g, &CGraphicCtrl::ZoomTimeIn);
    connect(Add(32792, tr("Уменьшить масштаб по горизонтальной оси"), Qt::CTRL | Qt::Key_Left),
            &QAction::triggered, g, &CGraphicCtrl::ZoomTimeOut);
    connect(Add(32793, tr("Уместить график"), Qt::Key_F), &QAction::triggered, g,
            &CGraphicCtrl::Fit);
    connect(Add(32812, tr("Общий масштаб для всех графиков"), Qt::Key_C), &QAction::triggered, g,
            &CGraphicCtrl::CommonScale);
    connect(Add(32843, tr("Уместить все графики с общим масштабом"), Qt::Key_A),
            &QAction::triggered, g, &CGraphicCtrl::FitAllCommon);
    QAction* fwd = Add(32839, tr("Смещение выбранной области"), Qt::SHIFT | Qt::Key_Right);
    connect(fwd, &QAction::triggered, g, &CGraphicCtrl::MoveSelectionForward);
    QAction* back = Add(32842, tr("Смещение выбранной области"), Qt::SHIFT | Qt::Key_Left);
    connect(back, &QAction::triggered, g, &CGraphicCtrl::MoveSelectionBack);
    auto selectionEnables = [g, fwd, back] {
        fwd->setEnabled(g->State().selection.active);
        back->setEnabled(g->State().selection.active);
    };
    selectionEnables();
    connect(g, &CGraphicCtrl::selectionChanged, this, selectionEnables);
    connect(Add(32797, tr("Редактировать комментарий к графику")), &QAction::triggered, this,
            &CGraphPage::EditComment);
    connect(Add(0, tr("Сохранить график в файл…"), QKeySequence::Save), &QAction::triggered,
            this, &CGraphPage::SaveToFile);

    // The two axis menus: sets 1..5 under "Сохранить оси" and "Загрузить оси".
    const int kSaveIds[kAxisSets] = {cmd::SaveAxesId(1), cmd::SaveAxesId(2), cmd::SaveAxesId(3),
                                     cmd::SaveAxesId(4), cmd::SaveAxesId(5)};
    const int kLoadIds[kAxisSets] = {cmd::LoadAxesId(1), cmd::LoadAxesId(2), cmd::LoadAxesId(3),
                                     cmd::LoadAxesId(4), cmd::LoadAxesId(5)};
    auto* saveMenu = new QMenu(this);
    auto* loadMenu = new QMenu(this);
    for (int n = 0; n < kAxisSets; ++n) {
        QAction* s = Add(kSaveIds[n], tr("Сохранить оси №%1").arg(n + 1));
        connect(s, &QAction::triggered, this, [this, n] { SaveAxes(n); });
        saveMenu->addAction(s);
        QAction* l = Add(kLoadIds[n], tr("Загрузить оси №%1").arg(n + 1));
        connect(l, &QAction::triggered, this, [this, n] { LoadAxes(n); });
        loadMenu->addAction(l);
    }
    Add(32805, tr("Сохранить оси"))->setMenu(saveMenu);
    Add(32804, tr("Загрузить оси"))->setMenu(loadMenu);
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
    if (QAction* a = Action(32779)) a->setChecked(m_stopped);
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
