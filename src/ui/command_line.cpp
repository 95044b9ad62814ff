#include "ui/command_line.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include "ui/main_frame.h"

namespace dravmer::ui {

namespace {
// QCommandLineParser's own words (its help's headings, its refusals) are English before the
// application and Qt's catalogue exist, and Qt's Russian catalogue may not be installed: the
// Russian run says them here, as Qt's catalogue words them.
QString RussianHelp(QString text) {
    text.replace(QStringLiteral("Usage: "), QStringLiteral("Использование: "));
    text.replace(QStringLiteral("[options]"), QStringLiteral("[параметры]"));
    text.replace(QStringLiteral("\nOptions:\n"), QStringLiteral("\nПараметры:\n"));
    text.replace(QStringLiteral("\nArguments:\n"), QStringLiteral("\nАргументы:\n"));
    return text;
}

QString RussianError(const QCommandLineParser& parser) {
    const QStringList unknown = parser.unknownOptionNames();
    if (unknown.size() == 1) return QStringLiteral("Неизвестный параметр «%1».").arg(unknown.first());
    if (unknown.size() > 1)
        return QStringLiteral("Неизвестные параметры: %1.").arg(unknown.join(QStringLiteral(", ")));
    const QString english = parser.errorText();
    static const QRegularExpression missing(QStringLiteral("^Missing value after '(.*)'\\.$"));
    static const QRegularExpression unexpected(
        QStringLiteral("^Unexpected value after '(.*)'\\.$"));
    if (const auto m = missing.match(english); m.hasMatch())
        return QStringLiteral("Отсутствует значение после «%1».").arg(m.captured(1));
    if (const auto m = unexpected.match(english); m.hasMatch())
        return QStringLiteral("Неожиданное значение после «%1».").arg(m.captured(1));
    return QStringLiteral("Командная строка не понята: ") + english;
}
}  // namespace

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
        out.output = (language == Language::English ? parser.errorText() : RussianError(parser)) +
                     QLatin1Char('\n');
        return out;
    }
    if (parser.isSet(help)) {
        out.action = SCommandLine::Action::Exit;
        out.output = language == Language::English ? parser.helpText()
                                                   : RussianHelp(parser.helpText());
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
