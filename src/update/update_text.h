#pragma once
// Texts and names the update service's files share.
#include <cstdio>
#include <string>

namespace dravmer::update_text {

inline constexpr char kSection[] = "UpdateVersion";
inline constexpr char kCmdLine[] = "CmdLine";
// Where the running version was kept, so that a failed hand-off can put it back.
inline constexpr char kBackup[] = "Backup";
// The old program's process id, for the next step to wait for its end.
inline constexpr char kPidVariable[] = "DRAVMER_UPDATE_PID";

template <typename... Args>
std::string Format(const char* format, Args... args) {
    char text[1024];
    std::snprintf(text, sizeof text, format, args...);
    return text;
}

inline std::string VersionString(int major, int minor) {
    return Format("%2.2d.%2.2d", major, minor);
}

}  // namespace dravmer::update_text
