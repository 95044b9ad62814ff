#include "ui/dialogs/load_at_start_dialog.h"

#include <QDialogButtonBox>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "files/experiment_scan.h"
#include "ui/dialogs/file_problem_text.h"
#include "ui/dialogs/load_runner.h"
#include "ui/ui_context.h"

namespace dravmer::ui {

CLoadAtStartDialog::CLoadAtStartDialog(SUiContext& context, const QString& path, QWidget* parent)
    : QDialog(parent), m_context(context), m_path(path) {
    setWindowTitle(tr("Загрузка эксперимента"));
    m_status = new QLabel(this);
    m_status->setMinimumWidth(420);
    m_progress = new QProgressBar(this);
    m_progress->setRange(0, 100);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &CLoadAtStartDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_status);
    layout->addWidget(m_progress);
    layout->addWidget(buttons);

    m_runner = new CLoadRunner(context, this);
    connect(m_runner, &CLoadRunner::progress, m_progress, &QProgressBar::setValue);
    connect(m_runner, &CLoadRunner::fileStarted, this,
            [this](int index, int count, const QString& file) {
                m_status->setText(
                    tr("File (%1/%2):   %3").arg(index + 1).arg(count).arg(file.right(21)));
            });
    connect(m_runner, &CLoadRunner::finished, this, [this](bool cancelled) {
        emit experimentLoaded(m_comment, static_cast<qint64>(m_time));
        if (!cancelled) m_problems = ShowLoadProblems(parentWidget(), m_runner->Problems());
        if (cancelled || m_closeWhenDone) QDialog::reject();
        else QDialog::accept();
    });
}

bool CLoadAtStartDialog::Start() {
    const QFileInfo info(m_path);
    CExperimentList list;
    list.Scan(info.absolutePath().toStdString());
    const int group = info.exists() ? list.FindGroup(info.fileName().toStdString()) : -1;
    if (group < 0) {
        // The box says which file and, below, what is wrong with it.
        QString text = tr("Ошибка загрузки файла:\r\n%1").arg(m_path);
        const QString why = WordFileProblem(FindExperimentFileProblem(m_path.toStdString()));
        if (!why.isEmpty()) text += QStringLiteral("\r\n") + why;
        QMessageBox::critical(parentWidget(), tr("Ошибка"), text);
        return false;
    }
    const SGroupLoadData data = list.LoadData(group);
    m_comment = QString::fromStdString(data.comment);
    m_time = data.time;
    return m_runner->Start(data);
}

void CLoadAtStartDialog::reject() {
    if (m_runner->IsRunning()) {
        m_closeWhenDone = true;
        m_runner->Cancel();
        return;
    }
    QDialog::reject();
}

bool LoadExperimentAtStart(SUiContext& context, const QString& path, QWidget* parent,
                           QString* comment, std::time_t* time) {
    CLoadAtStartDialog dialog(context, path, parent);
    if (!dialog.Start()) return false;
    const bool done = dialog.exec() == QDialog::Accepted;
    if (comment) *comment = dialog.Comment();
    if (time) *time = dialog.Time();
    return done;
}

}  // namespace dravmer::ui
