#include "ui/dialogs/load_experiment_dialog.h"

#include <QCloseEvent>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <ctime>
#include <filesystem>

#include "files/experiment_files.h"
#include "platform/paths.h"
#include "ui/dialogs/load_runner.h"
#include "ui/ui_context.h"
#include "ui/widgets/archive_list.h"

namespace dravmer::ui {

QString LoadFolder(const SUiContext& context) {
    const std::string stored = context.settings.GetString("LoadPath", "LoadPath", "");
    if (!stored.empty()) return QString::fromStdString(stored);
    // Where the experiments are saved (the user's data folder when no folder is set, as the
    // files themselves go there); with date folders, today's when it exists.
    const CExperimentSettings& settings = context.bench.Settings();
    std::string folder = SaveFolderOf(settings.savePath);
    if (folder.empty()) folder = DataDir().string() + "/";
    std::error_code ec;
    if (settings.dateFolders) {
        const std::string today = folder + DatedSubfolder(std::time(nullptr)) + "/";
        if (std::filesystem::is_directory(today, ec)) folder = today;
    }
    if (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    return QString::fromStdString(folder);
}

CLoadExperimentDialog::CLoadExperimentDialog(SUiContext& context, QWidget* parent)
    : QDialog(parent), m_context(context) {
    setWindowTitle(tr("Загрузить результаты эксперимента"));
    m_folder = new QLineEdit(this);
    m_folder->setReadOnly(true);
    m_folder->setAccessibleName(tr("Папка"));
    auto* browse = new QToolButton(this);
    browse->setText(QStringLiteral("..."));
    browse->setAccessibleName(tr("Выбрать папку"));
    connect(browse, &QToolButton::clicked, this, &CLoadExperimentDialog::Browse);

    m_list = new QTableWidget(0, 8, this);
    m_list->setAccessibleName(tr("Эксперименты"));
    const QStringList headers{tr("№ "),      tr("Дата - время           "),
                              tr("№ эксп."), tr("Вр.экс.,м"),
                              tr("Формат"),  tr("К-во пр"),
                              tr("Список приборов эксперимента"), tr("Комментарий")};
    m_list->setHorizontalHeaderLabels(headers);
    const QFontMetrics fm(m_list->horizontalHeader()->font());
    // A column is as wide as its title and the longest text it holds; the date column's cells
    // are longer than its title in some languages.
    const QString dateSample = QStringLiteral("00-00-0000     00:00");
    for (int c = 0; c < 7; ++c) {
        int width = fm.horizontalAdvance(headers[c]);
        if (c == 1) width = std::max(width, QFontMetrics(m_list->font()).horizontalAdvance(dateSample));
        m_list->horizontalHeader()->resizeSection(c, width + 16);
    }
    m_list->horizontalHeader()->resizeSection(7, 180);
    m_list->horizontalHeader()->setStretchLastSection(true);
    m_list->verticalHeader()->hide();
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->setWordWrap(false);
    connect(m_list, &QTableWidget::cellDoubleClicked, this, [this] { accept(); });

    m_progress = new QProgressBar(this);
    m_progress->setRange(0, 100);
    m_progress->setValue(0);
    m_status = new QLabel(this);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    m_ok = buttons->button(QDialogButtonBox::Ok);
    connect(buttons, &QDialogButtonBox::accepted, this, &CLoadExperimentDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CLoadExperimentDialog::reject);

    auto* folderRow = new QHBoxLayout;
    auto* folderLabel = new QLabel(tr("Папка:"), this);
    folderLabel->setBuddy(m_folder);
    folderRow->addWidget(folderLabel);
    folderRow->addWidget(m_folder, 1);
    folderRow->addWidget(browse);
    auto* folderPage = new QWidget(this);
    auto* folderLayout = new QVBoxLayout(folderPage);
    folderLayout->setContentsMargins(0, 0, 0, 0);
    folderLayout->addLayout(folderRow);
    folderLayout->addWidget(m_list, 1);
    m_archive = new CArchiveList(context, this);
    m_sources = new QTabWidget(this);
    m_sources->addTab(folderPage, tr("Папка"));
    m_sources->addTab(m_archive, tr("Архив (БД)"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_sources, 1);
    layout->addWidget(m_status);
    layout->addWidget(m_progress);
    layout->addWidget(buttons);
    resize(900, 420);

    m_runner = new CLoadRunner(context, this);
    connect(m_runner, &CLoadRunner::progress, m_progress, &QProgressBar::setValue);
    connect(m_runner, &CLoadRunner::fileStarted, this,
            [this](int index, int count, const QString& path) {
                m_status->setText(tr("File (%1/%2):   %3").arg(index + 1).arg(count).arg(path));
            });
    connect(m_runner, &CLoadRunner::finished, this, [this](bool cancelled) {
        emit experimentLoaded(m_comment, static_cast<qint64>(m_time));
        if (!cancelled) m_problems = ShowLoadProblems(parentWidget(), m_runner->Problems());
        if (cancelled || m_closeWhenDone) {
            QDialog::reject();
            return;
        }
        QDialog::accept();
    });

    connect(m_archive, &CArchiveList::activated, this, [this] { accept(); });
    connect(m_archive, &CArchiveList::loadProgress, m_progress, &QProgressBar::setValue);
    connect(m_archive, &CArchiveList::loadStatus, m_status, &QLabel::setText);
    connect(m_archive, &CArchiveList::loadFinished, this, [this](bool changed, bool complete) {
        if (changed)
            emit experimentLoaded(m_archive->Comment(), static_cast<qint64>(m_archive->Time()));
        if (complete)
            QDialog::accept();
        else if (m_closeWhenDone)
            QDialog::reject();
        else
            m_ok->setEnabled(true);
    });
    connect(m_archive, &CArchiveList::listed, this, [this] {
        if (m_closeWhenDone && !m_archive->IsBusy()) QDialog::reject();
    });

    m_folder->setText(LoadFolder(context));
    Fill();
}

CLoadExperimentDialog::~CLoadExperimentDialog() = default;

void CLoadExperimentDialog::Browse() {
    const QString folder = QFileDialog::getExistingDirectory(this, tr("Папка экспериментов"),
                                                             m_folder->text());
    if (!folder.isEmpty()) SetFolder(folder);
}

void CLoadExperimentDialog::SetFolder(const QString& folder) {
    m_context.settings.SetString("LoadPath", "LoadPath", folder.toStdString());
    m_context.settings.Flush();
    m_folder->setText(folder);
    Fill();
}

void CLoadExperimentDialog::Fill() {
    m_experiments.Scan(m_folder->text().toStdString());
    const int groups = m_experiments.GroupCount();
    m_list->setRowCount(groups);
    for (int n = 0; n < groups; ++n) {
        const SGroupDescription d = m_experiments.Describe(n);
        const QStringList cells{QString::number(n + 1),
                                QString::fromStdString(d.dateTimeText),
                                QString::number(d.number),
                                QString::fromStdString(d.durationMinutes),
                                QString::fromStdString(d.format),
                                QString::number(d.devices),
                                QString::fromStdString(d.addressText),
                                QString::fromStdString(d.comment)};
        for (int c = 0; c < cells.size(); ++c) m_list->setItem(n, c, new QTableWidgetItem(cells[c]));
    }
    const QAbstractItemView* view = m_list;  // the table hides its column size hint
    for (int c = 0; c < 7; ++c)
        if (m_list->columnWidth(c) < view->sizeHintForColumn(c))
            m_list->horizontalHeader()->resizeSection(c, view->sizeHintForColumn(c));
    if (groups > 0) m_list->scrollToItem(m_list->item(groups - 1, 0));
}

void CLoadExperimentDialog::accept() {
    if (m_runner->IsRunning() || m_archive->IsLoading()) return;
    if (m_sources->currentWidget() == m_archive) {
        if (m_archive->StartLoad()) m_ok->setEnabled(false);
        return;
    }
    const int row = m_list->currentRow();
    if (row < 0 || row >= m_experiments.GroupCount() || m_list->selectedItems().isEmpty()) return;
    const SGroupLoadData data = m_experiments.LoadData(row);
    m_comment = QString::fromStdString(data.comment);
    m_time = data.time;
    m_ok->setEnabled(false);
    if (!m_runner->Start(data)) {
        m_status->setText(tr("Загрузка невозможна, пока идет эксперимент или поиск приборов."));
        m_ok->setEnabled(true);
    }
}

void CLoadExperimentDialog::reject() {
    if (m_archive->IsBusy()) {
        // A lab server that does not answer holds the archive's worker until its time-out.
        m_closeWhenDone = true;
        m_archive->Cancel();
        return;
    }
    if (m_runner->IsRunning()) {
        // Stop after the block being read; the dialog closes when the worker has ended.
        m_closeWhenDone = true;
        m_runner->Cancel();
        return;
    }
    QDialog::reject();
}

void CLoadExperimentDialog::closeEvent(QCloseEvent* event) {
    if (m_runner->IsRunning() || m_archive->IsBusy()) {
        event->ignore();
        reject();
        return;
    }
    QDialog::closeEvent(event);
}

}  // namespace dravmer::ui
