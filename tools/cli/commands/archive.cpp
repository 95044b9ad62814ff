// archive add|list|history|export [--archive URL]: the experiment archive (SQLite on the bench,
// PostgreSQL on a lab server). The URL comes from --archive, else from Archive/Url, else the
// SQLite file in the user's data folder.
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <ostream>

#include "archive/archive.h"
#include "archive/archive_io.h"
#include "bench/bench_archive.h"
#include "bench/experiment_settings.h"
#include "cli/cli.h"
#include "cli/cli_options.h"
#include "cli/commands/printable.h"
#include "cli/commands/part_commands.h"
#include "cli/session.h"
#include "files/experiment_files.h"
#include "files/experiment_scan.h"
#include "measure/param_catalog.h"
#include "platform/page_file.h"
#include "platform/paths.h"

namespace dravmer::cli {
namespace {

namespace fs = std::filesystem;

constexpr const char* kUsage = part_commands::kArchiveUsage;

std::string IsoTime(std::time_t t) {
    std::tm tm{};
    localtime_r(&t, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%S", &tm);
    return buf;
}

// "YYYY-MM-DD" (a whole day) or "YYYY-MM-DDTHH:MM[:SS]", local time. `endOfDay` turns a bare
// date into the start of the next day, so --to 2026-12-06 includes that day.
bool ParseDate(const std::string& text, bool endOfDay, std::time_t& out) {
    std::tm tm{};
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
    char tail = 0;
    int n = std::sscanf(text.c_str(), "%4d-%2d-%2d%c", &y, &mo, &d, &tail);
    bool dateOnly = n == 3;
    if (!dateOnly) {
        n = std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d", &y, &mo, &d, &h, &mi, &s);
        if (n < 5) n = std::sscanf(text.c_str(), "%4d-%2d-%2d %2d:%2d:%2d", &y, &mo, &d, &h, &mi, &s);
        if (n < 5) return false;
    }
    if (y < 1970 || mo < 1 || mo > 12 || d < 1 || d > 31 || h > 23 || mi > 59 || s > 60)
        return false;
    tm.tm_year = y - 1900;
    tm.tm_mon = mo - 1;
    tm.tm_mday = d + (dateOnly && endOfDay ? 1 : 0);
    tm.tm_hour = h;
    tm.tm_min = mi;
    tm.tm_sec = s;
    tm.tm_isdst = -1;
    out = std::mktime(&tm);
    return out != static_cast<std::time_t>(-1);
}

bool ParseAddress(const std::string& text, std::uint32_t& out) {
    if (text.empty() || text.size() > 10 || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    unsigned long long v = std::stoull(text);
    if (v > 0xFFFFFFFFull) return false;
    out = static_cast<std::uint32_t>(v);
    return true;
}

std::string CommentText(const std::string& label, std::time_t time, int number) {
    if (label.empty()) return {};
    std::tm tm{};
    localtime_r(&time, &tm);
    char c[1200];
    std::snprintf(c, sizeof c, "%2.2d-%2.2d-%d - Exp: %d  %s", tm.tm_mday, tm.tm_mon + 1,
                  tm.tm_year + 1900, number, label.c_str());
    return c;
}

// Ctrl-C cancels the statement that waits for the server (a held lock, a slow lab server) and
// ends the command with nothing of an unfinished experiment written.
std::unique_ptr<CArchive> OpenOrSay(CliContext& ctx, const std::string& url, bool readOnly) {
    int code = 0;
    std::string error;
    SArchiveAccess access;
    access.readOnly = readOnly;
    access.cancel = &InterruptFlag();
    auto archive = CArchive::Open(url, code, error, access);
    if (!archive)
        ctx.err << "dravmer-cli archive: "
                << (code == kArchiveStopped ? ctx.Say("interrupted", "прервано") : error) << "\n";
    return archive;
}

// The archive's failure in one line; an interrupt is said as such.
void SayFailure(CliContext& ctx, const CArchive& archive, int code) {
    ctx.err << "dravmer-cli archive: "
            << (code == kArchiveStopped ? ctx.Say("interrupted", "прервано") : archive.LastError())
            << "\n";
}

// ---- add ----

struct SPendingExperiment {
    std::vector<std::string> paths;
    std::time_t time = 0;
    std::string label;
};

// The experiments named by the arguments: every experiment of a folder, or the given files as
// their folder's list groups them.
bool CollectExperiments(CliContext& ctx, const std::vector<std::string>& args,
                        std::vector<SPendingExperiment>& out) {
    std::map<std::string, CExperimentList> lists;
    std::map<std::pair<std::string, int>, std::size_t> byGroup;
    bool ok = true;
    for (const std::string& arg : args) {
        std::error_code ec;
        if (fs::is_directory(arg, ec)) {
            CExperimentList list;
            list.Scan(arg);
            if (list.GroupCount() == 0)
                ctx.err << "dravmer-cli archive: " << arg
                        << ctx.Say(": no experiment files\n", ": нет файлов эксперимента\n");
            for (int g = 0; g < list.GroupCount(); ++g) {
                SGroupDescription d = list.Describe(g);
                out.push_back({d.files, d.time, d.label});
            }
            continue;
        }
        if (!fs::is_regular_file(arg, ec)) {
            ctx.err << "dravmer-cli archive: " << arg
                    << ctx.Say(": no such file or folder\n", ": нет такого файла или папки\n");
            ok = false;
            continue;
        }
        std::string folder = fs::path(arg).parent_path().string();
        if (folder.empty()) folder = ".";
        auto it = lists.find(folder);
        if (it == lists.end()) {
            it = lists.emplace(folder, CExperimentList()).first;
            it->second.Scan(folder);
        }
        const CExperimentList& list = it->second;
        int g = list.FindGroup(fs::path(arg).filename().string());
        if (g < 0) {
            ctx.err << "dravmer-cli archive: " << arg
                    << ctx.Say(": not a valid experiment file (YYMMDD-NNN-AAAAAA.adc or .txt)\n",
                               ": не файл эксперимента (ГГММДД-NNN-AAAAAA.adc или .txt)\n");
            ok = false;
            continue;
        }
        auto key = std::make_pair(folder, g);
        auto slot = byGroup.find(key);
        if (slot == byGroup.end()) {
            SGroupDescription d = list.Describe(g);
            slot = byGroup.emplace(key, out.size()).first;
            out.push_back({{}, d.time, d.label});
        }
        auto& paths = out[slot->second].paths;
        std::string full = (fs::path(list.Folder()) / fs::path(arg).filename()).string();
        if (std::find(paths.begin(), paths.end(), full) == paths.end()) paths.push_back(full);
    }
    return ok;
}

struct SArchiveOptions {
    std::string url;
    CLI::Option* urlOption = nullptr;
    CLI::App* add = nullptr;
    CLI::App* list = nullptr;
    CLI::App* history = nullptr;
    CLI::App* exportTo = nullptr;
    std::vector<std::string> paths;  // add
    std::string device, from, to;    // list, history
    CLI::Option* deviceOption = nullptr;
    std::string param, kind = "Average";  // history
    std::string id, dir, format;          // export
    bool json = false;
};

int RunAdd(CliContext& ctx, CArchive& archive, const std::vector<std::string>& args) {
    std::vector<SPendingExperiment> pending;
    bool ok = CollectExperiments(ctx, args, pending);
    CExperimentSettings settings;
    settings.LoadExperimentSettings(ctx.Settings());
    settings.LoadFileSettings(ctx.Settings());
    SArchiveDefaults defaults = ArchiveDefaultsFrom(settings);
    // One device's records at a time, and those mostly in the record cache: a long experiment
    // of many devices is archived in little memory.
    std::string cacheError;
    std::shared_ptr<CPageFile> cache =
        CPageFile::Create(CacheDir(), CDeviceData::kPageBytes, &cacheError);
    const bool tty = ::isatty(2);
    for (const auto& p : pending) {
        const std::string title = fs::path(p.paths.front()).filename().string().substr(0, 10);
        auto show = [&](const char* what) -> ArchiveProgressFn {
            return [&, what](int done, int total) {
                if (tty) std::fprintf(stderr, "\r%s %s: %d/%d ", what, title.c_str(), done, total);
                return !Interrupted();
            };
        };
        SArchivedHeader e;
        std::string error;
        std::int64_t id = 0;
        int code = ArchiveFiles(archive, p.paths, p.time, p.label, defaults, cache, e, id, error,
                                show(ctx.Say("archiving", "запись")));
        if (tty) std::fprintf(stderr, "\r%*s\r", static_cast<int>(title.size()) + 32, "");
        if (code == kArchiveStopped) {
            ctx.err << "dravmer-cli archive: "
                    << ctx.Sayf("interrupted; %s is not archived",
                                "прервано; %s не сохранён в архиве", title.c_str())
                    << "\n";
            return kExitFailure;
        }
        if (code == kArchiveFileError || code == kArchiveNoData) {
            ctx.err << "dravmer-cli archive: " << error
                    << ctx.Say(" (the experiment is not archived)\n",
                               " (эксперимент не сохранён в архиве)\n");
            ok = false;
            continue;
        }
        char name[32];
        std::snprintf(name, sizeof name, "%s-%3.3d", e.date.c_str(), e.number);
        if (code == kArchiveOk) {
            ctx.out << name << ": "
                    << ctx.Sayf("%zu device(s) archived as %lld",
                                "приборов: %zu, сохранено в архиве под номером %lld",
                                p.paths.size(), static_cast<long long>(id))
                    << "\n";
        } else if (code == kArchiveDuplicate) {
            ctx.out << name << ": "
                    << ctx.Sayf("already in the archive as %lld",
                                "уже есть в архиве под номером %lld", static_cast<long long>(id))
                    << "\n";
        } else {
            ctx.err << "dravmer-cli archive: " << name << ": " << archive.LastError() << "\n";
            ok = false;
            if (code == kArchiveUnreachable) break;
        }
    }
    return ok ? kExitOk : kExitFailure;
}

// ---- list ----

int RunList(CliContext& ctx, CArchive& archive, const SArchiveOptions& o) {
    const bool json = o.json;
    const std::string &device = o.device, &from = o.from, &to = o.to;
    SArchiveFilter filter;
    const bool hasDevice = !device.empty(), hasFrom = !from.empty(), hasTo = !to.empty();
    if (hasDevice && !ParseAddress(device, filter.device)) {
        ctx.err << "dravmer-cli archive list: --device takes a device address (decimal)\n";
        return kExitUsage;
    }
    filter.hasDevice = hasDevice;
    if ((hasFrom && !ParseDate(from, false, filter.from)) ||
        (hasTo && !ParseDate(to, true, filter.to))) {
        ctx.err << "dravmer-cli archive list: dates are YYYY-MM-DD or YYYY-MM-DDTHH:MM:SS\n";
        return kExitUsage;
    }
    std::vector<SArchiveListRow> rows;
    if (const int code = archive.List(filter, rows); code != kArchiveOk) {
        SayFailure(ctx, archive, code);
        return kExitFailure;
    }
    if (json) {
        nlohmann::json out = nlohmann::json::array();
        for (const auto& r : rows) {
            std::vector<std::string> files;
            for (auto a : r.addresses) files.push_back(ExperimentFileName(r.date, r.number, a, r.text));
            out.push_back({{"id", r.id},
                           {"date_time", IsoTime(r.startTime)},
                           {"number", r.number},
                           {"duration_s", r.duration},
                           {"format", r.text ? "txt" : "adc"},
                           {"addresses", r.addresses},
                           {"files", files},
                           {"comment", CommentText(r.comment, r.startTime, r.number)}});
        }
        ctx.out << out.dump(2) << "\n";
        return kExitOk;
    }
    const std::string header = ListHeader(ctx);
    ctx.out << "id" << header.substr(header.find('\t'));
    for (const auto& r : rows) {
        std::tm tm{};
        localtime_r(&r.startTime, &tm);
        char when[64], minutes[32];
        std::strftime(when, sizeof when, "%d-%m-%Y     %H:%M", &tm);
        std::snprintf(minutes, sizeof minutes, "%1.1f", r.duration / 60.0);
        std::string addresses;
        for (auto a : r.addresses) addresses += (addresses.empty() ? "" : "; ") + std::to_string(a);
        ctx.out << r.id << "\t" << when << "\t" << r.number << "\t" << minutes << "\t"
                << (r.text ? ".txt" : ".adc") << "\t" << r.addresses.size() << "\t" << addresses
                << "\t" << PrintableText(CommentText(r.comment, r.startTime, r.number)) << "\n";
    }
    return kExitOk;
}

// ---- history ----

int RunHistory(CliContext& ctx, CArchive& archive, const SArchiveOptions& o) {
    const bool json = o.json;
    const std::string &device = o.device, &param = o.param, &kindText = o.kind;
    std::uint32_t address = 0;
    if (!ParseAddress(device, address)) {
        ctx.err << "dravmer-cli archive history: --device takes a device address (decimal)\n";
        return kExitUsage;
    }
    int index = FindParam(param);
    if (index < kStatFirstParam) {
        ctx.err << "dravmer-cli archive history: " << param
                << " is not a parameter with statistics (short names as in the file headers, "
                   "e.g. UG, IG, t1, or their aliases, e.g. t_op)\n";
        return kExitUsage;
    }
    int kind = -1;
    for (int k = 0; k < kStatKindCount; ++k) {
        std::string name(StatKindName(static_cast<StatKind>(k)));
        if (name.size() == kindText.size() &&
            std::equal(name.begin(), name.end(), kindText.begin(),
                       [](char a, char b) { return std::tolower(a) == std::tolower(b); }))
            kind = k;
    }
    if (kind < 0) {
        ctx.err << "dravmer-cli archive history: --kind is one of Current, AverageE, AverageO, "
                   "Average, Min, Max, Delta, Sigma, Noise, NoiseE, NoiseO\n";
        return kExitUsage;
    }
    std::vector<SHistoryRow> rows;
    if (const int code = archive.History(address, index, static_cast<StatKind>(kind), rows);
        code != kArchiveOk) {
        SayFailure(ctx, archive, code);
        return kExitFailure;
    }
    if (json) {
        nlohmann::json out = nlohmann::json::array();
        for (const auto& r : rows) {
            nlohmann::json value = std::isfinite(r.value) ? nlohmann::json(r.value) : nullptr;
            out.push_back({{"id", r.id},
                           {"date_time", IsoTime(r.startTime)},
                           {"number", r.number},
                           {"value", value}});
        }
        ctx.out << out.dump(2) << "\n";
        return kExitOk;
    }
    ctx.out << "id\tdate_time\tnumber\t" << StatKindName(static_cast<StatKind>(kind)) << " "
            << ParamNameTrimmed(index) << "\n";
    for (const auto& r : rows) {
        // The shortest text that reads back as the stored value.
        char value[64];
        auto end = std::to_chars(value, value + sizeof value, r.value).ptr;
        ctx.out << r.id << "\t" << IsoTime(r.startTime) << "\t" << r.number << "\t"
                << std::string_view(value, static_cast<std::size_t>(end - value)) << "\n";
    }
    if (rows.empty())
        ctx.err << "dravmer-cli archive history: "
                << ctx.Sayf("device %u is in no archived experiment",
                            "прибора № %u нет ни в одном эксперименте архива", address)
                << "\n";
    return kExitOk;
}

// ---- export ----

int RunExport(CliContext& ctx, CArchive& archive, const SArchiveOptions& o) {
    const std::string& format = o.format;
    const std::vector<std::string> args = {o.id, o.dir};
    std::string error;
    if (args[0].empty() || args[0].size() > 18 ||
        args[0].find_first_not_of("0123456789") != std::string::npos) {
        ctx.err << "dravmer-cli archive export: ID is the number archive list shows\n";
        return kExitUsage;
    }
    std::vector<std::string> written;
    const int code = ExportArchived(archive, std::stoll(args[0]), args[1], format, written, error,
                                    [](int, int) { return !Interrupted(); });
    if (code == kArchiveFileError) {
        ctx.err << "dravmer-cli archive export: " << error << "\n";
        return kExitFailure;
    }
    if (code != kArchiveOk) {
        SayFailure(ctx, archive, code);
        return kExitFailure;
    }
    for (const auto& p : written) ctx.out << p << "\n";
    ctx.err << "dravmer-cli archive export: "
            << ctx.Sayf("%zu file(s) written to %s", "записано файлов: %zu, в %s", written.size(),
                        args[1].c_str())
            << "\n";
    return kExitOk;
}

int RunArchive(CliContext& ctx, const SArchiveOptions& o) {
    const std::string url = o.urlOption->count() ? o.url : ArchiveUrlFromSettings(ctx.Settings());
    InstallInterruptHandler();
    ClearInterrupt();
    // Reading opens the archive read-only: nothing is created, migrated or written.
    auto archive = OpenOrSay(ctx, url, !o.add->parsed());
    if (!archive) return kExitFailure;
    if (o.add->parsed()) return RunAdd(ctx, *archive, o.paths);
    if (o.list->parsed()) return RunList(ctx, *archive, o);
    if (o.history->parsed()) return RunHistory(ctx, *archive, o);
    return RunExport(ctx, *archive, o);
}

// The checks of the values, made while the command line is read so that a bad one opens (and
// creates) no archive.
CLI::Validator DateText() {
    return CLI::Validator(
        [](std::string& text) -> std::string {
            std::time_t unused = 0;
            if (ParseDate(text, false, unused)) return {};
            return "expected YYYY-MM-DD or YYYY-MM-DDTHH:MM[:SS], not '" + text + "'";
        },
        "DATE");
}

CLI::Validator StatParam() {
    return CLI::Validator(
        [](std::string& text) -> std::string {
            if (FindParam(text) >= kStatFirstParam) return {};
            return "'" + text + "' is not a parameter with statistics (short names as in the "
                   "file headers, e.g. UG, IG, t1, or their aliases, e.g. t_op)";
        },
        "NAME");
}

CommandRun DefineArchive(CLI::App& app) {
    auto o = std::make_shared<SArchiveOptions>();
    app.require_subcommand(1);
    o->urlOption = app.add_option("--archive", o->url,
                                  "sqlite:PATH or postgresql://user@host/db (else Archive/Url, "
                                  "else the SQLite file in the user's data folder)")
                       ->check(NotEmpty("an archive URL"))
                       ->type_name("URL");
    auto sub = [&](const char* name, const char* what) {
        CLI::App* s = app.add_subcommand(name, what);
        s->fallthrough();  // --archive may follow the subcommand too
        return s;
    };
    o->add = sub("add", "archive the experiments of files or of a whole folder");
    o->add->add_option("FILE|DIR", o->paths, "experiment files, or a folder of them")->required();

    o->list = sub("list", "the archived experiments, newest first");
    o->list->add_option("--device", o->device, "only experiments with this device address")
        ->transform(WholeIn(0, 0xFFFFFFFFull));
    o->list->add_option("--from", o->from, "from this day or time (YYYY-MM-DD[THH:MM[:SS]])")
        ->check(DateText());
    o->list->add_option("--to", o->to, "up to this day (inclusive) or time")->check(DateText());
    o->list->add_flag("--json", o->json, "one JSON object per experiment");

    o->history = sub("history", "one statistic of one device over its archived experiments");
    o->history->add_option("--device", o->device, "the device address")
        ->required()
        ->transform(WholeIn(0, 0xFFFFFFFFull));
    o->history->add_option("--param", o->param,
                           "short name as in the file headers (UG) or alias (t_op)")
        ->required()
        ->check(StatParam());
    o->history->add_option("--kind", o->kind,
                           "Current, AverageE, AverageO, Average, Min, Max, Delta, Sigma, Noise, "
                           "NoiseE or NoiseO")
        ->capture_default_str();
    o->history->add_flag("--json", o->json, "one JSON object per experiment");

    o->exportTo = sub("export", "write an archived experiment's files again");
    o->exportTo->add_option("ID", o->id, "the number archive list shows")->required();
    o->exportTo->add_option("DIR", o->dir, "the folder to write to")->required();
    o->exportTo->add_option("--format", o->format, "the files as .adc or .txt (else as archived)")
        ->check(OneOf({"adc", "txt"}));
    return [o](CliContext& ctx) { return RunArchive(ctx, *o); };
}

}  // namespace

DRAVMER_CLI_COMMAND(part_commands::kArchive, kUsage, part_commands::kArchiveSummary,
                    DefineArchive);

}  // namespace dravmer::cli
