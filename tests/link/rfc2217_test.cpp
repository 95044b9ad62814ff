#include "link/rfc2217.h"

#include <gtest/gtest.h>

#include "link/net_serial.h"

namespace dravmer {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(Telnet, EscapesAndUnescapesIacInData) {
    const std::uint8_t data[] = {1, 0xFF, 2, 0xFF, 0xFF};
    const Bytes escaped = TelnetEscape(data, 5);
    EXPECT_EQ(escaped, (Bytes{1, 0xFF, 0xFF, 2, 0xFF, 0xFF, 0xFF, 0xFF}));
    CTelnetDecoder decoder;
    Bytes out, reply;
    // Fed one byte at a time: the state carries across calls.
    for (std::uint8_t b : escaped) decoder.Feed(&b, 1, out, reply);
    EXPECT_EQ(out, Bytes(data, data + 5));
    EXPECT_TRUE(reply.empty());
}

TEST(Telnet, AnswersNegotiationOnceAndRefusesUnwantedOptions) {
    CTelnetDecoder decoder;
    decoder.Initiated(kTelnetDo, kTelnetComPort);
    const Bytes in = {kTelnetIac, kTelnetWill, kTelnetSga,     kTelnetIac, kTelnetWill, 1,
                      kTelnetIac, kTelnetDo,   kTelnetComPort, kTelnetIac, kTelnetDo,   24,
                      kTelnetIac, kTelnetWill, kTelnetSga,     kTelnetIac, kTelnetDont, 1};
    Bytes out, reply;
    decoder.Feed(in.data(), static_cast<int>(in.size()), out, reply);
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(reply, (Bytes{kTelnetIac, kTelnetDo, kTelnetSga, kTelnetIac, kTelnetDont, 1,
                            kTelnetIac, kTelnetWont, 24}));
}

TEST(Telnet, CountsComPortAcknowledgementsBetweenData) {
    CTelnetDecoder decoder;
    const Bytes in = {7,
                      kTelnetIac,
                      kTelnetSb,
                      kTelnetComPort,
                      101,
                      0,
                      1,
                      0xC2,
                      0,
                      kTelnetIac,
                      kTelnetSe,
                      8,
                      kTelnetIac,
                      kTelnetSb,
                      kTelnetComPort,
                      112,
                      3,
                      kTelnetIac,
                      kTelnetSe};
    Bytes out, reply;
    decoder.Feed(in.data(), static_cast<int>(in.size()), out, reply);
    EXPECT_EQ(out, (Bytes{7, 8}));
    EXPECT_EQ(decoder.Acks(kCpcSetBaudRate), 1);
    EXPECT_EQ(decoder.AckValue(kCpcSetBaudRate), (Bytes{0, 1, 0xC2, 0}));
    EXPECT_EQ(decoder.Acks(kCpcPurgeData), 1);
    EXPECT_EQ(decoder.Acks(kCpcSetParity), 0);
}

TEST(Telnet, ComPortCommandIsFramedAndEscaped) {
    EXPECT_EQ(
        ComPortCommand(kCpcSetBaudRate, {0, 0, 0x25, 0x80}),
        (Bytes{kTelnetIac, kTelnetSb, kTelnetComPort, 1, 0, 0, 0x25, 0x80, kTelnetIac, kTelnetSe}));
    EXPECT_EQ(ComPortCommand(kCpcSetControl, {0xFF}),
              (Bytes{kTelnetIac, kTelnetSb, kTelnetComPort, 5, 0xFF, 0xFF, kTelnetIac, kTelnetSe}));
}

TEST(NetSerial, SpeedCodes) {
    EXPECT_EQ(NetSerialSpeedCode(9600), 12);
    EXPECT_EQ(NetSerialSpeedCode(57600), 15);
    EXPECT_EQ(NetSerialSpeedCode(14400), 16);
    EXPECT_EQ(NetSerialSpeedCode(115200), 16);
}

TEST(NetSerial, UnreachableServerFailsToOpen) {
    auto provider = MakeRfc2217Provider(1);  // TCP port 1 + 1: nobody listens
    EXPECT_LT(provider->Open("127.0.0.1", 1, 500), 0);
    EXPECT_EQ(provider->Read(42, nullptr, 0), -1);
}

}  // namespace
}  // namespace dravmer
