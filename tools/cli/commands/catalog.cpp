// catalog [--json | --markdown]: the 43 parameters of a record with their ASCII aliases, units
// and descriptions.
#include <nlohmann/json.hpp>
#include <ostream>

#include "cli/cli.h"
#include "cli/cli_options.h"
#include "measure/meas_record.h"
#include "measure/param_catalog.h"

namespace dravmer::cli {
namespace {

// Characters, not bytes: the Cyrillic letters take two bytes each.
std::size_t Width(std::string_view s) {
    std::size_t n = 0;
    for (unsigned char c : s)
        if ((c & 0xC0) != 0x80) ++n;
    return n;
}

std::string Pad(std::string_view s, std::size_t width) {
    std::string out(s);
    if (Width(s) < width) out.append(width - Width(s), ' ');
    return out;
}

// A markdown table cell: '|' would end the cell.
std::string Cell(std::string_view s) {
    std::string out;
    for (char c : s) {
        if (c == '|') out += '\\';
        out += c;
    }
    return out;
}

struct SCatalogOptions {
    bool json = false, markdown = false;
};

int RunCatalog(CliContext& ctx, const SCatalogOptions& o) {
    constexpr int n = CMeasRecord::kParamCount;
    if (o.json) {
        nlohmann::json rows = nlohmann::json::array();
        for (int i = 0; i < n; ++i)
            rows.push_back(
                {{"index", i},
                 {"name", std::string(ParamNameTrimmed(i))},
                 {"alias", std::string(ParamAlias(i))},
                 {"unit", std::string(ParamUnit(i))},
                 {"description", std::string(ParamDescription(i))},
                 {"unit_en", std::string(ParamUnit(i, Language::English))},
                 {"description_en", std::string(ParamDescription(i, Language::English))}});
        ctx.out << rows.dump(2) << "\n";
        return kExitOk;
    }
    if (o.markdown) {
        ctx.out << "| index | name | alias | unit | description |\n"
                << "|---:|---|---|---|---|\n";
        for (int i = 0; i < n; ++i)
            ctx.out << "| " << i << " | `" << ParamNameTrimmed(i) << "` | `" << ParamAlias(i)
                    << "` | " << Cell(ParamUnit(i)) << " | " << Cell(ParamDescription(i)) << " |\n";
        return kExitOk;
    }
    // The listing for reading: units and descriptions in the run's language.
    const Language language = ctx.language;
    const char* unitHead = ctx.Say("unit", "ед.");
    std::size_t nameWidth = Width(ctx.Say("name", "имя")), aliasWidth = 5,
                unitWidth = Width(unitHead);
    for (int i = 0; i < n; ++i) {
        nameWidth = std::max(nameWidth, Width(ParamNameTrimmed(i)));
        aliasWidth = std::max(aliasWidth, Width(ParamAlias(i)));
        unitWidth = std::max(unitWidth, Width(ParamUnit(i, language)));
    }
    ctx.out << " # " << Pad(ctx.Say("name", "имя"), nameWidth) << "  " << Pad("alias", aliasWidth)
            << "  " << Pad(unitHead, unitWidth) << "  " << ctx.Say("description", "описание")
            << "\n";
    for (int i = 0; i < n; ++i) {
        char index[8];
        std::snprintf(index, sizeof index, "%2d", i);
        ctx.out << index << " " << Pad(ParamNameTrimmed(i), nameWidth) << "  "
                << Pad(ParamAlias(i), aliasWidth) << "  " << Pad(ParamUnit(i, language), unitWidth)
                << "  " << ParamDescription(i, language) << "\n";
    }
    return kExitOk;
}

CommandRun DefineCatalog(CLI::App& app, Language language) {
    const Words w(language);
    auto o = std::make_shared<SCatalogOptions>();
    auto* json = app.add_flag("--json", o->json,
                              w("one JSON object per parameter", "по объекту JSON на параметр"));
    app.add_flag("--markdown", o->markdown,
                 w("a markdown table (the one in docs/formats.md)",
                   "таблица markdown (как в docs/formats.md)"))
        ->excludes(json);
    return [o](CliContext& ctx) { return RunCatalog(ctx, *o); };
}

}  // namespace

DRAVMER_CLI_COMMAND("catalog", "catalog [--json | --markdown]",
                    "list the 43 parameters: index, name, ASCII alias, unit, description",
                    "список 43 параметров: номер, имя, имя ASCII, единица, описание",
                    DefineCatalog);

}  // namespace dravmer::cli
