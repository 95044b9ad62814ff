#include "ui/setting_ranges.h"

#include "bench/settings_catalog.h"
#include "ui/qt_translations.h"

namespace dravmer::ui {

QString CheckSettingValue(const char* section, const char* name, const QString& text) {
    const SSettingDef* def = FindSetting(section, name);
    if (!def) return {};
    QString plain = text.trimmed();
    // The period is written with a decimal comma as often as with a point.
    if (def->name == "strPeriod") plain.replace(QLatin1Char(','), QLatin1Char('.'));
    if (def->type == SettingType::String && def->name != "strPeriod") plain = text;
    const auto error = CheckSettingText(*def, plain.toStdString(), UiLanguage());
    return error ? QString::fromStdString(*error) : QString();
}

}  // namespace dravmer::ui
