#pragma once
// Loading the experiment that a file named on the command line belongs to: progress while the
// experiment's files are read, an error box when the file is missing, invalid or not named like
// an experiment file.
#include <QDialog>
#include <QMessageBox>
#include <QPointer>
#include <ctime>

class QLabel;

class QProgressBar;

namespace dravmer::ui {

struct SUiContext;
class CLoadRunner;

class CLoadAtStartDialog : public QDialog {
    Q_OBJECT
public:
    CLoadAtStartDialog(SUiContext& context, const QString& path, QWidget* parent = nullptr);

    // Finds the file's experiment and starts loading it; false after the error box (or when a
    // load cannot start now), in which case the dialog has nothing to show.
    bool Start();
    QString Comment() const { return m_comment; }
    std::time_t Time() const { return m_time; }
    QLabel* Status() const { return m_status; }
    CLoadRunner* Runner() const { return m_runner; }
    // The box that told what the load left out (null when it left out nothing).
    QMessageBox* Problems() const { return m_problems; }

    void reject() override;

signals:
    void experimentLoaded(const QString& comment, qint64 time);

private:
    SUiContext& m_context;
    QString m_path;
    QLabel* m_status = nullptr;
    QProgressBar* m_progress = nullptr;
    CLoadRunner* m_runner = nullptr;
    QString m_comment;
    std::time_t m_time = 0;
    bool m_closeWhenDone = false;
    QPointer<QMessageBox> m_problems;
};

// The whole start-up step: the dialog runs modally until the files are read. False when the
// file could not be loaded (the error box was shown).
bool LoadExperimentAtStart(SUiContext& context, const QString& path, QWidget* parent,
                           QString* comment = nullptr, std::time_t* time = nullptr);

}  // namespace dravmer::ui
