#include "cli/commands/archive_options.h"

#include <cstdio>

#include "cli/cli_options.h"
#include "measure/param_catalog.h"

namespace dravmer::cli {

namespace {

// The checks of the values, made while the command line is read so that a bad one opens (and
// creates) no archive.
CLI::Validator DateText(const Words& w) {
    const std::string expected = w("expected YYYY-MM-DD or YYYY-MM-DDTHH:MM[:SS], not '",
                                   "ожидается YYYY-MM-DD или YYYY-MM-DDTHH:MM[:SS], а не '");
    return CLI::Validator(
        [expected](std::string& text) -> std::string {
            std::time_t unused = 0;
            if (ParseDate(text, false, unused)) return {};
            return expected + text + "'";
        },
        "DATE");
}

CLI::Validator StatParam(const Words& w) {
    const std::string why =
        w("' is not a parameter with statistics (short names as in the "
          "file headers, e.g. UG, IG, t1, or their aliases, e.g. t_op)",
          "' не параметр со статистикой (краткие имена как в заголовках "
          "файлов, например UG, IG, t1, или их имена ASCII, например t_op)");
    return CLI::Validator(
        [why](std::string& text) -> std::string {
            if (FindParam(text) >= kStatFirstParam) return {};
            return "'" + text + why;
        },
        "NAME");
}

}  // namespace

bool ParseDate(const std::string& text, bool endOfDay, std::time_t& out) {
    std::tm tm{};
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
    char tail = 0;
    int n = std::sscanf(text.c_str(), "%4d-%2d-%2d%c", &y, &mo, &d, &tail);
    bool dateOnly = n == 3;
    if (!dateOnly) {
        n = std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d", &y, &mo, &d, &h, &mi, &s);
        if (n < 5)
            n = std::sscanf(text.c_str(), "%4d-%2d-%2d %2d:%2d:%2d", &y, &mo, &d, &h, &mi, &s);
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
    if (text.empty() || text.size() > 10 ||
        text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    unsigned long long v = std::stoull(text);
    if (v > 0xFFFFFFFFull) return false;
    out = static_cast<std::uint32_t>(v);
    return true;
}

void DeclareArchiveOptions(CLI::App& app, Language language, SArchiveOptions& o) {
    const Words w(language);
    app.require_subcommand(1);
    o.urlOption = app.add_option("--archive", o.url,
                                 w("sqlite:PATH or postgresql://user@host/db (else Archive/Url, "
                                   "else the SQLite file in the user's data folder)",
                                   "sqlite:PATH или postgresql://user@host/db (иначе Archive/Url, "
                                   "иначе файл SQLite в папке данных пользователя)"))
                      ->check(NotEmpty(language, w("an archive URL", "адрес архива")))
                      ->type_name("URL");
    auto sub = [&](const char* name, const char* what) {
        CLI::App* s = app.add_subcommand(name, what);
        s->fallthrough();  // --archive may follow the subcommand too
        return s;
    };
    o.add = sub("add", w("archive the experiments of files or of a whole folder",
                         "сохранить в архиве эксперименты файлов или целой папки"));
    o.add
        ->add_option("FILE|DIR", o.paths,
                     w("experiment files, or a folder of them", "файлы экспериментов или их папка"))
        ->required();

    const char* perExperiment =
        w("one JSON object per experiment", "по объекту JSON на эксперимент");
    o.list = sub("list",
                 w("the archived experiments, newest first", "эксперименты архива, сначала новые"));
    o.list
        ->add_option("--device", o.device,
                     w("only experiments with this device address",
                       "только эксперименты с прибором этого адреса"))
        ->transform(WholeIn(language, 0, 0xFFFFFFFFull));
    o.list
        ->add_option("--from", o.from,
                     w("from this day or time (YYYY-MM-DD[THH:MM[:SS]])",
                       "начиная с этого дня или времени (YYYY-MM-DD[THH:MM[:SS]])"))
        ->check(DateText(w));
    o.list
        ->add_option(
            "--to", o.to,
            w("up to this day (inclusive) or time", "до этого дня (включительно) или времени"))
        ->check(DateText(w));
    o.list->add_flag("--json", o.json, perExperiment);

    o.history = sub("history", w("one statistic of one device over its archived experiments",
                                 "одна статистика одного прибора по его экспериментам в архиве"));
    o.history->add_option("--device", o.device, w("the device address", "адрес прибора"))
        ->required()
        ->transform(WholeIn(language, 0, 0xFFFFFFFFull));
    o.history
        ->add_option("--param", o.param,
                     w("short name as in the file headers (UG) or alias (t_op)",
                       "краткое имя как в заголовках файлов (UG) или имя ASCII (t_op)"))
        ->required()
        ->check(StatParam(w));
    o.history
        ->add_option("--kind", o.kind,
                     w("Current, AverageE, AverageO, Average, Min, Max, Delta, Sigma, Noise, "
                       "NoiseE or NoiseO",
                       "Current, AverageE, AverageO, Average, Min, Max, Delta, Sigma, Noise, "
                       "NoiseE или NoiseO"))
        ->capture_default_str();
    o.history->add_flag("--json", o.json, perExperiment);

    o.exportTo = sub("export", w("write an archived experiment's files again",
                                 "снова записать файлы эксперимента из архива"));
    o.exportTo
        ->add_option("ID", o.id,
                     w("the number archive list shows", "номер, который показывает archive list"))
        ->required();
    o.exportTo->add_option("DIR", o.dir, w("the folder to write to", "папка для записи"))
        ->required();
    o.exportTo
        ->add_option("--format", o.format,
                     w("the files as .adc or .txt (else as archived)",
                       "файлы .adc или .txt (иначе как в архиве)"))
        ->check(OneOf(language, {"adc", "txt"}));
}

}  // namespace dravmer::cli
