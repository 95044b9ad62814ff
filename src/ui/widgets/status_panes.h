#pragma once
// The status bar's 13 panes: per port an activity icon, the link parameters and the load /
// clients (the three kept together on a row), then the statistics range of the current device. A text holding "\n" is split: the
// part before is shown, the part after becomes the pane's tool tip. Every pane's accessible name
// is its label and the value shown, kept current as the value changes.
#include <QObject>
#include <QPixmap>
#include <QString>
#include <array>

class QLabel;

namespace dravmer::ui {

class CStatusBar;

class CStatusPanes : public QObject {
    Q_OBJECT
public:
    static constexpr int kPaneCount = 13;
    static constexpr int kStatRangePane = 12;
    static int ActivityPane(int port) { return 3 * port; }
    static int LinkPane(int port) { return 3 * port + 1; }
    static int LoadPane(int port) { return 3 * port + 2; }

    explicit CStatusPanes(CStatusBar* bar);

    void SetText(int pane, const QString& text);
    // Lays the panes out again so each shows its whole text: the groups take as many rows as
    // the bar's width needs.
    void Fit();
    void SetToolTip(int pane, const QString& text);
    // Activity state 0..4 of a port; the icon changes only when the state does.
    void SetActivity(int port, int state);
    int Activity(int port) const { return m_activity[static_cast<size_t>(port)]; }
    QLabel* Pane(int pane) const { return m_panes[static_cast<size_t>(pane)]; }
    // What an activity state means in words (the icon's value for a screen reader).
    static QString ActivityText(int state);

private:
    // The pane's fixed name followed by the value it shows, so a screen reader hears both.
    void Expose(int pane, const QString& value);

    CStatusBar* m_bar;
    std::array<QLabel*, kPaneCount> m_panes{};
    std::array<QString, kPaneCount> m_names;
    std::array<QPixmap, 5> m_icons;
    std::array<int, 4> m_activity{-1, -1, -1, -1};
};

}  // namespace dravmer::ui
