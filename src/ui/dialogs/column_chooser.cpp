#include "ui/dialogs/column_chooser.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include "measure/param_catalog.h"
#include "ui/ui_context.h"
#include "ui/view_state.h"

namespace dravmer::ui {

CColumnChooser::CColumnChooser(SUiContext& context, QWidget* parent)
    : QDialog(parent), m_context(context) {
    setWindowTitle(tr("Выбор колонок таблицы"));
    auto* groups = new QHBoxLayout;
    const CExperimentSettings& s = context.bench.Settings();
    for (int group = 1; group <= 4; ++group) {
        auto* box = new QGroupBox(tr("Команда %1").arg(group), this);
        auto* grid = new QGridLayout(box);
        int n = 0;
        for (int i = 1; i < kParamCount; ++i) {
            if (CExperimentSettings::CommandGroup(i) != group) continue;
            auto* check = new QCheckBox(QString::fromUtf8(ParamNameTrimmed(i).data(),
                                                          static_cast<int>(ParamNameTrimmed(i).size())),
                                        box);
            check->setChecked(s.ToTable(i));
            m_boxes[static_cast<std::size_t>(i)] = check;
            grid->addWidget(check, n % 11, n / 11);
            ++n;
        }
        grid->setRowStretch(11, 1);
        groups->addWidget(box);
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(groups);
    layout->addWidget(buttons);
}

void CColumnChooser::accept() {
    CExperimentSettings& s = m_context.bench.Settings();
    for (int i = 1; i < kParamCount; ++i)
        if (QCheckBox* box = m_boxes[static_cast<std::size_t>(i)]) s.SetToTable(i, box->isChecked());
    s.RecomputeOptionalReads();
    s.SaveTableColumns(m_context.settings);
    m_context.settings.Flush();
    // The settings are the one place the columns live; every page that shows them follows.
    if (m_context.view) m_context.view->NotifyColumnsChanged();
    QDialog::accept();
}

}  // namespace dravmer::ui
