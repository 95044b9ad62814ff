#include "ui/command_table.h"

#include <QAction>
#include <QComboBox>
#include <QMenu>
#include <QMenuBar>
#include <QToolBar>
#include <QToolButton>

#include "ui/icons.h"

namespace dravmer::ui {

namespace cmd {
int LoadAxesId(int n) { return n <= 1 ? LoadAxes1 : LoadAxes2 + (n - 2); }
int SaveAxesId(int n) { return SaveAxes1 + (n - 1); }
}  // namespace cmd

CCommandTable::CCommandTable(QWidget* owner) : QObject(owner), m_owner(owner) {
    using namespace cmd;
    Add(LinkSettings, tr("Настройки связи с прибором"), "link-settings");
    Add(StartExperiment, tr("Запустить эксперимент"), "start", true);
    Add(StopExperiment, tr("Остановить эксперимент"), "stop", true);
    Add(WriteToFile, tr("Записывать результаты эксперимента в файл"), "write-file", true);
    Add(ClearStatistics, tr("Очистить статистику"), "clear-stat");
    Add(CopyStatistics, tr("Копировать статистику в буфер обмена"), "copy-stat");
    Add(CopyGraph, tr("Копировать график в буфер обмена"), "copy-graph");
    Add(FreezeGraph, tr("Остановить обновление графика"), "freeze-graph", true);
    Add(GraphSettings, tr("Настройки графика"), "graph-settings");
    Add(ZoomInY, tr("Увеличить масштаб по вертикальной оси"), "zoom-in-y");
    Add(ZoomOutY, tr("Уменьшить масштаб по вертикальной оси"), "zoom-out-y");
    Add(GraphToStart, tr("В начало графика"), "to-start");
    Add(ShiftLeft, tr("Сдвинуть влево"), "shift-left");
    Add(ShiftRight, tr("Сдвинуть вправо"), "shift-right");
    Add(GraphToEnd, tr("Сдвинуть в конец"), "to-end");
    Add(ShiftUp, tr("Сдвинуть вверх"), "shift-up");
    Add(ShiftDown, tr("Сдвинуть вниз"), "shift-down");
    Add(ZoomInX, tr("Увеличить масштаб по горизонтальной оси"), "zoom-in-x");
    Add(ZoomOutX, tr("Уменьшить масштаб по горизонтальной оси"), "zoom-out-x");
    Add(FitGraph, tr("Уместить график"), "fit");
    Add(CommonScale, tr("Общий масштаб для всех графиков"), "common-scale", true);
    Add(FitAllCommonScale, tr("Уместить все графики с общим масштабом"), "fit-all");
    Add(MoveSelectionForward, tr("Смещение выбранной области вперёд"), "selection-forward")
        ->setToolTip(tr("Смещение выбранной области"));
    Add(MoveSelectionBack, tr("Смещение выбранной области назад"), "selection-back")
        ->setToolTip(tr("Смещение выбранной области"));
    Add(ProgramSettings, tr("Настройки программы"), "program-settings");
    Add(EditGraphComment, tr("Редактировать комментарий к графику"), "comment");
    Add(SaveGraphToFile, tr("Сохранить график в файл…"));
    Add(About, tr("О программе..."));
    QAction* load = Add(LoadAxes, tr("Загрузить оси"), "load-axes");
    QAction* save = Add(SaveAxes, tr("Сохранить оси"), "save-axes");
    auto* loadMenu = new QMenu(m_owner);
    auto* saveMenu = new QMenu(m_owner);
    for (int n = 1; n <= 5; ++n) {
        loadMenu->addAction(Add(LoadAxesId(n), tr("Загрузить оси №%1").arg(n)));
        saveMenu->addAction(Add(SaveAxesId(n), tr("Сохранить оси №%1").arg(n)));
    }
    load->setMenu(loadMenu);
    save->setMenu(saveMenu);
    Add(SaveToDatabase, tr("Сохранить эксперимент в БД"), "database");
    Add(ExportCsv, tr("Экспорт в CSV…"), "export-csv");
    Add(AutoStop, tr("Остановить эксперимент на 700 с"), "auto-stop", true);
    Add(LoadExperiment, tr("Загрузить результаты эксперимента"), "load");
    Add(CalcStatistics, tr("Расчет статистики"), "calc-stat");
    Add(SearchDevices, tr("Поиск приборов"), "search");
    Add(FindGvErrors, tr("Поиск ошибок GvErr!=0"), "debug");
    Add(SaveDeviceParams, tr("Сохранить параметры приборов"), "save-params");
    Add(AutoScroll, tr("Делать прокрутку окна \"Показания АЦП\""), "auto-scroll", true);

    m_deviceBox = new QComboBox(m_owner);
    m_deviceBox->setMinimumWidth(100);
    m_deviceBox->setAccessibleName(tr("Текущий прибор"));
    m_deviceBox->setToolTip(tr("Текущий прибор"));
    m_curveBox = new QComboBox(m_owner);
    m_curveBox->setMinimumWidth(74);
    m_curveBox->addItem(tr("all"));
    m_curveBox->setAccessibleName(tr("Выбранный график"));
    m_curveBox->setToolTip(tr("Выбранный график"));
    connect(m_curveBox, &QComboBox::activated, this, [this](int index) {
        emit curveBoxChanged(index - 1);
        m_curveBox->setFocus();
    });
}

QAction* CCommandTable::Add(int id, const QString& text, const char* icon, bool checkable) {
    auto* action = new QAction(text, m_owner);
    action->setData(id);
    action->setObjectName(QStringLiteral("command%1").arg(id));
    if (icon) action->setIcon(Icon(icon));
    action->setCheckable(checkable);
    action->setToolTip(text);
    action->setStatusTip(text);
    // Nobody handles a command yet: the frame and the pages enable the ones they handle.
    action->setEnabled(false);
    m_owner->addAction(action);
    m_actions[id] = action;
    return action;
}

QAction* CCommandTable::Get(int id) const {
    const auto it = m_actions.find(id);
    return it == m_actions.end() ? nullptr : it->second;
}

bool CCommandTable::Handled(int id) const {
    const auto it = m_handlers.find(id);
    return it != m_handlers.end() && static_cast<bool>(it->second);
}

std::vector<int> CCommandTable::Ids() const {
    std::vector<int> ids;
    for (const auto& [id, action] : m_actions) ids.push_back(id);
    return ids;
}

void CCommandTable::FillMenus(QMenuBar* bar) const {
    using namespace cmd;
    auto add = [this](QMenu* menu, std::initializer_list<int> ids) {
        for (int id : ids) {
            if (id == 0) menu->addSeparator();
            else menu->addAction(Get(id));
        }
    };
    add(bar->addMenu(tr("&Эксперимент")),
        {StartExperiment, StopExperiment, 0, WriteToFile, AutoStop, 0, ClearStatistics,
         CalcStatistics, CopyStatistics, 0, LoadExperiment, SaveToDatabase, ExportCsv});
    add(bar->addMenu(tr("&Приборы")),
        {SearchDevices, SaveDeviceParams, 0, FindGvErrors, 0, LinkSettings});
    add(bar->addMenu(tr("&График")),
        {CopyGraph, SaveGraphToFile, FreezeGraph, EditGraphComment, 0, ZoomInY, ZoomOutY, ZoomInX, ZoomOutX, 0,
         GraphToStart, ShiftLeft, ShiftRight, GraphToEnd, ShiftUp, ShiftDown, 0,
         MoveSelectionBack, MoveSelectionForward, 0, FitGraph, CommonScale, FitAllCommonScale, 0,
         LoadAxes, SaveAxes});
    add(bar->addMenu(tr("&Вид")), {AutoScroll});
    add(bar->addMenu(tr("&Настройки")), {ProgramSettings, GraphSettings, LinkSettings});
    add(bar->addMenu(tr("&Справка")), {About});
}

void CCommandTable::FillToolBar(QToolBar* bar) const {
    using namespace cmd;
    for (int id : std::initializer_list<int>{StartExperiment, StopExperiment, 0, WriteToFile, AutoStop, 0, SearchDevices,
                   SaveDeviceParams, 0, ClearStatistics, CalcStatistics, CopyStatistics, ExportCsv, 0,
                   CopyGraph, FreezeGraph, ZoomInY, ZoomOutY, ZoomInX, ZoomOutX, FitGraph,
                   LoadAxes, SaveAxes, 0, ProgramSettings, LinkSettings}) {
        if (id == 0) {
            bar->addSeparator();
            continue;
        }
        QAction* action = Get(id);
        bar->addAction(action);
        if (action->menu())
            if (auto* button = qobject_cast<QToolButton*>(bar->widgetForAction(action)))
                button->setPopupMode(QToolButton::InstantPopup);
    }
    bar->addSeparator();
    bar->addWidget(m_deviceBox);
    bar->addWidget(m_curveBox);
}

}  // namespace dravmer::ui
