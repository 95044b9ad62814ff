#include "ui/graphs/graph_settings_pages.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QVBoxLayout>

#include "ui/graphs/graph_hub.h"
#include "ui/widgets/color_button.h"

namespace dravmer::ui {

using graph::SGraphSettings;

namespace {
CColorButton* MakeButton(CGraphHub& hub, const QString& name, std::uint32_t color) {
    auto* b = new CColorButton(hub.ColorTable(), name);
    b->SetColor(color);
    return b;
}
}  // namespace

// ---- "График среднее UG0-9" ----

CStatGraphSettingsPage::CStatGraphSettingsPage(SUiContext& ctx, QWidget* parent)
    : CSheetPage(parent), m_hub(CGraphHub::For(ctx)) {
    const SGraphSettings& s = m_hub.Settings();
    auto* form = new QFormLayout(this);
    const QString names[5] = {tr("Фон графика"), tr("Среднее, нечётные (O)"),
                              tr("Среднее, чётные (E)"), tr("Мгновенные, нечётные (O)"),
                              tr("Мгновенные, чётные (E)")};
    const std::uint32_t colors[5] = {s.statBackground, s.statAvg0, s.statAvg1, s.statMom0,
                                     s.statMom1};
    for (int i = 0; i < 5; ++i) {
        m_buttons[i] = MakeButton(m_hub, names[i], colors[i]);
        form->addRow(names[i], m_buttons[i]);
    }
    m_latest = new QCheckBox(tr("Выводить мгновенные значения"));
    m_latest->setChecked(s.statMomEnable);
    form->addRow(m_latest);
}

bool CStatGraphSettingsPage::Apply() {
    SGraphSettings& s = m_hub.Settings();
    SGraphSettings before = s;
    s.statBackground = m_buttons[0]->Color();
    s.statAvg0 = m_buttons[1]->Color();
    s.statAvg1 = m_buttons[2]->Color();
    s.statMom0 = m_buttons[3]->Color();
    s.statMom1 = m_buttons[4]->Color();
    s.statMomEnable = m_latest->isChecked();
    if (!(s == before)) {
        emit m_hub.colorsChanged();
        m_hub.Save();
    }
    return true;
}

// ---- "Цвета графиков" ----

CGraphColorsPage::CGraphColorsPage(SUiContext& ctx, QWidget* parent)
    : CSheetPage(parent), m_hub(CGraphHub::For(ctx)) {
    const SGraphSettings& s = m_hub.Settings();
    auto* layout = new QVBoxLayout(this);
    auto* top = new QFormLayout;
    m_background = MakeButton(m_hub, tr("ФОН"), s.background);
    m_grid = MakeButton(m_hub, tr("Сетка"), s.gridColor);
    top->addRow(tr("ФОН"), m_background);
    top->addRow(tr("Сетка"), m_grid);
    layout->addLayout(top);
    auto* box = new QGroupBox(tr("Цвета графиков 1 - 50"));
    auto* grid = new QGridLayout(box);
    grid->setHorizontalSpacing(6);
    grid->setVerticalSpacing(3);
    for (int i = 0; i < graph::kSlotCount; ++i) {
        m_slots[i] = MakeButton(m_hub, tr("График %1").arg(i + 1), m_hub.List().SlotColor(i));
        m_slots[i]->setMinimumWidth(36);
        const int col = (i / 10) * 2, row = i % 10;
        auto* label = new QLabel(QString::number(i + 1));
        label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        grid->addWidget(label, row, col);
        grid->addWidget(m_slots[i], row, col + 1);
    }
    layout->addWidget(box);
    layout->addStretch();
}

bool CGraphColorsPage::Apply() {
    SGraphSettings& s = m_hub.Settings();
    bool changed = s.background != m_background->Color() || s.gridColor != m_grid->Color();
    s.background = m_background->Color();
    s.gridColor = m_grid->Color();
    for (int i = 0; i < graph::kSlotCount; ++i) {
        changed = changed || m_hub.List().SlotColor(i) != m_slots[i]->Color();
        m_hub.List().SetSlotColor(i, m_slots[i]->Color());
    }
    if (changed) {
        emit m_hub.colorsChanged();
        emit m_hub.curvesChanged(CGraphHub::Refresh, -1);
        m_hub.Save();
    }
    return true;
}

// ---- "Настройки основного графика" ----

CMainGraphSettingsPage::CMainGraphSettingsPage(SUiContext& ctx, QWidget* parent)
    : CSheetPage(parent), m_hub(CGraphHub::For(ctx)) {
    const SGraphSettings& s = m_hub.Settings();
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    m_cells = new QLineEdit(QString::number(s.cellsHoriz));
    m_cells->setAccessibleName(tr("Количество клеток по вертикали"));
    m_cells->setMaximumWidth(60);
    form->addRow(tr("Количество клеток по вертикали (2 - 20)"), m_cells);
    layout->addLayout(form);
    m_autoPlace = new QCheckBox(tr("Автоматический подбор масштаба при запуске"));
    m_autoPlace->setChecked(s.autoPlace);
    layout->addWidget(m_autoPlace);
    auto* sel = new QGroupBox(tr("Выделение"));
    auto* selLayout = new QVBoxLayout(sel);
    m_lines = new QRadioButton(tr("Выделение с отметками начало - конец"));
    m_band = new QRadioButton(tr("Выделение с инверсией цвета"));
    (s.selectionBand ? m_band : m_lines)->setChecked(true);
    selLayout->addWidget(m_lines);
    selLayout->addWidget(m_band);
    auto* colorRow = new QFormLayout;
    m_selection = MakeButton(m_hub, tr("Цвет выделения"), s.selectionColor);
    colorRow->addRow(tr("Цвет выделения"), m_selection);
    selLayout->addLayout(colorRow);
    layout->addWidget(sel);
    m_timeAxes = new QCheckBox(tr("Выводить значение реального времени на гор. оси"));
    m_timeAxes->setChecked(s.timeAxes);
    layout->addWidget(m_timeAxes);
    m_error = new QLabel;
    m_error->setStyleSheet(QStringLiteral("color: #b00000"));
    m_error->setWordWrap(true);
    layout->addWidget(m_error);
    layout->addStretch();
}

bool CMainGraphSettingsPage::Apply() {
    bool ok = false;
    const int cells = m_cells->text().trimmed().toInt(&ok);
    if (!ok || cells < graph::kMinCells || cells > graph::kMaxCells) {
        m_error->setText(tr("Количество клеток должно быть от 2 до 20."));
        m_cells->setFocus();
        m_cells->selectAll();
        return false;
    }
    m_error->clear();
    SGraphSettings& s = m_hub.Settings();
    SGraphSettings before = s;
    s.cellsHoriz = cells;
    s.autoPlace = m_autoPlace->isChecked();
    s.selectionBand = m_band->isChecked();
    s.selectionColor = m_selection->Color();
    s.timeAxes = m_timeAxes->isChecked();
    if (!(s == before)) {
        emit m_hub.settingsChanged(cells != before.cellsHoriz);
        m_hub.Save();
    }
    return true;
}

}  // namespace dravmer::ui
