#pragma once
// The texts a window shows the operator (captions, labels, buttons, menus, tool tips, accessible
// names, header and cell texts, list entries), each with where it was found, and the check
// that none of them holds Cyrillic once the parameter names (data) are taken out.
#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAction>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressDialog>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTextEdit>
#include <QToolBar>
#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "cyrillic.h"
#include "measure/param_catalog.h"

namespace dravmer::ui::test {

struct SText {
    QString where;
    QString text;
};

class CTextCollector {
public:
    void Add(const QString& where, const QString& text) {
        if (!text.trimmed().isEmpty()) m_texts.push_back({where, text});
    }
    void AddActions(const QString& where, const QList<QAction*>& actions) {
        for (QAction* a : actions) {
            if (!a->isVisible()) continue;
            const QString at = where + " > " + a->text();
            Add(at, a->text());
            Add(at + " (tool tip)", a->toolTip());
            Add(at + " (status tip)", a->statusTip());
            if (a->menu()) AddActions(at, a->menu()->actions());
        }
    }
    void AddModel(const QString& where, const QAbstractItemModel* model) {
        if (!model) return;
        for (Qt::Orientation o : {Qt::Horizontal, Qt::Vertical}) {
            const int n = o == Qt::Horizontal ? model->columnCount() : model->rowCount();
            for (int i = 0; i < n; ++i)
                for (int role : {int(Qt::DisplayRole), int(Qt::ToolTipRole)})
                    Add(where + " header", model->headerData(i, o, role).toString());
        }
        const int rows = std::min(model->rowCount(), 200), columns = model->columnCount();
        for (int r = 0; r < rows; ++r)
            for (int c = 0; c < columns; ++c)
                for (int role : {int(Qt::DisplayRole), int(Qt::ToolTipRole)})
                    Add(where + " cell", model->index(r, c).data(role).toString());
    }
    // Every visible widget of the window (and the window itself).
    void AddWidget(QWidget* root) {
        const QString name = QString::fromLatin1(root->metaObject()->className());
        AddOne(name, root);
        for (QWidget* w : root->findChildren<QWidget*>()) {
            if (!w->isVisibleTo(root)) continue;
            AddOne(name + "/" + QString::fromLatin1(w->metaObject()->className()), w);
        }
        if (auto* main = qobject_cast<QMainWindow*>(root)) {
            AddActions(name + " menu", main->menuBar()->actions());
            AddStatus(name, main->statusBar());
        }
    }
    void AddStatus(const QString& where, QStatusBar* bar) {
        if (bar) Add(where + " status bar", bar->currentMessage());
    }
    // What holds Cyrillic besides the parameter names and the allowed words, one line each.
    std::vector<std::string> Cyrillic(const std::set<QString>& allowed = {}) const {
        std::vector<std::string> names;
        for (int i = 0; i < kParamCount; ++i) {
            names.emplace_back(ParamName(i));
            names.emplace_back(ParamNameTrimmed(i));
        }
        // Longest first: "Temp пр" before "t пр".
        std::sort(names.begin(), names.end(),
                  [](const std::string& a, const std::string& b) { return a.size() > b.size(); });
        std::vector<std::string> found;
        for (const SText& t : m_texts) {
            if (allowed.count(t.text)) continue;
            std::string text = t.text.toStdString();
            for (const std::string& n : names)
                for (std::size_t at = 0; (at = text.find(n, at)) != std::string::npos;)
                    text.erase(at, n.size());
            if (dravmer::test::HasCyrillic(text))
                found.push_back(t.where.toStdString() + ": " + t.text.toStdString());
        }
        return found;
    }
    std::size_t Count() const { return m_texts.size(); }
    bool Contains(const QString& text) const {
        return std::any_of(m_texts.begin(), m_texts.end(),
                           [&](const SText& t) { return t.text.contains(text); });
    }

private:
    void AddOne(const QString& where, QWidget* w) {
        if (w->isWindow()) Add(where + " (title)", w->windowTitle());
        Add(where + " (tool tip)", w->toolTip());
        Add(where + " (accessible name)", w->accessibleName());
        Add(where + " (accessible description)", w->accessibleDescription());
        if (auto* label = qobject_cast<QLabel*>(w)) Add(where, label->text());
        if (auto* button = qobject_cast<QAbstractButton*>(w)) Add(where, button->text());
        if (auto* box = qobject_cast<QGroupBox*>(w)) Add(where, box->title());
        if (auto* edit = qobject_cast<QLineEdit*>(w)) {
            Add(where + " (placeholder)", edit->placeholderText());
            Add(where + " (text)", edit->text());
        }
        if (auto* combo = qobject_cast<QComboBox*>(w))
            for (int i = 0; i < combo->count(); ++i) Add(where + " (entry)", combo->itemText(i));
        if (auto* tabs = qobject_cast<QTabBar*>(w))
            for (int i = 0; i < tabs->count(); ++i) {
                Add(where + " (tab)", tabs->tabText(i));
                Add(where + " (tab tip)", tabs->tabToolTip(i));
            }
        if (auto* plain = qobject_cast<QPlainTextEdit*>(w)) Add(where, plain->toPlainText());
        if (auto* rich = qobject_cast<QTextEdit*>(w)) Add(where, rich->toPlainText());
        if (auto* progress = qobject_cast<QProgressDialog*>(w)) Add(where, progress->labelText());
        if (auto* view = qobject_cast<QAbstractItemView*>(w)) AddModel(where, view->model());
        if (auto* bar = qobject_cast<QToolBar*>(w)) AddActions(where, bar->actions());
        if (auto* menu = qobject_cast<QMenu*>(w)) AddActions(where, menu->actions());
        AddActions(where + " (context)", w->actions());
    }

    std::vector<SText> m_texts;
};

}  // namespace dravmer::ui::test
