#include "ui/widgets/status_panes.h"

#include <QFontMetrics>
#include <QLabel>
#include <algorithm>

#include "ui/icons.h"
#include "ui/widgets/status_bar.h"

namespace dravmer::ui {

CStatusPanes::CStatusPanes(CStatusBar* bar) : QObject(bar), m_bar(bar) {
    for (int s = 0; s < 5; ++s)
        m_icons[static_cast<size_t>(s)] =
            IconPixmap(QStringLiteral("activity-%1").arg(s).toLatin1().constData(), 16);
    const QFontMetrics fm(bar->font());
    // Widths follow the longest texts the panes show.
    const int linkWidth = fm.horizontalAdvance(QStringLiteral("COM3,115200,8,N,0.."));
    const int loadWidth = fm.horizontalAdvance(QStringLiteral("99% / 10"));
    const int rangeWidth = fm.horizontalAdvance(QStringLiteral("Stat range 20000 - 200000"));
    for (int i = 0; i < kPaneCount; ++i) {
        auto* label = new QLabel(bar);
        label->setObjectName(QStringLiteral("pane%1").arg(i));
        label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        label->setMargin(1);
        const int kind = i == kStatRangePane ? 3 : i % 3;
        switch (kind) {
        case 0:
            label->setFixedWidth(20);
            label->setAlignment(Qt::AlignCenter);
            label->setToolTip(tr("Индикатор передачи данных"));
            label->setAccessibleName(tr("Индикатор передачи данных, порт %1").arg(i / 3 + 1));
            break;
        case 1:
            // At least the usual line's width, so the panes do not jump as the port opens; a
            // longer text (a server's name) widens it.
            label->setMinimumWidth(linkWidth);
            label->setToolTip(tr("Параметры связи"));
            label->setAccessibleName(tr("Параметры связи, порт %1").arg(i / 3 + 1));
            break;
        case 2:
            label->setMinimumWidth(loadWidth);
            label->setToolTip(tr("Процент загрузки СОМ порта / количество клиентов"));
            label->setAccessibleName(tr("Загрузка порта %1").arg(i / 3 + 1));
            break;
        default:
            label->setMinimumWidth(rangeWidth);
            label->setToolTip(tr("Диапазон статистики"));
            label->setAccessibleName(tr("Диапазон статистики"));
            break;
        }
        label->setSizePolicy(kind == 0 ? QSizePolicy::Fixed : QSizePolicy::Preferred,
                             QSizePolicy::Preferred);
        m_panes[static_cast<size_t>(i)] = label;
        m_names[static_cast<size_t>(i)] = label->accessibleName();
    }
    for (int p = 0; p < 4; ++p)
        bar->AddGroup({Pane(ActivityPane(p)), Pane(LinkPane(p)), Pane(LoadPane(p))});
    bar->AddGroup({Pane(kStatRangePane)});
}

QString CStatusPanes::ActivityText(int state) {
    switch (state) {
    case 1: return tr("передача");
    case 2: return tr("приём");
    case 3: return tr("передача и приём");
    case 4: return tr("порт не открыт");
    default: return tr("нет обмена");
    }
}

void CStatusPanes::Expose(int pane, const QString& value) {
    QLabel* label = Pane(pane);
    const QString& name = m_names[static_cast<size_t>(pane)];
    const QString full = value.isEmpty() ? name : name + QStringLiteral(": ") + value;
    // Setting them tells the accessibility bus of the change; an unchanged value tells nothing.
    if (label->accessibleName() != full) label->setAccessibleName(full);
    if (label->accessibleDescription() != value) label->setAccessibleDescription(value);
}

void CStatusPanes::Fit() { m_bar->Reflow(); }

void CStatusPanes::SetText(int pane, const QString& text) {
    QLabel* label = Pane(pane);
    const qsizetype nl = text.indexOf(QLatin1Char('\n'));
    if (nl < 0) {
        label->setText(text);
    } else {
        label->setText(text.left(nl));
        label->setToolTip(text.mid(nl + 1));
    }
    Expose(pane, label->text());
}

void CStatusPanes::SetToolTip(int pane, const QString& text) { Pane(pane)->setToolTip(text); }

void CStatusPanes::SetActivity(int port, int state) {
    if (state < 0 || state > 4) state = 0;
    int& shown = m_activity[static_cast<size_t>(port)];
    if (shown == state) return;
    shown = state;
    Pane(ActivityPane(port))->setPixmap(m_icons[static_cast<size_t>(state)]);
    Expose(ActivityPane(port), ActivityText(state));
}

}  // namespace dravmer::ui
