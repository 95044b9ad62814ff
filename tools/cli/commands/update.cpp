// update check [--server HOST[:PORT]] [--json]: asks the update server whether a newer release
// of the bench program is there.
#include <nlohmann/json.hpp>
#include <ostream>

#include "cli/cli.h"
#include "cli/cli_options.h"
#include "platform/paths.h"
#include "update/update_service.h"

namespace dravmer::cli {
namespace {

constexpr int kConnectLimitMs = 5000;
constexpr char kProgramName[] = "dravmer";

// Codes the client produces itself: the server was never asked.
bool ServerNotAsked(int result) {
    return result < 0 || (result >= kQrNoServer && result <= kQrReplyTimeout);
}

struct SUpdateOptions {
    std::string server;
    CLI::Option* serverOption = nullptr;
    CLI::Option* serverOptionOfCheck = nullptr;
    bool json = false;
};

int RunUpdate(CliContext& ctx, const SUpdateOptions& o) {
    // The bench program beside this one is what the server is asked about.
    SUpdateConfig config;
    config.executable = ExecutableDir() / kProgramName;
    config.fileName = kProgramName;
    CUpdateService service(config);
    // What a download cut short by a kill left beside the program goes first.
    if (const int removed = service.RemoveStalePartFiles(); removed > 0) {
        ctx.err << "dravmer-cli update: "
                << ctx.Say("removed partial downloads left by a program that ended: ",
                           "удалены недокачанные файлы, оставленные завершившейся программой: ")
                << removed << "\n";
    }
    const bool json = o.json;
    std::string server = o.server;
    const bool given = o.serverOption->count() + o.serverOptionOfCheck->count() > 0;
    if (!given) server = UpdateServerFromSettings(ctx.Settings());
    if (server.empty()) {
        ctx.err << "dravmer-cli update: "
                << ctx.Say(
                       "no update server is configured (--server HOST[:PORT], or settings "
                       "set UpdateVersionSettings/Server HOST)",
                       "сервер обновлений не задан (--server HOST[:PORT] или settings set "
                       "UpdateVersionSettings/Server HOST)")
                << "\n";
        return kExitFailure;
    }
    std::string host;
    int port = kFileServerTcpPort;
    if (!ParseServerAddress(server, host, port)) {
        ctx.err << "dravmer-cli update: '" << server << "' is not HOST or HOST:PORT (port 1..65535)\n";
        return kExitUsage;
    }

    service.SetLanguage(ctx.language);
    service.SetServerName(host, port);
    const SCheckResult r = service.CheckNow(kConnectLimitMs);
    const std::string message = r.result < 0
                                    ? ctx.Say("no connection within 5 s", "нет соединения за 5 с")
                                    : QueryResultText(r.result, ctx.language);
    char serverVersion[16];
    std::snprintf(serverVersion, sizeof serverVersion, "%2.2d.%2.2d", r.serverMajor, r.serverMinor);
    if (json) {
        nlohmann::json j = {{"current", service.VersionText()},
                            {"server", r.described ? nlohmann::json(serverVersion) : nlohmann::json()},
                            {"offered", r.offered},
                            {"result", r.result},
                            {"message", message}};
        ctx.out << j.dump() << "\n";
    } else {
        ctx.out << ctx.Say("current version: ", "текущая версия: ") << service.VersionText() << "\n"
                << ctx.Say("server: ", "сервер: ") << host << ":" << port << "\n"
                << ctx.Say("server version: ", "версия на сервере: ")
                << (r.described ? std::string(serverVersion)
                                : ctx.Say("unknown (", "неизвестна (") + message + ")")
                << "\n"
                << ctx.Say("update offered: ", "обновление предложено: ")
                << (r.offered ? ctx.Say("yes", "да") : ctx.Say("no", "нет")) << "\n";
    }
    if (r.packageManaged) {
        ctx.err << "dravmer-cli update: "
                << ctx.Say(
                       "this installation cannot be written by its user; updates come from "
                       "the package manager",
                       "эта установка недоступна пользователю для записи; обновления приходят "
                       "через менеджер пакетов")
                << "\n";
    }
    return ServerNotAsked(r.result) ? kExitFailure : kExitOk;
}

CLI::Validator ServerAddress(const Words& w) {
    const std::string expected = w("expected HOST or HOST:PORT with PORT 1..65535, not '",
                                   "ожидается HOST или HOST:PORT, PORT 1..65535, а не '");
    return CLI::Validator(
        [expected](std::string& text) -> std::string {
            std::string host;
            int port = 0;
            if (ParseServerAddress(text, host, port)) return {};
            return expected + text + "'";
        },
        "HOST[:PORT]");
}

CommandRun DefineUpdate(CLI::App& app, Language language) {
    const Words w(language);
    auto o = std::make_shared<SUpdateOptions>();
    app.require_subcommand(1);
    CLI::App* check = app.add_subcommand(
        "check", w("ask the server; the exit code is 0 whether or not an update is offered",
                   "спросить сервер; код завершения 0, предложено обновление или нет"));
    // The options are taken before "check" as well as after it.
    for (CLI::App* at : {&app, check}) {
        CLI::Option* server =
            at->add_option("--server", o->server,
                           w("the update server (else the one in the settings); PORT 1..65535, "
                             "34001 when left out",
                             "сервер обновлений (иначе из настроек); PORT 1..65535, 34001, "
                             "если не указан"))
                ->check(ServerAddress(w));
        (at == check ? o->serverOptionOfCheck : o->serverOption) = server;
        at->add_flag("--json", o->json,
                     w("one JSON object: current, server, offered, result, message",
                       "один объект JSON: current, server, offered, result, message"));
    }
    return [o](CliContext& ctx) { return RunUpdate(ctx, *o); };
}

}  // namespace

DRAVMER_CLI_COMMAND("update", "update check [--server HOST[:PORT]] [--json]",
                    "ask the update server for a newer release of the bench program",
                    "спросить сервер обновлений, есть ли более новая версия программы стенда",
                    DefineUpdate);

}  // namespace dravmer::cli
