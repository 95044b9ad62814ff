#pragma once
// The screenshots speak the language the window would speak under the same message locale:
// LANG=en_US.UTF-8 window_shots DIR takes the English window, LANG=ru_RU.UTF-8 (or none) the
// Russian one.
#include <QApplication>

#include "platform/language.h"
#include "ui/qt_translations.h"

namespace dravmer::ui {

inline void InstallLocaleLanguage(QApplication& app) {
    InstallTranslations(app, WindowLanguageFromLocale(ProcessEnv()));
}

}  // namespace dravmer::ui
