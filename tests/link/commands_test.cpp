#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "link/device_search.h"
#include "link/link_r307.h"
#include "link/scripted_port.h"
#include "sim/sim_line.h"
#include "sim/sim_port.h"

namespace dravmer {
namespace {

using test::Bytes;
using test::CScriptedPort;
using test::MakeFrame;

constexpr std::uint32_t kDevice = 5001;
constexpr std::uint32_t kTransit = 8100;

struct SimBench {
    explicit SimBench(const sim::SLineConfig& config = {}) : line(config), port(line) {
        link.AttachPort(&port);
    }
    sim::CSimLine line;
    sim::CSimPort port;
    CLinkR307 link;
};

sim::SLineConfig WithTransit(std::uint8_t kind = 4) {
    sim::SLineConfig config;
    config.transitAddress = kTransit;
    config.transitKind = kind;
    return config;
}

TEST(DeviceSearch, FindsTheOneDirectlyAttachedDevice) {
    SimBench bench;
    bench.line.AddDevices(1, kDevice, 1);
    std::vector<std::pair<int, std::int64_t>> progress;
    bench.link.SetProgressWindow([&](int code, std::int64_t v) { progress.emplace_back(code, v); });
    SSearchResult result;
    EXPECT_EQ(bench.link.SearchDevices(result, false), 0);
    EXPECT_EQ(result.addresses, std::vector<std::uint32_t>{kDevice});
    EXPECT_FALSE(result.transitFound);
    EXPECT_EQ(bench.link.Transit(), 0u);
    ASSERT_EQ(progress.size(), 2u);
    EXPECT_EQ(progress[0], std::make_pair(77, std::int64_t{kLinkEmpty}));
    EXPECT_EQ(progress[1], std::make_pair(4, std::int64_t{kDevice}));
}

TEST(DeviceSearch, EmptyLineFails) {
    SimBench bench;
    SSearchResult result;
    EXPECT_EQ(bench.link.SearchDevices(result, false), -1);
    EXPECT_TRUE(result.addresses.empty());
}

TEST(DeviceSearch, FindsEveryDeviceBehindTransitInAscendingOrder) {
    for (int count : {1, 3, 25}) {
        SimBench bench(WithTransit());
        // Added in descending order so that sorting is visible.
        for (int i = count; i >= 1; --i) {
            sim::SDeviceModel model;
            model.address = 100000u + static_cast<std::uint32_t>(i) * 37u;
            bench.line.AddDevice(model);
        }
        std::vector<int> codes;
        bench.link.SetProgressWindow([&](int code, std::int64_t) { codes.push_back(code); });
        SSearchResult result;
        const int code = bench.link.SearchDevices(result, false);
        EXPECT_EQ(code, count == 1 ? 0 : 2) << count;
        EXPECT_TRUE(result.transitFound);
        EXPECT_EQ(result.transitAddress, kTransit);
        EXPECT_EQ(bench.link.Transit(), kTransit);
        ASSERT_EQ(result.addresses.size(), static_cast<std::size_t>(count));
        EXPECT_TRUE(std::is_sorted(result.addresses.begin(), result.addresses.end()));
        EXPECT_EQ(result.addresses.front(), 100037u);
        EXPECT_EQ(std::count(codes.begin(), codes.end(), 3), count);
        EXPECT_EQ(std::count(codes.begin(), codes.end(), 2), 1);  // transit kind 4
        EXPECT_EQ(std::count(codes.begin(), codes.end(), 1), 1);  // family "KE"
        // Devices stay counted in the statistics, the search addresses never.
        SLinkDevStat s;
        EXPECT_TRUE(bench.link.GetDeviceStat(result.addresses.back(), s));
        EXPECT_FALSE(bench.link.GetDeviceStat(ADDR_ANY_DEVICE, s));
    }
}

TEST(DeviceSearch, TransitOfKindSixteenIsNotUsed) {
    SimBench bench(WithTransit(16));
    bench.line.AddDevices(3, kDevice, 1);
    SSearchResult result;
    EXPECT_EQ(bench.link.SearchDevices(result, false), 1);
    EXPECT_EQ(bench.link.Transit(), 0u);
    EXPECT_TRUE(result.addresses.empty());
}

TEST(DeviceSearch, TransitWithoutDevicesFindsNone) {
    SimBench bench(WithTransit());
    SSearchResult result;
    EXPECT_EQ(bench.link.SearchDevices(result, true), 1);
    EXPECT_EQ(bench.link.Transit(), kTransit);
}

TEST(DeviceSearch, FoundDeviceStaysSilentUntilReset) {
    SimBench bench(WithTransit());
    bench.line.AddDevices(2, kDevice, 1);
    bench.link.SetTransit(kTransit);
    std::uint32_t found = 0;
    EXPECT_EQ(bench.link.SearchSlot(1, 0, found), 12);  // both answer: collision
    EXPECT_EQ(bench.link.MarkFound(kDevice), 0);
    EXPECT_EQ(bench.link.SearchSlot(1, 0, found), 0);
    EXPECT_EQ(found, kDevice + 1);
    EXPECT_EQ(bench.link.MarkFound(kDevice + 1), 0);
    EXPECT_EQ(bench.link.SearchSlot(1, 0, found), 10);
    bench.link.ResetSearch();
    EXPECT_EQ(bench.link.SearchSlot(1, 0, found), 12);
}

TEST(DeviceSearch, LineEchoOfTheProbeIsNotADevice) {
    SimBench bench(WithTransit());
    bench.line.AddDevices(1, kDevice, 1);
    bench.link.SetTransit(kTransit);
    sim::SFaults faults;
    faults.echoRequests = 1;
    bench.line.SetFaults(faults);
    std::uint32_t found = 0;
    EXPECT_EQ(bench.link.SearchSlot(1, 0, found), -1);
    EXPECT_EQ(bench.link.SearchSlot(1, 0, found), 0);
    EXPECT_EQ(found, kDevice);
}

TEST(DeviceSearch, SlotCountsRunDownThenUpToTheLastPrime) {
    CSlotCounter slots(10);
    std::vector<int> seen{slots.Current()};
    for (int i = 0; i < 8; ++i) seen.push_back(slots.Next());
    EXPECT_EQ(seen, (std::vector<int>{11, 7, 5, 3, 2, 13, 17, 19, 23}));
    for (int i = 0; i < 200; ++i) slots.Next();
    EXPECT_EQ(slots.Current(), 997);
    EXPECT_EQ(slots.Next(), 997);
}

TEST(DeviceSearch, McuNames) {
    EXPECT_STREQ(McuName(7), "Cygnal C8051F022");
    EXPECT_STREQ(McuName(10), "Cygnal C8051F022");
    EXPECT_STREQ(McuName(0), "Unknown");
    EXPECT_STREQ(McuName(14), "Unknown");
    EXPECT_STREQ(McuName(256 + 6), "Texas Instrumens MSC1210");
}

TEST(DeviceCommands, IdentityAndAddressComeFromTheDevice) {
    SimBench bench;
    sim::SDeviceModel model;
    model.address = kDevice;
    model.versionMajor = 6;
    bench.line.AddDevice(model);
    std::uint32_t answered = 0;
    EXPECT_EQ(bench.link.ReadAddress(ADDR_ANY_DEVICE, answered), 0);
    EXPECT_EQ(answered, kDevice);
    std::uint8_t identity[kIdentitySize] = {};
    EXPECT_EQ(bench.link.ReadIdentity(kDevice, identity), 0);
    EXPECT_EQ(identity[2], 6);
    EXPECT_STREQ(reinterpret_cast<const char*>(identity + 9), "Mar 14 2023");
    EXPECT_EQ(bench.link.ReadTransitIdentity(identity), kLinkEmpty);
}

TEST(DeviceCommands, AdcModesCopyHeaderAndItems) {
    SimBench bench(WithTransit());
    bench.line.AddDevices(1, kDevice, 1);
    bench.link.SetTransit(kTransit);
    std::uint8_t buffer[kFrameBufferSize] = {};
    EXPECT_EQ(bench.link.ReadAdc(kDevice, 2, buffer), 0);
    EXPECT_EQ(buffer[0], 2);
    EXPECT_EQ(buffer[6], 30);  // 30 items of 2 bytes: 67 bytes

    EXPECT_EQ(bench.link.ReadAdc(kDevice, 0, buffer), 0);
    const sim::CSimDevice* device = bench.line.Find(kDevice);
    EXPECT_EQ(buffer[1], device->Cycle());
    EXPECT_EQ(buffer[6], 15);
    bench.line.Tick();
    EXPECT_EQ(bench.link.ReadAdc(kDevice, 1, buffer), 0);
    EXPECT_EQ(buffer[1], device->Cycle());
    EXPECT_EQ(buffer[6], 10);
}

TEST(DeviceCommands, AdcReplyChecks) {
    CScriptedPort port;
    CLinkR307 link;
    link.AttachPort(&port);
    std::uint8_t buffer[kFrameBufferSize] = {};
    Bytes payload(67, 0);
    payload[0] = 2;
    payload[6] = 30;
    port.replies.push_back(MakeFrame(kDevice, 25, 10, 0, payload));
    EXPECT_EQ(link.ReadAdc(kDevice, 2, buffer), 0);

    payload[0] = 3;  // echoes another mode
    port.replies.push_back(MakeFrame(kDevice, 25, 10, 0, payload));
    EXPECT_EQ(link.ReadAdc(kDevice, 2, buffer), kLinkCmd);

    payload[0] = 2;
    payload[6] = 33;  // announces more than came (the frame's padding counts as payload)
    port.replies.push_back(MakeFrame(kDevice, 25, 10, 0, payload));
    EXPECT_EQ(link.ReadAdc(kDevice, 2, buffer), kLinkCmdResult);

    payload[6] = 0;
    port.replies.push_back(MakeFrame(kDevice, 25, 10, 0, payload));
    EXPECT_EQ(link.ReadAdc(kDevice, 2, buffer), kLinkCmdResult);
}

TEST(DeviceCommands, ResistancesNeedTwoGroups) {
    CScriptedPort port;
    CLinkR307 link;
    link.AttachPort(&port);
    SResistances r;
    Bytes payload = {0, 7, 1, 0, 1, 2, 3, 4};
    port.replies.push_back(MakeFrame(kDevice, 26, 3, 0, payload));
    EXPECT_EQ(link.ReadResistances(kDevice, r), kLinkTrDevAdr);

    payload = {0, 7, 2, 1, 0x10, 0, 0, 0, 2, 0x20, 0, 0, 0};
    port.replies.push_back(MakeFrame(kDevice, 26, 3, 0, payload));
    EXPECT_EQ(link.ReadResistances(kDevice, r), 0);
    EXPECT_EQ(r.identifier, 7);
    EXPECT_EQ(r.groups[0].status, 1);
    EXPECT_EQ(r.groups[1].raw, 0x20u);
    EXPECT_EQ(r.groups[2].raw, 0u);
    EXPECT_EQ(r.groups[2].status, 0);
}

TEST(DeviceCommands, CurrentValuesFromTheDevice) {
    SimBench bench;
    bench.line.AddDevices(1, kDevice, 1);
    SCurrentValues values;
    ASSERT_EQ(bench.link.ReadCurrentValues(kDevice, values), 0);
    EXPECT_EQ(values.groupCount, 6);
    float gv;
    std::memcpy(&gv, &values.groups[0].raw, sizeof gv);
    EXPECT_FLOAT_EQ(gv, 1.25f);

    SResistances r;
    ASSERT_EQ(bench.link.ReadResistances(kDevice, r), 0);
    EXPECT_EQ(r.groupCount, 3);
}

TEST(DeviceCommands, ImagesAreReadInFiftyNineByteBlocks) {
    SimBench bench;
    bench.line.AddDevices(1, kDevice, 1);
    std::uint8_t image[kDeviceImageSize] = {};
    ASSERT_EQ(bench.link.ReadEeprom(kDevice, image), 0);
    sim::CSimDevice* device = bench.line.Find(kDevice);
    EXPECT_EQ(0, std::memcmp(image, device->Eeprom().data(), kDeviceImageSize));
    const auto requests = bench.line.Requests();
    ASSERT_EQ(requests.size(), 18u);
    for (std::size_t i = 0; i < requests.size(); ++i) {
        const std::uint8_t* p = requests[i].data() + kPayloadOffset;
        EXPECT_EQ(requests[i][6], 0x40 | 0x20);
        EXPECT_EQ(p[0], 0x20);
        EXPECT_EQ(p[1], i + 1 < requests.size() ? 59 : 21);
        EXPECT_EQ(GetLe16(p + 2), 59 * i);
    }
    ASSERT_EQ(bench.link.ReadFlash(kDevice, image), 0);
    EXPECT_EQ(0, std::memcmp(image, device->Flash().data(), kDeviceImageSize));
}

TEST(DeviceCommands, ImageStopsAtTheFirstFailingBlock) {
    SimBench bench;
    bench.line.AddDevices(1, kDevice, 1);
    std::uint8_t image[kDeviceImageSize] = {};
    sim::SFaults faults;
    faults.dropReplies = 3;
    bench.line.SetFaults(faults);
    EXPECT_EQ(bench.link.ReadFlash(kDevice, image), -1);
    EXPECT_EQ(bench.line.RequestCount(), 3);
}

TEST(DeviceCommands, ShortParameterReplyIsRefused) {
    CScriptedPort port;
    CLinkR307 link;
    link.AttachPort(&port);
    std::uint8_t bytes[12] = {};
    port.replies.push_back(MakeFrame(kDevice, 14, 2, 0, {0, 20, 12}));
    EXPECT_EQ(link.ReadParameters(kDevice, 20, 12, bytes), kLinkCmdResult);

    SimBench bench;
    bench.line.AddDevices(1, kDevice, 1);
    ASSERT_EQ(bench.link.ReadParameters(kDevice, 20, 12, bytes), 0);
    EXPECT_EQ(bytes[0], bench.line.Find(kDevice)->Parameters()[20]);
}

TEST(DeviceCommands, FaultsFromTheLineReachTheCaller) {
    SimBench bench(WithTransit());
    bench.line.AddDevices(1, kDevice, 1);
    bench.link.SetTransit(kTransit);
    std::uint8_t buffer[kFrameBufferSize] = {};
    sim::SFaults faults;
    faults.wrongAddress = 3;
    bench.line.SetFaults(faults);
    EXPECT_EQ(bench.link.ReadAdc(kDevice, 0, buffer), kLinkDevAdr);
    faults = {};
    faults.deviceResult = 1;
    faults.resultCode = 5;
    bench.line.SetFaults(faults);
    EXPECT_EQ(bench.link.ReadAdc(kDevice, 0, buffer), kLinkCmdResult);
    EXPECT_EQ(bench.link.DeviceResult(), 5);
    faults = {};
    faults.transitStatus = 1;
    faults.transitCode = 9;
    bench.line.SetFaults(faults);
    EXPECT_EQ(bench.link.ReadAdc(kDevice, 0, buffer), 0);  // the repeat gets through
    faults = {};
    faults.corruptCrc = 1;
    bench.line.SetFaults(faults);
    EXPECT_EQ(bench.link.ReadAdc(kDevice, 0, buffer), 0);
    SLinkDevStat s;
    bench.link.GetDeviceStat(kDevice, s);
    EXPECT_EQ(s.w[SLinkDevStat::CodeWord(kLinkTrRes09)], 1u);
    EXPECT_EQ(s.w[SLinkDevStat::CodeWord(kLinkCrc)], 1u);
}

}  // namespace
}  // namespace dravmer
