// Who a server lets in: the limit per address, and whom a full server lets go for a newcomer.
#include "platform/peer_admission.h"

#include <gtest/gtest.h>

namespace dravmer {
namespace {

using Clock = SAdmittedConnection::Clock;
using std::chrono::milliseconds;

const Clock::time_point kNow = Clock::time_point(std::chrono::hours(1000));
constexpr Clock::time_point kBusy = Clock::time_point::max();

// A connection from host, the serial-th to arrive, there for ageMs, quiet for quietMs.
SAdmittedConnection Conn(const std::string& host, std::uint64_t serial, int ageMs, bool proven,
                         int quietMs = 0) {
    return {host, serial, kNow - milliseconds(ageMs), proven, kNow - milliseconds(quietMs)};
}

struct SCase {
    const char* what;
    std::vector<SAdmittedConnection> live;
    std::string newcomer;
    EAdmission verdict;
    std::size_t evict = 0;
    ELetGo why = ELetGo::kUnproven;
};

TEST(PeerAdmission, LimitPerPeerThenWithoutARealExchangeThenTheLargestHolderThenQuietest) {
    SAdmissionLimits limits;
    limits.maxClients = 4;
    limits.maxPerPeer = 3;
    limits.unprovenGrace = milliseconds(2000);
    limits.quietGrace = milliseconds(5000);
    const std::vector<SCase> cases = {
        {"room left", {Conn("a", 1, 100, false)}, "b", EAdmission::kTake},
        {"room left but the address holds its limit",
         {Conn("a", 1, 100, false), Conn("a", 2, 100, true), Conn("a", 3, 100, true)},
         "a",
         EAdmission::kRefusePeer},
        {"the limit counts the address alone, not other addresses",
         {Conn("a", 1, 100, false), Conn("b", 2, 100, true), Conn("b", 3, 100, true)},
         "b",
         EAdmission::kTake},
        {"full: the longest-connected without a real exchange goes, not a longer proven one",
         {Conn("a", 1, 9000, true), Conn("b", 5, 3000, false), Conn("c", 3, 4000, false),
          Conn("d", 4, 3500, true)},
         "e",
         EAdmission::kTakeInPlace,
         2},
        {"full: arrival order decides between equal ages",
         {Conn("a", 7, 3000, false), Conn("b", 6, 3000, false), Conn("c", 8, 3000, false),
          Conn("d", 9, 3000, true)},
         "e",
         EAdmission::kTakeInPlace,
         1},
        {"full: one younger than the grace has not had its chance yet",
         {Conn("a", 1, 1999, false), Conn("b", 2, 1000, false), Conn("c", 3, 500, false),
          Conn("d", 4, 10, false)},
         "e",
         EAdmission::kRefuseFull},
        {"full: one answering a request right now stays",
         {{"a", 1, kNow - milliseconds(9000), false, kBusy}, Conn("b", 2, 2500, false),
          Conn("c", 3, 9000, true), Conn("d", 4, 9000, true)},
         "e",
         EAdmission::kTakeInPlace,
         1},
        {"full of proven ones: the longest-connected of the address holding the most goes",
         {Conn("a", 1, 9000, true), Conn("b", 2, 9000, true), Conn("b", 3, 9000, true),
          Conn("b", 4, 9000, true)},
         "c",
         EAdmission::kTakeInPlace,
         1,
         ELetGo::kOverShare},
        {"...only while it holds at least two more than the newcomer's address",
         {Conn("a", 1, 9000, true), Conn("b", 2, 9000, true), Conn("b", 3, 9000, true),
          Conn("c", 4, 9000, true)},
         "a",
         EAdmission::kRefuseFull},
        {"...and never one younger than the grace",
         {Conn("a", 1, 9000, true), Conn("b", 2, 100, true), Conn("b", 3, 9000, true),
          Conn("b", 4, 100, true)},
         "c",
         EAdmission::kTakeInPlace,
         2,
         ELetGo::kOverShare},
        {"full of proven ones: the one quiet longest goes once quiet long enough",
         {Conn("a", 1, 9000, true, 6000), Conn("b", 2, 9000, true, 8000),
          Conn("c", 3, 9000, true, 100), Conn("d", 4, 9000, true, 7000)},
         "e",
         EAdmission::kTakeInPlace,
         1,
         ELetGo::kQuiet},
        {"full of proven and busy ones: refused",
         {Conn("a", 1, 9000, true, 4000), Conn("b", 2, 9000, true, 100),
          {"c", 3, kNow - milliseconds(9000), false, kBusy}, Conn("d", 4, 9000, true, 0)},
         "e",
         EAdmission::kRefuseFull},
        {"full, and the newcomer's address at its limit: refused before anyone is let go",
         {Conn("a", 1, 9000, false), Conn("a", 2, 9000, false), Conn("a", 3, 9000, false),
          Conn("d", 4, 9000, false)},
         "a",
         EAdmission::kRefusePeer},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.what);
        const SAdmissionVerdict v = Admit(c.live, c.newcomer, limits, kNow);
        EXPECT_EQ(v.what, c.verdict);
        if (c.verdict == EAdmission::kTakeInPlace) {
            EXPECT_EQ(v.evict, c.evict);
            EXPECT_EQ(v.why, c.why);
        }
    }
}

TEST(PeerAdmission, WithoutAQuietLimitAServerFullOfProvenConnectionsRefuses) {
    SAdmissionLimits limits;
    limits.maxClients = 2;
    limits.unprovenGrace = milliseconds(0);
    const std::vector<SAdmittedConnection> live = {Conn("a", 1, 60000, true, 60000),
                                                   Conn("b", 2, 60000, true, 60000)};
    EXPECT_EQ(Admit(live, "c", limits, kNow).what, EAdmission::kRefuseFull);
    limits.quietGrace = milliseconds(0);
    EXPECT_EQ(Admit(live, "c", limits, kNow).what, EAdmission::kTakeInPlace);
}

}  // namespace
}  // namespace dravmer
