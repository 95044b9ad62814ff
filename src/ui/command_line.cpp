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

SCommandLine ParseCommandLine(const QStringList& arguments) {
    auto tr = [](const char* text) { return QCoreApplication::translate("CommandLine", text); };
    QCommandLineParser parser;
    parser.setApplicationDescription(
        tr("Dravmer: испытания аналоговой части электромагнитных расходомеров."));
    const QCommandLineOption help({"h", "help"}, tr("Показать эту справку."));
    const QCommandLineOption version({"v", "version"}, tr("Показать версию программы."));
    const QCommandLineOption config("config", tr("Файл настроек вместо настроек пользователя."),
                                    tr("FILE"));
    const QCommandLineOption demo(
        "demo", tr("Работа на моделях приборов (свой файл настроек, без оборудования)."));
    parser.addOption(help);
    parser.addOption(version);
    parser.addOption(config);
    parser.addOption(demo);
    parser.addPositionalArgument(tr("FILE"), tr("Файл эксперимента (.adc или .txt) для загрузки."),
                                 tr("[FILE]"));
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
        out.output = tr("Можно указать только один файл.") + QLatin1Char('\n');
        return out;
    }
    if (!files.isEmpty()) out.fileToLoad = FileToLoad(files.first());
    return out;
}

}  // namespace dravmer::ui
