#include "ui/dialogs/debug_window.h"

#include <QDialogButtonBox>
#include <QFont>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>
#include <chrono>
#include <string>

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

    // The worker sends what it found in batches, a few times a second.
    m_worker.Start(
        [this, devices](CJobContext& job) {
            using Clock = std::chrono::steady_clock;
            std::string batch;
            Clock::time_point sent = Clock::now();
            auto send = [&] {
                if (batch.empty()) return;
                QString text = QString::fromStdString(batch);
                batch.clear();
                sent = Clock::now();
                job.Post([this, text = std::move(text)] { ShowLines(text); });
            };
            auto out = [&](const std::string& line) {
                batch += line;
                if (Clock::now() - sent >= std::chrono::milliseconds(100)) send();
            };
            for (const SDevice& d : devices) {
                if (job.StopRequested()) break;
                ScanForErrors(*d.store, d.address, out, job.StopFlag());
            }
            if (!job.StopRequested()) out("Find errors comlete.");
            send();
        },
        [this] {
            if (m_worker.CancelRequested()) return;  // closed meanwhile
            m_finished = true;
            m_ok->setEnabled(true);
            emit scanFinished();
        });
}

CDebugWindow::~CDebugWindow() { m_worker.CancelAndWait(); }

void CDebugWindow::ShowLines(QString text) {
    if (m_worker.CancelRequested()) return;
    // The lines end with CR LF; the edit wants bare line ends.
    text.remove(QLatin1Char('\r'));
    if (text.endsWith(QLatin1Char('\n'))) text.chop(1);
    m_text->appendPlainText(text);
}

void CDebugWindow::done(int result) {
    m_worker.CancelAndWait();
    QDialog::done(result);
}

}  // namespace dravmer::ui
