// The MQTT part linked in: the publisher of the live stream.
#include "cli/cli_parts.h"
#include "stream/mqtt_publisher.h"

namespace dravmer::cli {

namespace {

class CMqttRun : public IMqttRun {
public:
    CMqttRun(const SMqttSettings& settings, std::function<void(const SMqttStatus&)> onStatus)
        : m_publisher(settings, std::move(onStatus)) {}
    IRecordSink* Sink() override { return &m_publisher; }
    bool Start() override { return m_publisher.Start(); }
    void Finish(int ms) override { m_publisher.Finish(ms); }
    std::uint64_t Published() const override { return m_publisher.Published(); }
    std::uint64_t Dropped() const override { return m_publisher.Dropped(); }
    std::uint64_t Outages() const override { return m_publisher.Outages(); }
    std::string TopicPrefix() const override { return m_publisher.Settings().topicPrefix; }
    std::string BrokerName() const override { return m_publisher.BrokerName(); }

private:
    CMqttPublisher m_publisher;
};

}  // namespace

std::unique_ptr<IMqttRun> OpenMqttPublisher(const SMqttSettings& settings,
                                            std::function<void(const SMqttStatus&)> onStatus,
                                            std::string&) {
    return std::make_unique<CMqttRun>(settings, std::move(onStatus));
}

}  // namespace dravmer::cli
