#include "ui/dialogs/save_params_dialog.h"

#include <QCloseEvent>
#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>

#include "ui/qt_translations.h"

namespace dravmer::ui {

CSaveParamsDialog::CSaveParamsDialog(SUiContext& context, QWidget* parent)
    : QDialog(parent), m_context(context) {
    setWindowTitle(tr("Сохранить параметры приборов"));
    auto* layout = new QVBoxLayout(this);
    m_report = new QPlainTextEdit(this);
    m_report->setReadOnly(true);
    m_report->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_report->setAccessibleName(tr("Отчёт"));
    layout->addWidget(m_report, 1);
    auto* buttons = new QDialogButtonBox(this);
    // "Сохранить" has never done anything: the files are written as the devices are read.
    QPushButton* save = buttons->addButton(tr("Сохранить"), QDialogButtonBox::ActionRole);
    save->setEnabled(false);
    m_exit = buttons->addButton(tr("Выход"), QDialogButtonBox::RejectRole);
    connect(m_exit, &QPushButton::clicked, this, &QDialog::reject);
    layout->addWidget(buttons);
    resize(620, 420);

    connect(&context.events, &CBenchEvents::reportText, this, [this](const QString& text) {
        QString t = text;
        t.remove(QLatin1Char('\r'));
        m_report->moveCursor(QTextCursor::End);
        m_report->insertPlainText(t);
        m_report->verticalScrollBar()->setValue(m_report->verticalScrollBar()->maximum());
    });
    auto failed = std::make_shared<bool>(false);
    CBench& bench = m_context.bench;
    m_worker.Start(
        [&bench, failed](CJobContext& job) {
            bench.SaveDeviceParameters(failed.get(), job.StopFlag(), UiLanguage());
        },
        [this, failed] {
            m_finished = true;
            emit finished(*failed);
            if (m_closing) QDialog::reject();
        });
}

CSaveParamsDialog::~CSaveParamsDialog() { m_worker.CancelAndWait(); }

QString CSaveParamsDialog::Report() const { return m_report->toPlainText(); }

void CSaveParamsDialog::reject() {
    if (m_finished) {
        QDialog::reject();
        return;
    }
    // The worker ends after the device it is reading; the dialog closes then.
    m_worker.Cancel();
    m_closing = true;
    m_exit->setEnabled(false);
    m_report->appendPlainText(tr("Остановка..."));
}

void CSaveParamsDialog::closeEvent(QCloseEvent* event) {
    if (!m_finished) {
        event->ignore();
        reject();
        return;
    }
    QDialog::closeEvent(event);
}

}  // namespace dravmer::ui
