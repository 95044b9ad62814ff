#pragma once
// The program's single window: menus and tool bar with every command, the main view's pages as
// tabs, the status bar with its 13 panes, and the commands that drive the engine (search, start,
// stop, writing to file, statistics). Engine calls that block (start with its device wait, stop,
// search, statistics over all records) run on one worker thread at a time; their results come
// back to the window as queued calls, so the window never freezes.
#include <QElapsedTimer>
#include <QMainWindow>
#include <QMessageBox>
#include <QPointer>
#include <array>
#include <functional>
#include <memory>
#include <optional>

#include "ui/background_job.h"
#include "ui/dialogs/wait_device_dialog.h"
#include "ui/page_list.h"
#include "ui/ui_context.h"

class QLabel;
class QTabWidget;
class QTimer;

namespace dravmer {
class CUpdateService;
}

namespace dravmer::ui {

class CArchiveCommand;
class CExportCommand;
class CStreamControl;
class CCommandTable;
class CUpdateOffer;
class CStatusPanes;
class CViewState;


inline constexpr const char* kVersion = dravmer::kProgramVersion;

class CMainFrame : public QMainWindow {
    Q_OBJECT
public:
    static constexpr int kMinWidth = 560;
    // A start that has not heard from a device after this long shows its wait.
    static constexpr int kSlowAnswerMs = 1000;
    static constexpr int kMinHeight = 400;
    // Worker operations, one at a time.
    enum class Busy { None, Start, Stop, Search, Files, Statistics };

    CMainFrame(CBench& bench, ISettingsStore& settings, QWidget* parent = nullptr);
    ~CMainFrame() override;

    QTabWidget* Pages() const { return m_pages; }
    SUiContext& Context() { return m_context; }
    CCommandTable& Commands() const { return *m_commands; }
    CViewState& View() const { return *m_view; }
    CStatusPanes& Panes() const { return *m_panes; }
    CBenchEvents& Events() { return *m_events; }
    // "Сохранить эксперимент в БД" and the archiving after a stop.
    CArchiveCommand& Archive() const { return *m_archive; }
    CExportCommand& Export() const { return *m_export; }
    CStreamControl& Stream() const { return *m_stream; }
    Busy BusyWith() const { return m_busy; }
    // The wait dialog of a start, while one is shown.
    CWaitDeviceDialog* WaitDialog() const { return m_waitDialog; }
    // The last message box the window showed (tests read its text).
    QMessageBox* LastMessage() const { return m_lastMessage; }

    // The commands.
    void ToggleExperiment();
    void StartSearch();
    void OpenSettings(SheetPageId page);
    // "О программе...": the version and the update server (the update offer serves the command
    // while one is attached).
    void ShowAbout();
    void ToggleWriteToFile();
    void ClearStatistics();
    void CalcStatistics();
    void SaveDeviceParameters();
    void SetAutoStop(bool on);

    // "Dravmer v.05.43, " and the titles of the devices' experiment files.
    void UpdateTitle();
    void RefillDeviceBox();
    // Enabled and checked states of the commands from the engine's state.
    void UpdateCommands();
    // The timers' work: activity icons (50 ms), auto-stop and status texts (1 s).
    void TickActivity();
    void TickAutoStop();
    void TickStatusTexts();
    // Seconds since the last start finished (what auto-stop compares with its limit).
    double AutoStopSeconds() const;
    // How long an experiment runs before auto-stop ends it: 700 s.
    void SetAutoStopLimit(double seconds) { m_autoStopLimit = seconds; }

    // The version check started at start-up; once it finds a newer release and no experiment
    // runs, the window offers it (checked once a second). Also gives the About box its service.
    void SetUpdateService(CUpdateService* service);
    void TickUpdateCheck();
    bool UpdateCheckPending() const;

    // Starts opening the enabled ports, port i after i x 200 ms, off the UI thread.
    void OpenPortsInBackground();
    // A file named on the command line: offered to the loading dialog shown after start.
    void OfferStartupFile(const QString& path);
    // Tells the operator when the settings file could not be read or written.
    void ShowSettingsStatus();

    // Shows a message box without blocking the caller (the box is window-modal).
    QMessageBox* ShowMessage(int icon, const QString& caption, const QString& text);

signals:
    void startFinished(int result);  // a StartResult
    void stopFinished(double seconds);
    void searchFinished(int found);
    void busyFinished();

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void moveEvent(QMoveEvent* event) override;

private:
    void BuildPages();
    void ConnectCommands();
    void ConnectEvents();
    // Runs `work` as the window's job; `done` runs on the UI thread afterwards.
    bool RunBusy(Busy kind, CBackgroundJob::Work work, std::function<void()> done);
    // Asks the job to stop (a start gives up its wait) and waits for its thread: closing.
    void StopWorker();
    void StartExperiment();
    void StopExperiment();
    void OnStartResult(StartResult result);
    void ShowWaitDialog(int index, quint32 address);
    void CloseWaitDialog();
    // The start asks a device; the wait shows when the answer is slow to come.
    void NoteAskedDevice(int index, quint32 address);
    void ShowSlowAnswer();
    static QString CancellingText();
    void RestorePlacement();
    void SavePlacement();
    // What the window returns to from maximised: its frame corner and inside size.
    void NoteNormalPlacement();

    CBench& m_bench;
    ISettingsStore& m_settings;
    CBenchEvents* m_events = nullptr;
    CCommandTable* m_commands = nullptr;
    CViewState* m_view = nullptr;
    CArchiveCommand* m_archive = nullptr;
    CExportCommand* m_export = nullptr;
    CStreamControl* m_stream = nullptr;
    SUiContext m_context;
    QTabWidget* m_pages = nullptr;
    CStatusPanes* m_panes = nullptr;
    QTimer* m_activityTimer = nullptr;
    QTimer* m_autoStopTimer = nullptr;
    QTimer* m_statusTimer = nullptr;
    CUpdateOffer* m_updateOffer = nullptr;

    CBackgroundJob m_worker{this};
    Busy m_busy = Busy::None;
    StartResult m_startResult = StartResult::Cancelled;
    QPointer<CWaitDeviceDialog> m_waitDialog;
    QTimer* m_askTimer = nullptr;
    int m_askedIndex = -1;
    quint32 m_askedAddress = 0;
    QPointer<QMessageBox> m_lastMessage;
    QPointer<QMessageBox> m_errorBox;
    QStringList m_shownSettingsStatus;
    QElapsedTimer m_autoStopClock;
    double m_autoStopLimit = kAutoStopSeconds;
    bool m_closing = false;
    // What the status bar showed last, so unchanged texts are not set again.
    std::array<std::string, 4> m_lastClients;
    std::array<int, 4> m_lastPortState{-1, -1, -1, -1};
    std::optional<QRect> m_normalPlacement;
};

// The seven page titles in tab order.
QStringList PageTitles();

}  // namespace dravmer::ui
