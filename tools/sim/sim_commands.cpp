// The operator's commands on the simulator's stdin: parsing and carrying them out on a line.
#include <cstdio>
#include <sstream>

#include "sim/sim_fault_args.h"
#include "sim/sim_options.h"

namespace dravmer::sim {

using namespace detail;

const char* const kSimCommandHelp =
    "commands (N = replies affected, 0 cancels):\n"
    "  drop N              the next N replies are lost\n"
    "  crc N               the next N replies have a broken CRC\n"
    "  address N           the next N replies carry another device address\n"
    "  command N           the next N replies carry another command\n"
    "  result CODE [N]     the next N (1) replies report device result CODE (1..255)\n"
    "  transit CODE [N]    the next N (1) transit replies report status CODE (1..31)\n"
    "  slow MS [N]         the next N (1) replies come MS milliseconds late\n"
    "  loss PERCENT        lose that share of the replies at random (0 stops)\n"
    "  noise N             a few random bytes precede each of the next N replies\n"
    "  off ADDRESS         switch a device off: it hears and answers nothing\n"
    "  on ADDRESS          switch it on again\n"
    "  list                devices with address, power and cycle\n"
    "  faults              the faults still pending\n"
    "  help                this text\n"
    "  quit                stop serving";

bool ParseSimCommand(const std::string& text, SSimCommand& command, std::string& error) {
    std::istringstream in(text);
    std::vector<std::string> words;
    for (std::string w; in >> w;) words.push_back(w);
    if (words.empty()) {
        error = "empty command; type help";
        return false;
    }
    struct SEntry {
        const char* name;
        ESimCommand kind;
        int minArgs;
        int maxArgs;
    };
    static const SEntry kCommands[] = {
        {"drop", ESimCommand::Drop, 1, 1},       {"crc", ESimCommand::Crc, 1, 1},
        {"address", ESimCommand::Address, 1, 1}, {"command", ESimCommand::Command, 1, 1},
        {"result", ESimCommand::Result, 1, 2},   {"transit", ESimCommand::Transit, 1, 2},
        {"slow", ESimCommand::Slow, 1, 2},       {"loss", ESimCommand::Loss, 1, 1},
        {"noise", ESimCommand::Noise, 1, 1},     {"off", ESimCommand::Off, 1, 1},
        {"on", ESimCommand::On, 1, 1},           {"list", ESimCommand::List, 0, 0},
        {"faults", ESimCommand::Faults, 0, 0},   {"help", ESimCommand::Help, 0, 0},
        {"quit", ESimCommand::Quit, 0, 0},
    };
    const SEntry* entry = nullptr;
    for (const SEntry& e : kCommands) {
        if (words[0] == e.name) entry = &e;
    }
    if (!entry) {
        error = "unknown command " + words[0] + "; type help";
        return false;
    }
    const int given = static_cast<int>(words.size()) - 1;
    if (given < entry->minArgs || given > entry->maxArgs) {
        error = words[0] + (entry->maxArgs == 0 ? " takes no argument"
                            : given < entry->minArgs
                                ? " needs a value"
                                : " takes at most " + std::to_string(entry->maxArgs) + " values");
        return false;
    }
    SSimCommand out;
    out.kind = entry->kind;
    auto value = [&](const std::string& what, std::uint64_t low, std::uint64_t high) {
        std::uint64_t n = 0;
        if (!ParseNumber(words[1], low, high, n)) {
            error = RangeError(words[0] + " " + what, words[1], low, high);
            return false;
        }
        out.value = static_cast<std::uint32_t>(n);
        return true;
    };
    auto count = [&]() {
        std::uint64_t n = 1;
        if (words.size() > 2 && !ParseNumber(words[2], 0, kMaxCount, n)) {
            error = RangeError(words[0] + " count", words[2], 0, kMaxCount);
            return false;
        }
        out.count = static_cast<int>(n);
        return true;
    };
    bool ok = true;
    switch (out.kind) {
        case ESimCommand::Drop:
        case ESimCommand::Crc:
        case ESimCommand::Address:
        case ESimCommand::Command:
        case ESimCommand::Noise:
            ok = value("count", 0, kMaxCount);
            break;
        case ESimCommand::Result:
            ok = value("code", kResultCode.low, kResultCode.high) && count();
            break;
        case ESimCommand::Transit:
            ok = value("status", kTransitCode.low, kTransitCode.high) && count();
            break;
        case ESimCommand::Slow:
            ok = value("milliseconds", kSlowMs.low, kSlowMs.high) && count();
            break;
        case ESimCommand::Loss:
            ok = value("percent", 0, 100);
            break;
        case ESimCommand::Off:
        case ESimCommand::On:
            ok = value("address", 1, kMaxAddress);
            break;
        default:
            break;
    }
    if (!ok) return false;
    command = out;
    return true;
}

namespace {

std::string DescribeFaults(const SFaults& f) {
    char text[512];
    std::snprintf(text, sizeof text,
                  "drop %d, crc %d, address %d, command %d, result %u x %d, transit %u x %d, "
                  "slow %d ms x %d, loss %d%%, noise %d",
                  f.dropReplies, f.corruptCrc, f.wrongAddress, f.wrongCommand, f.resultCode,
                  f.deviceResult, f.transitCode, f.transitStatus, f.slowMs, f.slowReplies,
                  f.lossPercent, f.noiseReplies);
    return text;
}

std::string DescribeDevices(const CSimLine& line) {
    std::string text = "address     power cycle";
    for (const SDeviceState& d : line.DeviceStates()) {
        char row[96];
        std::snprintf(row, sizeof row, "\n%-10u  %-5s %5u%s", d.address, d.powered ? "on" : "off",
                      d.cycle, d.behindTransit ? "  behind transit" : "");
        text += row;
    }
    if (line.TransitAddress() != 0) {
        text += "\ntransit device " + std::to_string(line.TransitAddress());
    }
    return text;
}

}  // namespace

bool ApplySimCommand(const SSimCommand& command, CSimLine& line, std::string& answer) {
    switch (command.kind) {
        case ESimCommand::Off:
        case ESimCommand::On: {
            CSimDevice* device = line.Find(command.value);
            if (!device) {
                answer = "no device " + std::to_string(command.value) + " on this line";
                return false;
            }
            const bool on = command.kind == ESimCommand::On;
            device->SetPowered(on);
            answer = "device " + std::to_string(command.value) + (on ? " on" : " off");
            return true;
        }
        case ESimCommand::List:
            answer = DescribeDevices(line);
            return true;
        case ESimCommand::Faults:
            answer = "pending: " + DescribeFaults(line.Faults());
            return true;
        case ESimCommand::Help:
            answer = kSimCommandHelp;
            return true;
        case ESimCommand::Quit:
            answer = "quitting";
            return true;
        case ESimCommand::Transit:
            if (line.TransitAddress() == 0) {
                answer = "this line has no transit device";
                return false;
            }
            break;
        default:
            break;
    }
    SFaults now;
    line.UpdateFaults([&](SFaults& faults) {
        ArmFault(command.kind, command.value, command.count, faults);
        now = faults;
    });
    answer = "pending: " + DescribeFaults(now);
    return true;
}

}  // namespace dravmer::sim
