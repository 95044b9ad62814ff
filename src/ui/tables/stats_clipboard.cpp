#include "ui/tables/stats_clipboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

namespace dravmer::ui {

namespace {
struct SLastCopy {
    QPointer<QObject> page;
    std::function<void()> copy;
};
SLastCopy& Last() {
    static SLastCopy last;  // the user-interface thread only
    return last;
}
}  // namespace

void CStatsClipboard::Put(const QString& text) {
    if (QClipboard* clipboard = QGuiApplication::clipboard()) {
        auto* mime = new QMimeData;
        mime->setData(QStringLiteral("text/plain;charset=utf-8"), text.toUtf8());
        mime->setText(text);
        clipboard->setMimeData(mime);
    }
}

void CStatsClipboard::Remember(QObject* page, std::function<void()> copy) {
    Last().page = page;
    Last().copy = std::move(copy);
}

bool CStatsClipboard::RepeatLast() {
    SLastCopy& last = Last();
    if (!last.page || !last.copy) return false;
    auto copy = last.copy;
    copy();
    return true;
}

}  // namespace dravmer::ui
