#pragma once
// The window's status bar. A message gets a line of its own above the panes, as wide as the
// window, and wraps rather than being cut. The panes come in groups (a port's three panes stay
// together) that flow onto as many rows as the width needs, so every pane shows its whole text
// at any width the window allows; a group added later (another pane) takes its place in the
// flow. QStatusBar's message functions and signals work as before.
#include <QList>
#include <QStatusBar>

class QLabel;
class QHBoxLayout;
class QVBoxLayout;

namespace dravmer::ui {

class CStatusBar : public QStatusBar {
    Q_OBJECT
public:
    explicit CStatusBar(QWidget* parent = nullptr);

    // Adds panes that stay side by side on one row, after the groups already there.
    void AddGroup(const QList<QWidget*>& panes);
    // Lays the groups out again for the bar's width (after a pane's text changed).
    void Reflow();
    QLabel* MessageLabel() const { return m_message; }
    int RowCount() const { return m_rowCount; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void ShowText(const QString& text);
    void FitMessageHeight();
    int AvailableWidth() const;

    QObject* m_watch = nullptr;
    QWidget* m_area = nullptr;
    QVBoxLayout* m_areaLayout = nullptr;
    QLabel* m_message = nullptr;
    QList<QWidget*> m_groups;
    QList<QHBoxLayout*> m_rows;
    QList<int> m_rowOf;  // the row each group is on
    int m_rowCount = 0;
};

}  // namespace dravmer::ui
