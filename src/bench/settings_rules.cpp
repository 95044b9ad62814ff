// The allowed values of every stored setting, checked before a value is stored.
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <map>

#include "bench/settings_catalog.h"
#include "graph/graph_list.h"
#include "graph/graph_settings.h"
#include "measure/param_index.h"
#include "stream/mqtt_publisher.h"

namespace dravmer {

namespace {

enum class Rule {
    Whole,
    Decimal,
    Flags,
    Digits,
    Text,
    Addresses,
    Ports,
    Switches,
    Date,
    Hex,
    Key,
    LanguageChoice,
    MqttUrl,
    MqttTopic
};

struct SRule {
    Rule kind = Rule::Text;
    double low = 0, high = 0;  // Whole and Decimal
};

constexpr std::size_t kParamStringLength = kParamCount;
constexpr std::size_t kLongestText = 1024;

SRule RuleOf(const SSettingDef& def) {
    // Port settings have the same names in each port's section.
    static const std::map<std::string, SRule> byName = {
        {"Transit1", {Rule::Whole, 0, 4294967295.0}},
        {"Transit2", {Rule::Whole, 0, 4294967295.0}},
        {"Transit3", {Rule::Whole, 0, 4294967295.0}},
        {"Transit4", {Rule::Whole, 0, 4294967295.0}},
        {"List", {Rule::Addresses}},
        {"PortList", {Rule::Ports}},
        {"EnableList", {Rule::Switches}},
        {"ToTable", {Rule::Flags}},
        {"ToFile", {Rule::Flags}},
        {"SignToTable", {Rule::Digits}},
        {"SignToFile", {Rule::Digits}},
        {"Ky", {Rule::Decimal, 0.001, 100000}},
        {"strPeriod", {Rule::Decimal, 0.01, 3600}},
        {"FlagSaveFlagToFile", {Rule::Whole, 0, 1}},
        {"FlagToFile", {Rule::Whole, 0, 1}},
        {"FlagStatToFile", {Rule::Whole, 0, 1}},
        {"FlagSaveToTextFile", {Rule::Whole, 0, 1}},
        {"AddToSavePathDate", {Rule::Whole, 0, 1}},
        {"crTableHighlightColor", {Rule::Whole, 0, 0xFFFFFF}},
        {"bWriteLinkErrorsToLog", {Rule::Whole, 0, 1}},
        {"ExperimentDate", {Rule::Date}},
        {"PublicKey", {Rule::Key}},
        {"Language", {Rule::LanguageChoice}},
        {"ExperimentNumber", {Rule::Whole, 1, 999}},
        {"showCmd", {Rule::Whole, 0, 11}},
        {"x", {Rule::Whole, -100000, 100000}},
        {"y", {Rule::Whole, -100000, 100000}},
        {"cx", {Rule::Whole, 0, 100000}},
        {"cy", {Rule::Whole, 0, 100000}},
        {"UseLink", {Rule::Whole, 0, 1}},
        {"ComNumber", {Rule::Whole, 0, 127}},
        {"Speed", {Rule::Whole, 0, 12}},
        {"Byte", {Rule::Whole, 4, 8}},
        {"Parity", {Rule::Whole, 0, 4}},
        {"Stop", {Rule::Whole, 0, 2}},
        {"RTS", {Rule::Whole, 0, 3}},
        {"DTR", {Rule::Whole, 0, 2}},
        {"bComType", {Rule::Whole, 0, 7}},
        {"TimeOut", {Rule::Whole, 1, 60000}},
        {"UseServer", {Rule::Whole, 0, 1}},
        {"ServerPort", {Rule::Whole, 0, 255}},
        {"TCPIPPort", {Rule::Whole, 1, 65535}},
        {"ModemWaitForDialConnect", {Rule::Whole, 1, 3600}},
        {"bLinkMode", {Rule::Whole, 0, 3}},
    };
    if (def.type == SettingType::Binary) return {Rule::Hex};
    if (def.section == kStreamSection && def.name == kMqttUrlKey) return {Rule::MqttUrl};
    if (def.section == kStreamSection && def.name == kMqttTopicKey) return {Rule::MqttTopic};
    if (def.section == graph::kGraphSection) {
        // Colours (cr…, m_cr…), switches (b…, m_b…), counts and the curves' indices.
        const std::string& n = def.name;
        auto starts = [&n](const char* p) { return n.rfind(p, 0) == 0; };
        if (starts("cr") || starts("m_cr")) return {Rule::Whole, 0, 0xFFFFFF};
        if (starts("b") || starts("m_b")) return {Rule::Whole, 0, 1};
        if (n == "m_nNumOfCellHoriz") return {Rule::Whole, graph::kMinCells, graph::kMaxCells};
        if (n == "NumOfGraph") return {Rule::Whole, 0, graph::kSlotCount};
        if (starts("GrInfoParameter")) return {Rule::Whole, 0, kParamCount - 1};
        if (starts("GrInfoGraphID")) return {Rule::Whole, 0, graph::kSlotCount - 1};
        if (starts("GrInfoDeviceID")) return {Rule::Whole, 0, 2147483647.0};
    }
    auto it = byName.find(def.name);
    if (it != byName.end()) return it->second;
    return def.type == SettingType::Int ? SRule{Rule::Whole, -2147483648.0, 2147483647.0}
                                        : SRule{Rule::Text};
}

std::string Number(double v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.15g", v);
    return buf;
}

bool OnlyOf(const std::string& text, const char* allowed) {
    return text.find_first_not_of(allowed) == std::string::npos;
}

// "a;b;c;" with each item passing `item`; empty is an empty list.
bool ListOf(const std::string& text, bool (*item)(const std::string&)) {
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find(';', at);
        if (end == std::string::npos) end = text.size();
        if (!item(text.substr(at, end - at))) return false;
        at = end + 1;
    }
    return true;
}

bool Address(const std::string& s) {
    return !s.empty() && s.size() <= 10 && OnlyOf(s, "0123456789") &&
           std::strtoull(s.c_str(), nullptr, 10) <= 0xFFFFFFFFull;
}
bool PortIndex(const std::string& s) { return s.size() == 1 && s[0] >= '0' && s[0] <= '3'; }
bool Switch(const std::string& s) { return s == "0" || s == "1"; }

}  // namespace

std::optional<std::string> CheckSettingText(const SSettingDef& def, const std::string& text,
                                            Language language) {
    const bool en = language == Language::English;
    auto say = [en](const char* russian, const char* english) { return en ? english : russian; };
    const SRule rule = RuleOf(def);
    const std::string bad =
        en ? "Invalid value \"" + text + "\": " : "Недопустимое значение «" + text + "»: ";
    switch (rule.kind) {
        case Rule::Whole: {
            const std::string range = en ? "whole numbers from " + Number(rule.low) + " to " +
                                               Number(rule.high) + " are allowed."
                                         : "допустимы целые числа от " + Number(rule.low) + " до " +
                                               Number(rule.high) + ".";
            if (text.empty() || text.size() > 12 || !OnlyOf(text.substr(text[0] == '-'), "0123456789") ||
                text == "-")
                return bad + range;
            const double v = static_cast<double>(std::strtoll(text.c_str(), nullptr, 10));
            if (v < rule.low || v > rule.high) return bad + range;
            return std::nullopt;
        }
        case Rule::Decimal: {
            const std::string range = en ? "decimal numbers from " + Number(rule.low) + " to " +
                                               Number(rule.high) + " are allowed."
                                         : "допустимы десятичные числа от " + Number(rule.low) +
                                               " до " + Number(rule.high) + ".";
            errno = 0;
            char* end = nullptr;
            const double v = std::strtod(text.c_str(), &end);
            if (text.empty() || *end != '\0' || errno == ERANGE || !std::isfinite(v) ||
                !OnlyOf(text, "0123456789.-+eE") || v < rule.low || v > rule.high)
                return bad + range;
            return std::nullopt;
        }
        case Rule::Flags:
            if (text.size() > kParamStringLength || !OnlyOf(text, "01"))
                return bad + say("допустимы только символы 0 и 1, не более 43.",
                                 "only the characters 0 and 1 are allowed, at most 43.");
            return std::nullopt;
        case Rule::Digits:
            if (text.size() > kParamStringLength || !OnlyOf(text, "0123456789"))
                return bad + say("допустимы только цифры 0–9, не более 43.",
                                 "only the digits 0–9 are allowed, at most 43.");
            return std::nullopt;
        case Rule::Addresses:
            if (!ListOf(text, Address))
                return bad + say("допустим список адресов от 0 до 4294967295 через «;».",
                                 "a list of addresses from 0 to 4294967295 separated by \";\" "
                                 "is allowed.");
            return std::nullopt;
        case Rule::Ports:
            if (!ListOf(text, PortIndex))
                return bad + say("допустим список номеров портов от 0 до 3 через «;».",
                                 "a list of port numbers from 0 to 3 separated by \";\" is "
                                 "allowed.");
            return std::nullopt;
        case Rule::Switches:
            if (!ListOf(text, Switch))
                return bad + say("допустим список из 0 и 1 через «;».",
                                 "a list of 0 and 1 separated by \";\" is allowed.");
            return std::nullopt;
        case Rule::Date:
            if (!text.empty() && (text.size() != 6 || !OnlyOf(text, "0123456789")))
                return bad + say("допустима пустая строка или дата из шести цифр (ГГММДД).",
                                 "an empty string or a date of six digits (YYMMDD) is allowed.");
            return std::nullopt;
        case Rule::Hex:
            if (!HexToBytes(text))
                return bad + say("допустимы байты в шестнадцатеричной записи.",
                                 "bytes in hexadecimal are allowed.");
            return std::nullopt;
        case Rule::Key:
            // A key that is no key would refuse every release; better said when it is typed.
            if (!text.empty() && (text.size() != 64 || !OnlyOf(text, "0123456789abcdefABCDEF")))
                return bad + say("допустима пустая строка или открытый ключ из 64 "
                                 "шестнадцатеричных цифр.",
                                 "an empty string or a public key of 64 hexadecimal digits is "
                                 "allowed.");
            return std::nullopt;
        case Rule::LanguageChoice:
            if (text != "system" && text != "ru" && text != "en")
                return bad + say("допустимы system (язык системы), ru и en.",
                                 "system (the system's language), ru and en are allowed.");
            return std::nullopt;
        case Rule::MqttUrl: {
            SMqttSettings settings;
            std::string error;
            if (!text.empty() && !ParseMqttUrl(text, settings, error))
                return (en ? "Invalid value: " : "Недопустимое значение: ") + error +
                       say(" (допустимы пустая строка или mqtt://ХОСТ[:ПОРТ]).",
                           " (an empty string or mqtt://HOST[:PORT] is allowed).");
            return std::nullopt;
        }
        case Rule::MqttTopic: {
            std::string prefix = text, error;
            if (!text.empty() && !CheckMqttTopicPrefix(prefix, error))
                return (en ? "Invalid value: " : "Недопустимое значение: ") + error +
                       say(" (пустая строка: dravmer/<имя компьютера>).",
                           " (an empty string means dravmer/<host name>).");
            return std::nullopt;
        }
        case Rule::Text:
            for (unsigned char c : text)
                if (c < 0x20 || c == 0x7F)
                    return std::string(
                        say("Недопустимое значение: управляющие символы "
                            "(например, перевод строки) не допускаются.",
                            "Invalid value: control characters (a line break, "
                            "for one) are not allowed."));
            if (text.size() > kLongestText)
                return std::string(say("Недопустимое значение: не более 1024 байт.",
                                       "Invalid value: at most 1024 bytes."));
            return std::nullopt;
    }
    return std::nullopt;
}

}  // namespace dravmer
