#pragma once
// "Debug window": a worker walks every active device's records and lists the flow-channel
// errors (GvEr not 0) and the device resets (the cycle counter falling back); its lines appear
// as they are found. Closing the window stops the worker.
#include <QDialog>
#include <QMutex>
#include <QStringList>
#include <atomic>
#include <thread>

class QPlainTextEdit;
class QPushButton;
class QTimer;

namespace dravmer::ui {

struct SUiContext;

class CDebugWindow : public QDialog {
    Q_OBJECT
public:
    explicit CDebugWindow(SUiContext& context, QWidget* parent = nullptr);
    ~CDebugWindow() override;

    QPlainTextEdit* Text() const { return m_text; }
    QPushButton* OkButton() const { return m_ok; }
    bool IsScanning() const { return !m_finished; }

    void done(int result) override;

signals:
    void scanFinished();

private:
    void TakeLines();
    void StopWorker();

    SUiContext& m_context;
    QPlainTextEdit* m_text = nullptr;
    QPushButton* m_ok = nullptr;
    QTimer* m_timer = nullptr;
    std::thread m_worker;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_workerDone{false};
    bool m_finished = false;
    QMutex m_mutex;
    QString m_pending;  // lines found since the last look, guarded by m_mutex
};

}  // namespace dravmer::ui
