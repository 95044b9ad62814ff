#include "platform/peer_admission.h"

#include <algorithm>
#include <map>

namespace dravmer {

SAdmissionVerdict Admit(const std::vector<SAdmittedConnection>& live, const std::string& host,
                        const SAdmissionLimits& limits, SAdmittedConnection::Clock::time_point now) {
    using Clock = SAdmittedConnection::Clock;
    std::map<std::string, int> perPeer;
    for (const SAdmittedConnection& c : live) ++perPeer[c.host];
    const auto found = perPeer.find(host);
    const int fromPeer = found == perPeer.end() ? 0 : found->second;
    if (fromPeer >= limits.maxPerPeer) return {EAdmission::kRefusePeer};
    if (static_cast<int>(live.size()) < limits.maxClients) return {EAdmission::kTake};

    const auto place = [&](const SAdmittedConnection* c, ELetGo why) {
        return SAdmissionVerdict{EAdmission::kTakeInPlace,
                                 static_cast<std::size_t>(c - live.data()), why};
    };
    // Who may be let go at all: not while it answers a request, nor before it had its chance.
    const auto mayGo = [&](const SAdmittedConnection& c) {
        return c.quietSince != Clock::time_point::max() && c.since + limits.unprovenGrace <= now;
    };
    const SAdmittedConnection* longest = nullptr;
    for (const SAdmittedConnection& c : live) {
        if (!c.proven && mayGo(c) && (!longest || c.serial < longest->serial)) longest = &c;
    }
    if (longest) return place(longest, ELetGo::kUnproven);

    // The address holding the most connections that may go (on a tie, the longest there).
    const SAdmittedConnection* hog = nullptr;
    for (const SAdmittedConnection& c : live) {
        const int held = perPeer[c.host];
        if (!mayGo(c) || held < fromPeer + 2) continue;
        if (!hog || held > perPeer[hog->host] ||
            (held == perPeer[hog->host] && c.serial < hog->serial)) {
            hog = &c;
        }
    }
    if (hog) return place(hog, ELetGo::kOverShare);

    const SAdmittedConnection* quietest = nullptr;
    for (const SAdmittedConnection& c : live) {
        if (c.quietSince == Clock::time_point::max()) continue;
        if (!quietest || c.quietSince < quietest->quietSince) quietest = &c;
    }
    if (quietest && limits.quietGrace.count() >= 0 &&
        quietest->quietSince + limits.quietGrace <= now) {
        return place(quietest, ELetGo::kQuiet);
    }
    return {EAdmission::kRefuseFull};
}

}  // namespace dravmer
