#pragma once
// "Сохранить эксперимент в БД": the experiment the stores hold (just stopped, or loaded) goes
// into the archive the settings name, on a worker with a progress dialog that can cancel it.
// The same runs after every stop when the setting Archive/ArchiveOnStop is on. A failure is
// told to the operator and touches neither the stores nor the experiment's files.
#include <QObject>
#include <QPointer>
#include <QString>
#include <cstdint>
#include <string>

#include "ui/background_job.h"

class QMessageBox;
class QProgressDialog;
class QWidget;

namespace dravmer::ui {

struct SUiContext;

class CArchiveCommand : public QObject {
    Q_OBJECT
public:
    CArchiveCommand(SUiContext& context, QWidget* window);
    ~CArchiveCommand() override;

    // Starts archiving. afterStop: started by a stop (success is told in the status bar rather
    // than in a box). False when archiving runs already.
    bool Archive(bool afterStop = false);
    bool IsRunning() const { return m_job.IsRunning(); }
    // Cancels a run (nothing is written) and waits for its worker: the window is closing.
    void CancelAndWait();

    // The progress dialog of the run (null when none runs), the last box the command showed.
    QProgressDialog* Progress() const;
    QMessageBox* LastMessage() const;

signals:
    // A run ended (on the UI thread) with a result code of the archive and the text shown.
    void finished(int code, const QString& text);

private:
    void Done(bool afterStop);

    SUiContext& m_context;
    QWidget* m_window;
    // Written by the worker, read in Done after it has ended.
    int m_code = 0;
    std::int64_t m_id = 0;
    std::string m_detail;
    QPointer<QProgressDialog> m_progress;
    QPointer<QMessageBox> m_message;
    CBackgroundJob m_job{this};
};

// What the operator reads about a result of archiving; detail is the archive's own message.
QString ArchiveResultText(int code, qint64 id, const QString& detail, bool afterStop);

}  // namespace dravmer::ui
