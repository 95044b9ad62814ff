// The live stream through MQTT: a private mosquitto on a free loopback port, a subscriber in this
// process, and
//   1. a bench of 100 simulated devices (4 lines of 25, directly on the lines) running SECONDS:
//      records per second that reach the subscriber, and the delay from a record's arrival in
//      the stream to its delivery (median, 95th percentile, largest);
//   2. a burst of BURST records pushed at once: how many records per second the stream carries.
//   bench_mqtt_stream [SECONDS=30] [BURST=100000]
#include <mosquitto.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <thread>
#include <vector>

#include "bench/bench.h"
#include "bench/bench_stream.h"
#include "broker.h"
#include "sim/sim_line.h"
#include "sim/sim_pty.h"
#include "stream/mqtt_publisher.h"

using namespace dravmer;
using Clock = std::chrono::steady_clock;

namespace {

using Key = std::pair<std::uint32_t, std::uint32_t>;  // address, время

// Notes when each record reached the stream, then passes it on.
class CTimingSink : public IRecordSink {
public:
    explicit CTimingSink(IRecordSink& next) : m_next(next) {}
    void PushRecord(const SStreamRecord& r) override {
        {
            std::lock_guard lock(m_mutex);
            m_arrived[{r.address, r.record.time}] = r.arrived;
        }
        m_next.PushRecord(r);
    }
    void PushEvent(const SExperimentEvent& e) override { m_next.PushEvent(e); }
    bool Arrived(const Key& k, Clock::time_point& t) {
        std::lock_guard lock(m_mutex);
        auto it = m_arrived.find(k);
        if (it == m_arrived.end()) return false;
        t = it->second;
        return true;
    }

private:
    IRecordSink& m_next;
    std::mutex m_mutex;
    std::map<Key, Clock::time_point> m_arrived;
};

// Each record's (address, время) and when it was delivered.
struct SDelivered {
    std::mutex mutex;
    std::vector<std::pair<Key, Clock::time_point>> records;
};

mosquitto* Subscribe(int port, const char* filter, SDelivered& into) {
    mosquitto* m = mosquitto_new(nullptr, true, &into);
    mosquitto_message_callback_set(m, [](mosquitto*, void* obj, const mosquitto_message* msg) {
        const auto now = Clock::now();
        auto* d = static_cast<SDelivered*>(obj);
        const auto j = nlohmann::json::parse(
            static_cast<const char*>(msg->payload),
            static_cast<const char*>(msg->payload) + msg->payloadlen, nullptr, false);
        if (j.is_discarded() || !j.contains("address")) return;
        std::lock_guard lock(d->mutex);
        d->records.push_back(
            {{j["address"].get<std::uint32_t>(), j["time"].get<std::uint32_t>()}, now});
    });
    if (mosquitto_connect(m, "127.0.0.1", port, 30) != MOSQ_ERR_SUCCESS) return nullptr;
    mosquitto_subscribe(m, nullptr, filter, 0);
    mosquitto_loop_start(m);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    return m;
}

void Unsubscribe(mosquitto* m) {
    mosquitto_disconnect(m);
    mosquitto_loop_stop(m, false);
    mosquitto_destroy(m);
}

double Percentile(std::vector<double> v, double p) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, static_cast<std::size_t>(p * static_cast<double>(v.size())))];
}

}  // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 30;
    const int burst = argc > 2 ? std::atoi(argv[2]) : 100000;
    mosquitto_lib_init();
    testing_stream::CTestBroker broker;
    if (!broker.Start()) {
        std::fprintf(stderr, "the broker did not start\n");
        return 1;
    }

    // ---- 1. 100 simulated devices ----
    const auto out = std::filesystem::temp_directory_path() / "dravmer-mqtt-bench";
    std::filesystem::remove_all(out);
    std::filesystem::create_directories(out);
    CMemorySettingsStore store;
    std::vector<std::unique_ptr<sim::CSimLine>> lines;
    std::vector<std::unique_ptr<sim::CSimPtyServer>> servers;
    std::string list, ports, enables;
    for (int p = 0; p < kPortCount; ++p) {
        lines.push_back(std::make_unique<sim::CSimLine>());
        lines.back()->AddDevices(25, 100000 * static_cast<std::uint32_t>(p + 1) + 1, 1);
        servers.push_back(std::make_unique<sim::CSimPtyServer>(*lines.back(), 115200));
        if (!servers.back()->Open()) return 1;
        servers.back()->Start();
        const std::string section = "ComSettingsPort" + std::to_string(p);
        store.SetString(section, "DevicePath", servers.back()->SlavePath());
        for (int d = 0; d < 25; ++d) {
            list += std::to_string(100000 * (p + 1) + 1 + d) + ";";
            ports += std::to_string(p) + ";";
            enables += "1;";
        }
    }
    store.SetString("DeviceList", "List", list);
    store.SetString("DeviceList", "PortList", ports);
    store.SetString("DeviceList", "EnableList", enables);
    store.SetString("ExperimentSettings", "strPathToSaveFile", out.string() + "/");

    SDelivered delivered;
    mosquitto* sub = Subscribe(broker.Port(), "bench/#", delivered);
    if (!sub) return 1;
    SMqttSettings settings;
    std::string error;
    ParseMqttUrl(broker.Url(), settings, error);
    settings.topicPrefix = "bench";
    CMqttPublisher publisher(settings);
    publisher.Start();
    CTimingSink timing(publisher);
    CBench bench(store);
    bench.LoadSettings();
    bench.OpenPorts();
    CBenchStream tee(bench, nullptr);
    tee.AddSink(&timing);
    bench.SetListener(&tee);
    if (bench.Start() != StartResult::Started) {
        std::fprintf(stderr, "the experiment did not start\n");
        return 1;
    }
    const auto began = Clock::now();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    bench.Stop();
    const double ran = std::chrono::duration<double>(Clock::now() - began).count();
    publisher.Finish(10000);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    bench.SetListener(nullptr);
    long stored = 0;
    for (std::size_t i = 0; i < bench.StoreCount(); ++i) stored += bench.Data(i).GetCount();
    std::vector<double> delays;
    {
        std::lock_guard lock(delivered.mutex);
        for (const auto& [key, at] : delivered.records) {
            Clock::time_point arrived;
            if (timing.Arrived(key, arrived))
                delays.push_back(std::chrono::duration<double, std::milli>(at - arrived).count());
        }
    }
    std::printf(
        "100 devices, %.1f s: %ld records in the stores, %zu delivered (%.1f records/s), "
        "%llu dropped\n",
        ran, stored, delays.size(), static_cast<double>(delays.size()) / ran,
        static_cast<unsigned long long>(publisher.Dropped()));
    std::printf("delivery delay: median %.2f ms, 95th percentile %.2f ms, largest %.2f ms\n",
                Percentile(delays, 0.5), Percentile(delays, 0.95), Percentile(delays, 1.0));
    Unsubscribe(sub);

    // ---- 2. a burst ----
    SDelivered burstDelivered;
    sub = Subscribe(broker.Port(), "burst/#", burstDelivered);
    settings.topicPrefix = "burst";
    settings.capacity = static_cast<std::size_t>(burst);
    CMqttPublisher fast(settings);
    fast.Start();
    while (fast.Status().state != MqttState::Connected)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    SStreamRecord r;
    r.start = std::time(nullptr);
    for (int p = 3; p < CMeasRecord::kParamCount; ++p) SetParam(r.record, p, 29.956556 + p);
    const auto t0 = Clock::now();
    for (int k = 0; k < burst; ++k) {
        r.address = 100001 + static_cast<std::uint32_t>(k % 100);
        r.record.time = static_cast<std::uint32_t>(k / 100);
        r.arrived = Clock::now();
        fast.PushRecord(r);
    }
    const double pushSeconds = std::chrono::duration<double>(Clock::now() - t0).count();
    fast.Finish(60000);
    const double sendSeconds = std::chrono::duration<double>(Clock::now() - t0).count();
    for (int wait = 0; wait < 600; ++wait) {
        {
            std::lock_guard lock(burstDelivered.mutex);
            if (burstDelivered.records.size() >= static_cast<std::size_t>(burst)) break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    std::size_t got;
    {
        std::lock_guard lock(burstDelivered.mutex);
        got = burstDelivered.records.size();
    }
    std::size_t received = 0;
    for (const auto& topic : broker.ReceivedTopics()) received += topic.rfind("burst/", 0) == 0;
    std::printf(
        "burst of %d records: pushed in %.3f s (%.0f pushes/s), handed to the broker in "
        "%.2f s (%.0f records/s); the broker received %zu; %zu reached the subscriber "
        "(a broker passes a slow subscriber only so many QoS 0 messages)\n",
        burst, pushSeconds, burst / pushSeconds, sendSeconds, burst / sendSeconds, received, got);
    Unsubscribe(sub);
    std::filesystem::remove_all(out);
    return 0;
}
