#include "platform/paths.h"

#include <cstdlib>
#include <system_error>

namespace dravmer {

namespace fs = std::filesystem;

namespace {
fs::path FromEnv(const char* var, const char* xdgVar, const char* homeRelative,
                 const char* leaf) {
    if (const char* v = std::getenv(var); v && *v) return fs::path(v);
    if (const char* x = std::getenv(xdgVar); x && *x) return fs::path(x) / leaf;
    const char* home = std::getenv("HOME");
    fs::path base = (home && *home) ? fs::path(home) : fs::temp_directory_path();
    return base / homeRelative / leaf;
}
}  // namespace

fs::path ConfigDir() {
    return FromEnv("DRAVMER_CONFIG_DIR", "XDG_CONFIG_HOME", ".config", "KorvelDevice");
}
fs::path DataDir() { return FromEnv("DRAVMER_DATA_DIR", "XDG_DATA_HOME", ".local/share", "Dravmer"); }
fs::path LogDir() { return FromEnv("DRAVMER_LOG_DIR", "XDG_STATE_HOME", ".local/state", "Dravmer"); }
fs::path CacheDir() { return FromEnv("DRAVMER_CACHE_DIR", "XDG_CACHE_HOME", ".cache", "Dravmer"); }

fs::path ExecutablePath() {
    std::error_code ec;
    fs::path p = fs::read_symlink("/proc/self/exe", ec);
    return ec ? fs::path() : p;
}

fs::path ExecutableDir() { return ExecutablePath().parent_path(); }

bool EnsureDir(const fs::path& dir) {
    std::error_code ec;
    if (fs::is_directory(dir, ec)) return true;
    fs::create_directories(dir, ec);
    return fs::is_directory(dir, ec);
}

}  // namespace dravmer
