// params [--out DIR] [--demo]: reads identity, FLASH and EEPROM of every active device into
// .fld/.eep files.
#include <ostream>

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

int RunParams(CliContext& ctx, const std::vector<std::string>& argsIn) {
    std::vector<std::string> args = argsIn;
    std::string out, error;
    const bool hasOut = TakeOption(args, "--out", out, error);
    const bool demo = TakeFlag(args, "--demo");
    if (!error.empty() || !args.empty()) {
        ctx.err << "dravmer-cli params: "
                << (error.empty() ? "unexpected argument '" + args.front() + "'" : error) << "\n";
        return kExitUsage;
    }
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

}  // namespace

DRAVMER_CLI_COMMAND("params", "params [--out DIR] [--demo]",
                    "save the FLASH and EEPROM images of every active device (.fld, .eep)",
                    RunParams);

}  // namespace dravmer::cli
