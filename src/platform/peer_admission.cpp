#include "platform/peer_admission.h"

#include <algorithm>

namespace dravmer {

SAdmissionVerdict Admit(const std::vector<SAdmittedConnection>& live, const std::string& host,
                        const SAdmissionLimits& limits, SAdmittedConnection::Clock::time_point now) {
    using Clock = SAdmittedConnection::Clock;
    const auto fromPeer = std::count_if(live.begin(), live.end(),
                                        [&](const SAdmittedConnection& c) { return c.host == host; });
    if (fromPeer >= limits.maxPerPeer) return {EAdmission::kRefusePeer};
    if (static_cast<int>(live.size()) < limits.maxClients) return {EAdmission::kTake};

    const SAdmittedConnection* longest = nullptr;
    const SAdmittedConnection* quietest = nullptr;
    for (const SAdmittedConnection& c : live) {
        if (c.quietSince == Clock::time_point::max()) continue;  // answering a request
        if (!c.proven && c.since + limits.unprovenGrace <= now &&
            (!longest || c.serial < longest->serial)) {
            longest = &c;
        }
        if (!quietest || c.quietSince < quietest->quietSince) quietest = &c;
    }
    if (longest) {
        return {EAdmission::kTakeInPlace, static_cast<std::size_t>(longest - live.data()), false};
    }
    if (quietest && limits.quietGrace.count() >= 0 &&
        quietest->quietSince + limits.quietGrace <= now) {
        return {EAdmission::kTakeInPlace, static_cast<std::size_t>(quietest - live.data()), true};
    }
    return {EAdmission::kRefuseFull};
}

}  // namespace dravmer
