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
    CReportPrinter(std::ostream& out, Language language) : m_out(out), m_language(language) {}
    void OnParamsReport(const SParamsReport& entry) override {
        m_out << WordParamsReport(entry, m_language) << std::flush;
    }

private:
    std::ostream& m_out;
    Language m_language;
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
            ctx.err << "dravmer-cli params: "
                    << ctx.Sayf("cannot create the folder %s", "не удалось создать папку %s",
                                out.c_str())
                    << "\n";
            return kExitFailure;
        }
        bench.Settings().savePath = out;
    }
    CReportPrinter printer(ctx.out, ctx.language);
    bench.SetListener(&printer);
    bool failed = false;
    bench.SaveDeviceParameters(&failed, nullptr, ctx.language);
    bench.SetListener(nullptr);
    ctx.out << "\n";
    return failed ? kExitFailure : kExitOk;
}

CommandRun DefineParams(CLI::App& app, Language language) {
    const Words w(language);
    auto o = std::make_shared<SParamsOptions>();
    app.add_option("--out", o->out,
                   w("folder for the files (made when missing)",
                     "папка для файлов (создаётся, если её нет)"))
        ->check(NotEmpty(language, w("a folder", "папка")))
        ->type_name("DIR");
    app.add_flag("--demo", o->demo, w("the simulated bench", "модель стенда"));
    return [o](CliContext& ctx) { return RunParams(ctx, *o); };
}

}  // namespace

DRAVMER_CLI_COMMAND("params", "params [--out DIR] [--demo]",
                    "save the FLASH and EEPROM images of every active device (.fld, .eep)",
                    "сохранить образы FLASH и EEPROM всех активных приборов (.fld, .eep)",
                    DefineParams);

}  // namespace dravmer::cli
