// The simulator's command line and its operator commands. The first byte chooses which: the
// command line gets the rest split at zero bytes into arguments; the operator commands get one
// command per line, and those that parse are carried out on a small line with a transit device.
#include <cstdint>
#include <string>
#include <vector>

#include "sim/sim_line.h"
#include "sim/sim_options.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace dravmer::sim;
    if (size < 1) return 0;
    const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);

    if ((data[0] & 1) == 0) {
        std::vector<std::string> args;
        std::size_t at = 0;
        for (;;) {
            const std::size_t end = text.find('\0', at);
            args.push_back(text.substr(at, end == std::string::npos ? std::string::npos : end - at));
            if (end == std::string::npos) break;
            at = end + 1;
        }
        SSimOptions options;
        std::string error;
        if (ParseSimOptions(args, options, error)) {
            if (!error.empty()) __builtin_trap();
            // Help and the version end the parse where they stand: the program prints and
            // exits, and what followed them was never read.
            if (options.help || options.version) return 0;
            if (options.devices < 0 || options.devices > 100) __builtin_trap();
            if (options.tcpPort < 0 || options.tcpPort > 65535) __builtin_trap();
        } else if (error.empty()) {
            __builtin_trap();  // a refusal always says why
        }
        return 0;
    }

    SLineConfig config;
    config.transitAddress = 4100001;
    CSimLine line(config);
    line.AddDevices(2, 4000001, 1);
    std::size_t at = 0;
    while (at <= text.size()) {
        std::size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        const std::string command = text.substr(at, end - at);
        at = end + 1;
        SSimCommand parsed;
        std::string error;
        if (!ParseSimCommand(command, parsed, error)) {
            if (error.empty()) __builtin_trap();
            continue;
        }
        std::string answer;
        ApplySimCommand(parsed, line, answer);
    }
    return 0;
}
