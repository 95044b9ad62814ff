#pragma once
// The window's side of the self-update. Once a second (the frame's timer 2) the service's check
// state is read: while it checks, polling goes on; when nothing newer was found (or the check
// failed) polling stops; when a newer version is there and no experiment runs, polling stops and
// the offer is prepared on a worker (a connection within 1 s and one request, so up to a few
// seconds), the operator is asked Yes or No, and on Yes the download and its checks run on a
// worker behind a progress dialog that Cancel, Escape or closing it cancel. The hand-off never
// starts while an experiment runs: a release that is ready then waits for the stop and the
// operator is asked again. When the new version has been started the main window is asked to
// close, so that the next process can take the program's place. Closing the window abandons
// whatever the offer was doing. Nothing here blocks the UI thread.
#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QProgressDialog>
#include <QString>
#include <functional>
#include <string>

#include "ui/background_job.h"
#include "update/update_service.h"

class QTimer;
class QWidget;

namespace dravmer {
class ISettingsStore;
}

namespace dravmer::ui {

class CMainFrame;

// The service as the program runs it: this program's version, the hand-off's values in
// `settings`, log lines in LogDir()/update.log.
SUpdateConfig BenchUpdateConfig(ISettingsStore& settings);

// "HOST" or "HOST:PORT" handed to the service; false (and no server) when the text is not an
// address. An empty text means no update server.
bool ApplyUpdateServer(CUpdateService& service, const std::string& text);

// A log writer for the service: lines with the time, appended to LogDir()/update.log.
std::function<void(const std::string&)> UpdateTraceWriter();

// What the operator is told when an accepted update was not installed.
QString UpdateRefusalText(EUpdateRefusal why);

class CUpdateOffer : public QObject {
    Q_OBJECT
public:
    // Idle: the check ended without a newer version (or never started); WaitingForStop: the
    // release is downloaded and checked, and an experiment runs; Confirming: asked again whether
    // to install it now; Done: an offer was made.
    enum class Stage {
        Polling,
        Idle,
        Preparing,
        Asking,
        Downloading,
        WaitingForStop,
        Confirming,
        Done
    };

    // busy: true while an experiment runs or the window's worker is busy; no offer then.
    CUpdateOffer(CUpdateService& service, std::function<bool()> busy, QWidget* window);
    ~CUpdateOffer() override;

    // "О программе...": the version and the server this offer asks; a server changed there is
    // stored in `settings` and asked at once.
    void ShowAbout(QWidget* parent, ISettingsStore& settings);
    // Starts polling the check state, every intervalMs.
    void Start(int intervalMs = 1000);
    bool Polling() const;
    Stage CurrentStage() const { return m_stage; }
    // The question box while it is shown.
    QMessageBox* Question() const { return m_question; }
    QProgressDialog* Progress() const { return m_progress; }
    // The second question, after the experiment the release waited for has stopped.
    QMessageBox* Confirmation() const { return m_confirm; }
    // The worker that prepares and downloads; the tests wait on it to line up its reports.
    CBackgroundJob& Worker() { return m_worker; }
    // The result of the offer: 1 the new version was started, 0 nothing newer, -1 declined or
    // failed.
    int Result() const { return m_result; }

    // One tick of the timer (the tests call it directly too).
    void Poll();
    // A new server was entered: when no offer has been made yet and no check runs, the check
    // starts again and polling resumes. False when nothing was started.
    bool Recheck();
    // The window is closing: a question is withdrawn, a download cancelled and its file removed,
    // a release waiting for the hand-off discarded; returns once no worker runs.
    void Abandon();

signals:
    void questionShown(QMessageBox* box);
    void finished(int result);

private:
    void Prepared(int rc, const SUpdateOffer& offer);
    void Answered(bool yes);
    void Downloaded(int rc);
    // The hand-off, or while an experiment runs waiting for its stop (then asking again).
    void HandOffWhenIdle();
    void AskToInstall();
    void HandOff();
    void ShowFailure();
    QMessageBox* MakeQuestion(const QString& title, const QString& text, const char* name);
    void Finish(int result);

    CUpdateService& m_service;
    std::function<bool()> m_busy;
    QPointer<QWidget> m_window;
    QTimer* m_timer = nullptr;
    Stage m_stage = Stage::Polling;
    int m_result = 0;
    int m_offerMajor = 0, m_offerMinor = 0;
    // Preparing the offer, the download, the log line of the hand-off: one at a time.
    CBackgroundJob m_worker{this};
    QPointer<QMessageBox> m_question;
    QPointer<QProgressDialog> m_progress;
    QPointer<QMessageBox> m_confirm;
};

// The update offer, belonging to the frame, which also serves the frame's "О программе..."
// command while it lives. The service and the settings outlive the frame.
CUpdateOffer* AttachUpdateService(CMainFrame& frame, CUpdateService& service,
                                  ISettingsStore& settings, int intervalMs = 1000);

}  // namespace dravmer::ui
