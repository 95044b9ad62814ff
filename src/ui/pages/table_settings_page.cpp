#include "ui/pages/table_settings_page.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "ui/ui_context.h"
#include "ui/widgets/simple_color_button.h"
#include "ui/widgets/color_ref.h"

namespace dravmer::ui {

CTableSettingsPage::CTableSettingsPage(SUiContext& context, QWidget* parent)
    : CSheetPage(parent), m_context(context) {
    auto* group = new QGroupBox(tr("Выделение значений, выходящих за допуск"), this);
    m_color = new CSimpleColorButton(tr("Цвет"), group);
    m_color->SetColor(FromColorRef(context.bench.Settings().highlightColor));
    auto* row = new QHBoxLayout(group);
    row->addWidget(new QLabel(tr("Цвет ячеек таблиц со значениями вне допуска:"), group));
    row->addWidget(m_color);
    row->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group);
    layout->addStretch(1);
}

bool CTableSettingsPage::Apply() {
    CExperimentSettings& s = m_context.bench.Settings();
    const int color = ToColorRef(m_color->Color());
    if (color == s.highlightColor) return true;
    s.highlightColor = color;
    s.SaveFileSettings(m_context.settings);
    m_context.settings.Flush();
    return true;
}

}  // namespace dravmer::ui
