#pragma once
// The ranges the settings pages accept. A value outside them is refused with a message naming
// the range; the stored setting keeps its old value.
#include <QString>

namespace dravmer::ui {

// Empty when `text` is an acceptable value of the setting, else the message to show.
QString CheckSettingValue(const char* section, const char* name, const QString& text);

}  // namespace dravmer::ui
