#pragma once
// Pieces shared by the files of the facade (construction and settings, search, the experiment,
// device parameters). Private to this folder.
#include <sys/time.h>

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <string>

#include "bench/bench.h"
#include "platform/worker_thread.h"

namespace dravmer {

// One per port: cycles over the port's devices once per poll period.
class CPollThread : public CWorkerThread {
public:
    CPollThread(CBench& bench, int port) : m_bench(bench), m_port(port) {}
    ~CPollThread() override { Stop(); }

protected:
    int Run() override {
        // Whatever ends the loop, the bench learns of it: a port that stopped polling during an
        // experiment must not look as if it still ran.
        int code = -1;
        try {
            code = m_bench.PollPort(*this, m_port);
        } catch (...) {
        }
        m_bench.OnPollEnded(m_port, StopRequested());
        return code;
    }

private:
    CBench& m_bench;
    int m_port;
};

namespace bench_detail {
inline std::string ZeroTerminated(const std::uint8_t* bytes, size_t max) {
    size_t n = 0;
    while (n < max && bytes[n] != 0) ++n;
    return std::string(reinterpret_cast<const char*>(bytes), n);
}

inline std::string Format(const char* fmt, auto... args) {
    char buf[512];
    const int n = std::snprintf(buf, sizeof buf, fmt, args...);
    if (n < static_cast<int>(sizeof buf)) return buf;
    // Long paths in a message: format again into a buffer of the right size.
    std::string long_(static_cast<std::size_t>(n) + 1, '\0');
    std::snprintf(long_.data(), long_.size(), fmt, args...);
    long_.resize(static_cast<std::size_t>(n));
    return long_;
}

inline SFileOptions FileOptionsFrom(const CExperimentSettings& s) {
    SFileOptions o;
    for (int i = 0; i < kParamCount; ++i) {
        o.toFile[static_cast<size_t>(i)] = s.ToFile(i);
        o.fileDecimals[static_cast<size_t>(i)] = s.FileDecimals(i);
        o.tableDecimals[static_cast<size_t>(i)] = s.TableDecimals(i);
    }
    o.ky = s.Ky();
    o.writeToFile = s.writeToFile;
    return o;
}

// "%4.4d.%2.2d.%2.2d_%2.2d-%2.2d-%2.2d.%3.3d" of the local time now.
inline std::string TimeStampForParams() {
    timeval tv{};
    gettimeofday(&tv, nullptr);
    std::tm t{};
    localtime_r(&tv.tv_sec, &t);
    return Format("%4.4d.%2.2d.%2.2d_%2.2d-%2.2d-%2.2d.%3.3d", t.tm_year + 1900, t.tm_mon + 1,
                  t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec, static_cast<int>(tv.tv_usec / 1000));
}
}  // namespace bench_detail

}  // namespace dravmer
