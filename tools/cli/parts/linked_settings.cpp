// The settings part linked in: QSettings.
#include "cli/cli_parts.h"
#include "platform/qt/qsettings_store.h"

namespace dravmer::cli {

std::unique_ptr<ISettingsStore> OpenSettingsFile(const std::string& path, std::string&) {
    return std::make_unique<CQSettingsStore>(path);
}

}  // namespace dravmer::cli
