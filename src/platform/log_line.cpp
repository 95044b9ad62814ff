#include "platform/log_line.h"

#include <cstdio>
#include <ctime>
#include <fstream>
#include <mutex>

#include "platform/paths.h"

namespace dravmer {

std::function<void(const std::string&)> LogLineWriter(std::filesystem::path file,
                                                      std::string program) {
    auto mutex = std::make_shared<std::mutex>();
    return [file = std::move(file), program = std::move(program), mutex](const std::string& line) {
        std::lock_guard lock(*mutex);
        std::fprintf(stderr, "%s: %s\n", program.c_str(), line.c_str());
        if (file.empty() || !EnsureDir(file.parent_path())) return;
        const std::time_t now = std::time(nullptr);
        std::tm tm{};
        localtime_r(&now, &tm);
        char stamp[32];
        std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S ", &tm);
        std::ofstream(file, std::ios::app) << stamp << line << "\n";
    };
}

}  // namespace dravmer
