#pragma once
// One record of the live stream and the experiment's start and stop, as JSON objects: what
// `dravmer-cli run --stream` prints one per line and the MQTT publisher sends.
#include <chrono>
#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "measure/meas_record.h"

namespace dravmer {

struct SStreamRecord {
    std::uint32_t address = 0;
    int port = 0;           // 0..3, as `run --json` numbers the ports
    std::time_t start = 0;  // the store's start time: the record's datetime is start + время
    CMeasRecord record;
    // When the record reached the stream (the delivery delay is measured from here).
    std::chrono::steady_clock::time_point arrived{};
};

struct SExperimentEvent {
    std::string event;       // "start" or "stop"
    std::string experiment;  // "261206-007": the date and number its files are named by
    std::vector<std::uint32_t> devices;
    std::time_t time = 0;
    // A stop's cause: "stopped" (the operator, the set time) or "interrupted" (the program was
    // told to end: SIGTERM, the session closing). Empty: not written (a start).
    std::string reason = {};
};

// {"address":…,"port":…,"time":…,"datetime":"…","cycle":…,"values":{"time":…,"Cst":…,…}}:
// one line without its line end; values keyed by the parameters' ASCII aliases, each the
// shortest text of the float an .adc file holds for it, as the CSV gives it (null for what
// JSON cannot hold).
std::string RecordJson(const SStreamRecord& r);
// {"event":"start","experiment":"261206-007","devices":[…],"datetime":"…"}; a stop also
// has "reason".
std::string ExperimentEventJson(const SExperimentEvent& e);

// Where the stream's records go. Both calls come from the poll threads and the thread that
// starts and stops the experiment: they must never block.
class IRecordSink {
public:
    virtual ~IRecordSink() = default;
    virtual void PushRecord(const SStreamRecord& r) = 0;
    virtual void PushEvent(const SExperimentEvent& e) = 0;
};

}  // namespace dravmer
