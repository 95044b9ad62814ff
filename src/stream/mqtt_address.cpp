// The broker's address, the topic prefix and the status as the operator reads it: plain text,
// which the command line handles without the MQTT library.
#include <unistd.h>

#include <string>

#include "stream/mqtt_publisher.h"

namespace dravmer {

std::string MqttHostName() {
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0 || !name[0]) return "bench";
    std::string s = name;
    for (char& c : s)
        if (c == '+' || c == '#' || c == '/') c = '_';
    return s;
}

bool ParseMqttUrl(const std::string& url, SMqttSettings& settings, std::string& error,
                  Language language) {
    const bool en = language == Language::English;
    std::string rest = url;
    const std::size_t scheme = rest.find("://");
    if (scheme != std::string::npos) {
        const std::string name = rest.substr(0, scheme);
        if (name == "mqtts" || name == "ssl") {
            error = "TLS (" + name + "://) " +
                    (en ? "is not supported; give mqtt://HOST[:PORT]"
                        : "не поддерживается; укажите mqtt://HOST[:PORT]");
            return false;
        }
        if (name != "mqtt" && name != "tcp") {
            error = "'" + url + "' " +
                    (en ? "is not an MQTT address: mqtt://HOST[:PORT]"
                        : "не адрес MQTT: mqtt://HOST[:PORT]");
            return false;
        }
        rest = rest.substr(scheme + 3);
    }
    if (!rest.empty() && rest.back() == '/') rest.pop_back();
    if (rest.find('/') != std::string::npos) {
        error = "'" + url + "': " +
                (en ? "an MQTT address has no path; the topic is given apart"
                    : "в адресе MQTT нет пути; тема указывается отдельно");
        return false;
    }
    std::string user, password;
    if (const std::size_t at = rest.rfind('@'); at != std::string::npos) {
        const std::string credentials = rest.substr(0, at);
        rest = rest.substr(at + 1);
        const std::size_t colon = credentials.find(':');
        user = credentials.substr(0, colon);
        if (colon != std::string::npos) password = credentials.substr(colon + 1);
    }
    std::string host = rest, portText;
    if (!rest.empty() && rest.front() == '[') {
        const std::size_t close = rest.find(']');
        if (close == std::string::npos) {
            error = "'" + url + "': " +
                    (en ? "an IPv6 address needs its closing ']'"
                        : "адресу IPv6 нужна закрывающая ']'");
            return false;
        }
        host = rest.substr(1, close - 1);
        if (close + 1 < rest.size()) {
            if (rest[close + 1] != ':') {
                error = "'" + url + "': " +
                        (en ? "expected ':PORT' after the address"
                            : "после адреса ожидается ':PORT'");
                return false;
            }
            portText = rest.substr(close + 2);
        }
    } else if (const std::size_t colon = rest.find(':'); colon != std::string::npos) {
        host = rest.substr(0, colon);
        portText = rest.substr(colon + 1);
    }
    if (host.empty()) {
        error = "'" + url + "' " +
                (en ? "names no broker: mqtt://HOST[:PORT]"
                    : "не называет брокера: mqtt://HOST[:PORT]");
        return false;
    }
    int port = 1883;
    if (!portText.empty() || (rest.find(':') != std::string::npos && rest.front() != '[')) {
        if (portText.empty() || portText.size() > 5 ||
            portText.find_first_not_of("0123456789") != std::string::npos ||
            std::stoi(portText) < 1 || std::stoi(portText) > 65535) {
            error = "'" + url + "': " +
                    (en ? "the port must be a number from 1 to 65535"
                        : "порт должен быть числом от 1 до 65535");
            return false;
        }
        port = std::stoi(portText);
    }
    settings.host = host;
    settings.port = port;
    settings.user = user;
    settings.password = password;
    return true;
}

bool CheckMqttTopicPrefix(std::string& prefix, std::string& error, Language language) {
    const bool en = language == Language::English;
    while (!prefix.empty() && prefix.back() == '/') prefix.pop_back();
    if (prefix.empty()) {
        error = en ? "the topic prefix is empty" : "префикс тем пуст";
        return false;
    }
    if (prefix.find_first_of("+#") != std::string::npos || prefix.find('\0') != std::string::npos) {
        error = en ? "the topic prefix '" + prefix + "' holds '+' or '#', which no topic may hold"
                   : "префикс тем '" + prefix + "' содержит '+' или '#', недопустимые в теме";
        return false;
    }
    return true;
}

std::string DefaultMqttTopicPrefix() { return "dravmer/" + MqttHostName(); }

std::string WordMqttStatus(const SMqttStatus& status, Language language) {
    const bool en = language == Language::English;
    switch (status.state) {
        case MqttState::Connecting:
            return (en ? "MQTT: connecting to the broker " : "MQTT: соединение с брокером ") +
                   status.broker + "…";
        case MqttState::Connected:
            return en ? "MQTT: connected to the broker " + status.broker +
                            "; the records are published under " + status.topicPrefix + "/…"
                      : "MQTT: связь с брокером " + status.broker + " есть; записи публикуются в " +
                            status.topicPrefix + "/…";
        case MqttState::Down:
            break;
    }
    std::string why;
    const std::string& system = status.why.system;
    switch (status.why.kind) {
        case SMqttWhy::Kind::None:
        case SMqttWhy::Kind::System:
            why = system;
            break;
        case SMqttWhy::Kind::AddressNotFound:
            why = (en ? "address not found (" : "адрес не найден (") + system + ")";
            break;
        case SMqttWhy::Kind::NoAnswer:
            why = en ? "no answer" : "нет ответа";
            break;
        case SMqttWhy::Kind::Closed:
            why = en ? "connection closed" : "соединение закрыто";
            break;
        case SMqttWhy::Kind::Refused:
            why = (en ? "the broker refused: " : "брокер отказал: ") + system;
            break;
        case SMqttWhy::Kind::NoConnack:
            why = en ? "the broker did not answer the connection"
                     : "брокер не ответил на подключение";
            break;
        case SMqttWhy::Kind::NoClient:
            why = en ? "the MQTT client was not created" : "клиент MQTT не создан";
            break;
    }
    return en ? "MQTT: no connection to the broker " + status.broker + " (" + why +
                    "); the records wait in the queue and are sent when the connection is back."
              : "MQTT: нет связи с брокером " + status.broker + " (" + why +
                    "); записи ждут в очереди и будут отправлены, когда связь восстановится.";
}

}  // namespace dravmer
