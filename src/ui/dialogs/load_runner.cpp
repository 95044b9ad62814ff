#include "ui/dialogs/load_runner.h"

#include <QMetaObject>

#include "ui/ui_context.h"

namespace dravmer::ui {

namespace {
// Re-posts the loader's calls to the runner's thread. The runner outlives the worker (its
// destructor joins it); a post still queued when the runner goes is dropped by Qt.
struct SPoster : ILoadListener {
    CLoadRunner* runner = nullptr;
    int lastPercent = -1;
    template <class F>
    void Post(F f) {
        QMetaObject::invokeMethod(runner, std::move(f), Qt::QueuedConnection);
    }
    void OnFileStarted(int index, int count, const std::string& path) override {
        lastPercent = -1;
        QString p = QString::fromStdString(path);
        CLoadRunner* r = runner;
        Post([r, index, count, p] { emit r->fileStarted(index, count, p); });
    }
    void OnFileProgress(int, int percent) override {
        if (percent == lastPercent) return;  // one message per step, not per block
        lastPercent = percent;
        CLoadRunner* r = runner;
        Post([r, percent] { emit r->progress(percent); });
    }
    void OnFileLoaded(int, int, const SLoadReport&) override {}
    void OnAllLoaded(bool) override {}
};
}  // namespace

CLoadRunner::CLoadRunner(SUiContext& context, QObject* parent)
    : QObject(parent), m_context(context) {}

CLoadRunner::~CLoadRunner() {
    m_cancel = true;
    Join();
}

void CLoadRunner::Join() {
    if (m_thread.joinable()) m_thread.join();
}

void CLoadRunner::Cancel() { m_cancel = true; }

bool CLoadRunner::Start(const SGroupLoadData& group) {
    if (m_thread.joinable() && !m_done) return false;
    Join();
    std::vector<CDeviceData*> stores = m_context.bench.PrepareLoad(group.addresses);
    if (stores.empty()) return false;
    m_cancel = false;
    m_done = false;
    m_loaded = 0;
    m_thread = std::thread([this, group, stores] {
        SPoster poster;
        poster.runner = this;
        const int loaded = m_context.bench.LoadPrepared(group, stores, &poster, &m_cancel);
        m_loaded = loaded;
        const bool cancelled = m_cancel.load();
        QMetaObject::invokeMethod(
            this,
            [this, cancelled] {
                m_done = true;
                Join();
                emit finished(cancelled);
            },
            Qt::QueuedConnection);
    });
    return true;
}

}  // namespace dravmer::ui
