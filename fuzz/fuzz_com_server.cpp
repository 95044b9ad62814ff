// COM-server messages in both directions: what a port receives from a server and what the
// simulated server receives from a port go through the same splitter. Each message taken is
// then consumed the way both sides consume it, and rebuilt to check that the splitter and the
// builder agree on the fields a peer relies on.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "link/com_server_message.h"
#include "sim/sim_line.h"

namespace {

using namespace dravmer;

constexpr std::size_t kClientNameSize = 128;

void Consume(const SComServerMessage& m, sim::CSimLine& line) {
    // The port's side: client names from a type 4 list.
    if (m.type == kCsClients) {
        std::vector<std::string> names;
        for (std::size_t at = 0; at + kClientNameSize <= m.data.size(); at += kClientNameSize) {
            const char* name = reinterpret_cast<const char*>(m.data.data() + at);
            names.emplace_back(name, strnlen(name, kClientNameSize));
        }
    }
    // The server's side: the client's host name from its type 5 answer, frames to the line.
    if (m.type == kCsConnect && m.data.size() > 1) {
        const char* name = reinterpret_cast<const char*>(m.data.data() + 1);
        const std::string host(name, strnlen(name, m.data.size() - 1));
    }
    if (m.type == kCsFrame || m.type == kCsPollFrame) {
        const std::vector<std::uint8_t> reply = line.Exchange(m.data);
        SComServerMessage out;
        out.type = m.type;
        out.data = reply;
        const std::vector<std::uint8_t> bytes = BuildComServerMessage(out);
        const auto again = ParseComServerMessages(bytes.data(), static_cast<int>(bytes.size()));
        if (again.size() != 1 || again[0].data != reply) __builtin_trap();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > static_cast<std::size_t>(4 * kComServerMaxMessage)) return 0;
    const int length = static_cast<int>(size);
    const std::vector<SComServerMessage> messages = ParseComServerMessages(data, length);

    // A server in front of a line with a transit device; odd sizes get a plain line.
    sim::SLineConfig config;
    if (size % 2 == 0) config.transitAddress = 4100001;
    sim::CSimLine line(config);
    line.AddDevices(3, 4000001, 1);
    for (const SComServerMessage& m : messages) {
        if (m.data.size() > size) __builtin_trap();
        Consume(m, line);
        // Rebuilt messages that carry their data length keep type, status, clients and data.
        if (m.type == kCsFrame || m.type == kCsPollFrame || m.type == kCsClients) {
            const std::vector<std::uint8_t> bytes = BuildComServerMessage(m);
            const auto again = ParseComServerMessages(bytes.data(), static_cast<int>(bytes.size()));
            if (again.size() != 1) __builtin_trap();
            const SComServerMessage& r = again[0];
            if (r.type != m.type || r.status != m.status || r.clients != m.clients ||
                r.data != m.data) {
                __builtin_trap();
            }
        }
    }
    return 0;
}
