#pragma once
// Feeds the live stream (NDJSON, MQTT) from the bench: a listener that passes every event on to
// the front end's own listener and hands each new record, and the experiment's start and stop,
// to the stream's sinks. Records are taken from the stores in order, so a record the store
// holds reaches every sink once, even when two appends come before one event is handled.
#include <mutex>
#include <string>
#include <vector>

#include "bench/bench_listener.h"
#include "stream/stream_record.h"

namespace dravmer {

class CBench;

inline constexpr const char* kStopReasonStopped = "stopped";
inline constexpr const char* kStopReasonInterrupted = "interrupted";

class CBenchStream : public IBenchListener {
public:
    // `next` gets every event (may be null).
    CBenchStream(CBench& bench, IBenchListener* next);

    // Sinks may come and go at any time; a sink added during an experiment gets its start event
    // and the records from then on.
    void AddSink(IRecordSink* sink);
    void RemoveSink(IRecordSink* sink);
    // The cause the next stop event gives ("interrupted" when the program was told to end);
    // "stopped" again after that stop.
    void SetStopReason(const std::string& reason);

    void OnSearchProgress(int port, int code, std::uint32_t value, int found) override;
    void OnSearchFinished(int foundCount) override;
    void OnDeviceListChanged() override;
    void OnAskingDevice(std::size_t index, std::uint32_t address) override;
    void OnWaitingForDevice(std::size_t index, std::uint32_t address) override;
    void OnDeviceAnswered(std::size_t index, std::uint32_t address) override;
    void OnDeviceIdentified(std::size_t row, const SFoundInfo& info) override;
    void OnPortNotOpen(int port, const SPortState& state) override;
    void OnPortReopened(int port) override;
    void OnPollLost(int port) override;
    void OnWaitingForPollEnd(int port) override;
    void OnExperimentStarted(int number) override;
    void OnExperimentStopped() override;
    void OnRecordAdded(std::size_t index) override;
    void OnParamsReport(const SParamsReport& entry) override;
    void OnError(const SBenchMessage& message) override;

private:
    // The start event, once per experiment, before its first record (the poll threads may
    // append before the start is announced). Called with m_mutex held.
    void SendStartLocked();
    SExperimentEvent MakeEvent(const char* what) const;

    CBench& m_bench;
    IBenchListener* m_next;
    std::mutex m_mutex;
    std::vector<IRecordSink*> m_sinks;
    std::vector<int> m_sent;  // per store: records handed to the sinks
    bool m_started = false;   // the start event went out
    std::string m_stopReason = kStopReasonStopped;
    SExperimentEvent m_startEvent;
};

}  // namespace dravmer
