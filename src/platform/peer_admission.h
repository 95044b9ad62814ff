#pragma once
// Who a server lets in. A peer address holds at most maxPerPeer connections at a time. A full
// server makes room for a newcomer by letting go of the longest-connected connection that has
// not finished a real exchange (each server says what counts as one), once that connection has
// been there unprovenGrace (time to finish its first exchange); failing such a one, of the
// connection quiet longest if it has done nothing for quietGrace; else the newcomer is refused.
// A connection busy answering a request is never let go. Pure: the servers describe their
// connections, the rule answers.
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

struct SAdmissionVerdict {
    EAdmission what = EAdmission::kTake;
    std::size_t evict = 0;  // index into the connections, for kTakeInPlace
    bool quiet = false;     // let go for being quiet longest, not for lacking a real exchange
};

SAdmissionVerdict Admit(const std::vector<SAdmittedConnection>& live, const std::string& host,
                        const SAdmissionLimits& limits, SAdmittedConnection::Clock::time_point now);

}  // namespace dravmer
