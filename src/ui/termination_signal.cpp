#include "ui/termination_signal.h"

#include <fcntl.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <cerrno>
#include <csignal>

namespace dravmer::ui {

namespace {

// The pipe the handler writes to: one per process, as the handler is.
int g_pipe[2] = {-1, -1};

extern "C" void OnTerminate(int) {
    const int saved = errno;
    const char byte = 1;
    // A full pipe already holds a wake-up: nothing is lost by a write that fails.
    [[maybe_unused]] const ssize_t n = ::write(g_pipe[1], &byte, 1);
    errno = saved;
}

}  // namespace

CTerminationSignal::CTerminationSignal(QObject* parent) : QObject(parent) {}

CTerminationSignal::~CTerminationSignal() {
    if (!m_notifier) return;
    struct sigaction sa {};
    sa.sa_handler = SIG_DFL;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGTERM, &sa, nullptr);
}

bool CTerminationSignal::Install() {
    if (m_notifier) return true;
    if (g_pipe[0] < 0 && ::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0) return false;
    m_notifier = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, [this] {
        char buf[64];
        while (::read(g_pipe[0], buf, sizeof buf) > 0) {
        }
        emit received();
    });
    struct sigaction sa {};
    sa.sa_handler = OnTerminate;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    return sigaction(SIGTERM, &sa, nullptr) == 0;
}

}  // namespace dravmer::ui
