#include "ui/demo_start.h"

#include <QGuiApplication>
#include <QScreen>
#include <QTabWidget>
#include <QTimer>

#include "ui/main_frame.h"
#include "ui/window_placement.h"

namespace dravmer::ui {

namespace {
// Tabs the demo shows: the device list while searching, the readings once they come.
constexpr int kReadingsTab = 0;
constexpr int kDeviceListTab = 6;
}  // namespace

CDemoStart::CDemoStart(CMainFrame& frame) : QObject(&frame), m_frame(frame) {
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect r =
            FirstStartGeometry(screen->availableGeometry(), kDemoShare, m_frame.minimumSize());
        m_frame.move(r.topLeft());
        m_frame.resize(r.size());
    }
    connect(&m_frame, &CMainFrame::searchFinished, this, [this](int found) {
        if (m_step != Step::Searching) return;
        if (found <= 0) {
            Finish(false);
            return;
        }
        m_step = Step::Starting;
        // After the search's own completion has run to its end.
        QTimer::singleShot(0, this, [this] {
            m_frame.ToggleExperiment();
            if (m_frame.BusyWith() != CMainFrame::Busy::Start) Finish(false);
        });
    });
    connect(&m_frame, &CMainFrame::startFinished, this, [this](int result) {
        if (m_step != Step::Starting) return;
        const bool running = result == static_cast<int>(StartResult::Started);
        if (running) m_frame.Pages()->setCurrentIndex(kReadingsTab);
        Finish(running);
    });
}

void CDemoStart::Finish(bool running) {
    // The operator's own searches and starts later on are theirs alone.
    m_step = Step::Done;
    emit finished(running);
}

void CDemoStart::Begin(int delayMs) {
    QTimer::singleShot(delayMs, this, [this] {
        if (m_step != Step::Idle) return;
        m_frame.Pages()->setCurrentIndex(kDeviceListTab);
        m_step = Step::Searching;
        m_frame.StartSearch();
        // A search that could not begin (something else busy) ends the demo's part here.
        if (m_frame.BusyWith() != CMainFrame::Busy::Search) Finish(false);
    });
}

}  // namespace dravmer::ui
