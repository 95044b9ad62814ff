#pragma once
// The demo's first minute: the window opens over most of the screen, finds the simulated devices
// on its own (the device list fills row by row) and starts the experiment, which the operator
// stops as usual.
#include <QObject>

namespace dravmer::ui {

class CMainFrame;

// Share of the screen the demo window takes.
inline constexpr double kDemoShare = 0.9;

class CDemoStart : public QObject {
    Q_OBJECT
public:
    // Places the (not yet shown) window; Begin starts the search a moment later, once the ports
    // have had their time to open.
    explicit CDemoStart(CMainFrame& frame);
    void Begin(int delayMs = 1000);

signals:
    // The experiment runs (or the demo gave up: no device found, start refused).
    void finished(bool running);

private:
    enum class Step { Idle, Searching, Starting, Done };
    void Finish(bool running);

    CMainFrame& m_frame;
    Step m_step = Step::Idle;
};

}  // namespace dravmer::ui
