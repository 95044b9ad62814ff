// The broker's address and the topic prefix: plain text, which the command line checks without
// the MQTT library.
#include <unistd.h>

#include <string>

#include "stream/mqtt_publisher.h"

namespace dravmer {

namespace {

std::string HostName() {
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0 || !name[0]) return "bench";
    std::string s = name;
    for (char& c : s)
        if (c == '+' || c == '#' || c == '/') c = '_';
    return s;
}

}  // namespace

bool ParseMqttUrl(const std::string& url, SMqttSettings& settings, std::string& error) {
    std::string rest = url;
    const std::size_t scheme = rest.find("://");
    if (scheme != std::string::npos) {
        const std::string name = rest.substr(0, scheme);
        if (name == "mqtts" || name == "ssl") {
            error = "TLS (" + name + "://) is not supported; give mqtt://HOST[:PORT]";
            return false;
        }
        if (name != "mqtt" && name != "tcp") {
            error = "'" + url + "' is not an MQTT address: mqtt://HOST[:PORT]";
            return false;
        }
        rest = rest.substr(scheme + 3);
    }
    if (!rest.empty() && rest.back() == '/') rest.pop_back();
    if (rest.find('/') != std::string::npos) {
        error = "'" + url + "': an MQTT address has no path; the topic is given apart";
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
            error = "'" + url + "': an IPv6 address needs its closing ']'";
            return false;
        }
        host = rest.substr(1, close - 1);
        if (close + 1 < rest.size()) {
            if (rest[close + 1] != ':') {
                error = "'" + url + "': expected ':PORT' after the address";
                return false;
            }
            portText = rest.substr(close + 2);
        }
    } else if (const std::size_t colon = rest.find(':'); colon != std::string::npos) {
        host = rest.substr(0, colon);
        portText = rest.substr(colon + 1);
    }
    if (host.empty()) {
        error = "'" + url + "' names no broker: mqtt://HOST[:PORT]";
        return false;
    }
    int port = 1883;
    if (!portText.empty() || (rest.find(':') != std::string::npos && rest.front() != '[')) {
        if (portText.empty() || portText.size() > 5 ||
            portText.find_first_not_of("0123456789") != std::string::npos ||
            std::stoi(portText) < 1 || std::stoi(portText) > 65535) {
            error = "'" + url + "': the port must be a number from 1 to 65535";
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

bool CheckMqttTopicPrefix(std::string& prefix, std::string& error) {
    while (!prefix.empty() && prefix.back() == '/') prefix.pop_back();
    if (prefix.empty()) {
        error = "the topic prefix is empty";
        return false;
    }
    if (prefix.find_first_of("+#") != std::string::npos || prefix.find('\0') != std::string::npos) {
        error = "the topic prefix '" + prefix + "' holds '+' or '#', which no topic may hold";
        return false;
    }
    return true;
}

std::string DefaultMqttTopicPrefix() { return "dravmer/" + HostName(); }

}  // namespace dravmer
