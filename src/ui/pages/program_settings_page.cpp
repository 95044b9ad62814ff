#include "ui/pages/program_settings_page.h"

#include <QCheckBox>
#include <QComboBox>
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

#include "archive/archive.h"
#include "archive/archive_io.h"
#include "platform/language.h"
#include "ui/file_type_registration.h"
#include "ui/qt_translations.h"
#include "ui/setting_ranges.h"
#include "ui/stream_control.h"

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

    auto* archive = new QGroupBox(tr("База данных экспериментов"), this);
    auto* archiveLayout = new QGridLayout(archive);
    m_archiveOnStop = new QCheckBox(tr("Сохранять каждый эксперимент в БД при остановке"), archive);
    m_archiveOnStop->setChecked(ArchiveOnStop(context.settings));
    auto* urlLabel = new QLabel(tr("Адрес БД:"), archive);
    m_archiveUrl = new QLineEdit(
        QString::fromStdString(context.settings.GetString(kArchiveSection, kArchiveUrlKey, "")),
        archive);
    // Empty means the bench's own file in the user's data folder.
    m_archiveUrl->setPlaceholderText(QString::fromStdString(DefaultArchiveUrl()));
    m_archiveUrl->setAccessibleName(tr("Адрес базы данных"));
    m_archiveUrl->setToolTip(
        tr("sqlite:ПУТЬ - файл на этом компьютере (пусто - файл по умолчанию);\n"
           "postgresql://пользователь@сервер/база - сервер лаборатории"));
    urlLabel->setBuddy(m_archiveUrl);
    archiveLayout->addWidget(m_archiveOnStop, 0, 0, 1, 2);
    archiveLayout->addWidget(urlLabel, 1, 0);
    archiveLayout->addWidget(m_archiveUrl, 1, 1);
    layout->addWidget(archive);

    auto* stream = new QGroupBox(tr("Передача записей в MQTT во время эксперимента"), this);
    auto* streamLayout = new QGridLayout(stream);
    auto* brokerLabel = new QLabel(tr("Брокер:"), stream);
    m_mqttUrl = new QLineEdit(
        QString::fromStdString(context.settings.GetString(kStreamSection, kMqttUrlKey, "")), stream);
    m_mqttUrl->setPlaceholderText(tr("mqtt://сервер:1883 (пусто - не передавать)"));
    m_mqttUrl->setAccessibleName(tr("Адрес брокера MQTT"));
    brokerLabel->setBuddy(m_mqttUrl);
    auto* topicLabel = new QLabel(tr("Тема:"), stream);
    m_mqttTopic = new QLineEdit(
        QString::fromStdString(context.settings.GetString(kStreamSection, kMqttTopicKey, "")),
        stream);
    m_mqttTopic->setPlaceholderText(QString::fromStdString(DefaultMqttTopicPrefix()));
    m_mqttTopic->setAccessibleName(tr("Префикс темы MQTT"));
    m_mqttTopic->setToolTip(tr("Записи идут в ПРЕФИКС/<адрес прибора>/record, начало и конец "
                               "эксперимента - в ПРЕФИКС/experiment"));
    topicLabel->setBuddy(m_mqttTopic);
    // The password itself is never kept in the settings: only the file that holds it.
    auto* userLabel = new QLabel(tr("Пользователь:"), stream);
    m_mqttUser = new QLineEdit(
        QString::fromStdString(context.settings.GetString(kStreamSection, kMqttUserKey, "")),
        stream);
    m_mqttUser->setAccessibleName(tr("Имя пользователя на брокере MQTT"));
    m_mqttUser->setPlaceholderText(tr("пусто - без имени или из адреса"));
    userLabel->setBuddy(m_mqttUser);
    auto* passwordLabel = new QLabel(tr("Файл пароля:"), stream);
    m_mqttPasswordFile = new QLineEdit(
        QString::fromStdString(context.settings.GetString(kStreamSection, kMqttPasswordFileKey, "")),
        stream);
    m_mqttPasswordFile->setAccessibleName(tr("Файл с паролем брокера MQTT"));
    m_mqttPasswordFile->setToolTip(
        tr("Пароль - первая строка этого файла (без файла - переменная DRAVMER_MQTT_PASSWORD)"));
    passwordLabel->setBuddy(m_mqttPasswordFile);
    streamLayout->addWidget(brokerLabel, 0, 0);
    streamLayout->addWidget(m_mqttUrl, 0, 1);
    streamLayout->addWidget(topicLabel, 1, 0);
    streamLayout->addWidget(m_mqttTopic, 1, 1);
    streamLayout->addWidget(userLabel, 2, 0);
    streamLayout->addWidget(m_mqttUser, 2, 1);
    streamLayout->addWidget(passwordLabel, 3, 0);
    streamLayout->addWidget(m_mqttPasswordFile, 3, 1);
    layout->addWidget(stream);

    auto* languageBox = new QGroupBox(tr("Язык интерфейса"), this);
    auto* languageLayout = new QHBoxLayout(languageBox);
    m_language = new QComboBox(languageBox);
    m_language->setAccessibleName(tr("Язык интерфейса"));
    // Each language by its own name; the first follows the system's message locale.
    m_language->addItem(tr("Как в системе"), QStringLiteral("system"));
    m_language->addItem(QStringLiteral("Русский"), QStringLiteral("ru"));
    m_language->addItem(QStringLiteral("English"), QStringLiteral("en"));
    const int chosen = m_language->findData(QString::fromStdString(
        context.settings.GetString(kLanguageSection, kLanguageKey, "system")));
    m_language->setCurrentIndex(chosen < 0 ? 0 : chosen);
    languageLayout->addWidget(m_language);
    auto* languageNote =
        new QLabel(tr("Применяется при следующем запуске программы."), languageBox);
    languageNote->setWordWrap(true);
    languageLayout->addWidget(languageNote, 1);
    layout->addWidget(languageBox);
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
    const QString url = m_archiveUrl->text().trimmed();
    if (!url.isEmpty() && !url.startsWith(QLatin1String("sqlite:")) &&
        !url.startsWith(QLatin1String("postgresql:")) &&
        !url.startsWith(QLatin1String("postgres://"))) {
        QMessageBox::warning(this, tr("База данных экспериментов"),
                             tr("Адрес базы данных начинается с sqlite: или postgresql://"));
        m_archiveUrl->setFocus();
        return false;
    }
    const std::string mqttUrl = m_mqttUrl->text().trimmed().toStdString();
    std::string mqttTopic = m_mqttTopic->text().trimmed().toStdString();
    SMqttSettings mqtt;
    std::string mqttError;
    const bool urlBad =
        !mqttUrl.empty() && !ParseMqttUrl(mqttUrl, mqtt, mqttError, UiLanguage());
    const bool topicBad = !urlBad && !mqttTopic.empty() &&
                          !CheckMqttTopicPrefix(mqttTopic, mqttError, UiLanguage());
    if (urlBad || topicBad) {
        QMessageBox::warning(this, tr("Передача записей в MQTT"),
                             tr("Адрес брокера: mqtt://сервер[:порт]. %1")
                                 .arg(QString::fromStdString(mqttError)));
        (topicBad ? m_mqttTopic : m_mqttUrl)->setFocus();
        return false;
    }
    m_context.settings.SetString(kLanguageSection, kLanguageKey,
                                 m_language->currentData().toString().toStdString());
    m_context.settings.SetString(kStreamSection, kMqttUrlKey, mqttUrl);
    m_context.settings.SetString(kStreamSection, kMqttTopicKey, mqttTopic);
    m_context.settings.SetString(kStreamSection, kMqttUserKey,
                                 m_mqttUser->text().trimmed().toStdString());
    m_context.settings.SetString(kStreamSection, kMqttPasswordFileKey,
                                 m_mqttPasswordFile->text().trimmed().toStdString());
    m_context.settings.SetString(kArchiveSection, kArchiveUrlKey, url.toStdString());
    m_context.settings.SetInt(kArchiveSection, kArchiveOnStopKey,
                              m_archiveOnStop->isChecked() ? 1 : 0);
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
