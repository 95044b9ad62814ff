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
    explicit CSearchPrinter(const CliContext& ctx) : m_ctx(ctx) {}
    void OnSearchProgress(int port, int code, std::uint32_t value, int found) override {
        const std::string text = WordSearchProgress(port, code, value, found, m_ctx.language);
        if (!text.empty()) m_ctx.err << text << "\n";
    }
    void OnError(const SBenchMessage& message) override {
        m_ctx.err << WordMessage(message, m_ctx.language) << "\n";
    }

private:
    const CliContext& m_ctx;
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
    CSearchPrinter printer(ctx);
    bench.SetListener(&printer);
    const int found = bench.Search();
    if (found == CBench::kSearchNoPort) {
        ctx.err << "dravmer-cli search: "
                << ctx.Say("no port could be opened; the saved device list is unchanged",
                           "ни один порт не открыт; сохранённый список приборов не изменён")
                << "\n";
        return kExitFailure;
    }
    if (found < 0) {
        ctx.err << "dravmer-cli search: "
                << ctx.Say("a search or an experiment is already running",
                           "поиск или эксперимент уже идёт")
                << "\n";
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
                           {"transducer", i.transducerRead ? nlohmann::json(i.transducer)
                                                           : nlohmann::json(nullptr)},
                           {"compiled", i.compiled},
                           {"written", i.written},
                           {"enabled", i.enabled},
                           {"transit", bench.Settings().devices.Transit(i.port)}});
        }
        ctx.out << out.dump(2) << "\n";
        return kExitOk;
    }
    ctx.out << ctx.Say(
        "No.\tDevice address\tPort\tFirmware\tTransducer No.\tBuild date\t"
        "Flashing date\tCommands\tErrors\tErrors with retries\n",
        "№\tАдрес прибора\tПорт\tВерсия ПО\tНомер ПР\tДата компиляции\t"
        "Дата прошивки\tКол-во команд\tОшибок\tОшибок с повторами\n");
    int n = 0;
    for (const auto& i : infos) {
        SLinkDevStat stat;
        bench.Link(i.port).GetDeviceStat(i.address, stat);
        char fw[16];
        std::snprintf(fw, sizeof fw, "%.2d.%.2d", i.fwMajor, i.fwMinor);
        ctx.out << ++n << "\t" << i.address << "\t" << i.port + 1 << "\t" << fw << "\t"
                << (i.transducerRead ? i.transducer : ctx.Say("Error", "Ошибка")) << "\t"
                << i.compiled << "\t" << i.written << "\t" << stat.w[SLinkDevStat::kCommands]
                << "\t" << Percent(stat.w[SLinkDevStat::kErrors], stat.w[SLinkDevStat::kCommands])
                << "\t"
                << Percent(stat.w[SLinkDevStat::kErrorsWithRepeat],
                           stat.w[SLinkDevStat::kTransactions])
                << "\n";
    }
    ctx.out << WordSearchProgress(-1, 0, 0, static_cast<int>(infos.size()), ctx.language) << "\n";
    return kExitOk;
}

CommandRun DefineSearch(CLI::App& app, Language language) {
    const Words w(language);
    auto o = std::make_shared<SSearchOptions>();
    app.add_flag("--json", o->json,
                 w("the devices found as a JSON array", "найденные приборы массивом JSON"));
    app.add_flag("--demo", o->demo, w("the simulated bench", "модель стенда"));
    return [o](CliContext& ctx) { return RunSearch(ctx, *o); };
}

}  // namespace

DRAVMER_CLI_COMMAND("search", "search [--json] [--demo]",
                    "find the devices on every enabled port and save the device list",
                    "найти приборы на всех включённых портах и сохранить список приборов",
                    DefineSearch);

}  // namespace dravmer::cli
