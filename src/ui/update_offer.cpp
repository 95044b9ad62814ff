#include "ui/update_offer.h"

#include <QAction>
#include <QApplication>
#include <QMainWindow>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <memory>
#include <mutex>

#include "platform/paths.h"
#include "platform/settings_store.h"
#include "ui/command_table.h"
#include "ui/dialogs/about_dialog.h"
#include "ui/main_frame.h"

namespace dravmer::ui {

namespace {
QString Q(const std::string& s) { return QString::fromStdString(s); }

// Hidden now, deleted once the event loop is back. Never deleted at once: a window-modal
// progress dialog runs the event loop inside its own setValue, and the download's end handled
// there would pull the dialog from under that setValue.
template <class T>
void DisposeLater(QPointer<T>& widget) {
    if (widget) {
        widget->hide();
        widget->deleteLater();
    }
    widget = nullptr;
}
}  // namespace

SUpdateConfig BenchUpdateConfig(ISettingsStore& settings) {
    SUpdateConfig config;
    // One version for the title, --version and the check.
    config.major = kProgramVersionMajor;
    config.minor = kProgramVersionMinor;
    config.settings = &settings;
    config.trace = UpdateTraceWriter();
    return config;
}

bool ApplyUpdateServer(CUpdateService& service, const std::string& text) {
    std::string host;
    int port = kFileServerTcpPort;
    if (text.empty() || !ParseServerAddress(text, host, port)) {
        service.SetServerName({});
        return text.empty();
    }
    service.SetServerName(host, port);
    return true;
}

std::function<void(const std::string&)> UpdateTraceWriter() {
    auto mutex = std::make_shared<std::mutex>();
    return [mutex](const std::string& line) {
        using namespace std::chrono;
        const auto now = system_clock::now();
        const std::time_t t = system_clock::to_time_t(now);
        const int ms =
            static_cast<int>(duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000);
        std::tm tm{};
        localtime_r(&t, &tm);
        char stamp[40];
        std::snprintf(stamp, sizeof stamp, "[%2.2d.%2.2d %2.2d:%2.2d:%2.2d:%3.3d] ", tm.tm_mday,
                      tm.tm_mon + 1, tm.tm_hour, tm.tm_min, tm.tm_sec, ms);
        std::lock_guard lock(*mutex);
        if (!EnsureDir(LogDir())) return;
        std::ofstream(LogDir() / "update.log", std::ios::app) << stamp << line << "\n";
    };
}

QString UpdateRefusalText(EUpdateRefusal why) {
    switch (why) {
        case EUpdateRefusal::kNone:
            return {};
        case EUpdateRefusal::kCancelled:
            return CUpdateOffer::tr("Загрузка новой версии отменена.");
        case EUpdateRefusal::kDownload:
            return CUpdateOffer::tr(
                "Загрузка новой версии прервалась или принесла не тот файл, "
                "который описал сервер.");
        case EUpdateRefusal::kTooLarge:
            return CUpdateOffer::tr(
                       "Файл новой версии на сервере больше %1 МБ: такой файл не "
                       "загружается.")
                .arg(kMaxReleaseBytes / (1024 * 1024));
        case EUpdateRefusal::kWrite:
            return CUpdateOffer::tr(
                "Не удалось записать новую версию в папку программы (нет места "
                "на диске или нет прав на запись).");
        case EUpdateRefusal::kNotProgram:
            return CUpdateOffer::tr(
                "Загруженный файл не является программой для этого компьютера.");
        case EUpdateRefusal::kNoChecksum:
            return CUpdateOffer::tr(
                "Сервер не опубликовал контрольную сумму SHA-256 новой версии, "
                "а ключ проверки подписи не задан: непроверенная версия не "
                "устанавливается.");
        case EUpdateRefusal::kChecksum:
            return CUpdateOffer::tr(
                "Загруженный файл не совпадает с контрольной суммой SHA-256, "
                "опубликованной сервером.");
        case EUpdateRefusal::kBadKey:
            return CUpdateOffer::tr(
                "Ключ проверки подписи в настройках "
                "(UpdateVersionSettings/PublicKey) неверен: нужны 64 "
                "шестнадцатеричные цифры.");
        case EUpdateRefusal::kNoSignature:
            return CUpdateOffer::tr(
                "На сервере нет подписи новой версии: неподписанная версия не "
                "устанавливается.");
        case EUpdateRefusal::kOtherKey:
            return CUpdateOffer::tr(
                "Новая версия подписана другим ключом, а не ключом, заданным "
                "в настройках: она не устанавливается.");
        case EUpdateRefusal::kBadSignature:
            return CUpdateOffer::tr(
                "Подпись новой версии не сходится: файл изменён или повреждён, "
                "он не устанавливается.");
        case EUpdateRefusal::kSignatureVersion:
            return CUpdateOffer::tr(
                "Подпись на сервере сделана для другой версии программы, чем предложенная: "
                "старая версия выдана за новую, она не устанавливается.");
        case EUpdateRefusal::kVersionAnswer:
            return CUpdateOffer::tr("Загруженная программа не сообщила ожидаемый номер версии.");
        case EUpdateRefusal::kHandOff:
            return CUpdateOffer::tr("Не удалось сохранить текущую версию или запустить новую.");
    }
    return {};
}

CUpdateOffer::CUpdateOffer(CUpdateService& service, std::function<bool()> busy, QWidget* window)
    : QObject(window), m_service(service), m_busy(std::move(busy)), m_window(window) {
    m_timer = new QTimer(this);
    connect(m_timer, &QTimer::timeout, this, &CUpdateOffer::Poll);
}

CUpdateOffer::~CUpdateOffer() {
    // A worker still preparing or downloading is cancelled and waited for; its queued result is
    // dropped with this object.
    Abandon();
}

void CUpdateOffer::Abandon() {
    m_timer->stop();
    const Stage stage = m_stage;
    // A prepare or a download under way is interrupted (see the jobs' stop) and waited for.
    m_worker.CancelAndWait();
    switch (stage) {
        case Stage::Preparing:
        case Stage::Asking:
            m_service.DeclineOffer();
            break;
        case Stage::Downloading:
        case Stage::WaitingForStop:
        case Stage::Confirming:
            // A download that ended just as the cancel came is removed too.
            m_service.DiscardDownload();
            m_service.DeclineOffer();
            break;
        default:
            break;
    }
    DisposeLater(m_question);
    DisposeLater(m_progress);
    DisposeLater(m_confirm);
    if (stage != Stage::Done && stage != Stage::Idle && stage != Stage::Polling) Finish(-1);
}

void CUpdateOffer::Start(int intervalMs) {
    m_stage = Stage::Polling;
    m_timer->start(intervalMs);
}

bool CUpdateOffer::Polling() const { return m_timer->isActive() && m_stage == Stage::Polling; }

void CUpdateOffer::Poll() {
    if (m_stage == Stage::WaitingForStop) {
        if ((m_busy && m_busy()) || QApplication::activeModalWidget()) return;
        m_timer->stop();
        AskToInstall();
        return;
    }
    if (m_stage != Stage::Polling) return;
    switch (m_service.CheckState()) {
        case CUpdateService::kNothing:
            m_timer->stop();
            m_stage = Stage::Idle;
            return;
        case CUpdateService::kNewer:
            break;
        default:  // still checking, or no check was started (no server): ask again later
            return;
    }
    if (m_busy && m_busy()) return;
    // The operator finishes with an open dialog (settings, a loading) before being asked.
    if (QApplication::activeModalWidget()) return;
    m_timer->stop();
    m_stage = Stage::Preparing;
    auto offer = std::make_shared<SUpdateOffer>();
    auto rc = std::make_shared<int>(-1);
    m_worker.Start(
        [this, offer, rc](CJobContext& job) {
            if (job.StopRequested()) return;
            std::stop_callback cancel(job.StopToken(), [this] { m_service.CancelDownload(); });
            *rc = m_service.PrepareOffer(*offer);
        },
        [this, offer, rc] { Prepared(*rc, *offer); });
}

bool CUpdateOffer::Recheck() {
    if (m_stage != Stage::Polling && m_stage != Stage::Idle) return false;
    if (m_service.CheckState() == CUpdateService::kChecking) return false;
    if (m_service.ServerName().empty()) return false;
    m_service.StartCheck();
    m_stage = Stage::Polling;
    m_timer->start();
    return true;
}

QMessageBox* CUpdateOffer::MakeQuestion(const QString& title, const QString& text,
                                        const char* name) {
    auto* box = new QMessageBox(QMessageBox::Question, title, text,
                                QMessageBox::Yes | QMessageBox::No, m_window);
    box->setObjectName(QString::fromLatin1(name));
    box->setDefaultButton(QMessageBox::Yes);
    box->button(QMessageBox::Yes)->setText(tr("Да"));
    box->button(QMessageBox::No)->setText(tr("Нет"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    return box;
}

void CUpdateOffer::Prepared(int rc, const SUpdateOffer& offer) {
    if (m_stage != Stage::Preparing) return;  // abandoned meanwhile
    if (rc != 1) {
        // Nothing newer after all, or the server is gone: the operator sees nothing.
        Finish(rc);
        return;
    }
    m_stage = Stage::Asking;
    m_offerMajor = offer.serverMajor;
    m_offerMinor = offer.serverMinor;
    QString text = Q(offer.question);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    QMessageBox* box = MakeQuestion(Q(offer.title), text, "updateQuestion");
    connect(box, &QMessageBox::finished, this,
            [this, box](int) { Answered(box->clickedButton() == box->button(QMessageBox::Yes)); });
    m_question = box;
    box->open();
    emit questionShown(box);
}

void CUpdateOffer::Answered(bool yes) {
    if (m_stage != Stage::Asking) return;
    if (!yes) {
        m_service.DeclineOffer();
        Finish(-1);
        return;
    }
    m_stage = Stage::Downloading;
    auto* progress = new QProgressDialog(tr("Загрузка новой версии программы..."), tr("Отмена"), 0,
                                         100, m_window);
    progress->setObjectName(QStringLiteral("updateProgress"));
    progress->setWindowTitle(tr("Обновление версии"));
    progress->setWindowModality(Qt::WindowModal);
    progress->setMinimumDuration(0);
    progress->setAutoClose(false);
    progress->setAutoReset(false);
    progress->setValue(0);
    // Cancel, Escape and closing the dialog all end the download; the worker then removes what
    // it had written.
    connect(progress, &QProgressDialog::canceled, this, [this] {
        if (m_stage == Stage::Downloading) m_worker.Cancel();
    });
    connect(&m_worker, &CBackgroundJob::progressed, progress, [progress](int percent) {
        if (!progress->wasCanceled()) progress->setValue(percent);
    });
    progress->open();
    m_progress = progress;
    auto rc = std::make_shared<int>(-1);
    m_worker.Start(
        [this, rc](CJobContext& job) {
            std::stop_callback cancel(job.StopToken(), [this] { m_service.CancelDownload(); });
            *rc = m_service.DownloadOffer([&job](int percent) { job.Progress(percent, 100); });
        },
        [this, rc] { Downloaded(*rc); });
}

void CUpdateOffer::Downloaded(int rc) {
    if (m_stage != Stage::Downloading) return;  // abandoned meanwhile
    DisposeLater(m_progress);
    if (rc != 1) {
        if (m_service.LastRefusal() == EUpdateRefusal::kCancelled) {
            Finish(-1);  // the operator's own choice: nothing to report
            return;
        }
        ShowFailure();
        return;
    }
    HandOffWhenIdle();
}

void CUpdateOffer::HandOffWhenIdle() {
    if (m_busy && m_busy()) {
        // An experiment runs: it is never cut short. The release waits, and the operator is
        // asked again once the experiment has stopped.
        m_stage = Stage::WaitingForStop;
        m_timer->start();
        return;
    }
    HandOff();
}

void CUpdateOffer::AskToInstall() {
    m_stage = Stage::Confirming;
    QMessageBox* box =
        MakeQuestion(tr("Обновление версии"),
                     tr("Новая версия программы %1.%2 загружена и проверена.\n"
                        "Установить её сейчас? Программа закроется и запустится в новой версии.")
                         .arg(m_offerMajor, 2, 10, QChar('0'))
                         .arg(m_offerMinor, 2, 10, QChar('0')),
                     "updateConfirm");
    connect(box, &QMessageBox::finished, this, [this, box](int) {
        if (m_stage != Stage::Confirming) return;
        m_confirm = nullptr;  // answered: no longer the question on screen
        if (box->clickedButton() != box->button(QMessageBox::Yes)) {
            m_service.DiscardDownload();
            Finish(-1);
            return;
        }
        HandOffWhenIdle();
    });
    m_confirm = box;
    box->open();
    emit questionShown(box);
}

void CUpdateOffer::HandOff() {
    // On the UI thread, right after the last look at the experiment: nothing can start one in
    // between. Keeping the running version and starting the new one are local and quick.
    if (m_service.StartHandOff() != 1) {
        ShowFailure();
        return;
    }
    m_worker.Start([this](CJobContext&) { m_service.LogHandOffStarted(); });
    Finish(1);
    // The next process waits for this one to end before it takes the program's place.
    if (m_window) QMetaObject::invokeMethod(m_window, &QWidget::close, Qt::QueuedConnection);
}

void CUpdateOffer::ShowFailure() {
    // The operator agreed and waited: a failure is said, not swallowed. The running version
    // was not touched.
    auto* box = new QMessageBox(
        QMessageBox::Warning, tr("Обновление версии"),
        tr("Не удалось обновить программу.\n%1\nТекущая версия %2 продолжает работу.")
            .arg(UpdateRefusalText(m_service.LastRefusal()), Q(m_service.VersionText())),
        QMessageBox::Ok, m_window);
    box->setObjectName(QStringLiteral("updateFailed"));
    box->setDetailedText(Q(m_service.LastError()));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
    Finish(-1);
}

void CUpdateOffer::Finish(int result) {
    m_stage = Stage::Done;
    m_result = result;
    emit finished(result);
}

void CUpdateOffer::ShowAbout(QWidget* parent, ISettingsStore& settings) {
    auto* dialog = new CAboutDialog(Q(m_service.VersionText()),
                                    Q(UpdateServerFromSettings(settings)), parent);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QDialog::accepted, this, [this, dialog, &settings] {
        SaveUpdateServer(settings, dialog->Server().toStdString());
        // An emptied field falls back to the bench's common server, as at start.
        ApplyUpdateServer(m_service, UpdateServerFromSettings(settings));
        Recheck();
    });
    dialog->open();
}

CUpdateOffer* AttachUpdateService(CMainFrame& frame, CUpdateService& service,
                                  ISettingsStore& settings, int intervalMs) {
    auto* offer = new CUpdateOffer(
        service,
        [&frame] {
            return frame.Context().bench.IsRunning() || frame.BusyWith() != CMainFrame::Busy::None;
        },
        &frame);
    offer->setObjectName(QStringLiteral("updateOffer"));
    // "О программе..." also changes the server the offer asks, and asks it again.
    frame.Context().commands->Handle(cmd::About, offer,
                                     [&frame, &settings, offer] { offer->ShowAbout(&frame, settings); });
    offer->Start(intervalMs);
    return offer;
}

}  // namespace dravmer::ui
