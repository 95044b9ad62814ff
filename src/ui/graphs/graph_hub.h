#pragma once
// The graphs' shared state on the user-interface thread: the graph settings and the colour
// table as loaded from the settings store, the curve list, and the notifications between the
// graph pages, the curve list page and the settings pages. One hub per window, found through
// the window's event object.
#include <QObject>
#include <QPointer>
#include <optional>
#include <vector>

#include "bench/bench.h"
#include "graph/graph_list.h"
#include "graph/graph_settings.h"
#include "graph/graph_state.h"
#include "ui/background_job.h"
#include "ui/ui_context.h"

namespace dravmer::ui {

class CGraphHub : public QObject {
    Q_OBJECT
public:
    // The hub of this window, created (and the settings loaded) on first use.
    static CGraphHub& For(SUiContext& ctx);

    SUiContext& Context() { return m_ctx; }
    graph::SGraphSettings& Settings() { return m_settings; }
    graph::SColorTable& ColorTable() { return m_colors; }
    graph::CGraphList& List() { return graph::GraphList(); }

    // Writes the graph settings, the curve list and the colour table.
    void Save();
    // Addresses of the active devices, one per store, in list order.
    std::vector<std::uint32_t> Addresses() const;
    int DeviceCount() const;
    // The curves of the list with their stores, in display order.
    std::vector<graph::SCurveSpec> Curves() const;
    // The statistics of every store over the graph's selection, or over all records when none,
    // computed by the engine off the user-interface thread; statisticsRecomputed follows. A
    // recompute asked for while one runs cuts that one short and runs after it: the stores end
    // with the selection asked for last.
    void RecomputeStatistics();
    bool Recomputing() const { return m_recompute.IsRunning(); }

    // The statistics graph, so that "copy graph" copies the graph the operator is looking at.
    QPointer<QWidget> statGraph;

    // The caption of the time-series graph (from the comment dialog) and whether it is shown.
    QString caption;
    bool captionOn = false;

    enum CurveChange { Refresh = 0, Added = 1, Removed = 2 };

signals:
    void settingsChanged(bool gridChanged);  // options of the main graph
    void colorsChanged();                    // any graph colour, the statistics graph options
    void curvesChanged(int change, int position);
    void curveSelected(int position);  // -1: all curves
    void selectionChanged();
    void statisticsRecomputed();

private:
    explicit CGraphHub(SUiContext& ctx);
    SUiContext& m_ctx;
    graph::SGraphSettings m_settings;
    graph::SColorTable m_colors;
    void RunRecompute();
    bool m_recomputeAgain = false;
    std::optional<CBench::SSecondRange> m_recomputeRange;  // the selection asked for last
    CBackgroundJob m_recompute{this};
};

}  // namespace dravmer::ui
