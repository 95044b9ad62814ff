// params [--out DIR] [--demo]: reads identity, FLASH and EEPROM of every active device into
// .fld/.eep files.
#include <ostream>

#include "cli/cli_options.h"
#include "cli/session.h"
#include "platform/paths.h"

namespace dravmer::cli {
namespace {

class CReportPrinter : public IBenchListener {
public:
    explicit CReportPrinter(std::ostream& out) : m_out(out) {}
    void OnReportText(const std::string& text) override { m_out << text << std::flush; }

private:
    std::ostream& m_out;
};

struct SParamsOptions {
    std::string out;
    bool demo = false;
};

int RunParams(CliContext& ctx, const SParamsOptions& o) {
    const bool hasOut = !o.out.empty();
    const std::string& out = o.out;
    const bool demo = o.demo || ctx.demo;
    CSession session;
    if (!session.Open(ctx, demo)) return kExitFailure;
    CBench& bench = session.Bench();
    if (demo && bench.Settings().devices.Active().empty()) bench.Search();
    if (hasOut) {
        if (!EnsureDir(out)) {
            ctx.err << "dravmer-cli params: cannot create the folder " << out << "\n";
            return kExitFailure;
        }
        bench.Settings().savePath = out;
    }
    CReportPrinter printer(ctx.out);
    bench.SetListener(&printer);
    bool failed = false;
    bench.SaveDeviceParameters(&failed);
    bench.SetListener(nullptr);
    ctx.out << "\n";
    return failed ? kExitFailure : kExitOk;
}

CommandRun DefineParams(CLI::App& app) {
    auto o = std::make_shared<SParamsOptions>();
    app.add_option("--out", o->out, "folder for the files (made when missing)")
        ->check(NotEmpty("a folder"))
        ->type_name("DIR");
    app.add_flag("--demo", o->demo, "the simulated bench");
    return [o](CliContext& ctx) { return RunParams(ctx, *o); };
}

}  // namespace

DRAVMER_CLI_COMMAND("params", "params [--out DIR] [--demo]",
                    "save the FLASH and EEPROM images of every active device (.fld, .eep)",
                    DefineParams);

}  // namespace dravmer::cli
