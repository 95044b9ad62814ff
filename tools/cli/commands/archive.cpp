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
#include "cli/commands/archive_options.h"
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
    if (!archive) {
        // The archive's reasons are English; the ones an operator's URL causes are worded here.
        const std::string unreachable = "cannot open the archive ";
        if (code == kArchiveStopped)
            error = ctx.Say("interrupted", "прервано");
        else if (code == kArchiveBadUrl)
            error = ctx.Say("the archive URL must start with sqlite: or postgresql:// (",
                            "адрес архива должен начинаться с sqlite: или postgresql:// (") +
                    RedactArchiveUrl(url) + ")";
        else if (code == kArchiveUnreachable && error.rfind(unreachable, 0) == 0)
            error = ctx.Say("cannot open the archive ", "не удалось открыть архив ") +
                    error.substr(unreachable.size());
        ctx.err << "dravmer-cli archive: " << error << "\n";
    }
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
        ctx.err << "dravmer-cli archive list: "
                << ctx.Say("--device takes a device address (decimal)\n",
                           "--device: адрес прибора (десятичный)\n");
        return kExitUsage;
    }
    filter.hasDevice = hasDevice;
    if ((hasFrom && !ParseDate(from, false, filter.from)) ||
        (hasTo && !ParseDate(to, true, filter.to))) {
        ctx.err << "dravmer-cli archive list: "
                << ctx.Say("dates are YYYY-MM-DD or YYYY-MM-DDTHH:MM:SS\n",
                           "даты: YYYY-MM-DD или YYYY-MM-DDTHH:MM:SS\n");
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
        ctx.err << "dravmer-cli archive history: "
                << ctx.Say("--device takes a device address (decimal)\n",
                           "--device: адрес прибора (десятичный)\n");
        return kExitUsage;
    }
    int index = FindParam(param);
    if (index < kStatFirstParam) {
        ctx.err << "dravmer-cli archive history: " << param
                << ctx.Say(" is not a parameter with statistics (short names as in the file "
                           "headers, e.g. UG, IG, t1, or their aliases, e.g. t_op)\n",
                           " не параметр со статистикой (краткие имена как в заголовках файлов, "
                           "например UG, IG, t1, или их имена ASCII, например t_op)\n");
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
        ctx.err << "dravmer-cli archive history: "
                << ctx.Say("--kind is one of ", "--kind: одно из ")
                << "Current, AverageE, AverageO, Average, Min, Max, Delta, Sigma, Noise, NoiseE, "
                   "NoiseO\n";
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
        ctx.err << "dravmer-cli archive export: "
                << ctx.Say("ID is the number archive list shows\n",
                           "ID: номер, который показывает archive list\n");
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

CommandRun DefineArchive(CLI::App& app, Language language) {
    auto o = std::make_shared<SArchiveOptions>();
    DeclareArchiveOptions(app, language, *o);
    return [o](CliContext& ctx) { return RunArchive(ctx, *o); };
}

}  // namespace

DRAVMER_CLI_COMMAND(part_commands::kArchive, kUsage, part_commands::kArchiveSummary,
                    part_commands::kArchiveSummaryRu, DefineArchive);

}  // namespace dravmer::cli
