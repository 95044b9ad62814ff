#include "link/link_log.h"

#include <cstdio>

namespace dravmer {

std::string FormatLogBytes(const std::uint8_t* data, int length) {
    std::string text;
    char hex[8];
    for (int i = 0; i < length; ++i) {
        std::snprintf(hex, sizeof hex, "%2.2X ", data[i]);
        text += hex;
        if ((i + 1) % 8 == 0) text += "  ";
    }
    return text;
}

void CLinkLog::SetSink(LinkLogSink sink) {
    std::lock_guard lock(m_mutex);
    m_sink = std::move(sink);
}

void CLinkLog::Write(const std::string& entry) {
    std::lock_guard lock(m_mutex);
    if (m_sink) m_sink(m_name, entry);
}

}  // namespace dravmer
