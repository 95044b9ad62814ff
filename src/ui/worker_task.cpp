#include "ui/worker_task.h"

namespace dravmer::ui {

bool CWorkerTask::Run(std::function<void()> work, std::function<void()> done) {
    if (m_running) return false;
    Wait();
    m_running = true;
    m_thread = std::thread([this, work = std::move(work), done = std::move(done)]() mutable {
        work();
        Post([this, done = std::move(done)] {
            Wait();
            m_running = false;
            if (done) done();
        });
    });
    return true;
}

void CWorkerTask::Wait() {
    if (m_thread.joinable()) m_thread.join();
}

}  // namespace dravmer::ui
