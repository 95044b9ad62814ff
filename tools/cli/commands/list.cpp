// list DIR [--json]: the stored experiments of a folder, one row per experiment.
#include <nlohmann/json.hpp>
#include <ostream>

#include "cli/cli.h"
#include "cli/cli_options.h"
#include "cli/commands/printable.h"
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

struct SListOptions {
    std::string dir;
    bool json = false;
};

int RunList(CliContext& ctx, const SListOptions& o) {
    const bool json = o.json;
    std::error_code ec;
    if (!std::filesystem::is_directory(o.dir, ec)) {
        ctx.err << "dravmer-cli list: "
                << ctx.Sayf("%s is not a folder", "%s не является папкой", o.dir.c_str()) << "\n";
        return kExitFailure;
    }
    CExperimentList list;
    list.Scan(o.dir);
    // An empty table for a folder that could not be read would pass for an empty folder.
    if (!list.ScanError().empty()) {
        ctx.err << "dravmer-cli list: " << list.ScanError(ctx.language) << "\n";
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
    ctx.out << ListHeader(ctx);
    for (int g = 0; g < list.GroupCount(); ++g) {
        SGroupDescription d = list.Describe(g);
        ctx.out << g + 1 << "\t" << d.dateTimeText << "\t" << d.number << "\t" << d.durationMinutes
                << "\t" << d.format << "\t" << d.devices << "\t" << d.addressText << "\t"
                << PrintableText(d.comment) << "\n";
    }
    return list.ScanError().empty() ? kExitOk : kExitIncomplete;
}

CommandRun DefineList(CLI::App& app, Language language) {
    const Words w(language);
    auto o = std::make_shared<SListOptions>();
    app.add_option("DIR", o->dir, w("the folder of experiment files", "папка файлов экспериментов"))
        ->required();
    app.add_flag("--json", o->json,
                 w("one JSON object per experiment", "по объекту JSON на эксперимент"));
    return [o](CliContext& ctx) { return RunList(ctx, *o); };
}

}  // namespace

DRAVMER_CLI_COMMAND("list", "list DIR [--json]",
                    "list the stored experiments of a folder (one row per experiment)",
                    "список сохранённых экспериментов папки (строка на эксперимент)", DefineList);

}  // namespace dravmer::cli
