#include "ui/widgets/archive_list.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QTableWidget>
#include <QVBoxLayout>
#include <cstdio>

#include "archive/archive_io.h"
#include "bench/bench_archive.h"
#include "ui/ui_context.h"

namespace dravmer::ui {

namespace {
std::tm Local(std::time_t t) {
    std::tm tm{};
    localtime_r(&t, &tm);
    return tm;
}

QString DateTimeText(std::time_t t) {
    const std::tm tm = Local(t);
    char buf[64];
    std::strftime(buf, sizeof buf, "%d-%m-%Y     %H:%M", &tm);
    return QString::fromLatin1(buf);
}
}  // namespace

QString ArchiveCommentText(std::time_t time, int number, const std::string& comment) {
    if (comment.empty()) return {};
    const std::tm tm = Local(time);
    return QStringLiteral("%1-%2-%3 - Exp: %4  %5")
        .arg(tm.tm_mday, 2, 10, QLatin1Char('0'))
        .arg(tm.tm_mon + 1, 2, 10, QLatin1Char('0'))
        .arg(tm.tm_year + 1900)
        .arg(number)
        .arg(QString::fromStdString(comment));
}

CArchiveList::CArchiveList(SUiContext& context, QWidget* parent)
    : QWidget(parent), m_context(context) {
    m_url = new QLineEdit(this);
    m_url->setReadOnly(true);
    m_url->setAccessibleName(tr("База данных"));
    m_device = new QLineEdit(this);
    m_device->setAccessibleName(tr("Фильтр по прибору"));
    m_device->setPlaceholderText(tr("все приборы"));
    m_device->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("\\d{0,10}")), this));
    m_device->setMaximumWidth(140);
    connect(m_device, &QLineEdit::returnPressed, this, &CArchiveList::Refresh);
    m_refresh = new QPushButton(tr("Обновить"), this);
    connect(m_refresh, &QPushButton::clicked, this, &CArchiveList::Refresh);

    m_list = new QTableWidget(0, 8, this);
    m_list->setAccessibleName(tr("Эксперименты архива"));
    const QStringList headers{tr("№ "),
                              tr("Дата - время           "),
                              tr("№ эксп."),
                              tr("Вр.экс.,м"),
                              tr("Формат"),
                              tr("К-во пр"),
                              tr("Список приборов эксперимента"),
                              tr("Комментарий")};
    m_list->setHorizontalHeaderLabels(headers);
    const QFontMetrics fm(m_list->horizontalHeader()->font());
    for (int c = 0; c < 7; ++c)
        m_list->horizontalHeader()->resizeSection(c, fm.horizontalAdvance(headers[c]) + 16);
    m_list->horizontalHeader()->resizeSection(7, 180);
    m_list->horizontalHeader()->setStretchLastSection(true);
    m_list->verticalHeader()->hide();
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->setWordWrap(false);
    connect(m_list, &QTableWidget::cellDoubleClicked, this, [this] { emit activated(); });
    m_state = new QLabel(this);

    auto* top = new QHBoxLayout;
    auto* urlLabel = new QLabel(tr("База данных:"), this);
    urlLabel->setBuddy(m_url);
    auto* deviceLabel = new QLabel(tr("Прибор:"), this);
    deviceLabel->setBuddy(m_device);
    top->addWidget(urlLabel);
    top->addWidget(m_url, 1);
    top->addWidget(deviceLabel);
    top->addWidget(m_device);
    top->addWidget(m_refresh);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(top);
    layout->addWidget(m_list, 1);
    layout->addWidget(m_state);
}

CArchiveList::~CArchiveList() { m_job.CancelAndWait(); }

void CArchiveList::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!m_listedOnce) Refresh();
}

void CArchiveList::Refresh() {
    m_listedOnce = true;
    if (m_job.IsRunning()) {
        if (!m_loading) m_refreshAgain = true;
        return;
    }
    const std::string url = ArchiveUrlFromSettings(m_context.settings);
    m_url->setText(QString::fromStdString(RedactArchiveUrl(url)));
    SArchiveFilter filter;
    const QString device = m_device->text().trimmed();
    if (!device.isEmpty()) {
        bool ok = false;
        const qulonglong address = device.toULongLong(&ok);
        if (!ok || address > 0xFFFFFFFFull) {
            m_state->setText(tr("Номер прибора - число от 0 до 4294967295."));
            return;
        }
        filter.hasDevice = true;
        filter.device = static_cast<std::uint32_t>(address);
    }
    m_state->setText(tr("Чтение списка экспериментов..."));
    m_refresh->setEnabled(false);
    m_cancelled = false;
    auto code = std::make_shared<int>(kArchiveOk);
    auto error = std::make_shared<std::string>();
    m_job.Start(
        [this, url, filter, code, error](CJobContext& job) {
            m_read.clear();
            std::unique_ptr<CArchive> archive =
                CArchive::Open(url, *code, *error, {true, job.StopFlag()});
            if (!archive) return;
            *code = archive->List(filter, m_read);
            if (*code != kArchiveOk) *error = archive->LastError();
        },
        [this, code, error] { Fill(*code, QString::fromStdString(*error)); });
}

void CArchiveList::Fill(int code, const QString& error) {
    m_refresh->setEnabled(true);
    if (code != kArchiveOk) {
        m_rows.clear();
        m_list->setRowCount(0);
        m_state->setText(tr("Архив не прочитан: %1").arg(error));
        emit listed(-1);
    } else {
        m_rows = std::move(m_read);
        m_read.clear();
        const int count = static_cast<int>(m_rows.size());
        m_list->setRowCount(count);
        for (int n = 0; n < count; ++n) {
            const SArchiveListRow& r = m_rows[static_cast<std::size_t>(n)];
            QString addresses;
            for (std::uint32_t a : r.addresses) {
                if (!addresses.isEmpty()) addresses += QStringLiteral("; ");
                addresses += QString::number(a);
            }
            char minutes[32];
            std::snprintf(minutes, sizeof minutes, "%1.1f", r.duration / 60.0);
            const QStringList cells{QString::number(n + 1),
                                    DateTimeText(r.startTime),
                                    QString::number(r.number),
                                    QString::fromLatin1(minutes),
                                    r.text ? QStringLiteral(".txt") : QStringLiteral(".adc"),
                                    QString::number(r.addresses.size()),
                                    addresses,
                                    ArchiveCommentText(r.startTime, r.number, r.comment)};
            for (int c = 0; c < cells.size(); ++c)
                m_list->setItem(n, c, new QTableWidgetItem(cells[c]));
            // The bench that archived it, for a lab archive shared by several benches.
            if (!r.host.empty())
                m_list->item(n, 1)->setToolTip(tr("Стенд: %1").arg(QString::fromStdString(r.host)));
        }
        if (count > 0) m_list->scrollToItem(m_list->item(count - 1, 0));
        m_state->setText(
            m_device->text().trimmed().isEmpty()
                ? tr("Экспериментов в архиве: %1").arg(count)
                : tr("Экспериментов с прибором %1: %2").arg(m_device->text().trimmed()).arg(count));
        emit listed(count);
    }
    if (m_refreshAgain && !m_cancelled) {
        m_refreshAgain = false;
        Refresh();
    }
}

bool CArchiveList::StartLoad() {
    const int row = m_list->currentRow();
    if (m_job.IsRunning() || row < 0 || row >= static_cast<int>(m_rows.size()) ||
        m_list->selectedItems().isEmpty())
        return false;
    const SArchiveListRow& r = m_rows[static_cast<std::size_t>(row)];
    const std::int64_t id = r.id;
    const std::string url = ArchiveUrlFromSettings(m_context.settings);
    m_loadUrl = url;
    m_comment = ArchiveCommentText(r.startTime, r.number, r.comment);
    m_time = r.startTime;
    m_cancelled = false;
    m_loading = true;
    emit loadStatus(tr("Чтение эксперимента из архива..."));
    emit loadProgress(0);
    auto e = std::make_shared<SArchivedExperiment>();
    auto code = std::make_shared<int>(kArchiveOk);
    auto error = std::make_shared<std::string>();
    // First half: the experiment's description comes out of the archive; the bench is
    // untouched. The records follow device by device as the stores are filled.
    m_job.Start(
        [this, url, id, e, code, error](CJobContext& job) {
            std::unique_ptr<CArchive> archive =
                CArchive::Open(url, *code, *error, {true, job.StopFlag()});
            if (!archive) return;
            *code = archive->Describe(id, *e);
            if (*code != kArchiveOk) *error = archive->LastError();
            if (*code == kArchiveOk) job.Post([this] { emit loadProgress(50); });
        },
        [this, e, code, error] {
            if (*code == kArchiveOk && !m_cancelled) {
                FillStores(e);
                return;
            }
            m_loading = false;
            emit loadStatus(m_cancelled || *code == kArchiveStopped
                                ? tr("Загрузка отменена.")
                                : tr("Эксперимент не прочитан из архива: %1")
                                      .arg(QString::fromStdString(*error)));
            emit loadFinished(false, false);
        });
    return true;
}

void CArchiveList::FillStores(std::shared_ptr<SArchivedExperiment> e) {
    // Second half: the device list and the stores are replaced here, on the UI thread, and
    // filled on the worker.
    std::vector<std::uint32_t> addresses;
    for (const SArchivedDevice& d : e->devices) addresses.push_back(d.address);
    const std::vector<CDeviceData*> stores = m_context.bench.PrepareLoad(addresses);
    if (stores.empty()) {
        m_loading = false;
        emit loadStatus(addresses.empty()
                            ? tr("В эксперименте нет приборов.")
                            : tr("Загрузка невозможна, пока идет эксперимент или поиск приборов."));
        emit loadFinished(false, false);
        return;
    }
    auto filled = std::make_shared<int>(0);
    const int count = static_cast<int>(stores.size());
    CBench& bench = m_context.bench;
    const std::string url = m_loadUrl;
    m_job.Start(
        [this, &bench, url, e, stores, filled, count](CJobContext& job) {
            int code = kArchiveOk;
            std::string error;
            std::unique_ptr<CArchive> archive =
                CArchive::Open(url, code, error, {true, job.StopFlag()});
            if (!archive) {
                bench.EndLoad();
                return;
            }
            *filled = LoadArchivedPrepared(
                bench, *archive, *e, stores,
                [this, &job, e, count](int done, int) {
                    const int percent = 50 + done * 50 / count;
                    const QString text =
                        tr("Прибор (%1/%2):   %3")
                            .arg(done)
                            .arg(count)
                            .arg(e->devices[static_cast<std::size_t>(done - 1)].address);
                    job.Post([this, percent, text] {
                        emit loadStatus(text);
                        emit loadProgress(percent);
                    });
                    return !job.StopRequested();
                },
                job.StopFlag());
        },
        [this, filled, count] {
            m_loading = false;
            const bool complete = *filled == count && !m_cancelled;
            if (!complete)
                emit loadStatus(m_cancelled
                                    ? tr("Загрузка отменена.")
                                    : tr("Загружено приборов: %1 из %2.").arg(*filled).arg(count));
            emit loadFinished(true, complete);
        });
}

void CArchiveList::Cancel() {
    m_cancelled = true;
    m_job.Cancel();
}

}  // namespace dravmer::ui
