#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "link/link_r307.h"
#include "link/scripted_port.h"

namespace dravmer {
namespace {

using test::Bytes;
using test::CScriptedPort;
using test::MakeFrame;
using test::WrapReply;

constexpr std::uint32_t kDevice = 4000123;
constexpr std::uint32_t kTransit = 9000001;

class Transaction : public ::testing::Test {
protected:
    Transaction() { link.AttachPort(&port); }
    int Run(std::uint32_t address, std::uint8_t command, int blocks, bool repeat = true) {
        link.Prepare(address, command, blocks, 0, 0);
        return link.Transact(repeat);
    }
    SLinkDevStat Stat(std::uint32_t address) {
        SLinkDevStat s;
        link.GetDeviceStat(address, s);
        return s;
    }
    CScriptedPort port;
    CLinkR307 link;
};

TEST_F(Transaction, RequestHeaderAttributeAndCrcAreFilledIn) {
    port.replies.push_back(MakeFrame(kDevice, 14, 2));
    link.Prepare(kDevice, 14, 2, 1, 0x05);
    link.RequestPayload()[0] = 0x99;
    ASSERT_EQ(link.Transact(true), 0);
    const Bytes& sent = port.writes.at(0);
    ASSERT_EQ(sent.size(), 16u);
    EXPECT_EQ(GetLe32(sent.data()), kDevice);
    EXPECT_EQ(sent[4], 2);
    EXPECT_EQ(sent[5], 14);
    EXPECT_EQ(sent[6], 0x80 | 0x40 | 0x05);
    EXPECT_EQ(sent[7], 0x99);
    EXPECT_EQ(GetLe16(sent.data() + 14), Crc16Kermit(sent.data(), 14));
}

TEST_F(Transaction, OneBlockReplyIsNotReadAsDeviceError) {
    Bytes reply = MakeFrame(kDevice, 5, 1);
    port.replies.push_back(reply);
    EXPECT_EQ(Run(kDevice, 5, 1), 0);
    EXPECT_EQ(port.writes.at(0).size(), 8u);
}

TEST_F(Transaction, ReplyCommandWithBitSevenSetMatches) {
    port.replies.push_back(MakeFrame(kDevice, 20 | 0x80, 2));
    EXPECT_EQ(Run(kDevice, 20, 2), 0);
    EXPECT_EQ(link.Reply()[5], 20);
}

TEST_F(Transaction, BadRepliesGiveTheirCodesAfterThreeAttempts) {
    struct Case {
        Bytes reply;
        int code;
    };
    Bytes badCrc = MakeFrame(kDevice, 1, 2);
    badCrc[15] ^= 0xFF;
    const Case cases[] = {{{}, kLinkEmpty}, {Bytes(5, 1), kLinkLen}, {badCrc, kLinkCrc}};
    for (const auto& c : cases) {
        port.writes.clear();
        for (int i = 0; i < 3; ++i) port.replies.push_back(c.reply);
        EXPECT_EQ(Run(kDevice, 1, 2), c.code);
        EXPECT_EQ(port.writes.size(), 3u);
        EXPECT_EQ(link.LastResult(), c.code);
    }
}

TEST_F(Transaction, WrongAddressIsRepeatedTwiceThenReported) {
    for (int i = 0; i < 3; ++i) port.replies.push_back(MakeFrame(kDevice + 1, 1, 2));
    EXPECT_EQ(Run(kDevice, 1, 2), kLinkDevAdr);
    EXPECT_EQ(port.writes.size(), 3u);

    port.writes.clear();
    port.replies.push_back(MakeFrame(kDevice + 1, 1, 2));
    EXPECT_EQ(Run(kDevice, 1, 2, false), kLinkDevAdr);
    EXPECT_EQ(port.writes.size(), 1u);
}

TEST_F(Transaction, WrongCommandWinsOverWrongAddressAndRecoversOnRepeat) {
    port.replies.push_back(MakeFrame(kDevice + 1, 2, 2));
    port.replies.push_back(MakeFrame(kDevice, 1, 2));
    EXPECT_EQ(Run(kDevice, 1, 2), 0);
    EXPECT_EQ(port.writes.size(), 2u);
    EXPECT_EQ(Stat(kDevice).w[SLinkDevStat::CodeWord(kLinkCmd)], 1u);
}

TEST_F(Transaction, DeviceResultEndsAtOnceWithItsNumberInTheMessage) {
    port.replies.push_back(MakeFrame(kDevice, 25, 2, 3));
    port.replies.push_back(MakeFrame(kDevice, 25, 2, 0));
    EXPECT_EQ(Run(kDevice, 25, 2), kLinkCmdResult);
    EXPECT_EQ(port.writes.size(), 1u);
    EXPECT_EQ(link.DeviceResult(), 3);
    EXPECT_EQ(link.ResultText(kLinkCmdResult), "\"m_OPC.m_ucResult=3 в команде прибора\"");
    EXPECT_EQ(Stat(kDevice).w[SLinkDevStat::kErrors], 0u);
}

TEST_F(Transaction, ClosedPortFailsAtOnceWithoutRepeat) {
    port.open = false;
    EXPECT_EQ(Run(kDevice, 1, 2), kLinkNoLink);
    EXPECT_TRUE(port.writes.empty());
    const SLinkDevStat s = Stat(kDevice);
    EXPECT_EQ(s.w[SLinkDevStat::kCommands], 1u);
    EXPECT_EQ(s.w[SLinkDevStat::CodeWord(kLinkNoLink)], 1u);

    CLinkR307 unattached;
    unattached.Prepare(kDevice, 1, 2, 0, 0);
    EXPECT_EQ(unattached.Transact(true), kLinkNoLink);
}

TEST_F(Transaction, TransitRequestIsWrappedAndReplyUnwrapped) {
    link.SetTransit(kTransit);
    port.replies.push_back(WrapReply(kTransit, 13, MakeFrame(kDevice, 0, 2, 0, {1, 2, 3, 4})));
    EXPECT_EQ(Run(kDevice, 0, 2), 0);
    const Bytes& sent = port.writes.at(0);
    ASSERT_EQ(sent.size(), 24u);
    EXPECT_EQ(GetLe32(sent.data()), kTransit);
    EXPECT_EQ(sent[4], 3);
    EXPECT_EQ(sent[5], 63);
    EXPECT_EQ(GetLe32(sent.data() + 8), kDevice);
    EXPECT_EQ(GetLe16(sent.data() + 22), Crc16Kermit(sent.data(), 22));
    EXPECT_EQ(GetLe32(link.Reply()), kDevice);
    EXPECT_EQ(link.Reply()[kPayloadOffset + 3], 4);
    EXPECT_EQ(link.TransitStatus(), 13);
    EXPECT_EQ(link.PayloadLength(), 16);
}

TEST_F(Transaction, TransitFailuresMapToTheirCodes) {
    link.SetTransit(kTransit);
    const Bytes inner = MakeFrame(kDevice, 0, 1);
    for (int i = 0; i < 3; ++i) port.replies.push_back(WrapReply(kTransit, 17, inner));
    EXPECT_EQ(Run(kDevice, 0, 2), kLinkTrRes0C);

    for (int i = 0; i < 3; ++i) port.replies.push_back(WrapReply(kTransit + 1, 0, inner));
    EXPECT_EQ(Run(kDevice, 0, 2), kLinkTrDevAdr);

    Bytes wrongCommand = WrapReply(kTransit, 0, inner);
    wrongCommand[5] = 62;
    SealFrame(wrongCommand.data());
    for (int i = 0; i < 3; ++i) port.replies.push_back(wrongCommand);
    EXPECT_EQ(Run(kDevice, 0, 2), kLinkTrCmd);
}

TEST_F(Transaction, SearchAddressIsTriedOnceAndNeverCounted) {
    EXPECT_EQ(Run(ADDR_ANY_DEVICE, 0, 2), kLinkEmpty);
    EXPECT_EQ(port.writes.size(), 1u);
    port.replies.push_back(MakeFrame(ADDR_ANY_TRANSIT + 1, 0, 2));
    EXPECT_EQ(Run(ADDR_ANY_TRANSIT, 0, 2), kLinkDevAdr);
    EXPECT_TRUE(link.Statistics().Records().empty());
}

TEST_F(Transaction, OversizedReplyIsDiscardedAsLengthError) {
    port.replies.push_back(Bytes(520, 0));
    EXPECT_EQ(Run(kDevice, 1, 2, false), kLinkLen);
}

TEST_F(Transaction, RequestThatCannotFitTheBufferIsRefused) {
    link.SetTransit(kTransit);
    EXPECT_EQ(Run(kDevice, 1, kMaxBlocks), kLinkLen);
    EXPECT_TRUE(port.writes.empty());
}

TEST_F(Transaction, CommandWaitsForLockAndGivesUpWithInternalBusy) {
    std::atomic<bool> held{false};
    std::thread holder([&] {
        link.PortLock().TryLock();
        held = true;
        std::this_thread::sleep_for(std::chrono::milliseconds(1400));
        link.PortLock().Unlock();
    });
    while (!held) std::this_thread::yield();
    std::uint32_t answered = 0;
    EXPECT_EQ(link.ReadAddress(kDevice, answered), kLinkInternalBusy);
    EXPECT_TRUE(port.writes.empty());
    holder.join();
}

TEST(LinkStatistics, CountsAttemptsFailuresAndRuns) {
    CScriptedPort port;
    CLinkR307 link;
    link.AttachPort(&port);
    link.Prepare(kDevice, 1, 2, 0, 0);
    EXPECT_EQ(link.Transact(true), kLinkEmpty);
    SLinkDevStat s;
    ASSERT_TRUE(link.GetDeviceStat(kDevice, s));
    EXPECT_EQ(s.w[SLinkDevStat::kCommands], 3u);
    EXPECT_EQ(s.w[SLinkDevStat::kErrors], 3u);
    EXPECT_EQ(s.w[SLinkDevStat::CodeWord(kLinkEmpty)], 3u);
    EXPECT_EQ(s.w[SLinkDevStat::kErrorsWithRepeat], 1u);
    EXPECT_EQ(s.w[SLinkDevStat::kTransactions], 1u);
    EXPECT_EQ(s.w[SLinkDevStat::kErrorRun], 3u);

    port.replies.push_back({});
    port.replies.push_back(MakeFrame(kDevice, 1, 2));
    link.Prepare(kDevice, 1, 2, 0, 0);
    EXPECT_EQ(link.Transact(true), 0);
    link.GetDeviceStat(kDevice, s);
    EXPECT_EQ(s.w[SLinkDevStat::kErrorRun], 0u);
    EXPECT_EQ(s.w[SLinkDevStat::kErrors], 4u);
    EXPECT_EQ(s.w[SLinkDevStat::kErrorsWithRepeat], 1u);
    EXPECT_EQ(s.w[SLinkDevStat::kTransactions], 2u);

    EXPECT_FALSE(link.GetDeviceStat(kDevice + 5, s));
    EXPECT_EQ(s.w[SLinkDevStat::kDevice], kDevice + 5);
    EXPECT_EQ(s.w[SLinkDevStat::kCommands], 0u);

    link.ResetStatistics();
    EXPECT_FALSE(link.GetDeviceStat(kDevice, s));
}

TEST(LinkStatistics, TableDoublesWhenItFillsAndKeepsRecords) {
    CLinkStatTable table;
    EXPECT_EQ(table.Capacity(), 11u);
    for (std::uint32_t a = 1; a <= 10; ++a) table.OnAttempt(a);
    EXPECT_EQ(table.Capacity(), 11u);
    table.OnAttempt(11);
    EXPECT_EQ(table.Capacity(), 23u);
    SLinkDevStat s;
    for (std::uint32_t a = 1; a <= 11; ++a) {
        ASSERT_TRUE(table.GetDeviceStat(a, s));
        EXPECT_EQ(s.w[SLinkDevStat::kCommands], 1u);
    }
    table.OnFailedAttempt(99, kLinkCrc);  // no record: nothing is created
    EXPECT_FALSE(table.GetDeviceStat(99, s));
}

TEST(LinkLog, ComposesEntriesOnlyWhileTheErrorLogIsOn) {
    CScriptedPort port;
    CLinkR307 link;
    link.AttachPort(&port);
    std::vector<std::string> entries;
    link.SetLogSink([&](const std::string& name, const std::string& text) {
        entries.push_back(name + "|" + text);
    });
    link.Prepare(kDevice, 1, 2, 0, 0);
    link.Transact(false);
    EXPECT_TRUE(entries.empty());

    link.StartErrorLog();
    link.Prepare(kDevice, 1, 2, 0, 0);
    link.Transact(false);
    ASSERT_EQ(entries.size(), 3u);  // start, the failed attempt, repeats exhausted
    EXPECT_EQ(entries[0], "Dravmer-LinkErrors|Start.\r\n");
    EXPECT_NE(entries[1].find("Ошибка приёма.  Код ошибки: -1 - \"не принято ни одного байта\"."),
              std::string::npos);
    EXPECT_NE(entries[1].find("send     (16 b):  "), std::string::npos);
    EXPECT_NE(entries[2].find("1 попытки обращения к прибору 4000123 завершились неудачно."),
              std::string::npos);
    link.StopErrorLog();
    EXPECT_NE(entries.back().find("Device: 4000123    \tCommands: 2   \tErrors: 2"),
              std::string::npos);
    EXPECT_NE(entries.back().find("Stop.\r\n\r\n\r\n"), std::string::npos);
}

TEST(LinkLog, BytesAreGroupedByEight) {
    std::uint8_t bytes[9] = {0, 1, 2, 3, 4, 5, 6, 0xAB, 0xFF};
    EXPECT_EQ(FormatLogBytes(bytes, 9), "00 01 02 03 04 05 06 AB   FF ");
}

TEST(LinkResultText, MessagesAndShortNames) {
    EXPECT_EQ(LinkResultText(0, 0), "\"нет ошибки\"");
    EXPECT_EQ(LinkResultText(-16, 0), "\"внутренняя ошибка использования ресурсов связи\"");
    EXPECT_EQ(LinkResultText(-17, 0), "");
    EXPECT_EQ(LinkResultText(1, 0), "");
    EXPECT_STREQ(LinkShortName(-1), "Empty");
    EXPECT_STREQ(LinkShortName(-16), "InternalBusy");
    EXPECT_STREQ(kLinkDisplayMessages[9], "OPC.m_ucResult!=0 в команде прибора");
}

}  // namespace
}  // namespace dravmer
