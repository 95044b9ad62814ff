#include "ui/widgets/status_bar.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>
#include <algorithm>

namespace dravmer::ui {

namespace {
constexpr int kGroupSpacing = 6;
// What the bar's own layout and the size grip take of its width.
constexpr int kFrameAllowance = 24;

// Tells the bar when a group's size may have changed (a pane's text, a pane shown or hidden).
class CGroupWatch : public QObject {
public:
    explicit CGroupWatch(CStatusBar* bar) : QObject(bar), m_bar(bar) {}
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::LayoutRequest && !m_pending) {
            m_pending = true;
            QMetaObject::invokeMethod(
                m_bar,
                [this] {
                    m_pending = false;
                    m_bar->Reflow();
                },
                Qt::QueuedConnection);
        }
        return QObject::eventFilter(watched, event);
    }

private:
    CStatusBar* m_bar;
    bool m_pending = false;
};
}  // namespace

CStatusBar::CStatusBar(QWidget* parent) : QStatusBar(parent) {
    m_area = new QWidget(this);
    m_area->setObjectName(QStringLiteral("statusArea"));
    // The rows follow the width, not the other way round: the window may narrow below the
    // rows as they stand, and they flow again for the new width.
    m_area->setMinimumWidth(1);
    m_areaLayout = new QVBoxLayout(m_area);
    m_areaLayout->setContentsMargins(0, 0, 0, 0);
    m_areaLayout->setSpacing(2);
    m_message = new QLabel(m_area);
    m_message->setObjectName(QStringLiteral("statusMessage"));
    m_message->setWordWrap(true);
    m_message->setTextFormat(Qt::PlainText);
    m_message->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    m_message->hide();
    m_areaLayout->addWidget(m_message);
    addPermanentWidget(m_area, 1);
    connect(this, &QStatusBar::messageChanged, this, &CStatusBar::ShowText);
    m_watch = new CGroupWatch(this);
}

void CStatusBar::AddGroup(const QList<QWidget*>& panes) {
    auto* group = new QWidget(m_area);
    auto* layout = new QHBoxLayout(group);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    for (QWidget* pane : panes) {
        pane->setParent(group);
        layout->addWidget(pane);
    }
    group->installEventFilter(m_watch);
    m_groups << group;
    Reflow();
}

int CStatusBar::AvailableWidth() const { return std::max(1, width() - kFrameAllowance); }

void CStatusBar::Reflow() {
    const int available = AvailableWidth();
    QList<int> rowOf;
    int row = 0, used = 0;
    for (QWidget* group : m_groups) {
        const int w = group->sizeHint().width();
        if (used > 0 && used + kGroupSpacing + w > available) {
            ++row;
            used = 0;
        }
        used += (used > 0 ? kGroupSpacing : 0) + w;
        rowOf << row;
    }
    if (rowOf != m_rowOf) {
        for (int i = 0; i < m_groups.size(); ++i)
            if (i < m_rowOf.size()) m_rows[m_rowOf[i]]->removeWidget(m_groups[i]);
        const int rows = m_groups.isEmpty() ? 0 : row + 1;
        while (m_rows.size() < rows) {
            // The panes keep to the right, as status panes do.
            auto* line = new QHBoxLayout;
            line->setSpacing(kGroupSpacing);
            line->addStretch(1);
            m_areaLayout->addLayout(line);
            m_rows << line;
        }
        while (m_rows.size() > rows) {
            QHBoxLayout* line = m_rows.takeLast();
            m_areaLayout->removeItem(line);
            delete line;
        }
        for (int i = 0; i < m_groups.size(); ++i) m_rows[rowOf[i]]->addWidget(m_groups[i]);
        m_rowOf = rowOf;
        m_rowCount = rows;
    }
    FitMessageHeight();
}

void CStatusBar::ShowText(const QString& text) {
    m_message->setText(text);
    m_message->setVisible(!text.isEmpty());
    FitMessageHeight();
}

void CStatusBar::FitMessageHeight() {
    if (m_message->isHidden()) return;
    // A wrapped message needs the height of all its lines at the width it has.
    const int height = m_message->heightForWidth(AvailableWidth());
    if (height > 0 && m_message->maximumHeight() != height) m_message->setFixedHeight(height);
}

void CStatusBar::paintEvent(QPaintEvent*) {
    // The message is the label's to show; each pane draws its own frame.
}

void CStatusBar::resizeEvent(QResizeEvent* event) {
    QStatusBar::resizeEvent(event);
    Reflow();
}

}  // namespace dravmer::ui
