#include "bench/bench_stream.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "bench/bench.h"
#include "files/experiment_files.h"

namespace dravmer {

CBenchStream::CBenchStream(CBench& bench, IBenchListener* next) : m_bench(bench), m_next(next) {}

void CBenchStream::AddSink(IRecordSink* sink) {
    std::lock_guard lock(m_mutex);
    if (std::find(m_sinks.begin(), m_sinks.end(), sink) != m_sinks.end()) return;
    m_sinks.push_back(sink);
    if (m_started) sink->PushEvent(m_startEvent);
}

void CBenchStream::RemoveSink(IRecordSink* sink) {
    std::lock_guard lock(m_mutex);
    m_sinks.erase(std::remove(m_sinks.begin(), m_sinks.end(), sink), m_sinks.end());
}

void CBenchStream::SetStopReason(const std::string& reason) {
    std::lock_guard lock(m_mutex);
    m_stopReason = reason;
}

SExperimentEvent CBenchStream::MakeEvent(const char* what) const {
    SExperimentEvent e;
    e.event = what;
    e.time = std::time(nullptr);
    char number[16];
    std::snprintf(number, sizeof number, "-%3.3d", m_bench.ExperimentNumber());
    e.experiment = DateText(e.time) + number;
    for (const auto& d : m_bench.Settings().devices.Active()) e.devices.push_back(d.address);
    return e;
}

void CBenchStream::SendStartLocked() {
    if (m_started) return;
    m_started = true;
    m_startEvent = MakeEvent("start");
    for (IRecordSink* sink : m_sinks) sink->PushEvent(m_startEvent);
}

void CBenchStream::OnExperimentStarted(int number) {
    {
        std::lock_guard lock(m_mutex);
        SendStartLocked();
    }
    if (m_next) m_next->OnExperimentStarted(number);
}

void CBenchStream::OnExperimentStopped() {
    {
        std::lock_guard lock(m_mutex);
        if (m_started) {
            SExperimentEvent stop = MakeEvent("stop");
            stop.experiment = m_startEvent.experiment;
            stop.reason = m_stopReason;
            for (IRecordSink* sink : m_sinks) sink->PushEvent(stop);
        }
        m_started = false;
        m_sent.clear();
        m_stopReason = kStopReasonStopped;
    }
    if (m_next) m_next->OnExperimentStopped();
}

void CBenchStream::OnRecordAdded(std::size_t index) {
    {
        // Runs on the poll thread of the device's port, which alone appends to its store.
        std::lock_guard lock(m_mutex);
        SendStartLocked();
        if (index < m_bench.StoreCount() && index < m_bench.Settings().devices.Active().size()) {
            const SActiveDevice device = m_bench.Settings().devices.Active()[index];
            const CDeviceData& data = m_bench.Data(index);
            if (m_sent.size() <= index) m_sent.resize(index + 1, 0);
            const int count = data.GetCount();
            int& sent = m_sent[index];
            if (sent > count) sent = 0;  // the store was emptied
            SStreamRecord r;
            r.address = device.address;
            r.port = device.port;
            r.start = data.StartTime();
            r.arrived = std::chrono::steady_clock::now();
            for (; sent < count; ++sent) {
                r.record = data.GetSample(sent);
                for (IRecordSink* sink : m_sinks) sink->PushRecord(r);
            }
        }
    }
    if (m_next) m_next->OnRecordAdded(index);
}

void CBenchStream::OnSearchProgress(int port, int code, std::uint32_t value, int found) {
    if (m_next) m_next->OnSearchProgress(port, code, value, found);
}
void CBenchStream::OnSearchFinished(int foundCount) {
    if (m_next) m_next->OnSearchFinished(foundCount);
}
void CBenchStream::OnDeviceListChanged() {
    if (m_next) m_next->OnDeviceListChanged();
}
void CBenchStream::OnAskingDevice(std::size_t index, std::uint32_t address) {
    if (m_next) m_next->OnAskingDevice(index, address);
}
void CBenchStream::OnWaitingForDevice(std::size_t index, std::uint32_t address) {
    if (m_next) m_next->OnWaitingForDevice(index, address);
}
void CBenchStream::OnDeviceAnswered(std::size_t index, std::uint32_t address) {
    if (m_next) m_next->OnDeviceAnswered(index, address);
}
void CBenchStream::OnPortNotOpen(int port, const SPortState& state) {
    if (m_next) m_next->OnPortNotOpen(port, state);
}
void CBenchStream::OnPortReopened(int port) {
    if (m_next) m_next->OnPortReopened(port);
}
void CBenchStream::OnPollLost(int port) {
    if (m_next) m_next->OnPollLost(port);
}
void CBenchStream::OnWaitingForPollEnd(int port) {
    if (m_next) m_next->OnWaitingForPollEnd(port);
}
void CBenchStream::OnDeviceIdentified(std::size_t row, const SFoundInfo& info) {
    if (m_next) m_next->OnDeviceIdentified(row, info);
}
void CBenchStream::OnParamsReport(const SParamsReport& entry) {
    if (m_next) m_next->OnParamsReport(entry);
}
void CBenchStream::OnError(const SBenchMessage& message) {
    if (m_next) m_next->OnError(message);
}

}  // namespace dravmer
