#pragma once
// Entries the link composes for its two error logs (link errors, measuring-module replies).
// The bench opens both logs without output; a front end or a test may hand in a sink.
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

namespace dravmer {

// Receives (log name, entry text) for every entry written while a sink is set.
using LinkLogSink = std::function<void(const std::string& logName, const std::string& entry)>;

inline constexpr const char* kLinkErrorsLogSuffix = "LinkErrors";
inline constexpr const char* kImErrorsLogSuffix = "IMErrors";

// "%2.2X " per byte, with two extra spaces after every eighth byte.
std::string FormatLogBytes(const std::uint8_t* data, int length);

class CLinkLog {
public:
    explicit CLinkLog(std::string name) : m_name(std::move(name)) {}
    void SetSink(LinkLogSink sink);
    void Write(const std::string& entry);
    const std::string& Name() const { return m_name; }

private:
    std::string m_name;
    std::mutex m_mutex;
    LinkLogSink m_sink;
};

}  // namespace dravmer
