// The anti-collision search through a transit device, over a real pseudo-terminal with the
// simulated firmware on the far side.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "link/link_r307.h"
#include "link/port.h"
#include "sim/sim_line.h"
#include "sim/sim_pty.h"

namespace dravmer {
namespace {

struct PtyLine {
    explicit PtyLine(std::uint32_t transit) : line(Config(transit)), server(line, 115200), port(0) {
        EXPECT_TRUE(server.Open()) << server.Error();
        server.Start();
        CMemorySettingsStore store;
        store.SetString("ComSettingsPort0", "DevicePath", server.SlavePath());
        port.LoadSettings(store);
        EXPECT_TRUE(port.Open()) << WordOpenResult(port.LastOpenResult(), Language::Russian);
        link.AttachPort(&port);
    }
    static sim::SLineConfig Config(std::uint32_t transit) {
        sim::SLineConfig c;
        c.transitAddress = transit;
        return c;
    }
    sim::CSimLine line;
    sim::CSimPtyServer server;
    CLinkPort port;
    CLinkR307 link;
};

TEST(SearchOverPty, FindsOneSevenAndSixtyDevicesBehindATransitDevice) {
    for (int count : {1, 7, 60}) {
        PtyLine pty(8100);
        // Scattered addresses, as serial numbers are.
        std::set<std::uint32_t> expected;
        for (int i = 0; i < count; ++i) {
            const auto address = 1000003u + static_cast<std::uint32_t>(i) * 7919u;
            sim::SDeviceModel model;
            model.address = address;
            pty.line.AddDevice(model);
            expected.insert(address);
        }
        int foundEvents = 0;
        pty.link.SetProgressWindow([&](int code, std::int64_t) { foundEvents += code == 3; });
        SSearchResult result;
        EXPECT_EQ(pty.link.SearchDevices(result, false), count == 1 ? 0 : 2) << count;
        EXPECT_EQ(std::set<std::uint32_t>(result.addresses.begin(), result.addresses.end()),
                  expected)
            << count << " devices";
        EXPECT_TRUE(std::is_sorted(result.addresses.begin(), result.addresses.end()));
        EXPECT_EQ(foundEvents, count);
        EXPECT_EQ(pty.link.Transit(), 8100u);
        // Every found device then answers its own commands through the transit device.
        std::uint8_t identity[kIdentitySize];
        EXPECT_EQ(pty.link.ReadIdentity(result.addresses.back(), identity), 0);
    }
}

TEST(SearchOverPty, InjectedFaultsGiveTheirResultCodesAndCounters) {
    PtyLine pty(8100);
    sim::SDeviceModel model;
    model.address = 4711;
    pty.line.AddDevice(model);
    pty.link.SetTransit(8100);
    std::uint8_t identity[kIdentitySize];
    struct Case {
        const char* what;
        sim::SFaults faults;
        int code;
    };
    sim::SFaults crc;
    crc.corruptCrc = 3;
    sim::SFaults lost;
    lost.dropReplies = 3;
    sim::SFaults address;
    address.wrongAddress = 3;
    sim::SFaults status;
    status.transitStatus = 3;
    status.transitCode = 9;
    sim::SFaults result;
    result.deviceResult = 1;
    result.resultCode = 5;
    for (const Case& c : {Case{"bad CRC", crc, kLinkCrc}, Case{"lost reply", lost, kLinkEmpty},
                          Case{"wrong address", address, kLinkDevAdr},
                          Case{"transit status 9", status, kLinkTrRes09},
                          Case{"device result", result, kLinkCmdResult}}) {
        pty.link.ResetStatistics();
        pty.line.SetFaults(c.faults);
        EXPECT_EQ(pty.link.ReadIdentity(4711, identity), c.code) << c.what;
        SLinkDevStat s;
        ASSERT_TRUE(pty.link.GetDeviceStat(4711, s)) << c.what;
        const bool repeated = c.code != kLinkCmdResult;
        EXPECT_EQ(s.w[SLinkDevStat::kCommands], repeated ? 3u : 1u) << c.what;
        EXPECT_EQ(s.w[SLinkDevStat::kErrors], repeated ? 3u : 0u) << c.what;
        EXPECT_EQ(s.w[SLinkDevStat::kErrorsWithRepeat], repeated ? 1u : 0u) << c.what;
        if (repeated) {
            EXPECT_EQ(s.w[static_cast<size_t>(SLinkDevStat::CodeWord(c.code))], 3u) << c.what;
        }
        pty.line.SetFaults({});
        EXPECT_EQ(pty.link.ReadIdentity(4711, identity), 0) << "after " << c.what;
    }
}

}  // namespace
}  // namespace dravmer
