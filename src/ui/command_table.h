#pragma once
// Every command of the window as a QAction with its id and text, made once: the frame puts them
// in its menus and the frequent ones on its tool bar. The frame and the pages register the
// handler of each command they serve with Handle(id, ...), which also enables it; a command
// nobody handles stays visible and disabled.
#include <QAction>
#include <QMetaObject>
#include <QObject>
#include <QString>
#include <map>
#include <utility>
#include <vector>

class QAction;
class QComboBox;
class QMenuBar;
class QToolBar;
class QWidget;

namespace dravmer::ui {

namespace cmd {
// No fixed underlying type: Qt's lupdate loses the class scope after "enum : int" and would
// file the commands' texts under the wrong context.
enum {
    LinkSettings = 32771,
    StartExperiment = 32772,
    StopExperiment = 32773,
    WriteToFile = 32774,
    ClearStatistics = 32775,
    CopyStatistics = 32776,
    CopyGraph = 32778,
    FreezeGraph = 32779,
    GraphSettings = 32780,
    ZoomInY = 32781,
    ZoomOutY = 32782,
    GraphToStart = 32783,
    ShiftLeft = 32784,
    ShiftRight = 32785,
    GraphToEnd = 32786,
    ShiftUp = 32789,
    ShiftDown = 32790,
    ZoomInX = 32791,
    ZoomOutX = 32792,
    FitGraph = 32793,
    ProgramSettings = 32796,
    EditGraphComment = 32797,
    LoadAxes = 32804,
    SaveAxes = 32805,
    SaveToDatabase = 32806,
    AutoStop = 32807,
    LoadExperiment = 32808,
    CalcStatistics = 32809,
    SearchDevices = 32811,
    CommonScale = 32812,
    LoadAxes1 = 32813,  // slots 2..5: 32818..32821
    LoadAxes2 = 32818,
    LoadAxes3 = 32819,
    LoadAxes4 = 32820,
    LoadAxes5 = 32821,
    SaveAxes1 = 32830,  // slots 1..5: 32830..32834
    SaveAxes2 = 32831,
    SaveAxes3 = 32832,
    SaveAxes4 = 32833,
    SaveAxes5 = 32834,
    FindGvErrors = 32836,
    SaveDeviceParams = 32838,
    MoveSelectionForward = 32839,
    AutoScroll = 32841,
    MoveSelectionBack = 32842,
    FitAllCommonScale = 32843,
    ExportCsv = 32850,
    SaveGraphToFile = 32851,
    About = 32852,
};
// The id of "Загрузить оси №n" / "Сохранить оси №n", n = 1..5.
int LoadAxesId(int n);
int SaveAxesId(int n);
}  // namespace cmd

class CCommandTable : public QObject {
    Q_OBJECT
public:
    // The actions belong to `owner` (the main window), so their shortcuts work in the whole
    // window.
    explicit CCommandTable(QWidget* owner);

    // The command with this id; nullptr for an id the table does not hold.
    QAction* Get(int id) const;
    std::vector<int> Ids() const;

    // Makes `f`, run in `receiver`'s context, the one handler of command `id` (a handler
    // registered before is dropped) and enables the command. The command; nullptr for an id
    // the table does not hold.
    template <class F>
    QAction* Handle(int id, const QObject* receiver, F&& f) {
        QAction* action = Get(id);
        if (!action) return nullptr;
        QMetaObject::Connection& handler = m_handlers[id];
        if (handler) QObject::disconnect(handler);
        handler = QObject::connect(action, &QAction::triggered, receiver, std::forward<F>(f));
        action->setEnabled(true);
        return action;
    }
    bool Handled(int id) const;

    // The tool bar's second box: "all" and the curve numbers. The graph pages fill the entries
    // after "all" (text "%d" painted in the curve's colour); the box's selection index minus one
    // is emitted as curveBoxChanged (-1: "all").
    QComboBox* CurveBox() const { return m_curveBox; }
    // The device box: the addresses of the active list; the frame fills it.
    QComboBox* DeviceBox() const { return m_deviceBox; }

    void FillMenus(QMenuBar* bar) const;
    void FillToolBar(QToolBar* bar) const;

signals:
    void curveBoxChanged(int curve);

private:
    QAction* Add(int id, const QString& text, const char* icon = nullptr, bool checkable = false);

    QWidget* m_owner;
    std::map<int, QAction*> m_actions;
    std::map<int, QMetaObject::Connection> m_handlers;
    QComboBox* m_deviceBox = nullptr;
    QComboBox* m_curveBox = nullptr;
};

}  // namespace dravmer::ui
