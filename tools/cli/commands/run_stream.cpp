#include "cli/commands/run_stream.h"

#include <unistd.h>

#include <cstdlib>
#include <iostream>
#include <ostream>

namespace dravmer::cli {

CRunStreams::CRunStreams(CBench& bench, IBenchListener* printer) : m_tee(bench, printer) {}

CRunStreams::~CRunStreams() {
    // The bench must not feed a sink that is going away.
    if (m_ndjson) m_tee.RemoveSink(m_ndjson.get());
    if (m_mqtt) m_tee.RemoveSink(m_mqtt->Sink());
}

void CRunStreams::Say(const std::string& text) {
    std::lock_guard lock(m_mutex);
    m_messages.push_back(text);
}

bool CRunStreams::Start(CliContext& ctx, const SRunStreamOptions& o,
                        const ISettingsStore& settings, std::string& error) {
    m_language = ctx.language;
    SMqttSettings mqtt;
    if (!o.mqttUrl.empty()) {
        if (!ParseMqttUrl(o.mqttUrl, mqtt, error, ctx.language)) return false;
        const std::string passwordFile =
            o.mqttPasswordFile.empty()
                ? settings.GetString(kStreamSection, kMqttPasswordFileKey, "")
                : o.mqttPasswordFile;
        std::string warning;
        if (!ApplyMqttCredentials(mqtt, settings.GetString(kStreamSection, kMqttUserKey, ""),
                                  passwordFile, std::getenv(kMqttPasswordEnv), warning, error))
            return false;
        if (!warning.empty()) ctx.err << "dravmer-cli run: warning: " << warning << "\n";
        mqtt.topicPrefix = o.mqttTopic;
        if (!mqtt.topicPrefix.empty() &&
            !CheckMqttTopicPrefix(mqtt.topicPrefix, error, ctx.language))
            return false;
    }
    if (o.ndjson) {
        auto onError = [this](const std::string& text) { Say("dravmer-cli run: " + text); };
        if (&ctx.out == &std::cout) {
            std::cout.flush();
            m_ndjson = std::make_unique<CNdjsonStream>(STDOUT_FILENO, 100000, onError);
        } else {
            // A caller's own stream (the tests): each line as it comes, flushed.
            std::ostream* out = &ctx.out;
            m_ndjson = std::make_unique<CNdjsonStream>(
                [out](std::string_view text) {
                    out->write(text.data(), static_cast<std::streamsize>(text.size()));
                    out->flush();
                    return static_cast<bool>(*out);
                },
                100000, onError);
        }
        if (!m_ndjson->Start()) {
            error = "the stream's thread could not be started";
            return false;
        }
        m_tee.AddSink(m_ndjson.get());
    }
    if (!o.mqttUrl.empty()) {
        m_mqtt = OpenMqttPublisher(
            mqtt, [this](const SMqttStatus& status) { Say(WordMqttStatus(status, m_language)); },
            error);
        if (!m_mqtt) return false;
        if (!m_mqtt->Start()) {
            error = "the MQTT thread could not be started";
            return false;
        }
        m_tee.AddSink(m_mqtt->Sink());
    }
    return true;
}

void CRunStreams::PrintMessages(std::ostream& err) {
    std::vector<std::string> messages;
    {
        std::lock_guard lock(m_mutex);
        messages.swap(m_messages);
    }
    for (const auto& m : messages) err << m << "\n";
    if (!messages.empty()) err.flush();
}

bool CRunStreams::Finish(std::ostream& err) {
    bool whole = true;
    if (m_ndjson) {
        m_ndjson->Finish(5000);
        m_tee.RemoveSink(m_ndjson.get());
    }
    if (m_mqtt) {
        m_mqtt->Finish(5000);
        m_tee.RemoveSink(m_mqtt->Sink());
    }
    PrintMessages(err);
    const bool en = m_language == Language::English;
    if (m_ndjson) {
        err << (en ? "Stream: " : "Поток: ") << m_ndjson->Written()
            << (en ? " records written" : " записей выведено");
        if (m_ndjson->Dropped() > 0)
            err << ", " << m_ndjson->Dropped()
                << (en ? " records not written" : " записей не выведено");
        err << "\n";
        whole = whole && m_ndjson->Dropped() == 0 && !m_ndjson->Broken();
    }
    if (m_mqtt) {
        err << "MQTT: " << m_mqtt->Published()
            << (en ? " records published to " : " записей опубликовано в ")
            << m_mqtt->TopicPrefix() << (en ? "/ on " : "/ на брокере ")
            << m_mqtt->BrokerName();
        if (m_mqtt->Dropped() > 0)
            err << ", " << m_mqtt->Dropped()
                << (en ? " records not published" : " записей не опубликовано");
        if (m_mqtt->Outages() > 0)
            err << (en ? ", " : ", обрывов связи с брокером: ") << m_mqtt->Outages()
                << (en ? " broker outages" : "");
        err << "\n";
        whole = whole && m_mqtt->Dropped() == 0;
    }
    return whole;
}

std::string CheckMqttUrlText(const std::string& url, Language language) {
    SMqttSettings settings;
    std::string error;
    return ParseMqttUrl(url, settings, error, language) ? std::string() : error;
}

std::string CheckStreamTargetText(const std::string& target, Language language) {
    if (target.empty() || target == "-") return std::string();
    return language == Language::English
               ? "--stream writes to standard output: give it alone or as '--stream -'"
               : "--stream пишет в стандартный вывод: укажите его без значения или как "
                 "'--stream -'";
}

std::string CheckMqttTopicText(const std::string& topic, Language language) {
    std::string copy = topic, error;
    return CheckMqttTopicPrefix(copy, error, language) ? std::string() : error;
}

}  // namespace dravmer::cli
