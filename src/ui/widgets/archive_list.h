#pragma once
// The loading dialog's second source: the experiments of the archive, with the columns of the
// folder list and a device filter. Loading one reads it from the archive first (nothing on the
// bench changes if that fails), then replaces the device list and fills the stores, both parts
// on a worker with progress. The archive is never read on the user-interface thread: a lab
// server may take seconds to answer.
#include <QWidget>
#include <ctime>
#include <memory>
#include <vector>

#include "archive/archive.h"
#include "ui/background_job.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;

namespace dravmer::ui {

struct SUiContext;

class CArchiveList : public QWidget {
    Q_OBJECT
public:
    explicit CArchiveList(SUiContext& context, QWidget* parent = nullptr);
    ~CArchiveList() override;

    QTableWidget* List() const { return m_list; }
    QLineEdit* DeviceFilter() const { return m_device; }
    QLineEdit* UrlEdit() const { return m_url; }
    // The list's own state: how many experiments, or why the archive could not be read.
    QLabel* State() const { return m_state; }
    // The id of each row's experiment.
    const std::vector<SArchiveListRow>& Rows() const { return m_rows; }
    bool IsBusy() const { return m_job.IsRunning(); }
    bool IsLoading() const { return m_loading; }
    // The comment and date-time of the loaded experiment, as the folder list gives them.
    QString Comment() const { return m_comment; }
    std::time_t Time() const { return m_time; }

public slots:
    // Reads the list again with the device filter (after the job that runs, if one does).
    void Refresh();
    // Loads the selected experiment. False when nothing is selected or a job runs.
    bool StartLoad();
    // Stops a load: after the device being read or filled; the stores keep what they got.
    void Cancel();

signals:
    void listed(int rows);  // -1: the archive could not be read
    void activated();       // a row was double-clicked
    void loadStatus(const QString& text);
    void loadProgress(int percent);
    // A load ended. storesChanged: the device list and stores were replaced (the pages must
    // refresh); complete: every device was filled.
    void loadFinished(bool storesChanged, bool complete);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void Fill(int code, const QString& error);
    void FillStores(std::shared_ptr<SArchivedExperiment> e);

    SUiContext& m_context;
    QLineEdit* m_url = nullptr;
    QLineEdit* m_device = nullptr;
    QPushButton* m_refresh = nullptr;
    QTableWidget* m_list = nullptr;
    QLabel* m_state = nullptr;
    std::vector<SArchiveListRow> m_rows;
    std::vector<SArchiveListRow> m_read;  // written by the list worker, taken in Fill
    bool m_listedOnce = false;
    bool m_refreshAgain = false;
    bool m_loading = false;
    QString m_comment;
    std::string m_loadUrl;  // the archive the load reads from
    std::time_t m_time = 0;
    // Set by Cancel, cleared when the next list or load starts.
    bool m_cancelled = false;
    CBackgroundJob m_job{this};
};

// "%2.2d-%2.2d-%d - Exp: %d  %s" for a comment, as the folder list shows label files; empty
// without a comment.
QString ArchiveCommentText(std::time_t time, int number, const std::string& comment);

}  // namespace dravmer::ui
