#pragma once
// The desktop program's command line: --config FILE, --demo, --help, --version and a file to
// load at start.
#include <QString>
#include <QStringList>

#include "platform/language.h"

namespace dravmer::ui {

struct SCommandLine {
    enum class Action { Run, Exit };
    Action action = Action::Run;
    int exitCode = 0;
    QString output;  // what to print before exiting (help, version, an error)
    QString config;
    bool demo = false;
    QString fileToLoad;  // absolute path of an .adc or .txt file; empty when none
};

// Parsed before the application and its translations exist: the help and the refusals are worded
// in `language` (the message locale's, as the window's own language is unknown until the
// settings are read).
SCommandLine ParseCommandLine(const QStringList& arguments, Language language = Language::Russian);

// The file named on the command line as the loading dialog takes it: one leading and one
// trailing double quote removed, a relative name taken from the current folder; empty unless
// the extension is "adc" or "txt".
QString FileToLoad(const QString& argument);

}  // namespace dravmer::ui
