// The stream's JSON, its bounded queue and the NDJSON writer.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <sstream>
#include <thread>

#include "broker.h"
#include "measure/param_catalog.h"
#include "stream/ndjson_stream.h"
#include "stream/stream_queue.h"

namespace dravmer {
namespace {
using testing_stream::WaitUntil;

SStreamRecord Record(std::uint32_t address, std::uint32_t second) {
    SStreamRecord r;
    r.address = address;
    r.port = 2;
    r.start = 1796540703;  // 2026-12-06 07:05:03 UTC
    r.record.time = second;
    r.record.cycle = static_cast<std::uint8_t>(second + 3);
    r.record.state = 0xA3;
    for (int i = 3; i < 43; ++i)
        if (!IsIntegerParam(i)) SetParam(r.record, i, 0.1 * i + second);
    r.record.gvEr = 5;
    return r;
}

SStreamItem Item(std::uint32_t address, bool event = false) {
    SStreamItem item;
    item.isEvent = event;
    item.record = Record(address, 0);
    item.event.event = "start";
    return item;
}

TEST(StreamJson, ARecordCarriesItsDeviceTimeAndAllParametersByAlias) {
    ::setenv("TZ", "MSK-3", 1);
    ::tzset();
    SStreamRecord r = Record(300134, 3);
    r.record.ugi[9] = std::nan("");
    const std::string line = RecordJson(r);
    EXPECT_EQ(line.find('\n'), std::string::npos);
    const auto j = nlohmann::json::parse(line);
    EXPECT_EQ(j["address"], 300134);
    EXPECT_EQ(j["port"], 2);
    EXPECT_EQ(j["time"], 3);
    EXPECT_EQ(j["cycle"], 6);
    EXPECT_EQ(j["datetime"], "2026-12-06T10:05:06+03:00");
    ASSERT_EQ(j["values"].size(), 43u);
    for (int i = 0; i < 43; ++i) ASSERT_TRUE(j["values"].contains(ParamAlias(i))) << i;
    EXPECT_EQ(j["values"]["Cst"], 0xA3);
    EXPECT_EQ(j["values"]["GvEr"], 5);
    EXPECT_EQ(j["values"]["time"], 3);
    EXPECT_EQ(j["values"]["t_op"].get<double>(), 3.8) << "the float's shortest text";
    EXPECT_TRUE(j["values"]["UG_9"].is_null()) << "JSON has no NaN";
    ::unsetenv("TZ");
    ::tzset();

    SExperimentEvent e{"stop", "261206-007", {101, 102}, 1796540703, "interrupted"};
    const auto ej = nlohmann::json::parse(ExperimentEventJson(e));
    EXPECT_EQ(ej["event"], "stop");
    EXPECT_EQ(ej["reason"], "interrupted");
    e.event = "start";
    e.reason.clear();
    EXPECT_FALSE(nlohmann::json::parse(ExperimentEventJson(e)).contains("reason"));
    EXPECT_EQ(ej["experiment"], "261206-007");
    EXPECT_EQ(ej["devices"], nlohmann::json::array({101, 102}));
    EXPECT_TRUE(ej["datetime"].is_string());
}

TEST(StreamJson, EachValueIsTheShortestTextOfTheFloatTheAdcFileHolds) {
    // The device's values are floats: widened to double they would print as
    // 22.100000381469727, where the CSV and the .adc file say 22.1.
    struct Case {
        float stored;
        const char* text;
    };
    const Case cases[] = {{22.1f, "22.1"}, {-0.003f, "-0.003"}, {1e-7f, "1e-07"},
                          {123456.79f, "123456.79"}, {3.4028235e38f, "3.4028235e+38"}};
    for (const Case& c : cases) {
        SStreamRecord r = Record(1, 0);
        r.record.ug = c.stored;
        const std::string line = RecordJson(r);
        const std::string key = "\"" + std::string(ParamAlias(3)) + "\":";
        const std::size_t at = line.find(key);
        ASSERT_NE(at, std::string::npos) << line;
        const std::string value = line.substr(at + key.size(), line.find(',', at) - at - key.size());
        EXPECT_EQ(value, c.text);
        EXPECT_EQ(static_cast<float>(nlohmann::json::parse(line)["values"][ParamAlias(3)].get<double>()),
                  c.stored);
    }
}

TEST(StreamQueue, AFullQueueDropsItsOldestRecordsButNeverAnEvent) {
    CStreamQueue q(3);
    q.Push(Item(0, true));
    q.Push(Item(1));
    q.Push(Item(2));
    q.Push(Item(3));        // full: record 1 goes
    q.Push(Item(0, true));  // full: record 2 goes, the event stays
    EXPECT_EQ(q.Dropped(), 2u);
    auto items = q.Take(10);
    ASSERT_EQ(items.size(), 3u);
    EXPECT_TRUE(items[0].isEvent);
    EXPECT_EQ(items[1].record.address, 3u);
    EXPECT_TRUE(items[2].isEvent);
    // What a consumer could not send goes back in front, in its order.
    q.Push(Item(9));
    q.PushFront({Item(7), Item(8)});
    items = q.Take(10);
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(items[0].record.address, 7u);
    EXPECT_EQ(items[2].record.address, 9u);
    // The wake descriptor tells a sleeping consumer that something came.
    q.Drained();
    char buf[8];
    EXPECT_LT(::read(q.WakeFd(), buf, sizeof buf), 0);
    q.Push(Item(1));
    EXPECT_EQ(::read(q.WakeFd(), buf, sizeof buf), 8);
}

TEST(NdjsonStream, WritesEveryRecordAsOneLineInOrderAndFinishesWhatIsQueued) {
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    std::string got;
    std::thread reader([&] {
        char buf[65536];
        for (ssize_t n; (n = ::read(fds[0], buf, sizeof buf)) > 0;) got.append(buf, n);
    });
    {
        CNdjsonStream stream(fds[1]);
        ASSERT_TRUE(stream.Start());
        stream.PushEvent({"start", "261206-001", {1}, 0});
        for (std::uint32_t s = 0; s < 2000; ++s) stream.PushRecord(Record(1, s));
        stream.PushEvent({"stop", "261206-001", {1}, 0});
        stream.Finish(10000);
        EXPECT_EQ(stream.Written(), 2000u);
        EXPECT_EQ(stream.Dropped(), 0u);
    }
    ::close(fds[1]);
    reader.join();
    ::close(fds[0]);
    std::istringstream lines(got);
    std::string line;
    std::getline(lines, line);
    EXPECT_EQ(nlohmann::json::parse(line)["event"], "start");
    for (std::uint32_t s = 0; s < 2000; ++s) {
        ASSERT_TRUE(std::getline(lines, line));
        ASSERT_EQ(nlohmann::json::parse(line)["time"], s);
    }
    ASSERT_TRUE(std::getline(lines, line));
    EXPECT_EQ(nlohmann::json::parse(line)["event"], "stop");
}

TEST(NdjsonStream, AReaderThatStopsReadingOrGoesAwayNeverHoldsUpThePushes) {
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    std::string error;
    std::mutex errorMutex;
    CNdjsonStream stream(fds[1], 500, [&](const std::string& text) {
        std::lock_guard lock(errorMutex);
        error = text;
    });
    ASSERT_TRUE(stream.Start());
    // Nobody reads: the pipe fills, the queue fills, and the pushes still return.
    for (std::uint32_t s = 0; s < 5000; ++s) stream.PushRecord(Record(1, s));
    EXPECT_TRUE(WaitUntil([&] { return stream.Dropped() > 0; }, 10000));
    // The reader goes: the stream ends with a message instead of taking the process with it.
    ::close(fds[0]);
    stream.PushRecord(Record(1, 5000));
    EXPECT_TRUE(WaitUntil([&] { return stream.Broken(); }, 10000));
    stream.PushRecord(Record(1, 5001));
    stream.Finish(2000);
    {
        std::lock_guard lock(errorMutex);
        EXPECT_NE(error.find("reader has gone"), std::string::npos) << error;
    }
    EXPECT_EQ(stream.Written() + stream.Dropped(), 5002u) << "every record is accounted for";
    ::close(fds[1]);
}

}  // namespace
}  // namespace dravmer
