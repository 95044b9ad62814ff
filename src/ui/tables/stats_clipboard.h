#pragma once
// The copy-statistics command: the readings page copies its device's statistics text, the
// all-devices page its table, and the graph page repeats whichever of the two was copied last.
// The text goes to the clipboard as UTF-8 plain text.
#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>

namespace dravmer::ui {

class CStatsClipboard {
public:
    // Replaces the clipboard's contents with the text.
    static void Put(const QString& text);
    // The copy that a later RepeatLast runs again (as long as its page exists).
    static void Remember(QObject* page, std::function<void()> copy);
    // Runs the last copy again; false when nothing was copied yet.
    static bool RepeatLast();
};

}  // namespace dravmer::ui
