// plot FILE... --param NAME[,NAME...] [--from S] [--to S] [--width W] [--height H] --out F: the
// stored experiments drawn by the window's graph painter, offscreen, into a PNG or SVG file;
// one curve per file and parameter, each on its own axis fitted to its data.
#include <QGuiApplication>
#include <QString>
#include <algorithm>
#include <filesystem>
#include <memory>
#include <ostream>

#include "cli/cli.h"
#include "cli/cli_options.h"
#include "cli/commands/part_commands.h"
#include "cli/commands/load_progress.h"
#include "files/experiment_scan.h"
#include "files/file_format.h"
#include "graph/graph_list.h"
#include "graph/paint/graph_painter.h"
#include "measure/param_catalog.h"

namespace dravmer::cli {
namespace {

using namespace graph;

constexpr const char* kUsage = part_commands::kPlotUsage;

bool ParseCount(const std::string& text, long long max, long long& value) {
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    value = std::stoll(text);
    return value <= max;
}

// A parameter by its short name (as in file headers), its alias or its number 1..42.
int ParamByName(const std::string& name) {
    long long id = 0;
    if (ParseCount(name, 42, id) && id >= 1) return static_cast<int>(id);
    int found = FindParam(name);
    return found >= 1 ? found : -1;
}

// The painter needs a GUI application; without a display it runs on the offscreen platform.
// Made once, on the first plot, so other commands never touch QtGui.
bool EnsureGuiApp(std::string& error) {
    if (auto* app = QCoreApplication::instance()) {
        if (qobject_cast<QGuiApplication*>(app)) return true;
        error = "a non-graphical Qt application is already running in this process";
        return false;
    }
    static int argc = 3;
    static char name[] = "dravmer-cli", opt[] = "-platform", platform[] = "offscreen";
    static char* argv[] = {name, opt, platform, nullptr};
    new QGuiApplication(argc, argv);  // lives until the process ends
    return true;
}

struct SPlotOptions {
    std::vector<std::string> files;
    std::string params, out;
    long long from = 0, to = 0, width = 1280, height = 800;
    CLI::Option* fromOption = nullptr;
    CLI::Option* toOption = nullptr;
};

int RunPlot(CliContext& ctx, const SPlotOptions& o) {
    const std::vector<std::string>& args = o.files;
    const std::string& params = o.params;
    const std::string& out = o.out;
    const bool hasFrom = o.fromOption->count() > 0, hasTo = o.toOption->count() > 0;
    long long from = o.from, to = o.to;
    const long long width = o.width, height = o.height;
    std::string error;
    auto usage = [&](const std::string& why) {
        ctx.err << "dravmer-cli plot: " << why << "\n"
                << ctx.Say("usage: ", "использование: ") << "dravmer-cli " << kUsage << "\n";
        return kExitUsage;
    };
    if (params.empty())
        return usage(ctx.Say("--param is required", "--param: обязательный параметр не указан"));
    const std::string ext = std::filesystem::path(out).extension().string();
    if (ext != ".png" && ext != ".svg" && ext != ".PNG" && ext != ".SVG")
        return usage(ctx.Say("--out must name a .png or .svg file",
                             "--out должен называть файл .png или .svg"));
    if (hasFrom && hasTo && to <= from)
        return usage(ctx.Say("--to must be after --from", "--to должен быть больше --from"));

    std::vector<int> ids;
    std::size_t start = 0;
    while (start <= params.size()) {
        std::size_t comma = params.find(',', start);
        std::string name = params.substr(start, comma == std::string::npos ? std::string::npos
                                                                           : comma - start);
        int id = ParamByName(name);
        if (id < 0)
            return usage(ctx.Say("unknown parameter \"", "неизвестный параметр \"") + name + "\"");
        ids.push_back(id);
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    if (args.size() * ids.size() > static_cast<std::size_t>(kMaxCurves))
        return usage(ctx.Say("at most 50 curves (files x parameters)",
                             "не больше 50 графиков (файлы x параметры)"));

    // Each file streams through: only the parameters drawn are kept, as the curves' own
    // points, never the records themselves (a day of records is 29 MB, a day of one curve 1 MB).
    std::vector<std::unique_ptr<CDeviceData>> stores;
    std::vector<std::uint32_t> addresses;
    CSeriesCache cache;
    std::int64_t lastSecond = 0;
    bool incomplete = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        auto store = std::make_unique<CDeviceData>(static_cast<int>(i));
        std::vector<CCurveSeries*> series;
        for (int id : ids) series.push_back(&cache.Get(store.get(), id));
        std::uint32_t last = 0;
        const RecordBatchFn take = [&](const CMeasRecord* records, int n, SLoadReport&) {
            for (std::size_t k = 0; k < ids.size(); ++k) series[k]->AppendRecords(records, n, ids[k]);
            if (n > 0) last = records[n - 1].time;
            return true;
        };
        SLoadReport report;
        int ok;
        {
            CTerminalProgress progress(args[i], ctx.language);
            ok = StreamExperimentFile(*store, args[i], take, progress.Fn(), report);
        }
        if (!report.Summary(ctx.language).empty())
            ctx.err << "dravmer-cli plot: " << args[i] << ": " << report.Summary(ctx.language)
                    << "\n";
        if (!ok) return kExitFailure;
        incomplete = incomplete || report.Incomplete();
        lastSecond = std::max<std::int64_t>(lastSecond, last);
        SExperimentEntry entry;
        addresses.push_back(
            ParseExperimentName(std::filesystem::path(args[i]).filename().string(), entry)
                ? entry.address
                : 0);
        stores.push_back(std::move(store));
    }

    if (!hasTo) to = std::max<long long>(from + 10, lastSecond);
    if (to <= from)
        return usage(ctx.Say("--from lies after the last record",
                             "--from больше последней записи"));

    if (!EnsureGuiApp(error)) {
        ctx.err << "dravmer-cli plot: " << error << "\n";
        return kExitFailure;
    }

    SGraphState st;
    st.background = 0xFFFFFF;
    st.language = ctx.language;
    st.window = MakeTimeWindow(from, to, st.vLines);
    st.startTime = stores.front()->StartTime();
    st.timeAxes = st.startTime != 0;
    std::vector<SCurveSpec> curves;
    const auto colors = DefaultSlotColors();
    for (std::size_t f = 0; f < stores.size(); ++f)
        for (int id : ids) {
            const int slot = static_cast<int>(curves.size());
            curves.push_back({stores[f].get(), addresses[f], id, slot,
                              colors[static_cast<std::size_t>(slot)]});
            CCurveSeries& series = cache.Get(stores[f].get(), id);
            double lo, hi;
            SeriesRange(series, false, from, to, lo, hi);
            st.axes[static_cast<std::size_t>(slot)] = AxisFromRange(lo, hi, st.hLines - 1, 1.0);
        }

    QString why;
    if (!SaveGraphFile(QString::fromStdString(out), static_cast<int>(width),
                       static_cast<int>(height), st, curves, cache, &why, ctx.language)) {
        ctx.err << "dravmer-cli plot: " << why.toStdString() << "\n";
        return kExitFailure;
    }
    ctx.out << ctx.Sayf(curves.size() == 1 ? "wrote %s (%lldx%lld, %zu curve, seconds %lld..%lld)"
                                           : "wrote %s (%lldx%lld, %zu curves, seconds %lld..%lld)",
                        "записан %s (%lldx%lld, графиков: %zu, секунды %lld..%lld)", out.c_str(),
                        static_cast<long long>(width), static_cast<long long>(height),
                        curves.size(), static_cast<long long>(from), static_cast<long long>(to))
            << "\n";
    return incomplete ? kExitIncomplete : kExitOk;
}

CommandRun DefinePlot(CLI::App& app, Language language) {
    const Words w(language);
    auto o = std::make_shared<SPlotOptions>();
    app.add_option("FILE", o->files,
                   w("experiment files (.adc, .txt)", "файлы экспериментов (.adc, .txt)"))
        ->required();
    app.add_option("--param", o->params,
                   w("parameters by short name (as in the file headers), alias (t_op) or number "
                     "1..42, separated by commas",
                     "параметры по краткому имени (как в заголовках файлов), имени ASCII (t_op) "
                     "или номеру 1..42, через запятую"))
        ->required();
    app.add_option("--out", o->out,
                   w("the picture to write, ending in .png or .svg",
                     "файл рисунка, .png или .svg"))
        ->required();
    const char* seconds = w("seconds", "секунд");
    const char* pixels = w("pixels", "пикселей");
    o->fromOption =
        app.add_option("--from", o->from, w("first second drawn", "первая секунда рисунка"))
            ->transform(WholeIn(language, 0, 100000000, seconds));
    o->toOption = app.add_option("--to", o->to,
                                 w("last second drawn (else the last record)",
                                   "последняя секунда рисунка (иначе последняя запись)"))
                      ->transform(WholeIn(language, 0, 100000000, seconds));
    app.add_option("--width", o->width, w("picture width", "ширина рисунка"))
        ->capture_default_str()
        ->transform(WholeIn(language, 100, 20000, pixels));
    app.add_option("--height", o->height, w("picture height", "высота рисунка"))
        ->capture_default_str()
        ->transform(WholeIn(language, 100, 20000, pixels));
    return [o](CliContext& ctx) { return RunPlot(ctx, *o); };
}

}  // namespace

DRAVMER_CLI_COMMAND(part_commands::kPlot, kUsage, part_commands::kPlotSummary,
                    part_commands::kPlotSummaryRu, DefinePlot);

}  // namespace dravmer::cli
