#pragma once
// Where the program keeps its files. XDG folders, each overridable by an environment variable
// so that tests and demos never touch the user's own folders:
//   DRAVMER_CONFIG_DIR, DRAVMER_DATA_DIR, DRAVMER_LOG_DIR, DRAVMER_CACHE_DIR.
#include <filesystem>

namespace dravmer {

std::filesystem::path ConfigDir();      // ~/.config/KorvelDevice
std::filesystem::path DataDir();        // ~/.local/share/Dravmer (fallback for experiment files)
std::filesystem::path LogDir();         // ~/.local/state/Dravmer
std::filesystem::path CacheDir();       // ~/.cache/Dravmer (records paged out of memory)
std::filesystem::path ExecutablePath();  // /proc/self/exe
std::filesystem::path ExecutableDir();
// Creates the folder (and its parents) when missing; false when that fails.
bool EnsureDir(const std::filesystem::path& dir);

}  // namespace dravmer
