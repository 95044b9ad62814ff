#pragma once
// Whether a text holds Cyrillic letters (U+0400..U+04FF in UTF-8): the English runs must show
// none except in data (parameter names and units, the operator's own texts).
#include <string>
#include <string_view>

namespace dravmer::test {

inline bool HasCyrillic(std::string_view utf8) {
    for (std::size_t i = 0; i + 1 < utf8.size(); ++i) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        const auto next = static_cast<unsigned char>(utf8[i + 1]);
        if (lead >= 0xD0 && lead <= 0xD3 && (next & 0xC0) == 0x80) return true;
    }
    return false;
}

// The first line of `text` that holds Cyrillic, or empty.
inline std::string FirstCyrillicLine(std::string_view text) {
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find('\n', at);
        if (end == std::string_view::npos) end = text.size();
        const std::string_view line = text.substr(at, end - at);
        if (HasCyrillic(line)) return std::string(line);
        at = end + 1;
    }
    return {};
}

}  // namespace dravmer::test
