#pragma once
// SIGTERM (the session ending at logout, `systemctl --user stop`, `kill`) closes the window the
// way the operator's close does: the experiment stops and its files close, the live stream says
// the stop and goes offline, the settings are written and the record cache goes. The handler
// only writes a byte to a pipe; the window's thread reads it and does the rest.
#include <QObject>

class QSocketNotifier;

namespace dravmer::ui {

class CTerminationSignal : public QObject {
    Q_OBJECT
public:
    explicit CTerminationSignal(QObject* parent = nullptr);
    ~CTerminationSignal() override;
    // Takes SIGTERM from now on; false (the signal left as it was) when no pipe could be made.
    bool Install();

signals:
    void received();

private:
    QSocketNotifier* m_notifier = nullptr;
};

}  // namespace dravmer::ui
