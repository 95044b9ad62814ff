#pragma once
// The live stream of `run`: NDJSON on standard output (--stream) and MQTT (--mqtt URL
// [--mqtt-topic PREFIX]). The streams run on threads of their own; what they have to tell the
// operator is kept here and printed by the command's own thread.
#include <iosfwd>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "bench/bench_stream.h"
#include "cli/cli.h"
#include "cli/cli_parts.h"
#include "stream/mqtt_publisher.h"
#include "stream/ndjson_stream.h"

namespace dravmer::cli {

struct SRunStreamOptions {
    bool ndjson = false;
    std::string mqttUrl, mqttTopic;
    std::string mqttPasswordFile;  // empty: the setting Stream/MqttPasswordFile
};


class CRunStreams {
public:
    // `printer` gets the bench's events as before; Listener() is what the bench is given.
    CRunStreams(CBench& bench, IBenchListener* printer);
    ~CRunStreams();

    // Checks the options and starts the streams (the broker is connected to before the
    // experiment starts). False, with the reason, for an address or topic that cannot be used.
    // `settings` gives the user name and password file the options do not.
    bool Start(CliContext& ctx, const SRunStreamOptions& options, const ISettingsStore& settings,
               std::string& error);
    IBenchListener* Listener() { return &m_tee; }
    // The program was told to end (SIGTERM): the stop event says so.
    void MarkInterrupted() { m_tee.SetStopReason(kStopReasonInterrupted); }

    // Prints what the streams reported since the last call (broker lost, back, a reader gone).
    void PrintMessages(std::ostream& err);
    // After the experiment stopped: sends what is queued, ends the streams, prints a line each.
    // True when every record reached every stream.
    bool Finish(std::ostream& err);

private:
    void Say(const std::string& text);

    CBenchStream m_tee;
    std::unique_ptr<CNdjsonStream> m_ndjson;
    std::unique_ptr<IMqttRun> m_mqtt;
    std::mutex m_mutex;
    std::vector<std::string> m_messages;
    Language m_language = Language::English;
};

// The checks of --mqtt and --mqtt-topic for the command line.
std::string CheckMqttUrlText(const std::string& url, Language language);
std::string CheckMqttTopicText(const std::string& topic, Language language);
// --stream's value: nothing or "-" (standard output).
std::string CheckStreamTargetText(const std::string& target, Language language);

}  // namespace dravmer::cli
