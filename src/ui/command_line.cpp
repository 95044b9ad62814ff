#include "ui/command_line.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include "ui/main_frame.h"

namespace dravmer::ui {

QString FileToLoad(const QString& argument) {
    QString name = argument;
    if (name.endsWith(QLatin1Char('"'))) name.chop(1);
    if (name.startsWith(QLatin1Char('"'))) name.remove(0, 1);
    if (name.isEmpty()) return {};
    const QString suffix = QFileInfo(name).suffix().toLower();
    if (suffix != QLatin1String("adc") && suffix != QLatin1String("txt")) return {};
    return QDir::current().absoluteFilePath(name);
}

SCommandLine ParseCommandLine(const QStringList& arguments, Language language) {
    auto say = [language](const char* russian, const char* english) {
        return QString::fromUtf8(language == Language::English ? english : russian);
    };
    QCommandLineParser parser;
    parser.setApplicationDescription(
        say("Dravmer: испытания аналоговой части электромагнитных расходомеров.",
            "Dravmer: testing the analogue front end of electromagnetic flow meters."));
    const QCommandLineOption help({"h", "help"}, say("Показать эту справку.", "Show this help."));
    const QCommandLineOption version(
        {"v", "version"}, say("Показать версию программы.", "Show the program's version."));
    const QCommandLineOption config("config",
                                    say("Файл настроек вместо настроек пользователя.",
                                        "A settings file instead of the user's settings."),
                                    QStringLiteral("FILE"));
    const QCommandLineOption demo(
        "demo", say("Работа на моделях приборов (свой файл настроек, без оборудования).",
                    "Run on simulated devices (a settings file of its own, no hardware)."));
    parser.addOption(help);
    parser.addOption(version);
    parser.addOption(config);
    parser.addOption(demo);
    parser.addPositionalArgument(QStringLiteral("FILE"),
                                 say("Файл эксперимента (.adc или .txt) для загрузки.",
                                     "An experiment file (.adc or .txt) to load."),
                                 QStringLiteral("[FILE]"));
    SCommandLine out;
    if (!parser.parse(arguments)) {
        out.action = SCommandLine::Action::Exit;
        out.exitCode = 2;
        out.output = parser.errorText() + QLatin1Char('\n');
        return out;
    }
    if (parser.isSet(help)) {
        out.action = SCommandLine::Action::Exit;
        out.output = parser.helpText();
        // Parsed before the application object exists, which would name the program.
        out.output.replace(QStringLiteral("<executable_name>"), QStringLiteral("dravmer"));
        return out;
    }
    if (parser.isSet(version)) {
        out.action = SCommandLine::Action::Exit;
        out.output = QStringLiteral("dravmer ") + QString::fromLatin1(kVersion) + QLatin1Char('\n');
        return out;
    }
    out.config = parser.value(config);
    out.demo = parser.isSet(demo);
    const QStringList files = parser.positionalArguments();
    if (files.size() > 1) {
        out.action = SCommandLine::Action::Exit;
        out.exitCode = 2;
        out.output = say("Можно указать только один файл.", "Only one file can be given.") +
                     QLatin1Char('\n');
        return out;
    }
    if (!files.isEmpty()) out.fileToLoad = FileToLoad(files.first());
    return out;
}

}  // namespace dravmer::ui
