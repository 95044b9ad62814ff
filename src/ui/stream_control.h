#pragma once
// The window's live stream: with a broker address on the "Настройки" page (Stream/MqttUrl,
// Stream/MqttTopic), each experiment publishes its records and its start and stop. The broker's
// state shows in the status bar; an outage is told once, in a box, and its end in the status
// bar, the box then closed. The user name and the password file come from Stream/MqttUser and
// Stream/MqttPasswordFile (or DRAVMER_MQTT_PASSWORD). Publishing runs on its own thread and never holds up the polling or the window.
#include <QObject>
#include <QPointer>
#include <QString>
#include <memory>

#include "bench/bench_stream.h"
#include "stream/mqtt_publisher.h"

class QLabel;
class QMainWindow;
class QMessageBox;

namespace dravmer::ui {

struct SUiContext;

class CStreamControl : public QObject {
    Q_OBJECT
public:
    // events: the window's own listener, which the stream passes every event on to.
    CStreamControl(SUiContext& context, IBenchListener* events, QMainWindow* window);
    ~CStreamControl() override;

    // What the bench is given as its listener.
    IBenchListener* Listener() { return &m_tee; }
    // Before a start (UI thread): a publisher for the broker the settings name, if any. A
    // broker address that cannot be used is told and the experiment runs without it.
    void BeforeStart();
    // After the stop (on the stop's worker): sends what is queued, up to a few seconds.
    void FinishAfterStop();
    // After that (UI thread): the publisher goes.
    void Release();
    // The program was told to end (SIGTERM): the next stop event says "interrupted".
    void MarkInterrupted();

    QLabel* StatusLabel() const { return m_label; }
    CMqttPublisher* Publisher() const { return m_publisher.get(); }
    QMessageBox* LastMessage() const { return m_message; }

signals:
    void statusChanged(int state, const QString& text);

private:
    // `text` words the status for the tool tip and the messages.
    void ShowStatus(MqttState state, const QString& text);

    SUiContext& m_context;
    QMainWindow* m_window;
    CBenchStream m_tee;
    std::unique_ptr<CMqttPublisher> m_publisher;
    QLabel* m_label = nullptr;
    QPointer<QMessageBox> m_message;
};

}  // namespace dravmer::ui
