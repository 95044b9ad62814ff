#pragma once
// Every stored setting the program knows, with its type and the value a missing entry gives.
// The CLI's settings dump/get/set and the tests walk this table.
#include <optional>
#include <string>
#include <vector>

#include "platform/language.h"
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
// Whether text is an acceptable value of the setting: nullopt when it is, otherwise a message
// for the operator, in `language`, that names the allowed range. Every setting has its rule: whole
// numbers within the range the bench can use, decimal numbers (Ky, the poll period) within
// theirs, selection and decimals strings of their own characters, device lists of their own
// form, texts without control characters (a line end in a device path would split the line).
std::optional<std::string> CheckSettingText(const SSettingDef& def, const std::string& text,
                                            Language language = Language::Russian);
// Checks text with CheckSettingText and stores it as the setting's type. Returns the message,
// or nullopt on success.
std::optional<std::string> SetSettingText(ISettingsStore& store, const SSettingDef& def,
                                          const std::string& text,
                                          Language language = Language::Russian);

}  // namespace dravmer
