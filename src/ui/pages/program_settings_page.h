#pragma once
// "Настройки": what the program keeps about files (folder, format, date folders), the state of
// the write-to-file switch at start, the poll period, the ".adc" file association and the
// experiment database (its address and whether every experiment goes there when it stops), and
// the MQTT broker that gets each record as it arrives, and the window's language (from the next
// start).
#include "ui/sheet_page.h"
#include "ui/ui_context.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QRadioButton;

namespace dravmer::ui {

class CFileTypeRegistration;

class CProgramSettingsPage : public CSheetPage {
    Q_OBJECT
public:
    CProgramSettingsPage(SUiContext& context, QWidget* parent = nullptr);
    ~CProgramSettingsPage() override;
    bool Apply() override;

    QLineEdit* PeriodEdit() const { return m_period; }
    QLineEdit* PathEdit() const { return m_path; }
    QCheckBox* RegisterBox() const { return m_register; }
    QRadioButton* TextFormat() const { return m_text; }
    QRadioButton* KeepState() const { return m_keepState; }
    QCheckBox* DateFolders() const { return m_dateFolders; }
    QCheckBox* ArchiveOnStopBox() const { return m_archiveOnStop; }
    QLineEdit* ArchiveUrlEdit() const { return m_archiveUrl; }
    QLineEdit* MqttUrlEdit() const { return m_mqttUrl; }
    QLineEdit* MqttTopicEdit() const { return m_mqttTopic; }
    QLineEdit* MqttUserEdit() const { return m_mqttUser; }
    QLineEdit* MqttPasswordFileEdit() const { return m_mqttPasswordFile; }
    QComboBox* LanguageBox() const { return m_language; }
    // Where the association goes; tests point it at a folder of their own.
    CFileTypeRegistration& Registration() { return *m_registration; }

private:
    SUiContext& m_context;
    std::unique_ptr<CFileTypeRegistration> m_registration;
    QRadioButton* m_keepState = nullptr;
    QRadioButton* m_alwaysOn = nullptr;
    QLineEdit* m_path = nullptr;
    QRadioButton* m_text = nullptr;
    QRadioButton* m_binary = nullptr;
    QCheckBox* m_register = nullptr;
    QCheckBox* m_dateFolders = nullptr;
    QCheckBox* m_loadAll = nullptr;
    QLineEdit* m_period = nullptr;
    QCheckBox* m_archiveOnStop = nullptr;
    QLineEdit* m_archiveUrl = nullptr;
    QLineEdit* m_mqttUrl = nullptr;
    QLineEdit* m_mqttTopic = nullptr;
    QLineEdit* m_mqttUser = nullptr;
    QLineEdit* m_mqttPasswordFile = nullptr;
    QComboBox* m_language = nullptr;
};

}  // namespace dravmer::ui
