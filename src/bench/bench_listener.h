#pragma once
// Events of the engine. Callbacks run on whichever thread raised them (poll threads, the search
// or parameter-saving worker, or the caller of a blocking operation); a front end re-posts them
// to its own thread. Every method has an empty default so a listener takes only what it shows.
#include <cstddef>
#include <cstdint>
#include <string>

#include "bench/bench_message.h"

namespace dravmer {

struct SFoundInfo;

class IBenchListener {
public:
    virtual ~IBenchListener() = default;
    // Device search: a progress code from a port's search (77, 4, 0, 2, 1, 3), its value and the
    // devices found so far; port -1 at the end with the count found. WordSearchProgress words it.
    virtual void OnSearchProgress(int /*port*/, int /*code*/, std::uint32_t /*value*/,
                                  int /*found*/) {}
    // A found device answered its identification: it is row `row` of the new found list
    // (rows come in order, each once; a device that does not answer gets no row).
    virtual void OnDeviceIdentified(std::size_t /*row*/, const SFoundInfo& /*info*/) {}
    virtual void OnSearchFinished(int /*foundCount*/) {}
    // The active device list changed without a search: a start put the saved list back in
    // place of a loaded experiment's devices. Front ends show the list afresh.
    virtual void OnDeviceListChanged() {}
    // Start of an experiment: the start asks device `index` who it is. A line that takes its
    // time (a COM server that has stopped answering) can hold this first try for its time-outs,
    // several seconds; a front end that shows the wait at once takes it from here.
    virtual void OnAskingDevice(std::size_t /*index*/, std::uint32_t /*address*/) {}
    // Start of an experiment: device `index` does not answer; the start keeps retrying until it
    // answers (OnDeviceAnswered) or the wait is cancelled.
    virtual void OnWaitingForDevice(std::size_t /*index*/, std::uint32_t /*address*/) {}
    virtual void OnDeviceAnswered(std::size_t /*index*/, std::uint32_t /*address*/) {}
    // A port is not open: it failed to open (while a start waits for one of its devices) or
    // its line hung up during an experiment. Raised once per outage; the engine keeps trying to
    // open it in the background and raises OnPortReopened when it succeeds.
    // WordPortState words the state.
    virtual void OnPortNotOpen(int /*port*/, const SPortState& /*state*/) {}
    virtual void OnPortReopened(int /*port*/) {}
    // A port's poll thread ended during the experiment without being asked to (raised once per
    // experiment and port); the port's devices are no longer polled.
    virtual void OnPollLost(int /*port*/) {}
    // A start waits for a poll thread of the last experiment on `port` that is still ending.
    virtual void OnWaitingForPollEnd(int /*port*/) {}
    virtual void OnExperimentStarted(int /*number*/) {}
    virtual void OnExperimentStopped() {}
    // A poll thread appended a record to store `index`.
    virtual void OnRecordAdded(std::size_t /*index*/) {}
    // A step of the parameter saving; WordParamsReport words it for the report.
    virtual void OnParamsReport(const SParamsReport& /*entry*/) {}
    // Something the operator must be told; WordMessage words it.
    virtual void OnError(const SBenchMessage& /*message*/) {}
};

}  // namespace dravmer
