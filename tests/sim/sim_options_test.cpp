#include "sim/sim_options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "link/frame.h"

namespace dravmer::sim {
namespace {

using Args = std::vector<std::string>;

Frame Request(std::uint32_t address, std::uint8_t command = 0) {
    Frame f(2 * kBlockSize, 0);
    PutLe32(f.data(), address);
    f[4] = 2;
    f[5] = command;
    f[6] = 0x40;
    SealFrame(f.data());
    return f;
}

bool Valid(const Frame& f) {
    return !f.empty() && FrameLengthFromCrcSearch(f.data(), static_cast<int>(f.size())) ==
                             static_cast<int>(f.size());
}

// Parses and applies one operator line; the test fails when either step refuses it.
void Operate(CSimLine& line, const std::string& text) {
    SSimCommand command;
    std::string error;
    ASSERT_TRUE(ParseSimCommand(text, command, error)) << text << ": " << error;
    ASSERT_TRUE(ApplySimCommand(command, line, error)) << text << ": " << error;
}

TEST(SimOptions, WithoutArgumentsServesOneFindableDeviceOnAPseudoTerminalWithoutFaults) {
    SSimOptions o;
    std::string error;
    ASSERT_TRUE(ParseSimOptions({}, o, error)) << error;
    EXPECT_EQ(o.mode, ESimMode::Pty);
    // Directly on the line, as many devices as a search can find there.
    EXPECT_EQ(o.devices, 1);
    EXPECT_EQ(SimLineWarning(o), "");
    EXPECT_EQ(o.faults.dropReplies + o.faults.corruptCrc + o.faults.deviceResult +
                  o.faults.slowReplies + o.faults.lossPercent,
              0);
    // Behind a transit device three, as before; more on the line itself are told about.
    SSimOptions behind;
    ASSERT_TRUE(ParseSimOptions({"--transit", "9000"}, behind, error)) << error;
    EXPECT_EQ(behind.devices, 3);
    EXPECT_EQ(SimLineWarning(behind), "");
    SSimOptions direct;
    ASSERT_TRUE(ParseSimOptions({"--devices", "3"}, direct, error)) << error;
    EXPECT_EQ(direct.devices, 3);
    EXPECT_NE(SimLineWarning(direct).find("--transit"), std::string::npos);
    SSimOptions none;
    ASSERT_TRUE(ParseSimOptions({"--devices", "0"}, none, error)) << error;
    EXPECT_EQ(none.devices, 0);
}

TEST(SimOptions, ModesTakeTheirPort) {
    SSimOptions tcp, com;
    std::string error;
    ASSERT_TRUE(ParseSimOptions({"--tcp", "0"}, tcp, error)) << error;
    EXPECT_EQ(tcp.mode, ESimMode::Tcp);
    EXPECT_EQ(tcp.tcpPort, 0);
    ASSERT_TRUE(ParseSimOptions({"--comserver", "34002"}, com, error)) << error;
    EXPECT_EQ(com.mode, ESimMode::ComServer);
    EXPECT_EQ(com.tcpPort, 34002);
}

TEST(SimOptions, EachFaultOptionArmsItsOwnCounter) {
    SSimOptions o;
    std::string error;
    ASSERT_TRUE(
        ParseSimOptions({"--transit", "900", "--drop", "2", "--bad-crc", "3", "--wrong-address",
                         "4", "--wrong-command", "5", "--device-result", "7:6", "--transit-status",
                         "0x0C:8", "--slow", "250:9", "--loss", "10"},
                        o, error))
        << error;
    EXPECT_EQ(o.faults.dropReplies, 2);
    EXPECT_EQ(o.faults.corruptCrc, 3);
    EXPECT_EQ(o.faults.wrongAddress, 4);
    EXPECT_EQ(o.faults.wrongCommand, 5);
    EXPECT_EQ(o.faults.resultCode, 7);
    EXPECT_EQ(o.faults.deviceResult, 6);
    EXPECT_EQ(o.faults.transitCode, 12);
    EXPECT_EQ(o.faults.transitStatus, 8);
    EXPECT_EQ(o.faults.slowMs, 250);
    EXPECT_EQ(o.faults.slowReplies, 9);
    EXPECT_EQ(o.faults.lossPercent, 10);
}

TEST(SimOptions, CodeWithoutCountAffectsOneReplyAndLeadingZerosAreDecimal) {
    SSimOptions o;
    std::string error;
    ASSERT_TRUE(ParseSimOptions(
        {"--transit", "900", "--transit-status", "08", "--device-result", "3", "--slow", "1000"}, o,
        error))
        << error;
    EXPECT_EQ(o.faults.transitCode, 8);  // "08" as an operator writes a transit status
    EXPECT_EQ(o.faults.transitStatus, 1);
    EXPECT_EQ(o.faults.deviceResult, 1);
    EXPECT_EQ(o.faults.slowReplies, 1);
}

TEST(SimOptions, RefusesBadCommandLinesWithAMessage) {
    const std::vector<Args> bad = {
        {"--bogus"},
        {"--drop"},
        {"--tcp"},
        {"--devices", "101"},
        {"--devices", "-1"},
        {"--devices", "3x"},
        {"--devices", ""},
        {"--first", "0"},
        {"--tcp", "65536"},
        {"--loss", "101"},
        {"--drop", "-1"},
        {"--drop", "1000001"},
        {"--device-result", "0"},
        {"--device-result", "256"},
        {"--device-result", "3:"},
        {"--device-result", "3:x"},
        {"--slow", "0"},
        {"--transit", "900", "--transit-status", "32"},
        {"--transit-status", "8"},  // no transit device to report it
        {"--tcp", "0", "--comserver", "0"},
        {"--tcp", "0", "--link", "/tmp/x"},
        {"--first", "4294967295", "--devices", "2"},  // addresses would wrap round
        {"--first", "54535251", "--devices", "1"},    // the search address
        {"--transit", "4000002"},                     // a device already has it
        {"--transit", "64636261"},
    };
    for (const Args& args : bad) {
        SSimOptions o;
        std::string error;
        std::string joined;
        for (const auto& a : args) joined += a + " ";
        EXPECT_FALSE(ParseSimOptions(args, o, error)) << joined;
        EXPECT_FALSE(error.empty()) << joined;
    }
}

TEST(SimOptions, EqualsFormsHexadecimalAndLeadingZerosReadAsWritten) {
    SSimOptions spaced, joined;
    std::string error;
    ASSERT_TRUE(ParseSimOptions({"--devices", "010", "--first", "0x10", "--step", "07", "--slow",
                                 "250:3", "--tcp", "0"},
                                spaced, error))
        << error;
    ASSERT_TRUE(ParseSimOptions(
        {"--devices=10", "--first=16", "--step=7", "--slow=250:3", "--tcp=0"}, joined, error))
        << error;
    for (const SSimOptions* o : {&spaced, &joined}) {
        EXPECT_EQ(o->devices, 10) << "decimal, not octal";
        EXPECT_EQ(o->first, 16u);
        EXPECT_EQ(o->step, 7u);
        EXPECT_EQ(o->faults.slowMs, 250);
        EXPECT_EQ(o->faults.slowReplies, 3);
        EXPECT_EQ(o->mode, ESimMode::Tcp);
    }
}

TEST(SimOptions, ARepeatedOptionTakesItsLastValue) {
    SSimOptions o;
    std::string error;
    ASSERT_TRUE(ParseSimOptions({"--devices", "2", "--loss", "5", "--devices", "5", "--loss=0"}, o,
                                error))
        << error;
    EXPECT_EQ(o.devices, 5);
    EXPECT_EQ(o.faults.lossPercent, 0);
}

TEST(SimOptions, MessagesNameTheOptionAndWhatItTakes) {
    const struct {
        Args args;
        const char* message;
    } cases[] = {
        {{"--devices", "101"}, "--devices: bad value 101 (expected 0..100)"},
        {{"--tcp=65536"}, "--tcp: bad value 65536 (expected 0..65535)"},
        {{"--first", "-1"}, "--first: bad value -1"},
        {{"--device-result", "0:2"}, "--device-result: bad value for device result code: 0 (expected 1..255)"},
        {{"--slow", "10:x"}, "--slow: bad value for count: x"},
        {{"--bogus"}, "unknown option --bogus"},
        {{"--devices", "2", "stray"}, "unexpected argument stray"},
        {{"--drop"}, "--drop"},
        {{"--pty", "--comserver", "0"}, "choose one of --pty, --tcp and --comserver"},
    };
    for (const auto& c : cases) {
        SSimOptions o;
        std::string error;
        EXPECT_FALSE(ParseSimOptions(c.args, o, error)) << c.message;
        EXPECT_NE(error.find(c.message), std::string::npos) << error;
    }
}

TEST(SimOptions, HelpIsAskedAnywhereAndListsEveryOption) {
    for (const Args& args : {Args{"--help"}, Args{"-h"}, Args{"--devices", "4", "--help"}}) {
        SSimOptions o;
        std::string error;
        ASSERT_TRUE(ParseSimOptions(args, o, error)) << error;
        EXPECT_TRUE(o.help);
    }
    const std::string usage = SimUsage();
    for (const char* option :
         {"--pty", "--tcp PORT", "--comserver PORT", "--link PATH", "--devices N", "--first ADDRESS",
          "--step N", "--transit ADDRESS", "--transit-kind K", "--baud B", "--drop N", "--bad-crc N",
          "--wrong-address N", "--wrong-command N", "--device-result CODE[:N]",
          "--transit-status CODE[:N]", "--slow MS[:N]", "--loss PERCENT", "decimal or 0x"})
        EXPECT_NE(usage.find(option), std::string::npos) << option;
}

TEST(SimOptions, VersionIsAskedAnywhereAndListedInTheHelp) {
    for (const Args& args : {Args{"--version"}, Args{"--devices", "4", "--version"}}) {
        SSimOptions o;
        std::string error;
        ASSERT_TRUE(ParseSimOptions(args, o, error)) << error;
        EXPECT_TRUE(o.version);
        EXPECT_FALSE(o.help);
    }
    EXPECT_NE(SimUsage().find("--version"), std::string::npos);
}

TEST(SimCommands, ParsesValuesAndOptionalCounts) {
    SSimCommand c;
    std::string error;
    ASSERT_TRUE(ParseSimCommand("result 7", c, error)) << error;
    EXPECT_EQ(c.kind, ESimCommand::Result);
    EXPECT_EQ(c.value, 7u);
    EXPECT_EQ(c.count, 1);
    ASSERT_TRUE(ParseSimCommand("  slow  300   4 ", c, error)) << error;
    EXPECT_EQ(c.kind, ESimCommand::Slow);
    EXPECT_EQ(c.value, 300u);
    EXPECT_EQ(c.count, 4);
    ASSERT_TRUE(ParseSimCommand("off 4294967295", c, error)) << error;
    EXPECT_EQ(c.value, 4294967295u);
    ASSERT_TRUE(ParseSimCommand("noise 5", c, error)) << error;
    EXPECT_EQ(c.kind, ESimCommand::Noise);
    EXPECT_EQ(c.value, 5u);
}

TEST(SimCommands, RefusesBadLinesWithAMessage) {
    for (const char* text : {"",
                             "   ",
                             "bogus",
                             "drop",
                             "drop 1 2",
                             "drop x",
                             "drop -1",
                             "list now",
                             "quit 1",
                             "result 0",
                             "result 256",
                             "result 3 x",
                             "result 3 4 5",
                             "transit 32",
                             "off 0",
                             "off 4294967296",
                             "loss 101",
                             "slow 0",
                             "crc 1e3",
                             "DROP 1"}) {
        SSimCommand c;
        std::string error;
        EXPECT_FALSE(ParseSimCommand(text, c, error)) << '"' << text << '"';
        EXPECT_FALSE(error.empty()) << '"' << text << '"';
    }
}

TEST(SimCommands, CrcCorruptsExactlyTheNextReplies) {
    CSimLine line;
    line.AddDevices(1, 100, 1);
    Operate(line, "crc 2");
    EXPECT_FALSE(Valid(line.Exchange(Request(100))));
    EXPECT_FALSE(Valid(line.Exchange(Request(100))));
    EXPECT_TRUE(Valid(line.Exchange(Request(100))));
}

TEST(SimCommands, OffSilencesOneDeviceAndOnBringsItBack) {
    CSimLine line;
    line.AddDevices(2, 100, 1);
    Operate(line, "off 101");
    EXPECT_TRUE(line.Exchange(Request(101)).empty());
    EXPECT_TRUE(Valid(line.Exchange(Request(100))));
    std::string answer;
    ASSERT_TRUE(ApplySimCommand({ESimCommand::List}, line, answer));
    EXPECT_NE(answer.find("101         off"), std::string::npos) << answer;
    EXPECT_NE(answer.find("100         on"), std::string::npos) << answer;
    Operate(line, "on 101");
    EXPECT_TRUE(Valid(line.Exchange(Request(101))));
}

TEST(SimCommands, FaultCommandsReachTheReplies) {
    CSimLine line;
    line.AddDevices(1, 100, 1);
    Operate(line, "result 5 2");
    Operate(line, "address 1");
    Frame r = line.Exchange(Request(100));
    ASSERT_TRUE(Valid(r));
    EXPECT_EQ(r[6], 5);
    EXPECT_NE(GetLe32(r.data()), 100u);
    r = line.Exchange(Request(100));
    EXPECT_EQ(r[6], 5);
    EXPECT_EQ(GetLe32(r.data()), 100u);
    Operate(line, "command 1");
    r = line.Exchange(Request(100, 0));
    EXPECT_NE(r[5] & 0x7F, 0);
    Operate(line, "drop 3");
    Operate(line, "drop 0");  // 0 cancels what is still pending
    EXPECT_TRUE(Valid(line.Exchange(Request(100))));
    Operate(line, "slow 40 1");
    int late = 0;
    line.Exchange(Request(100), &late);
    EXPECT_EQ(late, 40);
}

TEST(SimCommands, TransitStatusNeedsATransitDeviceAndLandsInTheOuterReply) {
    CSimLine direct;
    direct.AddDevices(1, 100, 1);
    SSimCommand c;
    std::string text;
    ASSERT_TRUE(ParseSimCommand("transit 8", c, text));
    EXPECT_FALSE(ApplySimCommand(c, direct, text));
    EXPECT_EQ(direct.Faults().transitStatus, 0);

    CSimLine line(SLineConfig{.transitAddress = 900});
    line.AddDevices(1, 100, 1);
    Operate(line, "transit 9");
    Frame wrapped = Request(100);
    wrapped.resize(3 * kBlockSize);
    WrapTransit(wrapped.data(), 2, 900, kDefaultTransitCommand);
    SealFrame(wrapped.data());
    const Frame r = line.Exchange(wrapped);
    ASSERT_TRUE(Valid(r));
    EXPECT_EQ(r[6] & 0x1F, 9);
}

TEST(SimCommands, UnknownDeviceIsAnErrorAndChangesNothing) {
    CSimLine line;
    line.AddDevices(1, 100, 1);
    SSimCommand c;
    std::string answer;
    ASSERT_TRUE(ParseSimCommand("off 555", c, answer));
    EXPECT_FALSE(ApplySimCommand(c, line, answer));
    EXPECT_NE(answer.find("555"), std::string::npos);
    EXPECT_TRUE(Valid(line.Exchange(Request(100))));
}

}  // namespace
}  // namespace dravmer::sim
