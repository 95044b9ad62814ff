#pragma once
// "Загрузить результаты эксперимента": the stored experiments of a folder, one row per
// experiment; OK loads the chosen one into the stores with a progress bar and the file being
// read. Closing the dialog during a load cancels it. A second tab lists the experiment archive.
#include <QDialog>
#include <QMessageBox>
#include <QPointer>
#include <ctime>

#include "files/experiment_scan.h"

class QLabel;

class QLineEdit;
class QProgressBar;
class QPushButton;
class QTableWidget;
class QTabWidget;

namespace dravmer::ui {

struct SUiContext;
class CLoadRunner;
class CArchiveList;

class CLoadExperimentDialog : public QDialog {
    Q_OBJECT
public:
    explicit CLoadExperimentDialog(SUiContext& context, QWidget* parent = nullptr);
    ~CLoadExperimentDialog() override;

    QTableWidget* List() const { return m_list; }
    QLineEdit* FolderEdit() const { return m_folder; }
    QProgressBar* Progress() const { return m_progress; }
    QLabel* Status() const { return m_status; }
    QPushButton* OkButton() const { return m_ok; }
    CLoadRunner* Runner() const { return m_runner; }
    // The box that told what the load of files left out (null when it left out nothing).
    QMessageBox* Problems() const { return m_problems; }
    // The sources: the folder (tab 0) and the archive (tab 1).
    QTabWidget* Sources() const { return m_sources; }
    CArchiveList* ArchiveSource() const { return m_archive; }
    // The comment and date-time of the loaded experiment, for the window's title and graph.
    QString Comment() const { return m_comment; }
    std::time_t Time() const { return m_time; }

public slots:
    // Remembers the folder as LoadPath and lists it.
    void SetFolder(const QString& folder);
    void accept() override;
    void reject() override;

signals:
    // All files were read (or the load was cancelled); the pages refresh from the stores.
    void experimentLoaded(const QString& comment, qint64 time);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void Fill();
    void Browse();

    SUiContext& m_context;
    CExperimentList m_experiments;
    QLineEdit* m_folder = nullptr;
    QTableWidget* m_list = nullptr;
    QProgressBar* m_progress = nullptr;
    QLabel* m_status = nullptr;
    QPushButton* m_ok = nullptr;
    CLoadRunner* m_runner = nullptr;
    QTabWidget* m_sources = nullptr;
    CArchiveList* m_archive = nullptr;
    QString m_comment;
    std::time_t m_time = 0;
    bool m_closeWhenDone = false;
    QPointer<QMessageBox> m_problems;
};

// The folder the list dialog opens in: LoadPath of section LoadPath (the folder last chosen),
// else the folder experiments are saved in.
QString LoadFolder(const SUiContext& context);

}  // namespace dravmer::ui
