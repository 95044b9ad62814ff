// convert IN... OUT: rewrite an experiment file as .adc or .txt, or experiment files as one CSV
// table (a file, or standard output for OUT "-").
#include <filesystem>
#include <optional>
#include <ostream>

#include "bench/experiment_settings.h"
#include "cli/cli.h"
#include "cli/cli_options.h"
#include "cli/commands/load_progress.h"
#include "files/csv_writer.h"
#include "files/experiment_scan.h"
#include "files/experiment_time.h"
#include "files/file_format.h"
#include "measure/param_catalog.h"

namespace dravmer::cli {
namespace {

std::string Extension(const std::string& path) {
    return std::filesystem::path(path).extension().string();
}

bool IsBinary(const std::string& path) { return path.find(".adc") != std::string::npos; }

struct SConvertOptions {
    std::vector<std::string> files;  // IN... OUT
    bool units = false, excel = false;
};

// Reads one input record batch by record batch into `take`, saying what was left out; on a
// failure says why and returns false. `incomplete` is set when records were missed.
bool Stream(CliContext& ctx, CDeviceData& store, const std::string& in, const RecordBatchFn& take,
            SLoadReport& report, bool& incomplete, bool quiet = false) {
    int ok;
    {
        CTerminalProgress progress(in, ctx.language);
        ok = StreamExperimentFile(store, in, take, progress.Fn(), report);
    }
    if (!quiet && !report.Summary(ctx.language).empty())
        ctx.err << "dravmer-cli convert: " << in << ": " << report.Summary(ctx.language) << "\n";
    incomplete = incomplete || report.Incomplete();
    return ok != 0;
}

// A text file holds no start time: it comes from the time its last record was written, so
// the file is read once for that before its rows are written.
bool TextStartTime(CliContext& ctx, const std::string& in, std::time_t& start) {
    CDeviceData store;
    SLoadReport report;
    bool incomplete = false;
    const RecordBatchFn skip = [](const CMeasRecord*, int, SLoadReport&) { return true; };
    if (!Stream(ctx, store, in, skip, report, incomplete, true)) {
        ctx.err << "dravmer-cli convert: " << in << ": " << report.Summary(ctx.language) << "\n";
        return false;
    }
    start = store.StartTime();
    return true;
}

void CannotWrite(CliContext& ctx, const std::string& out) {
    ctx.err << "dravmer-cli convert: "
            << (out == "-" ? ctx.Say("cannot write standard output",
                                     "не удалось записать в стандартный вывод")
                           : ctx.Sayf("cannot write %s", "не удалось записать %s", out.c_str()))
            << "\n";
}

int ConvertToExperimentFile(CliContext& ctx, const std::string& in, const std::string& out) {
    const bool text = Extension(out) == ".txt";
    std::error_code ec;
    if (std::filesystem::exists(out, ec)) {
        ctx.err << "dravmer-cli convert: "
                << ctx.Sayf("%s exists; it is left as it is", "%s уже есть; файл не изменён",
                            out.c_str())
                << "\n";
        return kExitFailure;
    }
    // A binary header holds the start time, which a text input tells only at its end.
    std::time_t textStart = 0;
    if (!text && !IsBinary(in) && !TextStartTime(ctx, in, textStart)) return kExitFailure;
    // Text cells take the decimals the operator chose for files.
    CExperimentSettings settings;
    settings.LoadExperimentSettings(ctx.Settings());
    SFileOptions options;
    for (int p = 0; p < CMeasRecord::kParamCount; ++p) {
        options.fileDecimals[static_cast<std::size_t>(p)] = settings.FileDecimals(p);
        options.tableDecimals[static_cast<std::size_t>(p)] = settings.TableDecimals(p);
    }
    CNewFile file;
    std::string error;
    if (!file.Open(out, error)) {
        ctx.err << "dravmer-cli convert: " << error << "\n";
        return kExitFailure;
    }
    auto sink = [&file](std::string_view bytes) { return file.Write(bytes); };
    CDeviceData store;
    // The writer is made with the first records: by then the header of the input is read.
    std::optional<CExperimentFileWriter> writer;
    auto makeWriter = [&](const SLoadReport& report) {
        std::vector<int> columns;
        for (int c : report.columns)
            if (c >= 0) columns.push_back(c);
        if (report.hasKy) options.ky = report.ky;
        writer.emplace(text, columns, options, store.FirmwareMajor(), store.FirmwareMinor(),
                       IsBinary(in) ? store.StartTime() : textStart, sink);
    };
    bool writeFailed = false;
    const RecordBatchFn take = [&](const CMeasRecord* records, int n, SLoadReport& report) {
        if (!writer) makeWriter(report);
        writeFailed = !writer->Add(records, n);
        return !writeFailed;
    };
    SLoadReport report;
    bool incomplete = false;
    const bool read = Stream(ctx, store, in, take, report, incomplete);
    if (read && !writer) makeWriter(report);
    if (writeFailed || (read && !writer->Finish())) {
        CannotWrite(ctx, out);
        return kExitFailure;
    }
    if (!read) return kExitFailure;
    if (!file.Commit(error)) {
        ctx.err << "dravmer-cli convert: " << error << "\n";
        return kExitFailure;
    }
    ctx.err << "dravmer-cli convert: "
            << ctx.Sayf("%d records written to %s", "записей записано: %d, в %s",
                        static_cast<int>(writer->Records()), out.c_str())
            << "\n";
    return incomplete ? kExitIncomplete : kExitOk;
}

int ConvertToCsv(CliContext& ctx, const std::vector<std::string>& ins, const std::string& out,
                 const SCsvOptions& csv) {
    const bool toStdout = out == "-";
    // Every header is read first: the table's columns are those of all inputs, and an input
    // that cannot be read stops the conversion before anything is written.
    std::vector<std::vector<int>> columnSets;
    for (const std::string& in : ins) {
        std::vector<int> columns;
        std::string error;
        if (!ReadFileColumns(in, columns, error, ctx.language)) {
            ctx.err << "dravmer-cli convert: " << error << "\n";
            return kExitFailure;
        }
        columnSets.push_back(std::move(columns));
    }
    CNewFile file;
    std::string error;
    if (!toStdout && !file.Open(out, error)) {
        ctx.err << "dravmer-cli convert: " << error << "\n";
        return kExitFailure;
    }
    auto sink = [&](std::string_view bytes) {
        if (!toStdout) return file.Write(bytes);
        ctx.out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        return static_cast<bool>(ctx.out);
    };
    CCsvWriter writer(UnionOfColumns(columnSets), csv, sink);
    bool written = writer.WriteHeader();
    bool incomplete = false;
    CDeviceData store;
    for (std::size_t i = 0; written && i < ins.size(); ++i) {
        const std::string& in = ins[i];
        SCsvSource source;
        SExperimentEntry entry;
        const std::string name = std::filesystem::path(in).filename().string();
        if (ParseExperimentName(name, entry))
            source.address = entry.address;
        else
            ctx.err << "dravmer-cli convert: " << in
                    << ctx.Say(
                           ": the name holds no device address; its rows leave the address "
                           "empty\n",
                           ": в имени нет адреса прибора; в его строках адрес пуст\n");
        const bool binary = IsBinary(in);
        source.values = binary ? CsvValues::kFloat : CsvValues::kDouble;
        for (int c : columnSets[i])
            if (c >= 0) source.has[static_cast<std::size_t>(c)] = true;
        std::time_t textStart = 0;
        bool read = binary || TextStartTime(ctx, in, textStart);
        bool started = false;
        const RecordBatchFn take = [&](const CMeasRecord* records, int n, SLoadReport&) {
            if (!started) {
                // A binary file's start time is known once its header is read.
                source.start = binary ? store.StartTime() : textStart;
                started = true;
            }
            written = writer.WriteRecords(source, records, n);
            return written;
        };
        SLoadReport report;
        read = read && Stream(ctx, store, in, take, report, incomplete);
        if (!read && written) {
            ctx.err << "dravmer-cli convert: "
                    << (toStdout
                            ? ctx.Sayf("%s cannot be read; the table on standard output is "
                                       "incomplete",
                                       "%s не читается; таблица в стандартном выводе неполна",
                                       in.c_str())
                            : ctx.Sayf("%s cannot be read; %s is not written",
                                       "%s не читается; %s не записан", in.c_str(), out.c_str()))
                    << "\n";
            return kExitFailure;
        }
    }
    if (!written) {
        CannotWrite(ctx, out);
        return kExitFailure;
    }
    if (toStdout) {
        ctx.out.flush();
        if (!ctx.out) {
            CannotWrite(ctx, out);
            return kExitFailure;
        }
    } else if (!file.Commit(error)) {
        ctx.err << "dravmer-cli convert: " << error << "\n";
        return kExitFailure;
    }
    const std::string where = toStdout ? ctx.Say("standard output", "стандартный вывод") : out;
    ctx.err << "dravmer-cli convert: "
            << ctx.Sayf(ins.size() == 1 ? "%lld records of %zu file written to %s"
                                        : "%lld records of %zu files written to %s",
                        "записей: %lld (файлов: %zu) записано в %s",
                        static_cast<long long>(writer.Rows()), ins.size(), where.c_str())
            << "\n";
    return incomplete ? kExitIncomplete : kExitOk;
}

int RunConvert(CliContext& ctx, const SConvertOptions& o) {
    const std::string out = o.files.back();
    const std::vector<std::string> ins(o.files.begin(), o.files.end() - 1);
    const std::string ext = Extension(out);
    const bool csv = out == "-" || ext == ".csv";
    if (!csv && ext != ".adc" && ext != ".txt") {
        ctx.err << "dravmer-cli convert: " << out
                << ctx.Say(": the output must end in .adc, .txt or .csv, or be - (CSV to "
                           "standard output)\n",
                           ": выходной файл должен оканчиваться на .adc, .txt или .csv или быть "
                           "- (CSV в стандартный вывод)\n");
        return kExitUsage;
    }
    if (!csv && ins.size() > 1) {
        ctx.err << "dravmer-cli convert: "
                << ctx.Say("several input files make one table only as CSV\n",
                           "несколько входных файлов дают одну таблицу только в CSV\n");
        return kExitUsage;
    }
    if (!csv && (o.units || o.excel)) {
        ctx.err << "dravmer-cli convert: "
                << ctx.Say("--units and --excel are for a CSV output\n",
                           "--units и --excel только для вывода в CSV\n");
        return kExitUsage;
    }
    for (const std::string& in : ins) {
        if (in == out) {
            ctx.err << "dravmer-cli convert: " << in
                    << ctx.Say(" is both an input and the output\n",
                               " одновременно входной и выходной файл\n");
            return kExitUsage;
        }
    }
    if (!csv) return ConvertToExperimentFile(ctx, ins.front(), out);
    SCsvOptions options;
    options.units = o.units;
    options.excel = o.excel;
    return ConvertToCsv(ctx, ins, out, options);
}

CommandRun DefineConvert(CLI::App& app, Language language) {
    const Words w(language);
    auto o = std::make_shared<SConvertOptions>();
    app.add_option("FILES", o->files,
                   w("IN... OUT: the experiment files to read (.adc or .txt), then the file to "
                     "write, ending in .adc, .txt or .csv (never overwritten), or - for CSV on "
                     "standard output; several inputs make one CSV table",
                     "IN... OUT: читаемые файлы экспериментов (.adc или .txt), затем файл для "
                     "записи, .adc, .txt или .csv (никогда не перезаписывается), или - для CSV "
                     "в стандартный вывод; несколько входных файлов дают одну таблицу CSV"))
        ->required()
        ->expected(2, -1)
        ->type_name("IN... OUT");
    app.add_flag("--units", o->units,
                 w("CSV: a second header row with each column's unit",
                   "CSV: вторая строка заголовка с единицами столбцов"));
    app.add_flag("--excel", o->excel,
                 w("CSV for a spreadsheet with a decimal comma: ';' between fields, decimal "
                   "commas, a UTF-8 byte-order mark",
                   "CSV для электронной таблицы с десятичной запятой: ';' между полями, "
                   "десятичные запятые, метка порядка байтов UTF-8"));
    return [o](CliContext& ctx) { return RunConvert(ctx, *o); };
}

}  // namespace

DRAVMER_CLI_COMMAND("convert", "convert IN... OUT [--units] [--excel]",
                    "rewrite an experiment file as .adc or .txt, or experiment files as one CSV "
                    "table (datetime, address, parameters; OUT - for standard output)",
                    "переписать файл эксперимента как .adc или .txt, или файлы экспериментов "
                    "одной таблицей CSV (дата и время, адрес, параметры; OUT - для стандартного "
                    "вывода)",
                    DefineConvert);

}  // namespace dravmer::cli
