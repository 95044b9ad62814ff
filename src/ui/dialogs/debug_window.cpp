#include "ui/dialogs/debug_window.h"

#include <QDialogButtonBox>
#include <QFont>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>
#include <QVBoxLayout>

#include "ui/tables/table_text.h"
#include "ui/ui_context.h"

namespace dravmer::ui {

CDebugWindow::CDebugWindow(SUiContext& context, QWidget* parent)
    : QDialog(parent), m_context(context) {
    setWindowTitle(tr("Debug window"));
    m_text = new QPlainTextEdit(this);
    m_text->setReadOnly(true);
    m_text->setAccessibleName(tr("Поиск ошибок"));
    m_text->setFont(QFont(QStringLiteral("Monospace"), 9));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    m_ok = buttons->button(QDialogButtonBox::Ok);
    m_ok->setEnabled(false);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_text, 1);
    layout->addWidget(buttons);
    resize(560, 420);

    // The stores and addresses to walk, taken on this thread; the stores live as long as the
    // bench and are only read.
    struct SDevice {
        CDeviceData* store;
        std::uint32_t address;
    };
    std::vector<SDevice> devices;
    CBench& bench = context.bench;
    const auto active = bench.ActiveDevices();
    for (std::size_t i = 0; i < active.size() && i < bench.StoreCount(); ++i)
        devices.push_back({&bench.Data(i), active[i].address});

    // Lines are collected by the worker and shown in batches, a few times a second.
    m_timer = new QTimer(this);
    m_timer->setInterval(100);
    connect(m_timer, &QTimer::timeout, this, &CDebugWindow::TakeLines);
    m_timer->start();
    m_worker = std::thread([this, devices] {
        auto out = [this](const std::string& line) {
            QMutexLocker lock(&m_mutex);
            m_pending += QString::fromStdString(line);
        };
        for (const SDevice& d : devices) {
            if (m_stop) break;
            ScanForErrors(*d.store, d.address, out, &m_stop);
        }
        if (!m_stop) out("Find errors comlete.");
        m_workerDone = true;
    });
}

CDebugWindow::~CDebugWindow() { StopWorker(); }

void CDebugWindow::StopWorker() {
    m_stop = true;
    if (m_worker.joinable()) m_worker.join();
}

void CDebugWindow::TakeLines() {
    const bool done = m_workerDone.load();
    QString text;
    {
        QMutexLocker lock(&m_mutex);
        text.swap(m_pending);
    }
    if (!text.isEmpty()) {
        // The lines end with CR LF; the edit wants bare line ends.
        text.remove(QLatin1Char('\r'));
        if (text.endsWith(QLatin1Char('\n'))) text.chop(1);
        m_text->appendPlainText(text);
    }
    if (done && !m_finished) {
        m_finished = true;
        m_timer->stop();
        if (m_worker.joinable()) m_worker.join();
        m_ok->setEnabled(true);
        emit scanFinished();
    }
}

void CDebugWindow::done(int result) {
    StopWorker();
    m_timer->stop();
    QDialog::done(result);
}

}  // namespace dravmer::ui
