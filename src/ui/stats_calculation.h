#pragma once
// "Расчет статистики": every active device's statistics recomputed over a range of seconds, or
// over all its records, on a worker thread. A progress dialog appears when it takes longer than
// half a second; the pages redraw when it is done.
#include <QObject>
#include <atomic>
#include <cstdint>
#include <optional>
#include <thread>

class QWidget;
class QProgressDialog;

namespace dravmer::ui {

struct SUiContext;

struct SSecondsRange {
    std::uint32_t first = 0, last = 0;
};

class CStatsCalculation : public QObject {
    Q_OBJECT
public:
    explicit CStatsCalculation(SUiContext& context, QObject* parent = nullptr);
    ~CStatsCalculation() override;

    // Starts the recompute: over the range when given, else over all records (which returns the
    // stores to running mode). False while one runs already. `progressParent` gets the progress
    // dialog (nullptr: none).
    bool Start(std::optional<SSecondsRange> range, QWidget* progressParent = nullptr);
    bool IsRunning() const { return m_thread.joinable(); }

signals:
    void progress(int done, int total);
    void finished();

private:
    SUiContext& m_context;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    QProgressDialog* m_dialog = nullptr;
};

}  // namespace dravmer::ui
