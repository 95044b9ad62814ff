#pragma once
// "Сохранить параметры приборов": reads identity, FLASH and EEPROM of every active device on a
// worker and shows the report line by line as the worker writes it. "Выход" closes the dialog;
// a worker still reading is told to stop, and the dialog closes when it has (after the device
// it is reading), without holding up the window meanwhile.
#include <QDialog>

#include "ui/background_job.h"
#include "ui/ui_context.h"

class QPlainTextEdit;
class QPushButton;

namespace dravmer::ui {

class CSaveParamsDialog : public QDialog {
    Q_OBJECT
public:
    CSaveParamsDialog(SUiContext& context, QWidget* parent = nullptr);
    ~CSaveParamsDialog() override;

    QString Report() const;
    bool Finished() const { return m_finished; }
    void reject() override;

signals:
    void finished(bool failed);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    SUiContext& m_context;
    QPlainTextEdit* m_report = nullptr;
    CBackgroundJob m_worker{this};
    bool m_finished = false;
    bool m_closing = false;
    QPushButton* m_exit = nullptr;
};

}  // namespace dravmer::ui
