#pragma once
// The values the settings pages accept: the engine's rule of each stored setting. A value it
// refuses is shown with the rule's message; the stored setting keeps its old value.
#include <QString>

namespace dravmer::ui {

// Empty when `text` is an acceptable value of the setting, else the message to show. A poll
// period may be written with a decimal comma.
QString CheckSettingValue(const char* section, const char* name, const QString& text);

}  // namespace dravmer::ui
