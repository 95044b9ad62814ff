#include "ui/stats_calculation.h"

#include <QMetaObject>
#include <QProgressDialog>

#include "ui/ui_context.h"

namespace dravmer::ui {

CStatsCalculation::CStatsCalculation(SUiContext& context, QObject* parent)
    : QObject(parent), m_context(context) {}

CStatsCalculation::~CStatsCalculation() {
    m_stop = true;
    if (m_thread.joinable()) m_thread.join();
}

bool CStatsCalculation::Start(std::optional<SSecondsRange> range, QWidget* progressParent) {
    if (m_thread.joinable()) return false;
    CBench& bench = m_context.bench;
    std::vector<CDeviceData*> stores;
    const std::size_t active = bench.Settings().devices.Active().size();
    for (std::size_t i = 0; i < active && i < bench.StoreCount(); ++i) stores.push_back(&bench.Data(i));
    const int total = static_cast<int>(stores.size());
    if (progressParent) {
        m_dialog = new QProgressDialog(tr("Расчет статистики"), QString(), 0, total, progressParent);
        m_dialog->setWindowTitle(tr("Расчет статистики"));
        m_dialog->setMinimumDuration(500);
        m_dialog->setWindowModality(Qt::WindowModal);
        m_dialog->setValue(0);
        connect(this, &CStatsCalculation::progress, m_dialog, [this](int done, int) {
            if (m_dialog) m_dialog->setValue(done);
        });
    }
    m_stop = false;
    m_thread = std::thread([this, stores, range, total] {
        int done = 0;
        for (CDeviceData* store : stores) {
            if (m_stop) break;
            if (range) store->CalcRange(range->first, range->last, false);
            else store->CalcAll();
            ++done;
            QMetaObject::invokeMethod(this, [this, done, total] { emit progress(done, total); },
                                      Qt::QueuedConnection);
        }
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (m_thread.joinable()) m_thread.join();
                if (m_dialog) {
                    m_dialog->deleteLater();
                    m_dialog = nullptr;
                }
                emit finished();
            },
            Qt::QueuedConnection);
    });
    return true;
}

}  // namespace dravmer::ui
