#include "ui/stream_control.h"

#include <QLabel>
#include <QMainWindow>
#include <QMessageBox>
#include <QStatusBar>
#include <cstdlib>

#include "ui/qt_translations.h"
#include "ui/ui_context.h"
#include "ui/widgets/status_bar.h"

namespace dravmer::ui {

CStreamControl::CStreamControl(SUiContext& context, IBenchListener* events, QMainWindow* window)
    : QObject(window), m_context(context), m_window(window), m_tee(context.bench, events) {
    m_label = new QLabel(window);
    m_label->setObjectName(QStringLiteral("mqttStatus"));
    m_label->setAccessibleName(tr("Состояние связи с брокером MQTT"));
    m_label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    m_label->hide();
    // A pane of its own among the status panes, where the flow finds room for it.
    if (auto* bar = qobject_cast<CStatusBar*>(window->statusBar())) bar->AddGroup({m_label});
    else window->statusBar()->addPermanentWidget(m_label);
}

CStreamControl::~CStreamControl() {
    if (m_publisher) {
        m_tee.RemoveSink(m_publisher.get());
        m_publisher->Stop();
    }
}

void CStreamControl::BeforeStart() {
    Release();
    const std::string url = m_context.settings.GetString(kStreamSection, kMqttUrlKey, "");
    if (url.empty()) return;
    SMqttSettings settings;
    std::string error;
    std::string topic = m_context.settings.GetString(kStreamSection, kMqttTopicKey, "");
    std::string warning;
    if (!ParseMqttUrl(url, settings, error, UiLanguage()) ||
        (!topic.empty() && !CheckMqttTopicPrefix(topic, error, UiLanguage()))) {
        ShowStatus(MqttState::Down,
                   tr("MQTT: адрес брокера не подходит (%1); записи не публикуются.")
                       .arg(QString::fromStdString(error)));
        return;
    }
    // The password from its file or the environment, never shown; one left in the address
    // works and is warned about.
    if (!ApplyMqttCredentials(settings,
                              m_context.settings.GetString(kStreamSection, kMqttUserKey, ""),
                              m_context.settings.GetString(kStreamSection, kMqttPasswordFileKey, ""),
                              std::getenv(kMqttPasswordEnv), warning, error)) {
        ShowStatus(MqttState::Down, tr("MQTT: пароль брокера не прочитан (%1); записи не "
                                       "публикуются.")
                                        .arg(QString::fromStdString(error)));
        return;
    }
    if (settings.passwordInUrl)
        m_window->statusBar()->showMessage(
            tr("MQTT: пароль указан в адресе брокера, где его видит любой пользователь "
               "компьютера; укажите файл пароля (Stream/MqttPasswordFile) или переменную "
               "DRAVMER_MQTT_PASSWORD."),
            15000);
    settings.topicPrefix = topic;
    m_publisher = std::make_unique<CMqttPublisher>(settings, [this](const SMqttStatus& s) {
        QMetaObject::invokeMethod(
            this,
            [this, s] {
                ShowStatus(s.state, QString::fromStdString(WordMqttStatus(s, UiLanguage())));
            },
            Qt::QueuedConnection);
    });
    if (!m_publisher->Start()) {
        m_publisher.reset();
        return;
    }
    m_tee.AddSink(m_publisher.get());
    m_label->setText(tr("MQTT: соединение…"));
    m_label->setToolTip(
        QString::fromStdString(WordMqttStatus(m_publisher->Status(), UiLanguage())));
    m_label->show();
}

void CStreamControl::MarkInterrupted() { m_tee.SetStopReason(kStopReasonInterrupted); }

void CStreamControl::FinishAfterStop() {
    if (m_publisher) m_publisher->Finish(3000);
}

void CStreamControl::Release() {
    if (!m_publisher) return;
    m_tee.RemoveSink(m_publisher.get());
    m_publisher->Stop();
    const QString summary =
        tr("MQTT: опубликовано записей: %1%2")
            .arg(m_publisher->Published())
            .arg(m_publisher->Dropped() ? tr(", не отправлено: %1").arg(m_publisher->Dropped())
                                        : QString());
    m_label->setText(summary);
    m_label->setToolTip(summary);
    m_publisher.reset();
}

void CStreamControl::ShowStatus(MqttState state, const QString& text) {
    m_label->setText(state == MqttState::Connected ? tr("MQTT: есть связь")
                     : state == MqttState::Down    ? tr("MQTT: нет связи")
                                                   : tr("MQTT: соединение…"));
    m_label->setToolTip(text);
    m_label->show();
    if (state == MqttState::Down) {
        // One box per outage: the publisher tells a state once, however often it retries.
        auto* box =
            new QMessageBox(QMessageBox::Warning, tr("MQTT"), text, QMessageBox::Ok, m_window);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->open();
        m_message = box;
    } else {
        // The broker is back: the outage's box has nothing more to say.
        if (m_message) m_message->close();
        m_window->statusBar()->showMessage(text, 15000);
    }
    emit statusChanged(static_cast<int>(state), text);
}

}  // namespace dravmer::ui
