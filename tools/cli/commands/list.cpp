// list DIR [--json]: the stored experiments of a folder, one row per experiment.
#include <nlohmann/json.hpp>
#include <ostream>

#include "cli/cli.h"
#include "files/experiment_scan.h"

namespace dravmer::cli {
namespace {

std::string IsoTime(std::time_t t) {
    std::tm tm{};
    localtime_r(&t, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%S", &tm);
    return buf;
}

int RunList(CliContext& ctx, const std::vector<std::string>& argsIn) {
    std::vector<std::string> args = argsIn;
    const bool json = TakeFlag(args, "--json");
    if (args.size() != 1 || args[0].rfind("--", 0) == 0) {
        ctx.err << "dravmer-cli list: DIR [--json]\n";
        return kExitUsage;
    }
    std::error_code ec;
    if (!std::filesystem::is_directory(args[0], ec)) {
        ctx.err << "dravmer-cli list: " << args[0] << " is not a folder\n";
        return kExitFailure;
    }
    CExperimentList list;
    list.Scan(args[0]);
    // An empty table for a folder that could not be read would pass for an empty folder.
    if (!list.ScanError().empty()) {
        ctx.err << "dravmer-cli list: " << list.ScanError() << "\n";
        if (list.GroupCount() == 0) return kExitFailure;
    }
    if (json) {
        nlohmann::json rows = nlohmann::json::array();
        for (int g = 0; g < list.GroupCount(); ++g) {
            SGroupDescription d = list.Describe(g);
            rows.push_back({{"date_time", IsoTime(d.time)},
                            {"number", d.number},
                            {"duration_s", d.duration},
                            {"format", d.format.substr(1)},
                            {"addresses", d.addresses},
                            {"files", d.files},
                            {"comment", d.comment}});
        }
        ctx.out << rows.dump(2) << "\n";
        return list.ScanError().empty() ? kExitOk : kExitIncomplete;
    }
    ctx.out << "№\tДата - время\t№ эксп.\tВр.экс.,м\tФормат\tК-во пр\tСписок приборов "
               "эксперимента\tКомментарий\n";
    for (int g = 0; g < list.GroupCount(); ++g) {
        SGroupDescription d = list.Describe(g);
        ctx.out << g + 1 << "\t" << d.dateTimeText << "\t" << d.number << "\t" << d.durationMinutes
                << "\t" << d.format << "\t" << d.devices << "\t" << d.addressText << "\t"
                << d.comment << "\n";
    }
    return list.ScanError().empty() ? kExitOk : kExitIncomplete;
}

}  // namespace

DRAVMER_CLI_COMMAND("list", "list DIR [--json]",
                    "list the stored experiments of a folder (one row per experiment)", RunList);

}  // namespace dravmer::cli
