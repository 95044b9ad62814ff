#include "ui/qt_translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>
#include <atomic>

namespace dravmer::ui {

namespace {
std::atomic<Language> g_language{Language::Russian};

constexpr const char* kEnglish = "dravmerEnglish";
constexpr const char* kQtRussian = "qtbaseRussian";

void Remove(QCoreApplication& app, const char* name) {
    if (auto* translator = app.findChild<QTranslator*>(QString::fromLatin1(name))) {
        QCoreApplication::removeTranslator(translator);
        delete translator;
    }
}

// Installs one catalogue under a name, unless one of that name is in place already.
bool Install(QCoreApplication& app, const QString& name, const QString& file, const QString& dir) {
    if (app.findChild<QTranslator*>(name)) return true;
    auto* translator = new QTranslator(&app);
    translator->setObjectName(name);
    if (!translator->load(file, dir)) {
        delete translator;
        return false;
    }
    return QCoreApplication::installTranslator(translator);
}
}  // namespace

Language UiLanguage() { return g_language.load(); }

TranslationResult InstallTranslations(QCoreApplication& app, Language language) {
    g_language = language;
    if (language == Language::English) {
        Remove(app, kQtRussian);
        return Install(app, QString::fromLatin1(kEnglish), QStringLiteral("dravmer_en"),
                       QStringLiteral(":/i18n"))
                   ? TranslationResult::Installed
                   : TranslationResult::WindowTextsMissing;
    }
    Remove(app, kEnglish);
    return Install(app, QString::fromLatin1(kQtRussian), QStringLiteral("qtbase_ru"),
                   QLibraryInfo::path(QLibraryInfo::TranslationsPath))
               ? TranslationResult::Installed
               : TranslationResult::QtTextsMissing;
}

}  // namespace dravmer::ui
