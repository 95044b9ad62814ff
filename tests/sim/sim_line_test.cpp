#include "sim/sim_line.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstring>

#include "link/frame.h"
#include "sim/sim_pty.h"

namespace dravmer::sim {
namespace {

Frame Request(std::uint32_t address, std::uint8_t command, int blocks,
              std::vector<std::uint8_t> payload = {}) {
    Frame f(static_cast<std::size_t>(blocks * kBlockSize), 0);
    PutLe32(f.data(), address);
    f[4] = static_cast<std::uint8_t>(blocks);
    f[5] = command;
    if (blocks > 1) f[6] = 0x40;
    std::copy(payload.begin(), payload.end(), f.begin() + kPayloadOffset);
    SealFrame(f.data());
    return f;
}

bool Valid(const Frame& f) {
    return !f.empty() && FrameLengthFromCrcSearch(f.data(), static_cast<int>(f.size())) ==
                             static_cast<int>(f.size());
}

TEST(SimLine, SeveralDirectDevicesCollideIntoABadFrame) {
    CSimLine line;
    line.AddDevices(2, 100, 1);
    const Frame reply = line.Exchange(Request(ADDR_ANY_DEVICE, 0, 2));
    ASSERT_FALSE(reply.empty());
    EXPECT_FALSE(Valid(reply));
    const Frame own = line.Exchange(Request(101, 0, 2));
    ASSERT_TRUE(Valid(own));
    EXPECT_EQ(GetLe32(own.data() + kPayloadOffset), 101u);
    EXPECT_EQ(own[5], 0x80);  // replies carry bit 7 in the command
}

TEST(SimLine, FramesWithBadCrcOrLengthAreIgnored) {
    CSimLine line;
    line.AddDevices(1, 100, 1);
    Frame bad = Request(100, 0, 2);
    bad[9] ^= 1;
    EXPECT_TRUE(line.Exchange(bad).empty());
    Frame shortFrame = Request(100, 0, 2);
    shortFrame.resize(12);
    EXPECT_TRUE(line.Exchange(shortFrame).empty());
    EXPECT_TRUE(line.Exchange({}).empty());
}

TEST(SimLine, DeviceAnswersOnlyInItsSlot) {
    CSimLine line;
    CSimDevice& device = line.AddDevice(SDeviceModel{.address = 4242});
    // The slot is drawn when a sweep over the slots begins (at slot 0) and kept through it.
    std::vector<int> answeredIn;
    for (int s = 0; s < 13; ++s) {
        std::vector<std::uint8_t> payload = {13, 0, static_cast<std::uint8_t>(s), 0, 3, 2, 1};
        const Frame reply = line.Exchange(Request(ADDR_ANY_DEVICE, 4, 2, payload));
        if (!reply.empty()) answeredIn.push_back(s);
    }
    EXPECT_EQ(answeredIn, std::vector<int>{device.SlotFor(13)});
}

TEST(SimLine, UnknownCommandGetsADeviceResult) {
    CSimLine line;
    line.AddDevices(1, 100, 1);
    const Frame reply = line.Exchange(Request(100, 40, 2));
    ASSERT_TRUE(Valid(reply));
    EXPECT_NE(reply[6] & 0x1F, 0);
}

TEST(SimLine, TransitCarriesOnlyInnerFramesWhoseBlockCountMatches) {
    SLineConfig config;
    config.transitAddress = 500;
    CSimLine line(config);
    line.AddDevices(1, 100, 1);
    // Two outer blocks carry one inner block, but the inner header claims 64 blocks (512
    // bytes): the transit device must not re-frame past what it holds, and no device answers.
    Frame request(2 * kBlockSize, 0);
    PutLe32(request.data(), 500);
    request[4] = 2;
    request[5] = config.transitCommand;
    PutLe32(request.data() + kBlockSize, 100);
    request[kBlockSize + 4] = 64;
    SealFrame(request.data());
    const Frame reply = line.Exchange(request);
    ASSERT_TRUE(Valid(reply));
    EXPECT_EQ(GetLe32(reply.data()), 500u);
    EXPECT_EQ(reply[6], 10);  // no reply from behind the transit device
    EXPECT_EQ(reply.size(), 2u * kBlockSize);

    // The same inner frame with its true block count is answered.
    request[kBlockSize + 4] = 1;
    SealFrame(request.data());
    const Frame answered = line.Exchange(request);
    ASSERT_TRUE(Valid(answered));
    EXPECT_EQ(answered[6], 0);
    EXPECT_EQ(GetLe32(answered.data() + kBlockSize), 100u);
}

TEST(SimLine, TickAdvancesTheCycleOfEveryDevice) {
    CSimLine line;
    line.AddDevices(3, 100, 1);
    const std::uint8_t before = line.Find(102)->Cycle();
    line.Tick();
    EXPECT_EQ(line.Find(102)->Cycle(), static_cast<std::uint8_t>(before + 1));
    EXPECT_EQ(line.DeviceCount(), 3u);
}

TEST(SimLine, TheDeliveryLogNamesEveryMeasurementSentUntouchedAndNoOther) {
    CSimLine line;
    line.AddDevices(2, 100, 1);
    std::vector<std::array<int, 3>> log;
    line.SetDeliveryLog([&](std::uint32_t a, std::uint8_t cycle, std::uint8_t mode) {
        log.push_back({static_cast<int>(a), cycle, mode});
    });
    const Frame adc = Request(101, 25, 2, {0});
    const int cycle = line.Find(101)->Cycle();
    EXPECT_TRUE(Valid(line.Exchange(adc)));
    EXPECT_TRUE(Valid(line.Exchange(Request(100, 0, 1))));        // not a measurement
    EXPECT_TRUE(Valid(line.Exchange(Request(101, 25, 2, {1}))));  // the ten values: mode 1
    EXPECT_TRUE(Valid(line.Exchange(Request(101, 25, 2, {2}))));  // samples: not logged
    SFaults faults;
    faults.corruptCrc = 1;
    faults.noiseReplies = 1;
    faults.dropReplies = 1;
    line.SetFaults(faults);
    EXPECT_TRUE(line.Exchange(adc).empty());  // dropped
    EXPECT_FALSE(Valid(line.Exchange(adc)));  // noise and a broken CRC
    line.Tick();
    const Frame clean = line.Exchange(adc);
    EXPECT_TRUE(Valid(clean));
    EXPECT_EQ(log, (std::vector<std::array<int, 3>>{
                       {101, cycle, 0}, {101, cycle, 1}, {101, (cycle + 1) & 0xFF, 0}}));
}

TEST(SimLine, NoiseGoesBeforeTheReplyAndLeavesTheFrameWhole) {
    CSimLine line;
    line.AddDevices(1, 100, 1);
    const Frame quiet = line.Exchange(Request(100, 0, 1));
    SFaults faults;
    faults.noiseReplies = 1;
    line.SetFaults(faults);
    const Frame noisy = line.Exchange(Request(100, 0, 1));
    ASSERT_GE(noisy.size(), quiet.size() + 3);
    EXPECT_LE(noisy.size(), quiet.size() + 10);
    EXPECT_TRUE(
        std::equal(quiet.begin(), quiet.end(), noisy.end() - static_cast<long>(quiet.size())));
    EXPECT_EQ(line.Exchange(Request(100, 0, 1)), quiet);
}

TEST(SimPty, AnswersFramesSplitAcrossWritesAndDropsGarbage) {
    CSimLine line;
    line.AddDevices(1, 555, 1);
    CSimPtyServer server(line);
    server.SetRealTimeSeconds(false);
    ASSERT_TRUE(server.Open()) << server.Error();
    ASSERT_TRUE(server.Start());
    const int fd = ::open(server.SlavePath().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(fd, 0);
    termios tio{};
    ::tcgetattr(fd, &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(fd, TCSANOW, &tio);

    const std::uint8_t junk[3] = {0, 0, 0};  // a block count of 0 is skipped byte by byte
    ASSERT_EQ(::write(fd, junk, 3), 3);
    const Frame request = Request(555, 0, 2);
    ASSERT_EQ(::write(fd, request.data(), 5), 5);
    ASSERT_EQ(::write(fd, request.data() + 5, 11), 11);
    Frame reply;
    while (reply.size() < 16) {
        pollfd in{fd, POLLIN, 0};
        ASSERT_GT(::poll(&in, 1, 2000), 0) << "no reply";
        std::uint8_t chunk[64];
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        ASSERT_GT(n, 0);
        reply.insert(reply.end(), chunk, chunk + n);
    }
    EXPECT_TRUE(Valid(reply));
    EXPECT_EQ(GetLe32(reply.data() + kPayloadOffset), 555u);
    ::close(fd);
    EXPECT_EQ(server.Stop(), 0);
}

}  // namespace
}  // namespace dravmer::sim
