#include "sim/sim_options.h"

#include <CLI/CLI.hpp>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <sstream>

#include "dravmer_version.h"
#include "link/frame.h"
#include "sim/sim_fault_args.h"

namespace dravmer::sim {

using namespace detail;

namespace {

// "CODE[:N]" of the command line; `option` (may be empty) is named in the message.
bool ParseCodeAndCount(const std::string& option, const std::string& text,
                       const SFaultArgument& arg, std::uint32_t& value, int& count,
                       std::string& error) {
    const std::size_t colon = text.find(':');
    const std::string head = text.substr(0, colon);
    std::uint64_t v = 0, n = 1;
    if (!ParseNumber(head, arg.low, arg.high, v)) {
        error = RangeError(option.empty() ? arg.name : option + " (" + arg.name + ")", head,
                           arg.low, arg.high);
        return false;
    }
    if (colon != std::string::npos) {
        const std::string tail = text.substr(colon + 1);
        if (!ParseNumber(tail, 0, kMaxCount, n)) {
            error = RangeError(option.empty() ? "count" : option + " (count)", tail, 0, kMaxCount);
            return false;
        }
    }
    value = static_cast<std::uint32_t>(v);
    count = static_cast<int>(n);
    return true;
}

bool CheckAddresses(const SSimOptions& o, std::string& error) {
    if (o.devices == 0) return true;
    const std::uint64_t last =
        o.first + static_cast<std::uint64_t>(o.devices - 1) * static_cast<std::uint64_t>(o.step);
    if (last > kMaxAddress) {
        error = "device addresses run past " + std::to_string(kMaxAddress) + " (last would be " +
                std::to_string(last) + ")";
        return false;
    }
    for (int i = 0; i < o.devices; ++i) {
        const std::uint32_t address = o.first + static_cast<std::uint32_t>(i) * o.step;
        if (IsReservedAddress(address)) {
            error = "device address " + std::to_string(address) + " is a reserved search address";
            return false;
        }
        if (o.transit != 0 && address == o.transit) {
            error = "device address " + std::to_string(address) + " is the transit address";
            return false;
        }
    }
    if (IsReservedAddress(o.transit)) {
        error = "transit address " + std::to_string(o.transit) + " is a reserved search address";
        return false;
    }
    return true;
}

}  // namespace

namespace {

// A number option read by ParseNumber (decimal or 0x hexadecimal), not by CLI11's conversion,
// which would read "08" as a failed octal number.
CLI::Validator NumberIn(std::uint64_t low, std::uint64_t high) {
    return CLI::Validator(
        [=](std::string& text) -> std::string {
            std::uint64_t n = 0;
            if (ParseNumber(text, low, high, n)) return {};
            return "bad value " + text + " (expected " + std::to_string(low) + ".." +
                   std::to_string(high) + ")";
        },
        std::to_string(low) + ".." + std::to_string(high));
}

std::uint64_t Number(const std::string& text) {
    std::uint64_t n = 0;
    ParseNumber(text, 0, UINT64_MAX, n);  // checked by NumberIn already
    return n;
}

// "CODE[:N]" of a fault option.
CLI::Validator CodeAndCount(const SFaultArgument& arg) {
    return CLI::Validator(
        [arg](std::string& text) -> std::string {
            std::uint32_t value = 0;
            int count = 0;
            std::string error;
            if (ParseCodeAndCount("", text, arg, value, count, error)) return {};
            return error;
        },
        "");
}

// Every option of the command line, writing into o. The options the checks after parsing need
// are handed back.
struct SSimOptionSet {
    CLI::Option* pty = nullptr;
    CLI::Option* tcp = nullptr;
    CLI::Option* comserver = nullptr;
    CLI::Option* transitStatus = nullptr;
};

SSimOptionSet DefineSimOptions(CLI::App& app, SSimOptions& o) {
    SSimOptionSet set;
    app.set_help_flag("-h,--help", "print this help");
    app.set_version_flag("--version", std::string(kProgramVersion), "print the program version");
    auto value = [&](const std::string& name, const std::string& description,
                     std::function<void(const std::string&)> store) {
        return app.add_option_function<std::string>(name, std::move(store), description)
            ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    };
    auto number = [&](const std::string& name, std::uint64_t low, std::uint64_t high,
                      const std::string& description, std::function<void(std::uint64_t)> store) {
        return value(name, description, [store](const std::string& text) { store(Number(text)); })
            ->check(NumberIn(low, high));
    };
    auto counted = [&](const std::string& name, ESimCommand kind, const std::string& description) {
        number(name, 0, kMaxCount, description, [&o, kind](std::uint64_t n) {
            ArmFault(kind, static_cast<std::uint32_t>(n), 0, o.faults);
        })->type_name("N");
    };
    auto coded = [&](const std::string& name, ESimCommand kind, const SFaultArgument& arg,
                     const std::string& description) {
        return value(name, description,
                     [&o, kind, arg, name](const std::string& text) {
                         std::uint32_t v = 0;
                         int count = 0;
                         std::string unused;
                         if (ParseCodeAndCount(name, text, arg, v, count, unused))
                             ArmFault(kind, v, count, o.faults);
                     })
            ->check(CodeAndCount(arg))
            ->type_name(kind == ESimCommand::Slow ? "MS[:N]" : "CODE[:N]");
    };

    set.pty = app.add_flag_callback("--pty", [&o] { o.mode = ESimMode::Pty; },
                                    "on a pseudo-terminal; prints its path (the default)");
    set.tcp = number("--tcp", 0, 65535,
                     "raw request frames on 127.0.0.1:PORT, one client at a time (a new "
                     "connection replaces the old one); 0 picks a free port; prints HOST:PORT",
                     [&o](std::uint64_t n) {
                         o.mode = ESimMode::Tcp;
                         o.tcpPort = static_cast<int>(n);
                     })
                  ->type_name("PORT");
    set.comserver = number("--comserver", 0, 65535,
                           "as a COM server on 127.0.0.1:PORT; 0 picks a free port",
                           [&o](std::uint64_t n) {
                               o.mode = ESimMode::ComServer;
                               o.tcpPort = static_cast<int>(n);
                           })
                        ->type_name("PORT");
    value("--log",
          "append a line UNIX_MS ADDRESS CYCLE MODE to FILE for every measurement reply "
          "(ADC mode 0 or 1) sent untouched by a fault",
          [&o](const std::string& path) { o.logPath = path; })
        ->type_name("FILE");
    value("--link", "also make PATH a symbolic link to the pseudo-terminal",
          [&o](const std::string& text) { o.linkPath = text; })
        ->type_name("PATH");
    number("--devices", 0, 100,
           "how many devices (default 1, or 3 behind --transit), addresses --first, "
           "--first + --step, ...",
           [&o](std::uint64_t n) { o.devices = static_cast<int>(n); })
        ->type_name("N");
    number("--first", 1, kMaxAddress, "address of the first device (4000001)",
           [&o](std::uint64_t n) { o.first = static_cast<std::uint32_t>(n); })
        ->type_name("ADDRESS");
    number("--step", 1, 1000000, "between the devices' addresses (1)",
           [&o](std::uint64_t n) { o.step = static_cast<std::uint32_t>(n); })
        ->type_name("N");
    number("--transit", 1, kMaxAddress, "put the devices behind a transit device with that address",
           [&o](std::uint64_t n) { o.transit = static_cast<std::uint32_t>(n); })
        ->type_name("ADDRESS");
    number("--transit-kind", 0, 255,
           "identity kind of the transit device (4; 16 = not usable as transit)",
           [&o](std::uint64_t n) { o.transitKind = static_cast<int>(n); })
        ->type_name("K");
    number("--baud", 110, 4000000, "wire speed whose byte time the replies take (115200)",
           [&o](std::uint64_t n) { o.baud = static_cast<int>(n); })
        ->type_name("B");
    counted("--drop", ESimCommand::Drop, "the next N replies are lost");
    counted("--bad-crc", ESimCommand::Crc, "the next N replies have a broken CRC");
    counted("--wrong-address", ESimCommand::Address,
            "the next N replies carry another device address");
    counted("--wrong-command", ESimCommand::Command, "the next N replies carry another command");
    counted("--noise", ESimCommand::Noise, "a few random bytes precede each of the next N replies");
    coded("--device-result", ESimCommand::Result, kResultCode,
          "the next N (1) replies report CODE (1..255) in the device's result byte");
    set.transitStatus = coded("--transit-status", ESimCommand::Transit, kTransitCode,
                              "the next N (1) transit replies report status CODE (1..31)");
    coded("--slow", ESimCommand::Slow, kSlowMs,
          "the next N (1) replies come MS (1..60000) milliseconds late (pty and tcp)");
    number("--loss", 0, 100, "drop that share of the replies at random",
           [&o](std::uint64_t n) { o.faults.lossPercent = static_cast<int>(n); })
        ->type_name("PERCENT");
    return set;
}

void DescribeApp(CLI::App& app) {
    app.description(
        "Serves N simulated devices (default 1; 3 behind a transit device) and prints one line "
        "telling where.");
    app.footer(
        "While serving, commands on stdin change the faults and devices; type help.\n"
        "Numbers are decimal or 0x-prefixed hexadecimal.");
}

}  // namespace

std::string SimUsage() {
    CLI::App app{"", "dravmer-sim"};
    SSimOptions unused;
    DefineSimOptions(app, unused);
    DescribeApp(app);
    return app.help();
}

bool ParseSimOptions(const std::vector<std::string>& args, SSimOptions& o, std::string& error) {
    CLI::App app{"", "dravmer-sim"};
    const SSimOptionSet set = DefineSimOptions(app, o);
    try {
        std::vector<std::string> reversed(args.rbegin(), args.rend());  // CLI11 takes them last first
        app.parse(reversed);
    } catch (const CLI::CallForHelp&) {
        o.help = true;
        return true;
    } catch (const CLI::CallForVersion&) {
        o.version = true;
        return true;
    } catch (const CLI::Error& e) {
        const std::vector<std::string> left = app.remaining();
        error = left.empty() ? e.what()
                : left.front().rfind('-', 0) == 0 ? "unknown option " + left.front()
                                                  : "unexpected argument " + left.front();
        if (error.empty()) error = "the command line could not be read";
        return false;
    } catch (const std::exception& e) {
        error = std::string("the command line could not be read: ") + e.what();
        return false;
    }
    if (set.pty->count() + set.tcp->count() + set.comserver->count() > 1) {
        error = "choose one of --pty, --tcp and --comserver";
        return false;
    }
    if (!o.linkPath.empty() && o.mode != ESimMode::Pty) {
        error = "--link names a pseudo-terminal and goes with --pty only";
        return false;
    }
    if (o.devices < 0)
        o.devices = o.transit ? SSimOptions::kDefaultDevicesBehindTransit
                              : SSimOptions::kDefaultDevicesDirect;
    if (set.transitStatus->count() > 0 && o.transit == 0) {
        error = "--transit-status needs a transit device (--transit ADDRESS)";
        return false;
    }
    return CheckAddresses(o, error);
}

std::string SimLineWarning(const SSimOptions& o) {
    if (o.transit != 0 || o.devices <= 1) return {};
    return std::to_string(o.devices) +
           " devices directly on the line answer a search together, so a bench finds none of "
           "them (each still answers its own address); put them behind a transit device with "
           "--transit ADDRESS to have them found";
}

}  // namespace dravmer::sim
