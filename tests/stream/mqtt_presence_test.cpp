// The publisher's presence on PREFIX/status and a broker that wants a password, against a real
// mosquitto on a free loopback port: "online" at each connection, "offline" at the end (said by
// the publisher, or by the broker's last will when the connection breaks), and a refusal that no
// retry mends told as such, once, with no reconnect loop.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <thread>

#include "broker.h"
#include "stream/mqtt_publisher.h"

namespace dravmer {
namespace {
using namespace testing_stream;

SMqttSettings Settings(const CTestBroker& broker, const std::string& prefix) {
    SMqttSettings s;
    std::string error;
    EXPECT_TRUE(ParseMqttUrl(broker.Url(), s, error)) << error;
    s.topicPrefix = prefix;
    s.retryMinMs = 200;
    s.retryMaxMs = 1000;
    return s;
}

// The payloads the subscriber got on one topic, in order.
std::vector<std::string> On(const CTestSubscriber& sub, const std::string& topic) {
    std::vector<std::string> payloads;
    for (const auto& m : sub.Messages())
        if (m.topic == topic) payloads.push_back(m.payload);
    return payloads;
}

// The retained message a newcomer gets on the topic ("" when none comes).
std::string Retained(int port, const std::string& topic) {
    CTestSubscriber late;
    if (!late.Connect(port, topic)) return "no subscription";
    if (!late.WaitFor(1, 5000)) return "";
    const auto m = late.Messages().front();
    return m.retained ? m.payload : "not retained: " + m.payload;
}

TEST(MqttPresence, OnlineAtEachConnectionBeforeTheRecordsAndOfflineAtTheEnd) {
    CTestBroker broker;
    ASSERT_TRUE(broker.Start());
    CTestSubscriber sub;
    ASSERT_TRUE(sub.Connect(broker.Port(), "lab/p1/#"));
    CMqttPublisher pub(Settings(broker, "lab/p1"));
    EXPECT_EQ(pub.StatusTopic(), "lab/p1/status");
    ASSERT_TRUE(pub.Start());
    ASSERT_TRUE(WaitUntil([&] { return On(sub, "lab/p1/status").size() == 1; }, 15000));
    EXPECT_EQ(Retained(broker.Port(), "lab/p1/status"), "online");

    // The broker restarts (forgetting everything): the publisher is online there again.
    broker.Kill();
    ASSERT_TRUE(WaitUntil([&] { return pub.Status().state == MqttState::Down; }, 15000));
    ASSERT_TRUE(broker.Start());
    ASSERT_TRUE(WaitUntil([&] { return pub.Status().state == MqttState::Connected; }, 20000));
    ASSERT_TRUE(WaitUntil([&] { return Retained(broker.Port(), "lab/p1/status") == "online"; },
                          15000));

    pub.PushEvent({"stop", "261206-007", {101}, 1796540803, "stopped"});
    pub.Finish(10000);
    EXPECT_EQ(Retained(broker.Port(), "lab/p1/status"), "offline");
    const auto topics = broker.ReceivedTopics();
    ASSERT_GE(topics.size(), 3u);
    EXPECT_EQ(topics.back(), "lab/p1/status") << "the goodbye comes after the stop";
    EXPECT_EQ(topics[topics.size() - 2], "lab/p1/experiment");
}

TEST(MqttPresence, AStopWithoutFinishStillSaysOffline) {
    CTestBroker broker;
    ASSERT_TRUE(broker.Start());
    CMqttPublisher pub(Settings(broker, "lab/p2"));
    ASSERT_TRUE(pub.Start());
    ASSERT_TRUE(WaitUntil([&] { return Retained(broker.Port(), "lab/p2/status") == "online"; },
                          15000));
    EXPECT_EQ(pub.StopWithin(10000), 0);
    EXPECT_TRUE(WaitUntil([&] { return Retained(broker.Port(), "lab/p2/status") == "offline"; },
                          15000));
}

TEST(MqttPassword, ABrokerWithAPasswordFileTakesTheRightOneAndAWrongOneIsToldAsFinal) {
    CTestBroker broker;
    ASSERT_TRUE(broker.RequirePassword("bench", "s3cret-Pw"));
    ASSERT_TRUE(broker.Start());
    CTestSubscriber sub;
    ASSERT_TRUE(sub.Connect(broker.Port(), "lab/pw/#", "bench", "s3cret-Pw"));

    SMqttSettings good = Settings(broker, "lab/pw");
    good.user = "bench";
    good.password = "s3cret-Pw";
    {
        CMqttPublisher pub(good);
        ASSERT_TRUE(pub.Start());
        ASSERT_TRUE(WaitUntil([&] { return pub.Status().state == MqttState::Connected; }, 15000))
            << WordMqttStatus(pub.Status(), Language::English);
        SStreamRecord r;
        r.address = 5;
        pub.PushRecord(r);
        pub.Finish(10000);
        EXPECT_EQ(pub.Published(), 1u);
    }
    ASSERT_TRUE(sub.WaitFor(3, 15000)) << sub.Messages().size();  // online, record, offline

    SMqttSettings wrong = good;
    wrong.password = "guess-Pw";
    std::mutex mutex;
    std::vector<SMqttStatus> told;
    CMqttPublisher pub(wrong, [&](const SMqttStatus& s) {
        std::lock_guard lock(mutex);
        told.push_back(s);
    });
    ASSERT_TRUE(pub.Start());
    ASSERT_TRUE(WaitUntil([&] { return pub.GaveUp(); }, 15000))
        << WordMqttStatus(pub.Status(), Language::English);
    const int attempts = broker.LogLines("New connection from");
    SStreamRecord r;
    pub.PushRecord(r);
    // Time enough for several retries, had there been any.
    std::this_thread::sleep_for(std::chrono::milliseconds(2500));
    EXPECT_EQ(broker.LogLines("New connection from"), attempts) << "no reconnect loop";
    EXPECT_GE(attempts, 1);
    {
        std::lock_guard lock(mutex);
        ASSERT_EQ(told.size(), 1u);
        EXPECT_EQ(told[0].state, MqttState::Down);
        EXPECT_TRUE(told[0].why.final);
    }
    for (Language language : {Language::English, Language::Russian}) {
        const std::string text = WordMqttStatus(pub.Status(), language);
        EXPECT_EQ(text.find("guess-Pw"), std::string::npos) << text;
        EXPECT_EQ(text.find(language == Language::English ? "when the connection is back"
                                                          : "когда связь восстановится"),
                  std::string::npos)
            << text;
        EXPECT_NE(text.find(language == Language::English ? "waiting does not mend"
                                                          : "ожиданием это не исправить"),
                  std::string::npos)
            << text;
    }
    pub.Finish(2000);
    EXPECT_EQ(pub.Published(), 0u);
    EXPECT_EQ(pub.Dropped(), 1u);
}

}  // namespace
}  // namespace dravmer
