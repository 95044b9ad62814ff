#include "ui/qt_translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace dravmer::ui {

bool InstallQtTranslations(QCoreApplication& app) {
    // Installed once: a second call finds its own catalogue already in place.
    if (app.findChild<QTranslator*>(QStringLiteral("qtbaseRussian"))) return true;
    auto* translator = new QTranslator(&app);
    translator->setObjectName(QStringLiteral("qtbaseRussian"));
    if (!translator->load(QStringLiteral("qtbase_ru"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    return QCoreApplication::installTranslator(translator);
}

}  // namespace dravmer::ui
