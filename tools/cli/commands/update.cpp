// update check [--server HOST[:PORT]] [--json]: asks the update server whether a newer release
// of the bench program is there.
#include <nlohmann/json.hpp>
#include <ostream>

#include "cli/cli.h"
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

int RunUpdate(CliContext& ctx, const std::vector<std::string>& argsIn) {
    std::vector<std::string> args = argsIn;
    const bool json = TakeFlag(args, "--json");
    std::string server, error;
    const bool given = TakeOption(args, "--server", server, error);
    if (!error.empty() || args.size() != 1 || args[0] != "check" || (given && server.empty())) {
        ctx.err << "dravmer-cli update: check [--server HOST[:PORT]] [--json]"
                << (error.empty() ? "" : " (" + error + ")") << "\n";
        return kExitUsage;
    }
    if (!given) server = UpdateServerFromSettings(ctx.Settings());
    if (server.empty()) {
        ctx.err << "dravmer-cli update: no update server is configured (--server HOST[:PORT], or "
                   "settings set UpdateVersionSettings/Server HOST)\n";
        return kExitFailure;
    }
    std::string host;
    int port = kFileServerTcpPort;
    if (!ParseServerAddress(server, host, port)) {
        ctx.err << "dravmer-cli update: '" << server << "' is not HOST or HOST:PORT (port 1..65535)\n";
        return kExitUsage;
    }

    // The bench program beside this one is what the server is asked about.
    SUpdateConfig config;
    config.executable = ExecutableDir() / kProgramName;
    config.fileName = kProgramName;
    CUpdateService service(config);
    service.SetServerName(host, port);
    const SCheckResult r = service.CheckNow(kConnectLimitMs);
    const std::string message =
        r.result < 0 ? "no connection within 5 s" : QueryResultText(r.result);
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
        ctx.out << "current version: " << service.VersionText() << "\n"
                << "server: " << host << ":" << port << "\n"
                << "server version: " << (r.described ? serverVersion : "unknown (" + message + ")")
                << "\n"
                << "update offered: " << (r.offered ? "yes" : "no") << "\n";
    }
    if (r.packageManaged) {
        ctx.err << "dravmer-cli update: this installation cannot be written by its user; updates "
                   "come from the package manager\n";
    }
    return ServerNotAsked(r.result) ? kExitFailure : kExitOk;
}

}  // namespace

DRAVMER_CLI_COMMAND("update", "update check [--server HOST[:PORT]] [--json]",
                    "ask the update server for a newer release of the bench program", RunUpdate);

}  // namespace dravmer::cli
