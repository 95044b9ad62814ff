#pragma once
// "Настройки порта №n": the settings of one port (local line, COM server or network serial
// server, type, speed, time-out, DTR and RTS, modem) and, on Linux, the serial device the port uses. Applying
// a changed page closes the port, stores the settings and opens it again; an unchanged page
// leaves the port alone.
#include "link/port_settings.h"
#include "ui/sheet_page.h"
#include "ui/ui_context.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QRadioButton;

namespace dravmer::ui {

class CPortSettingsPage : public CSheetPage {
    Q_OBJECT
public:
    // The five speeds of the list and the speed indices they stand for.
    static constexpr int kSpeedIndices[5] = {6, 8, 9, 11, 12};
    // List position of a speed index; -1 (no selection) for any other.
    static int SpeedPosition(int speedIndex);
    // The reply time-out the page suggests for a port type.
    static int SuggestedTimeOut(int comType);

    CPortSettingsPage(SUiContext& context, int port, QWidget* parent = nullptr);
    bool Apply() override;

    bool Modified() const { return m_modified; }
    // The settings the controls hold, over `base` (what the page does not show stays).
    SPortSettings Collect(const SPortSettings& base) const;

    QCheckBox* UseBox() const { return m_use; }
    QRadioButton* ModeRadio(int mode) const { return m_mode[mode]; }
    QComboBox* ComList() const { return m_com; }
    QComboBox* DeviceBox() const { return m_device; }
    QComboBox* TypeList() const { return m_type; }
    QComboBox* SpeedList() const { return m_speed; }
    QLineEdit* TimeOutEdit() const { return m_timeout; }
    QComboBox* ServerBox() const { return m_server; }
    QLineEdit* PhoneEdit() const { return m_phone; }
    QComboBox* DtrList() const { return m_dtr; }
    QComboBox* RtsList() const { return m_rts; }

private:
    void Show(const SPortSettings& s);
    void EnableForMode(int mode);
    void EnableAll();
    int SelectedMode() const;
    void MarkModified() {
        if (m_initialised) m_modified = true;
    }

    SUiContext& m_context;
    int m_port;
    bool m_initialised = false;
    bool m_modified = false;
    QCheckBox* m_use = nullptr;
    QRadioButton* m_mode[4] = {};
    QComboBox* m_com = nullptr;
    QComboBox* m_device = nullptr;
    QComboBox* m_type = nullptr;
    QComboBox* m_speed = nullptr;
    QLineEdit* m_timeout = nullptr;
    QComboBox* m_server = nullptr;
    QComboBox* m_serverPort = nullptr;
    QLineEdit* m_ip = nullptr;
    QComboBox* m_tcpPort = nullptr;
    QLineEdit* m_phone = nullptr;
    QLineEdit* m_at = nullptr;
    QLineEdit* m_dialWait = nullptr;
    QComboBox* m_dtr = nullptr;
    QComboBox* m_rts = nullptr;
};

}  // namespace dravmer::ui
