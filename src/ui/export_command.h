#pragma once
// "Экспорт в CSV…" (menu "Эксперимент" and the tool bar): the experiment on screen, running or
// loaded, every device of the current list, to one CSV file, on a worker with a progress dialog
// that can cancel it.
#include <QMessageBox>
#include <QObject>
#include <QProgressDialog>
#include <QPointer>
#include <QString>

#include "bench/bench_export.h"
#include "ui/background_job.h"
#include "ui/dialogs/csv_export_dialog.h"

class QWidget;

namespace dravmer::ui {

struct SUiContext;

class CExportCommand : public QObject {
    Q_OBJECT
public:
    CExportCommand(SUiContext& context, QWidget* window);
    ~CExportCommand() override;

    // Asks for the file and the options; the export starts when the dialog is accepted.
    void Export();
    // Starts writing at once (the dialog's OK, and tests).
    bool Start(const QString& path, const SCsvExportOptions& options);
    bool IsRunning() const { return m_job.IsRunning(); }
    void CancelAndWait();

    CCsvExportDialog* Dialog() const { return m_dialog; }
    QProgressDialog* Progress() const { return m_progress; }
    QMessageBox* LastMessage() const { return m_message; }

signals:
    // An export ended (on the UI thread) with its result and the text shown.
    void finished(int result, const QString& text);

private:
    void Done(const QString& path);
    QString DefaultPath() const;

    SUiContext& m_context;
    QWidget* m_window;
    SCsvExportReport m_report;  // written by the worker, read in Done after it has ended
    QPointer<CCsvExportDialog> m_dialog;
    QPointer<QProgressDialog> m_progress;
    QPointer<QMessageBox> m_message;
    CBackgroundJob m_job{this};
};

}  // namespace dravmer::ui
