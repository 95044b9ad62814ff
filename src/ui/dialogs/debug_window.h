#pragma once
// "Debug window": a worker walks every active device's records and lists the flow-channel
// errors (GvEr not 0) and the device resets (the cycle counter falling back); its lines appear
// as they are found. Closing the window stops the worker.
#include <QDialog>

#include "ui/background_job.h"

class QPlainTextEdit;
class QPushButton;

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
    void ShowLines(QString text);

    SUiContext& m_context;
    QPlainTextEdit* m_text = nullptr;
    QPushButton* m_ok = nullptr;
    CBackgroundJob m_worker{this};
    bool m_finished = false;
};

}  // namespace dravmer::ui
