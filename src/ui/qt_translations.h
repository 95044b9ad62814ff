#pragma once
// The window's language, chosen once at start (the Dravmer/Language setting, else the message
// locale): the window's own texts from the compiled-in English translation when English (Russian
// is the source), Qt's own texts (standard buttons, the file, folder, colour and input dialogs,
// the edit context menu) in the same language, and the engine's codes worded in it.
#include "platform/language.h"

class QCoreApplication;

namespace dravmer::ui {

// The language the window speaks in this run; Russian until InstallTranslations says otherwise.
Language UiLanguage();

enum class TranslationResult {
    Installed,
    QtTextsMissing,      // Qt's Russian catalogue (qtbase_ru.qm) is not installed: Qt's texts stay
                         // English
    WindowTextsMissing,  // the English translation did not load (a build without it)
};

// Installs the translators of `language` into the application once (a second call with the same
// language changes nothing; one with the other language takes the first one's out) and makes it
// the run's UiLanguage. English needs no Qt catalogue: Qt's own texts are English. Windows made
// before the call keep the texts they were made with.
TranslationResult InstallTranslations(QCoreApplication& app, Language language);

}  // namespace dravmer::ui
