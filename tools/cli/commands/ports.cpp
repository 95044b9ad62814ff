// ports [--json]: the serial lines of this computer, stable by-id names first, with the USB
// adapter behind each where the system knows it, and what to do about a line the user may not
// open.
#include <nlohmann/json.hpp>
#include <ostream>

#include "cli/cli.h"
#include "cli/cli_options.h"
#include "platform/serial_devices.h"

namespace dravmer::cli {
namespace {

struct SPortsOptions {
    bool json = false;
    std::string root = "/";  // tests fake /dev and /sys under a folder of their own
};

nlohmann::json TextOrNull(const std::string& text) {
    return text.empty() ? nlohmann::json(nullptr) : nlohmann::json(text);
}

// "FTDI FT232R USB UART [0403:6001]", as much of it as is known.
std::string Adapter(const SSerialDevice& d) {
    std::string text = d.vendor;
    if (!d.product.empty()) text += (text.empty() ? "" : " ") + d.product;
    if (!d.vendorId.empty())
        text += (text.empty() ? "[" : " [") + d.vendorId + ":" + d.productId + "]";
    return text;
}

int RunPorts(CliContext& ctx, const SPortsOptions& o) {
    const std::vector<SSerialDevice> devices = ListSerialDevices(o.root);
    if (o.json) {
        nlohmann::json list = nlohmann::json::array();
        for (const auto& d : devices) {
            const std::string hint = SerialAccessHint(d.path, o.root, ctx.language);
            list.push_back({{"path", d.path},
                            {"by_id", TextOrNull(d.byId)},
                            {"vendor", TextOrNull(d.vendor)},
                            {"product", TextOrNull(d.product)},
                            {"vendor_id", TextOrNull(d.vendorId)},
                            {"product_id", TextOrNull(d.productId)},
                            {"driver", TextOrNull(d.driver)},
                            {"access", hint.empty()},
                            {"hint", TextOrNull(hint)}});
        }
        ctx.out << list.dump(2) << "\n";
        return kExitOk;
    }
    if (devices.empty()) {
        ctx.out << ctx.Say("no serial lines found\n", "последовательные линии не найдены\n");
        return kExitOk;
    }
    for (const auto& d : devices) {
        ctx.out << (d.byId.empty() ? d.path : d.byId + " (" + d.path + ")");
        const std::string adapter = Adapter(d);
        std::string about = adapter;
        if (!d.driver.empty())
            about += (about.empty() ? ctx.Say("driver ", "драйвер ")
                                    : ctx.Say(", driver ", ", драйвер ")) +
                     d.driver;
        if (!about.empty()) ctx.out << ": " << about;
        ctx.out << "\n";
        const std::string hint = SerialAccessHint(d.path, o.root, ctx.language);
        if (!hint.empty()) ctx.out << "    " << hint << "\n";
    }
    return kExitOk;
}

CommandRun DefinePorts(CLI::App& app, Language language) {
    const Words w(language);
    auto o = std::make_shared<SPortsOptions>();
    app.add_flag("--json", o->json,
                 w("a JSON array: path, by_id, vendor, product, vendor_id, product_id, driver, "
                   "access, hint",
                   "массив JSON: path, by_id, vendor, product, vendor_id, product_id, driver, "
                   "access, hint"));
    app.add_option("--root", o->root, "")->group("");  // fake /dev and /sys, for tests
    return [o](CliContext& ctx) { return RunPorts(ctx, *o); };
}

}  // namespace

DRAVMER_CLI_COMMAND("ports", "ports [--json]",
                    "the serial lines of this computer, by-id names first, with their adapters",
                    "последовательные линии этого компьютера, сначала имена by-id, с их адаптерами",
                    DefinePorts);

}  // namespace dravmer::cli
