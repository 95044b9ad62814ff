#pragma once
// Every stored setting the program knows, with its type and the value a missing entry gives.
// The CLI's settings dump/get/set and the tests walk this table.
#include <optional>
#include <string>
#include <vector>

#include "platform/settings_store.h"

namespace dravmer {

enum class SettingType { Int, String, Binary };

struct SSettingDef {
    std::string section;
    std::string name;
    SettingType type;
    std::string defaultValue;  // decimal text for Int, hex for Binary
};

const std::vector<SSettingDef>& KnownSettings();
const SSettingDef* FindSetting(const std::string& section, const std::string& name);

// The stored value as text (default when missing; binary values in hex).
std::string SettingText(const ISettingsStore& store, const SSettingDef& def);
// Stores text as the setting's type. Returns an error message, or nullopt on success: an Int
// must be a whole decimal number, a Binary an even count of hex digits.
std::optional<std::string> SetSettingText(ISettingsStore& store, const SSettingDef& def,
                                          const std::string& text);

}  // namespace dravmer
