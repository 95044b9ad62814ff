// settings dump | get KEY | set KEY VALUE, with KEY as Section/Value.
#include <ostream>

#include "bench/settings_catalog.h"
#include "cli/cli.h"
#include "cli/cli_options.h"
#include "link/port_settings.h"
#include "stream/mqtt_publisher.h"

namespace dravmer::cli {
namespace {

const SSettingDef* Lookup(CliContext& ctx, const std::string& key) {
    auto slash = key.find('/');
    const SSettingDef* def =
        slash == std::string::npos ? nullptr : FindSetting(key.substr(0, slash), key.substr(slash + 1));
    if (!def)
        ctx.err << "dravmer-cli settings: "
                << ctx.Sayf("unknown setting '%s' (settings dump lists them)",
                            "неизвестная настройка «%s» (их список: settings dump)", key.c_str())
                << "\n";
    return def;
}

// A port's speed is stored as its index in the speed table (12 is 115200 baud); the operator may
// give the baud rate itself, which is stored as its index. Indices and anything else pass as
// they are, to be checked with the other settings.
bool IsPortSpeed(const SSettingDef& def) {
    return def.name == "Speed" && def.section.rfind("ComSettingsPort", 0) == 0;
}

std::string StoredValue(const SSettingDef& def, const std::string& text) {
    if (!IsPortSpeed(def)) return text;
    const bool digits = !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
    if (!digits || text.size() > 7) return text;
    const int baud = std::stoi(text);
    if (baud < kSpeedCount) return text;
    for (int i = 0; i < kSpeedCount; ++i)
        if (kSpeedTable[i] == baud) return std::to_string(i);
    return text;
}

// The speed table as the message for a value that is neither an index nor one of its speeds.
std::string SpeedRefusal(const CliContext& ctx, const std::string& value) {
    std::string speeds;
    for (int i = 0; i < kSpeedCount; ++i)
        speeds += (i ? ", " : " ") + std::to_string(kSpeedTable[i]);
    return ctx.Sayf("'%s' is not an index 0..%d or a speed of%s",
                    "«%s» - не номер 0..%d и не скорость из%s", value.c_str(), kSpeedCount - 1,
                    speeds.c_str());
}

// The text shown: a broker password kept in the address is not printed.
std::string ShownText(const ISettingsStore& store, const SSettingDef& def) {
    const std::string text = SettingText(store, def);
    return def.section == kStreamSection && def.name == kMqttUrlKey ? RedactMqttUrl(text) : text;
}

struct SSettingsOptions {
    CLI::App* dump = nullptr;
    CLI::App* get = nullptr;
    CLI::App* set = nullptr;
    std::string key, value;
};

int RunSettings(CliContext& ctx, const SSettingsOptions& o) {
    // Defaults shown for a file that could not be read would pass for its contents.
    if (auto status = ctx.Settings().Status(ctx.language)) {
        ctx.err << "dravmer-cli settings: " << *status << "\n";
        return kExitFailure;
    }
    if (o.dump->parsed()) {
        auto& store = ctx.Settings();
        for (const auto& def : KnownSettings())
            ctx.out << def.section << "/" << def.name << "=" << ShownText(store, def) << "\n";
        return kExitOk;
    }
    const SSettingDef* def = Lookup(ctx, o.key);
    if (!def) return kExitFailure;
    if (o.get->parsed()) {
        ctx.out << ShownText(ctx.Settings(), *def) << "\n";
        return kExitOk;
    }
    auto& store = ctx.Settings();
    if (auto error = SetSettingText(store, *def, StoredValue(*def, o.value), ctx.language)) {
        if (IsPortSpeed(*def)) *error = SpeedRefusal(ctx, o.value);
        ctx.err << "dravmer-cli settings: " << o.key << ": " << *error
                << ctx.Say("; nothing was changed\n", "; ничего не изменено\n");
        return kExitFailure;
    }
    store.Flush();
    if (auto status = store.Status(ctx.language)) {
        ctx.err << "dravmer-cli settings: " << *status << "\n";
        return kExitFailure;
    }
    return kExitOk;
}

CommandRun DefineSettings(CLI::App& app, Language language) {
    const Words w(language);
    auto o = std::make_shared<SSettingsOptions>();
    app.require_subcommand(1);
    o->dump = app.add_subcommand("dump", w("print every setting as Section/Value=text",
                                           "вывести все настройки как Раздел/Значение=текст"));
    o->get = app.add_subcommand("get", w("print one setting", "вывести одну настройку"));
    const char* key = w("Section/Value, as settings dump names it",
                        "Раздел/Значение, как их называет settings dump");
    o->get->add_option("KEY", o->key, key)->required();
    o->set = app.add_subcommand("set", w("change one setting (checked before it is written)",
                                         "изменить одну настройку (проверяется до записи)"));
    o->set->add_option("KEY", o->key, key)->required();
    o->set
        ->add_option("VALUE", o->value,
                     w("the new text (-- before a value that starts with -); a port's Speed takes "
                       "the baud rate or its index in the speed table",
                       "новый текст (-- перед значением, которое начинается с -); Speed порта "
                       "принимает скорость в бодах или её номер в таблице скоростей"))
        ->required();
    return [o](CliContext& ctx) { return RunSettings(ctx, *o); };
}

}  // namespace

DRAVMER_CLI_COMMAND("settings", "settings dump | get Section/Value | set Section/Value VALUE",
                    "print, read or change the stored settings",
                    "вывести, прочитать или изменить сохранённые настройки", DefineSettings);

}  // namespace dravmer::cli
