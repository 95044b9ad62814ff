#include "ui/pages/program_settings_page.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "ui/file_type_registration.h"
#include "ui/setting_ranges.h"

namespace dravmer::ui {

CProgramSettingsPage::CProgramSettingsPage(SUiContext& context, QWidget* parent)
    : CSheetPage(parent),
      m_context(context),
      m_registration(std::make_unique<CFileTypeRegistration>()) {
    const CExperimentSettings& s = context.bench.Settings();
    auto* layout = new QVBoxLayout(this);

    auto* state = new QGroupBox(tr("Состояние кнопки записи в файл при запуске"), this);
    auto* stateLayout = new QVBoxLayout(state);
    m_keepState = new QRadioButton(tr("Сохранять состояние"), state);
    m_alwaysOn = new QRadioButton(tr("Всегда включать при запуске "), state);
    stateLayout->addWidget(m_keepState);
    stateLayout->addWidget(m_alwaysOn);
    (s.saveFileFlag ? m_keepState : m_alwaysOn)->setChecked(true);
    layout->addWidget(state);

    auto* pathBox = new QGroupBox(tr("Путь для сохранения файлов"), this);
    auto* pathLayout = new QVBoxLayout(pathBox);
    auto* pathRow = new QHBoxLayout;
    m_path = new QLineEdit(QString::fromStdString(s.savePath), pathBox);
    m_path->setAccessibleName(tr("Путь для сохранения файлов"));
    auto* browse = new QPushButton(tr("Обзор..."), pathBox);
    connect(browse, &QPushButton::clicked, this, [this] {
        const QString dir = QFileDialog::getExistingDirectory(this, tr("Путь для сохранения файлов"),
                                                              m_path->text());
        if (!dir.isEmpty()) m_path->setText(QDir::toNativeSeparators(dir) + QLatin1Char('/'));
    });
    pathRow->addWidget(m_path, 1);
    pathRow->addWidget(browse);
    pathLayout->addLayout(pathRow);
    m_dateFolders = new QCheckBox(tr("Добавлять к пути /ГодМесяЦ/ГодМесяцДень/"), pathBox);
    m_dateFolders->setChecked(s.dateFolders);
    pathLayout->addWidget(m_dateFolders);
    layout->addWidget(pathBox);

    auto* format = new QGroupBox(tr("Формат сохранения файлов"), this);
    auto* formatLayout = new QHBoxLayout(format);
    m_text = new QRadioButton(tr("Текстовой (.txt)"), format);
    m_binary = new QRadioButton(tr("Бинарный (.adc)"), format);
    formatLayout->addWidget(m_text);
    formatLayout->addWidget(m_binary);
    formatLayout->addStretch(1);
    (s.textFormat ? m_text : m_binary)->setChecked(true);
    layout->addWidget(format);

    auto* reg = new QGroupBox(tr("Регистрация файлов .adc в системе"), this);
    auto* regLayout = new QVBoxLayout(reg);
    m_register = new QCheckBox(tr("Открывать .adc файлы программой Dravmer"), reg);
    m_register->setChecked(m_registration->IsRegistered());
    regLayout->addWidget(m_register);
    layout->addWidget(reg);

    // Shown as it always was; loading reads every file of an experiment anyway.
    m_loadAll = new QCheckBox(tr("Загружать все файлы эксперимента"), this);
    layout->addWidget(m_loadAll);

    auto* periodRow = new QHBoxLayout;
    auto* periodLabel = new QLabel(tr("Период опроса:"), this);
    m_period = new QLineEdit(QString::fromStdString(CExperimentSettings::FormatPeriod(s.PollPeriod())), this);
    m_period->setMaximumWidth(100);
    m_period->setAccessibleName(tr("Период опроса, с"));
    periodLabel->setBuddy(m_period);
    periodRow->addWidget(periodLabel);
    periodRow->addWidget(m_period);
    periodRow->addWidget(new QLabel(tr("c"), this));
    periodRow->addStretch(1);
    layout->addLayout(periodRow);
    layout->addStretch(1);
}

CProgramSettingsPage::~CProgramSettingsPage() = default;

bool CProgramSettingsPage::Apply() {
    const QString period = m_period->text();
    QString error = CheckSettingValue("ExperimentSettings", "strPeriod", period);
    if (!error.isEmpty()) {
        QMessageBox::warning(this, tr("Период опроса"), error);
        m_period->setFocus();
        return false;
    }
    error = CheckSettingValue("ExperimentSettings", "strPathToSaveFile", m_path->text());
    if (!error.isEmpty()) {
        QMessageBox::warning(this, tr("Путь для сохранения файлов"), error);
        m_path->setFocus();
        return false;
    }
    CExperimentSettings& s = m_context.bench.Settings();
    s.saveFileFlag = m_keepState->isChecked();
    s.savePath = m_path->text().toStdString();
    s.textFormat = m_text->isChecked();
    s.dateFolders = m_dateFolders->isChecked();
    QString plain = period.trimmed();
    plain.replace(QLatin1Char(','), QLatin1Char('.'));
    s.SetPollPeriod(plain.toDouble());
    s.SaveFileSettings(m_context.settings);
    m_context.settings.Flush();
    // A failing registration is not reported: the box shows the real state next time.
    if (m_register->isChecked() != m_registration->IsRegistered()) {
        if (m_register->isChecked()) m_registration->Register();
        else m_registration->Unregister();
    }
    return true;
}

}  // namespace dravmer::ui
