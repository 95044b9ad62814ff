#pragma once
// The settings store of the front ends: QSettings with organisation "KorvelDevice" and
// application "Dravmer" (an INI file under ~/.config), or an explicit INI file (--config).
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/settings_store.h"

class QSettings;

namespace dravmer {

class CQSettingsStore : public ISettingsStore {
public:
    // An empty path selects the user's default settings file.
    explicit CQSettingsStore(const std::string& iniPath = {});
    ~CQSettingsStore() override;

    int GetInt(const std::string& section, const std::string& name, int def) const override;
    void SetInt(const std::string& section, const std::string& name, int value) override;
    std::string GetString(const std::string& section, const std::string& name,
                          const std::string& def) const override;
    void SetString(const std::string& section, const std::string& name,
                   const std::string& value) override;
    Bytes GetBinary(const std::string& section, const std::string& name) const override;
    void SetBinary(const std::string& section, const std::string& name,
                   const Bytes& value) override;
    bool Contains(const std::string& section, const std::string& name) const override;
    void Flush() override;
    std::optional<std::string> Status(Language language = Language::Russian) const override;
    std::optional<std::string> LoadWarning(Language language = Language::Russian) const override;
    std::string FileName() const;

private:
    void CheckLoaded();
    void SyncLocked();
    bool KeepBackupLocked();

    std::unique_ptr<QSettings> m_settings;
    mutable std::unique_ptr<std::mutex> m_mutex;
    // Under the mutex: the last failure, the file it concerns, whether lines were left unread
    // (m_badLines, or a format error) and where the file was copied before it was rewritten.
    enum class Failure { None, Unreadable, BackupFailed, NotWritable };
    Failure m_failure = Failure::None;
    std::string m_failedPath;
    bool m_unread = false;
    std::vector<int> m_badLines;  // 1-based numbers of lines that do not parse
    std::string m_backup;
    bool m_backedUp = false;
    bool m_dirty = false;  // values set since the last write
};

}  // namespace dravmer
