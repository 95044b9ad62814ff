#pragma once
// Who a server lets in. A peer address holds at most maxPerPeer connections at a time. A full
// server makes room for a newcomer by letting go, in this order of preference:
//  1. the longest-connected connection that has not finished a real exchange (each server says
//     what counts as one), once it has been there unprovenGrace (time to finish its first);
//  2. the longest-connected connection of the address holding the most connections, when that
//     address holds at least two more than the newcomer's (and so keeps at least as many as the
//     newcomer's once it has given up one): a few computers that fill the server with
//     exchanges of their own cannot keep another one out. Again once it has been there
//     unprovenGrace;
//  3. the connection quiet longest, if it has done nothing for quietGrace;
// else the newcomer is refused. A connection busy answering a request is never let go. Pure:
// the servers describe their connections, the rule answers.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace dravmer {

struct SAdmissionLimits {
    int maxClients = 32;
    int maxPerPeer = 8;
    std::chrono::milliseconds unprovenGrace{2000};
    std::chrono::milliseconds quietGrace{-1};  // negative: a quiet connection is never let go
};

struct SAdmittedConnection {
    using Clock = std::chrono::steady_clock;
    std::string host;          // the peer's address without its port
    std::uint64_t serial = 0;  // order of arrival: a smaller one came earlier
    Clock::time_point since{};
    bool proven = false;  // has finished a real exchange
    // Since when it has done nothing; Clock::time_point::max() while it answers a request.
    Clock::time_point quietSince{};
};

enum class EAdmission {
    kTake,         // room left
    kTakeInPlace,  // let go of `evict`, then take the newcomer
    kRefusePeer,   // its address holds maxPerPeer connections already
    kRefuseFull,   // full, and nobody may be let go
};

enum class ELetGo { kNone, kUnproven, kOverShare, kQuiet };  // the three preferences

struct SAdmissionVerdict {
    EAdmission what = EAdmission::kTake;
    std::size_t evict = 0;  // index into the connections, for kTakeInPlace
    ELetGo why = ELetGo::kNone;
};

SAdmissionVerdict Admit(const std::vector<SAdmittedConnection>& live, const std::string& host,
                        const SAdmissionLimits& limits, SAdmittedConnection::Clock::time_point now);

}  // namespace dravmer
