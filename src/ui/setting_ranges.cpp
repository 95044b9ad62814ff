#include "ui/setting_ranges.h"

#include <QCoreApplication>
#include <cstring>

namespace dravmer::ui {

namespace {

QString T(const char* text) { return QCoreApplication::translate("SettingRanges", text); }

QString CheckNumber(const QString& text, double low, double high, bool whole) {
    bool ok = false;
    const double value = whole ? text.trimmed().toInt(&ok) : text.trimmed().toDouble(&ok);
    if (ok && value >= low && value <= high) return {};
    return T("Введите число от %1 до %2.").arg(low).arg(high);
}

}  // namespace

QString CheckSettingValue(const char* section, const char* name, const QString& text) {
    const auto is = [&](const char* s, const char* n) {
        return std::strcmp(section, s) == 0 && std::strcmp(name, n) == 0;
    };
    QString plain = text;
    // The period is written with a decimal comma as often as with a point.
    plain.replace(QLatin1Char(','), QLatin1Char('.'));
    if (is("ExperimentSettings", "strPeriod")) return CheckNumber(plain, 0.01, 3600, false);
    if (std::strncmp(section, "ComSettingsPort", 15) == 0) {
        if (is(section, "TimeOut")) return CheckNumber(text, 1, 60000, true);
        if (is(section, "ModemWaitForDialConnect")) return CheckNumber(text, 1, 3600, true);
    }
    return {};
}

}  // namespace dravmer::ui
