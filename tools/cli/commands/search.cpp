// search [--json] [--demo]: finds the devices on every enabled port and saves the device list.
#include <cstdio>
#include <nlohmann/json.hpp>
#include <ostream>

#include "cli/cli_options.h"
#include "cli/session.h"

namespace dravmer::cli {
namespace {

class CSearchPrinter : public IBenchListener {
public:
    explicit CSearchPrinter(std::ostream& err) : m_err(err) {}
    void OnSearchProgress(int, int, std::uint32_t, const std::string& text) override {
        if (!text.empty()) m_err << text << "\n";
    }
    void OnError(const SBenchMessage& message) override { m_err << WordMessage(message) << "\n"; }

private:
    std::ostream& m_err;
};

std::string Percent(std::uint32_t part, std::uint32_t whole) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%u   (%2.2f%%)", part, whole ? 100.0 * part / whole : 0.0);
    return buf;
}

struct SSearchOptions {
    bool json = false;
    bool demo = false;
};

int RunSearch(CliContext& ctx, const SSearchOptions& o) {
    const bool json = o.json;
    const bool demo = o.demo;
    CSession session;
    if (!session.Open(ctx, demo)) return kExitFailure;
    CBench& bench = session.Bench();
    CSearchPrinter printer(ctx.err);
    bench.SetListener(&printer);
    const int found = bench.Search();
    if (found == CBench::kSearchNoPort) {
        ctx.err << "dravmer-cli search: no port could be opened; the saved device list is "
                   "unchanged\n";
        return kExitFailure;
    }
    if (found < 0) {
        ctx.err << "dravmer-cli search: a search or an experiment is already running\n";
        return kExitFailure;
    }
    bench.SetListener(nullptr);
    const auto infos = bench.FoundInfo();
    if (json) {
        nlohmann::json out = nlohmann::json::array();
        for (const auto& i : infos) {
            char fw[16];
            std::snprintf(fw, sizeof fw, "%2.2d.%2.2d", i.fwMajor, i.fwMinor);
            out.push_back({{"address", i.address},
                           {"port", i.port},
                           {"firmware", fw},
                           {"transducer", i.transducer},
                           {"compiled", i.compiled},
                           {"written", i.written},
                           {"enabled", i.enabled},
                           {"transit", bench.Settings().devices.Transit(i.port)}});
        }
        ctx.out << out.dump(2) << "\n";
        return kExitOk;
    }
    ctx.out << "№\tАдрес прибора\tПорт\tВерсия ПО\tНомер ПР\tДата компиляции\tДата прошивки\t"
               "Кол-во команд\tОшибок\tОшибок с повторами\n";
    int n = 0;
    for (const auto& i : infos) {
        SLinkDevStat stat;
        bench.Link(i.port).GetDeviceStat(i.address, stat);
        char fw[16];
        std::snprintf(fw, sizeof fw, "%.2d.%.2d", i.fwMajor, i.fwMinor);
        ctx.out << ++n << "\t" << i.address << "\t" << i.port + 1 << "\t" << fw << "\t"
                << i.transducer << "\t" << i.compiled << "\t" << i.written << "\t"
                << stat.w[SLinkDevStat::kCommands] << "\t"
                << Percent(stat.w[SLinkDevStat::kErrors], stat.w[SLinkDevStat::kCommands]) << "\t"
                << Percent(stat.w[SLinkDevStat::kErrorsWithRepeat],
                           stat.w[SLinkDevStat::kTransactions])
                << "\n";
    }
    ctx.out << "Всего найдено " << infos.size() << " приборов.\n";
    return kExitOk;
}

CommandRun DefineSearch(CLI::App& app) {
    auto o = std::make_shared<SSearchOptions>();
    app.add_flag("--json", o->json, "the devices found as a JSON array");
    app.add_flag("--demo", o->demo, "the simulated bench");
    return [o](CliContext& ctx) { return RunSearch(ctx, *o); };
}

}  // namespace

DRAVMER_CLI_COMMAND("search", "search [--json] [--demo]",
                    "find the devices on every enabled port and save the device list",
                    DefineSearch);

}  // namespace dravmer::cli
