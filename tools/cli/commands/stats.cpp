// stats FILE... [--from S] [--to S] [--json]: the statistics of stored experiment files, one
// device per file, over all records or a range of experiment seconds.
#include <algorithm>
#include <filesystem>
#include <memory>
#include <nlohmann/json.hpp>
#include <ostream>

#include "cli/cli.h"
#include "cli/cli_options.h"
#include "cli/commands/load_progress.h"
#include "files/experiment_scan.h"
#include "files/stats_report.h"
#include "platform/settings_store.h"

namespace dravmer::cli {
namespace {

struct SStatsOptions {
    std::vector<std::string> files;
    std::uint32_t from = 0, to = 0;
    CLI::Option* fromOption = nullptr;
    CLI::Option* toOption = nullptr;
    bool json = false;
};

int RunStats(CliContext& ctx, const SStatsOptions& o) {
    const std::vector<std::string>& args = o.files;
    const bool json = o.json;
    const bool hasFrom = o.fromOption->count() > 0;
    const bool hasTo = o.toOption->count() > 0;
    const std::uint32_t from = o.from, to = o.to;

    int failures = 0;
    bool incomplete = false;
    nlohmann::json devices = nlohmann::json::array();
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& path = args[i];
        auto store = std::make_unique<CDeviceData>(static_cast<int>(i));
        // Over all records only the statistics are wanted: the records pass through one block
        // of memory. A range needs them to find its seconds.
        if (!hasFrom && !hasTo) store->KeepRecords(false);
        SLoadReport report;
        int ok;
        {
            CTerminalProgress progress(path, ctx.language);
            ok = LoadExperimentFile(*store, path, progress.Fn(), &report);
        }
        if (!ok) {
            ctx.err << "dravmer-cli stats: " << path << ": " << report.Summary(ctx.language)
                    << "\n";
            ++failures;
            continue;
        }
        if (!report.Summary(ctx.language).empty())
            ctx.err << "dravmer-cli stats: " << path << ": " << report.Summary(ctx.language)
                    << "\n";
        incomplete = incomplete || report.Incomplete();
        bool reordered = false;
        if (hasFrom || hasTo) {
            std::uint32_t last = hasTo ? to : store->GetLastTime();
            std::uint32_t first = from;
            // A range given backwards is used the right way round, and the output says so.
            if (first > last) {
                std::swap(first, last);
                reordered = true;
                ctx.err << "dravmer-cli stats: " << path << ": "
                        << (hasTo ? ctx.Sayf("--from %u is after --to %u; the statistics are over "
                                             "%u..%u",
                                             "--from %u больше --to %u; статистика считается по "
                                             "%u..%u",
                                             last, first, first, last)
                                  : ctx.Sayf("--from %u is after the last record %u; the "
                                             "statistics are over %u..%u",
                                             "--from %u больше последней записи %u; статистика "
                                             "считается по %u..%u",
                                             last, first, first, last))
                        << "\n";
            }
            store->CalcRange(first, last, false);
        }
        SExperimentEntry entry;
        std::uint32_t address =
            ParseExperimentName(std::filesystem::path(path).filename().string(), entry)
                ? entry.address
                : 0;
        if (json) {
            devices.push_back(DeviceStatsJson(*store, address));
            devices.back()["file"] = path;
            if (reordered) devices.back()["range_reordered"] = true;
            continue;
        }
        std::array<bool, CMeasRecord::kParamCount> columns;
        columns.fill(true);
        SFileOptions defaults;
        ctx.out << ctx.Sayf("Device %u (%s): %d records, statistics over %d",
                            "Прибор № %u (%s): записей %d, статистика по %d", address, path.c_str(),
                            store->GetCount(), static_cast<int>(store->GetStatState().n))
                << (reordered ? ctx.Say(" (the range was given backwards and was put in order)",
                                        " (диапазон был задан наоборот и упорядочен)")
                              : "")
                << "\n";
        std::string text = StatisticsText(*store, columns, defaults.tableDecimals, ctx.language);
        for (char c : text)
            if (c != '\r') ctx.out << c;
    }
    if (json) ctx.out << devices.dump(2) << "\n";
    return failures ? kExitFailure : incomplete ? kExitIncomplete : kExitOk;
}

CommandRun DefineStats(CLI::App& app, Language language) {
    const Words w(language);
    auto o = std::make_shared<SStatsOptions>();
    app.add_option("FILE", o->files,
                   w("experiment files (.adc, .txt), one device each",
                     "файлы экспериментов (.adc, .txt), по прибору в каждом"))
        ->required();
    const char* seconds = w("seconds", "секунд");
    o->fromOption =
        app.add_option("--from", o->from, w("first second of the range", "первая секунда диапазона"))
            ->transform(WholeIn(language, 0, 999999999, seconds));
    o->toOption =
        app.add_option("--to", o->to, w("last second of the range", "последняя секунда диапазона"))
            ->transform(WholeIn(language, 0, 999999999, seconds));
    app.add_flag("--json", o->json, w("one JSON object per device", "по объекту JSON на прибор"));
    return [o](CliContext& ctx) { return RunStats(ctx, *o); };
}

}  // namespace

DRAVMER_CLI_COMMAND("stats", "stats FILE... [--from S] [--to S] [--json]",
                    "load experiment files as one experiment and print each device's statistics",
                    "загрузить файлы экспериментов как один эксперимент и вывести статистику "
                    "каждого прибора",
                    DefineStats);

}  // namespace dravmer::cli
