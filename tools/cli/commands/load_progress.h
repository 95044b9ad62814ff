#pragma once
// Shows the progress of a long load on the terminal (stderr), and nothing when stderr is not a
// terminal or the load is quick.
#include <unistd.h>

#include <cstdio>
#include <string>

#include "files/file_format.h"
#include "platform/language.h"
#include "platform/perf_timer.h"

namespace dravmer::cli {

class CTerminalProgress {
public:
    CTerminalProgress(std::string what, Language language)
        : m_what(std::move(what)),
          m_loading(language == Language::English ? "loading" : "загрузка"),
          m_tty(::isatty(2)) {}
    ~CTerminalProgress() {
        if (m_shown) std::fprintf(stderr, "\r%*s\r", static_cast<int>(m_what.size()) + 24, "");
    }
    LoadProgressFn Fn() {
        return [this](int percent) {
            if (m_tty && m_timer.GetElapsedMs() > 300 && percent != m_last) {
                m_last = percent;
                m_shown = true;
                std::fprintf(stderr, "\r%s %s: %3d%%", m_loading, m_what.c_str(), percent);
                std::fflush(stderr);
            }
            return true;
        };
    }

private:
    std::string m_what;
    const char* m_loading;
    bool m_tty;
    bool m_shown = false;
    int m_last = -1;
    CPerfTimer m_timer;
};

}  // namespace dravmer::cli
