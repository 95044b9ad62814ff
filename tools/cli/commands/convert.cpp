// convert IN OUT: rewrite an experiment file as .adc, .txt or .csv (UTF-8, comma separated,
// one header row of short names).
#include <charconv>
#include <filesystem>
#include <fstream>
#include <ostream>

#include "bench/experiment_settings.h"
#include "cli/cli.h"
#include "cli/cli_options.h"
#include "cli/commands/load_progress.h"
#include "files/file_format.h"
#include "measure/param_catalog.h"

namespace dravmer::cli {
namespace {

int WriteCsv(const CDeviceData& store, const std::string& path, const std::vector<int>& columns) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    if (!f) return -1;
    std::string line;
    for (std::size_t k = 0; k < columns.size(); ++k) {
        if (k) line += ',';
        line += ParamNameTrimmed(columns[k]);
    }
    line += '\n';
    f << line;
    std::vector<CMeasRecord> chunk(1024);
    for (int i = 0; i < store.GetCount();) {
        int n = store.CopySamples(i, static_cast<int>(chunk.size()), chunk.data());
        if (n <= 0) break;
        std::string out;
        for (int r = 0; r < n; ++r) {
            for (std::size_t k = 0; k < columns.size(); ++k) {
                if (k) out += ',';
                char buf[64];
                auto res = std::to_chars(buf, buf + sizeof buf,
                                         GetParam(chunk[static_cast<std::size_t>(r)], columns[k]));
                out.append(buf, res.ptr);
            }
            out += '\n';
        }
        f << out;
        i += n;
    }
    f.close();
    return f ? 0 : -1;
}

std::string Extension(const std::string& path) {
    return std::filesystem::path(path).extension().string();
}

struct SConvertOptions {
    std::string in, out;
};

int RunConvert(CliContext& ctx, const SConvertOptions& o) {
    const std::string& in = o.in;
    const std::string& out = o.out;
    const std::string ext = Extension(out);
    if (ext != ".adc" && ext != ".txt" && ext != ".csv") {
        ctx.err << "dravmer-cli convert: " << out
                << ": the output must end in .adc, .txt or .csv\n";
        return kExitUsage;
    }
    std::error_code ec;
    if (std::filesystem::exists(out, ec)) {
        ctx.err << "dravmer-cli convert: " << out << " exists; it is left as it is\n";
        return kExitFailure;
    }
    CDeviceData store;
    SLoadReport report;
    int ok;
    {
        CTerminalProgress progress(in);
        ok = LoadExperimentFile(store, in, progress.Fn(), &report);
    }
    if (!ok) {
        ctx.err << "dravmer-cli convert: " << in << ": " << report.Summary() << "\n";
        return kExitFailure;
    }
    if (!report.Summary().empty())
        ctx.err << "dravmer-cli convert: " << in << ": " << report.Summary() << "\n";
    std::vector<int> columns;
    for (int c : report.columns)
        if (c >= 0) columns.push_back(c);
    // Text cells take the decimals the operator chose for files.
    CExperimentSettings settings;
    settings.LoadExperimentSettings(ctx.Settings());
    SFileOptions options;
    for (int p = 0; p < CMeasRecord::kParamCount; ++p) {
        options.fileDecimals[static_cast<std::size_t>(p)] = settings.FileDecimals(p);
        options.tableDecimals[static_cast<std::size_t>(p)] = settings.TableDecimals(p);
    }
    if (report.hasKy) options.ky = report.ky;
    int result = ext == ".csv" ? WriteCsv(store, out, columns)
                               : SaveStoreAs(store, out, ext == ".txt", columns, options);
    if (result != 0) {
        ctx.err << "dravmer-cli convert: cannot write " << out << "\n";
        return kExitFailure;
    }
    ctx.err << "dravmer-cli convert: " << store.GetCount() << " records written to " << out << "\n";
    return kExitOk;
}

CommandRun DefineConvert(CLI::App& app) {
    auto o = std::make_shared<SConvertOptions>();
    app.add_option("IN", o->in, "the experiment file to read (.adc or .txt)")->required();
    app.add_option("OUT", o->out, "the file to write, ending in .adc, .txt or .csv (not overwritten)")
        ->required();
    return [o](CliContext& ctx) { return RunConvert(ctx, *o); };
}

}  // namespace

DRAVMER_CLI_COMMAND("convert", "convert IN OUT",
                    "rewrite an experiment file as .adc, .txt or .csv (UTF-8, for spreadsheets)",
                    DefineConvert);

}  // namespace dravmer::cli
