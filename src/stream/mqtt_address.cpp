// The broker's address, the topic prefix and the status as the operator reads it: plain text,
// which the command line handles without the MQTT library.
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
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

namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// "%40" and the like into their bytes; false for a '%' without two hex digits.
bool PercentDecode(const std::string& text, std::string& out) {
    out.clear();
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        if (i + 2 >= text.size()) return false;
        const int high = HexDigit(text[i + 1]), low = HexDigit(text[i + 2]);
        if (high < 0 || low < 0) return false;
        out += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return true;
}

// Where the credentials of an address end ('@' before the host), npos when it has none.
std::size_t CredentialsEnd(const std::string& url, std::size_t from) {
    const std::size_t at = url.rfind('@');
    return at != std::string::npos && at >= from ? at : std::string::npos;
}

// False, with `what`, for text that is not UTF-8 or holds what an MQTT topic may not or a
// broker refuses: NUL and the other control characters, surrogates, non-characters.
bool ValidTopicUtf8(const std::string& text, std::string& what, Language language) {
    const bool en = language == Language::English;
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    for (std::size_t i = 0; i < n;) {
        const unsigned char c = p[i];
        std::uint32_t cp = 0;
        int extra = 0;
        if (c < 0x80) cp = c;
        else if ((c & 0xE0) == 0xC0) cp = c & 0x1F, extra = 1;
        else if ((c & 0xF0) == 0xE0) cp = c & 0x0F, extra = 2;
        else if ((c & 0xF8) == 0xF0) cp = c & 0x07, extra = 3;
        else {
            what = (en ? "is not valid UTF-8 (byte " : "не в кодировке UTF-8 (байт ") + std::to_string(i) + ")";
            return false;
        }
        if (i + static_cast<std::size_t>(extra) >= n) {
            what = en ? "is not valid UTF-8 (cut short at its end)" : "не в кодировке UTF-8 (оборван в конце)";
            return false;
        }
        for (int k = 1; k <= extra; ++k) {
            if ((p[i + static_cast<std::size_t>(k)] & 0xC0) != 0x80) {
                what = (en ? "is not valid UTF-8 (byte " : "не в кодировке UTF-8 (байт ") + std::to_string(i) + ")";
                return false;
            }
            cp = (cp << 6) | (p[i + static_cast<std::size_t>(k)] & 0x3F);
        }
        static constexpr std::uint32_t kLeast[] = {0, 0x80, 0x800, 0x10000};
        if (cp < kLeast[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            what = (en ? "is not valid UTF-8 (byte " : "не в кодировке UTF-8 (байт ") + std::to_string(i) + ")";
            return false;
        }
        if (cp == 0) {
            what = en ? "holds a NUL character" : "содержит символ NUL";
            return false;
        }
        if (cp < 0x20 || (cp >= 0x7F && cp <= 0x9F)) {
            what = en ? "holds a control character" : "содержит управляющий символ";
            return false;
        }
        if ((cp >= 0xFDD0 && cp <= 0xFDEF) || (cp & 0xFFFE) == 0xFFFE) {
            what = en ? "holds a Unicode non-character" : "содержит несимвол Юникода";
            return false;
        }
        i += 1 + static_cast<std::size_t>(extra);
    }
    return true;
}

}  // namespace

std::string RedactMqttUrl(const std::string& url) {
    const std::size_t scheme = url.find("://");
    const std::size_t from = scheme == std::string::npos ? 0 : scheme + 3;
    const std::size_t at = CredentialsEnd(url, from);
    if (at == std::string::npos) return url;
    const std::size_t colon = url.find(':', from);
    if (colon == std::string::npos || colon > at) return url;
    return url.substr(0, colon + 1) + "***" + url.substr(at);
}

bool ParseMqttUrl(const std::string& raw, SMqttSettings& settings, std::string& error,
                  Language language) {
    const bool en = language == Language::English;
    // Every reason below names the address without its password.
    const std::string url = RedactMqttUrl(raw);
    std::string rest = raw;
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
    // A password may hold a '/': only the part after the credentials is looked at.
    const std::size_t hostFrom = CredentialsEnd(rest, 0);
    if (rest.find('/', hostFrom == std::string::npos ? 0 : hostFrom) != std::string::npos) {
        error = "'" + url + "': " +
                (en ? "an MQTT address has no path; the topic is given apart"
                    : "в адресе MQTT нет пути; тема указывается отдельно");
        return false;
    }
    std::string user, password;
    bool hasPassword = false;
    if (const std::size_t at = rest.rfind('@'); at != std::string::npos) {
        const std::string credentials = rest.substr(0, at);
        rest = rest.substr(at + 1);
        const std::size_t colon = credentials.find(':');
        hasPassword = colon != std::string::npos;
        if (!PercentDecode(credentials.substr(0, colon), user) ||
            (hasPassword && !PercentDecode(credentials.substr(colon + 1), password))) {
            error = "'" + url + "': a '%' in the user name or password must be followed by two hex digits";
            return false;
        }
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
    settings.passwordInUrl = hasPassword && !password.empty();
    return true;
}

bool ApplyMqttCredentials(SMqttSettings& settings, const std::string& user,
                          const std::string& passwordFile, const char* envPassword,
                          std::string& warning, std::string& error) {
    warning.clear();
    if (settings.user.empty()) settings.user = user;
    if (!passwordFile.empty()) {
        std::ifstream in(passwordFile);
        std::string line;
        if (!in || (!std::getline(in, line) && !in.eof())) {
            error = "the MQTT password file " + passwordFile + " cannot be read";
            return false;
        }
        if (!line.empty() && line.back() == '\r') line.pop_back();
        settings.password = line;
        settings.passwordInUrl = false;
        struct stat st {};
        if (::stat(passwordFile.c_str(), &st) == 0 && (st.st_mode & S_IROTH))
            warning = "the MQTT password file " + passwordFile + " is readable by every user";
        return true;
    }
    if (envPassword && *envPassword) {
        settings.password = envPassword;
        settings.passwordInUrl = false;
        return true;
    }
    if (settings.passwordInUrl)
        warning =
            "the MQTT password is in the broker's address, where every user of this computer "
            "sees it (ps); give it with a password file or " + std::string(kMqttPasswordEnv) +
            " instead";
    return true;
}

bool CheckMqttTopicPrefix(std::string& prefix, std::string& error, Language language) {
    const bool en = language == Language::English;
    while (!prefix.empty() && prefix.back() == '/') prefix.pop_back();
    if (prefix.empty()) {
        error = en ? "the topic prefix is empty" : "префикс тем пуст";
        return false;
    }
    // Long or undecodable prefixes are not repeated whole in the reason.
    const std::string shown = prefix.size() > 64 ? prefix.substr(0, 60) + "..." : prefix;
    std::string what;
    if (!ValidTopicUtf8(prefix, what, language)) {
        error = en ? "the topic prefix " + what + ", which no MQTT topic may"
                   : "префикс тем " + what + ", что недопустимо в теме MQTT";
        return false;
    }
    if (prefix.find_first_of("+#") != std::string::npos) {
        error = en ? "the topic prefix '" + shown + "' holds '+' or '#', which no topic may hold"
                   : "префикс тем '" + shown + "' содержит '+' или '#', недопустимые в теме";
        return false;
    }
    if (prefix.front() == '$') {
        error = en ? "the topic prefix '" + shown +
                         "' starts with '$': such topics are the broker's own, which it does not "
                         "let a client publish to"
                   : "префикс тем '" + shown +
                         "' начинается с '$': такие темы принадлежат самому брокеру, публиковать в "
                         "них клиенту нельзя";
        return false;
    }
    if (prefix.size() > kMqttLongestPrefix) {
        error = en ? "the topic prefix is " + std::to_string(prefix.size()) + " bytes long; at most " +
                         std::to_string(kMqttLongestPrefix) +
                         " leave room for its topics in MQTT's 65535"
                   : "префикс тем длиной " + std::to_string(prefix.size()) + " байт; не больше " +
                         std::to_string(kMqttLongestPrefix) +
                         ", чтобы его темы уместились в 65535 байт MQTT";
        return false;
    }
    return true;
}

bool MqttRefusalIsFinal(int code) {
    // MQTT 3.1.1: 1 protocol version, 2 identifier rejected, 4 bad user name or password,
    // 5 not authorised; 3 (server unavailable) may pass.
    return code == 1 || code == 2 || code == 4 || code == 5;
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
    if (status.why.final)
        return en ? "MQTT: the broker " + status.broker + " refused the connection (" +
                        status.why.system +
                        "); waiting does not mend this: check the user name, the password and "
                        "the broker's access rights. The records of this run are not published."
                  : "MQTT: брокер " + status.broker + " отказал в подключении (" +
                        status.why.system +
                        "); ожиданием это не исправить: проверьте имя пользователя, пароль и "
                        "права доступа на брокере. Записи этого запуска не публикуются.";
    return en ? "MQTT: no connection to the broker " + status.broker + " (" + why +
                    "); the records wait in the queue and are sent when the connection is back."
              : "MQTT: нет связи с брокером " + status.broker + " (" + why +
                    "); записи ждут в очереди и будут отправлены, когда связь восстановится.";
}

}  // namespace dravmer
