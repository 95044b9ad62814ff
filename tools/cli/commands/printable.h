#pragma once
// Text from files (a label typed by an operator) on its way to a terminal or a table: control
// characters go, so that a line end cannot forge a row or a column of the table and an escape
// sequence never reaches the terminal. JSON output escapes them itself and keeps the text whole.
#include <string>
#include <string_view>

namespace dravmer::cli {

// Tabs and line ends become blanks (they lay out a label typed over several lines); any other
// control character, C0, DEL or C1 (U+0080..U+009F), becomes '?'.
inline std::string PrintableText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == '\t' || c == '\n' || c == '\r') {
            out += ' ';
        } else if (c < 0x20 || c == 0x7F) {
            out += '?';
        } else if (c == 0xC2 && i + 1 < text.size() &&
                   static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
                   static_cast<unsigned char>(text[i + 1]) <= 0x9F) {
            out += '?';
            ++i;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

}  // namespace dravmer::cli
