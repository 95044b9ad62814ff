// stats FILE... [--from S] [--to S] [--json]: the statistics of stored experiment files, one
// device per file, over all records or a range of experiment seconds.
#include <algorithm>
#include <filesystem>
#include <memory>
#include <nlohmann/json.hpp>
#include <ostream>

#include "cli/cli.h"
#include "cli/commands/load_progress.h"
#include "files/experiment_scan.h"
#include "files/stats_report.h"
#include "platform/settings_store.h"

namespace dravmer::cli {
namespace {

bool ParseSecond(const std::string& text, std::uint32_t& value) {
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos ||
        text.size() > 9)
        return false;
    value = static_cast<std::uint32_t>(std::stoul(text));
    return true;
}

int RunStats(CliContext& ctx, const std::vector<std::string>& argsIn) {
    std::vector<std::string> args = argsIn;
    const bool json = TakeFlag(args, "--json");
    std::string fromText, toText, error;
    bool hasFrom = TakeOption(args, "--from", fromText, error);
    bool hasTo = error.empty() && TakeOption(args, "--to", toText, error);
    std::uint32_t from = 0, to = 0;
    if (!error.empty() || (hasFrom && !ParseSecond(fromText, from)) ||
        (hasTo && !ParseSecond(toText, to))) {
        ctx.err << "dravmer-cli stats: "
                << (error.empty() ? "--from and --to take whole seconds" : error) << "\n";
        return kExitUsage;
    }
    if (args.empty()) {
        ctx.err << "dravmer-cli stats: FILE... [--from S] [--to S] [--json]\n";
        return kExitUsage;
    }
    for (const auto& a : args)
        if (a.rfind("--", 0) == 0) {
            ctx.err << "dravmer-cli stats: unknown option " << a << "\n";
            return kExitUsage;
        }

    int failures = 0;
    nlohmann::json devices = nlohmann::json::array();
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& path = args[i];
        auto store = std::make_unique<CDeviceData>(static_cast<int>(i));
        SLoadReport report;
        int ok;
        {
            CTerminalProgress progress(path);
            ok = LoadExperimentFile(*store, path, progress.Fn(), &report);
        }
        if (!ok) {
            ctx.err << "dravmer-cli stats: " << path << ": " << report.Summary() << "\n";
            ++failures;
            continue;
        }
        if (!report.Summary().empty())
            ctx.err << "dravmer-cli stats: " << path << ": " << report.Summary() << "\n";
        bool reordered = false;
        if (hasFrom || hasTo) {
            std::uint32_t last = hasTo ? to : store->GetLastTime();
            std::uint32_t first = from;
            // A range given backwards is used the right way round, and the output says so.
            if (first > last) {
                std::swap(first, last);
                reordered = true;
                ctx.err << "dravmer-cli stats: " << path << ": --from " << last << " is after "
                        << (hasTo ? "--to " : "the last record ") << first
                        << "; the statistics are over " << first << ".." << last << "\n";
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
        ctx.out << "Device " << address << " (" << path << "): " << store->GetCount()
                << " records, statistics over " << store->GetStatState().n
                << (reordered ? " (the range was given backwards and was put in order)" : "")
                << "\n";
        std::string text = StatisticsText(*store, columns, defaults.tableDecimals);
        for (char c : text)
            if (c != '\r') ctx.out << c;
    }
    if (json) ctx.out << devices.dump(2) << "\n";
    return failures ? kExitFailure : kExitOk;
}

}  // namespace

DRAVMER_CLI_COMMAND("stats", "stats FILE... [--from S] [--to S] [--json]",
                    "load experiment files as one experiment and print each device's statistics",
                    RunStats);

}  // namespace dravmer::cli
