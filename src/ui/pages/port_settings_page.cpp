#include "ui/pages/port_settings_page.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QRadioButton>
#include <QVBoxLayout>

#include "link/port.h"
#include "ui/qt_translations.h"
#include "ui/serial_ports.h"
#include "ui/setting_ranges.h"

namespace dravmer::ui {

namespace {
QString Q(const std::string& s) { return QString::fromStdString(s); }
const char* const kSpeedTexts[5] = {"9600", "19200", "38400", "57600", "115200"};
}  // namespace

int CPortSettingsPage::SpeedPosition(int speedIndex) {
    for (int i = 0; i < 5; ++i)
        if (kSpeedIndices[i] == speedIndex) return i;
    return -1;
}

int CPortSettingsPage::SuggestedTimeOut(int comType) {
    if (comType == kComXBee || comType == kComModemLine) return 1000;
    if (comType == kComModemGsm) return 4000;
    return 300;
}

CPortSettingsPage::CPortSettingsPage(SUiContext& context, int port, QWidget* parent)
    : CSheetPage(parent), m_context(context), m_port(port) {
    auto* layout = new QVBoxLayout(this);
    m_use = new QCheckBox(tr("Включить порт"), this);
    layout->addWidget(m_use);

    auto* grid = new QGridLayout;
    // The server radio sits in a box of its own; one group keeps the four modes exclusive
    // wherever their radios are placed.
    auto* modes = new QButtonGroup(this);
    modes->setExclusive(true);
    for (int mode = 0; mode < 4; ++mode) {
        m_mode[mode] = new QRadioButton(Q(LinkModeCaption(mode, UiLanguage())), this);
        modes->addButton(m_mode[mode], mode);
    }
    m_com = new QComboBox(this);
    m_serverPort = new QComboBox(this);
    for (int n = 0; n < 128; ++n) {
        m_com->addItem(Q(PortName(n)));
        m_serverPort->addItem(Q(PortName(n)));
    }
    m_com->setAccessibleName(tr("COM порт"));
    m_serverPort->setAccessibleName(tr("COM порт сервера"));
    m_device = new QComboBox(this);
    m_device->setEditable(true);
    m_device->setInsertPolicy(QComboBox::NoInsert);
    m_device->setMinimumContentsLength(26);
    m_device->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    for (const std::string& path : SystemSerialPorts()) m_device->addItem(Q(path));
    m_device->lineEdit()->setPlaceholderText(tr("по номеру COM (COMn = /dev/ttyS(n-1))"));
    m_device->setAccessibleName(tr("Устройство порта"));
    m_device->setToolTip(tr("Последовательный порт системы или любой путь; пусто: по номеру COM"));
    m_type = new QComboBox(this);
    for (int type = 0; type < 7; ++type) m_type->addItem(Q(ComTypeName(type, UiLanguage())));
    m_type->setAccessibleName(tr("Тип порта"));
    m_timeout = new QLineEdit(this);
    m_timeout->setAccessibleName(tr("Ожидание ответа, мс"));
    m_ip = new QLineEdit(this);
    m_ip->setAccessibleName(tr("IP адрес"));
    m_tcpPort = new QComboBox(this);
    for (int n = 1; n <= 16; ++n) m_tcpPort->addItem(QStringLiteral("PORT%1").arg(n));
    m_tcpPort->setAccessibleName(tr("Порт сервера"));

    int row = 0;
    grid->addWidget(m_mode[kLinkModeCom], row, 0);
    grid->addWidget(m_com, row, 1);
    grid->addWidget(new QLabel(tr("Устройство:"), this), row, 2);
    grid->addWidget(m_device, row, 3);
    ++row;
    grid->addWidget(new QLabel(tr("Тип порта:"), this), row, 0);
    grid->addWidget(m_type, row, 1);
    auto* timeoutLabel = new QLabel(tr("Ожидание ответа, мс:"), this);
    timeoutLabel->setBuddy(m_timeout);
    grid->addWidget(timeoutLabel, row, 2);
    grid->addWidget(m_timeout, row, 3);
    ++row;
    grid->addWidget(m_mode[kLinkModeNetServer], row, 0);
    grid->addWidget(m_ip, row, 1);
    grid->addWidget(m_tcpPort, row, 2);
    ++row;
    grid->addWidget(m_mode[kLinkModeZhvl], row, 0);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 2);
    layout->addLayout(grid);

    auto* serverBox = new QGroupBox(tr("Рсширенные настройки соединения через СОМ"), this);
    auto* serverGrid = new QGridLayout(serverBox);
    m_server = new QComboBox(serverBox);
    m_server->setEditable(true);
    m_server->addItem(QStringLiteral("LOCAL MACHINE"));
    // Names of the computers this machine knows stand in for the network's computer list.
    for (const std::string& name : KnownComputerNames()) m_server->addItem(Q(name));
    m_server->setAccessibleName(tr("Сервер"));
    serverGrid->addWidget(m_mode[kLinkModeServer], 0, 0);
    serverGrid->addWidget(m_server, 0, 1);
    serverGrid->addWidget(m_serverPort, 0, 2);
    serverGrid->setColumnStretch(1, 1);
    layout->addWidget(serverBox);

    auto* speedBox = new QGroupBox(tr("Скорость:"), this);
    auto* speedLayout = new QHBoxLayout(speedBox);
    m_speed = new QComboBox(speedBox);
    for (const char* text : kSpeedTexts) m_speed->addItem(QString::fromLatin1(text));
    m_speed->setAccessibleName(tr("Скорость"));
    speedLayout->addWidget(m_speed);
    speedLayout->addStretch(1);
    layout->addWidget(speedBox);

    // The control lines of a local line. The choices keep the settings' values; Linux has no
    // handshake on DTR or RTS that only holds back input, so "handshake" raises the line.
    auto* linesBox = new QGroupBox(tr("Линии DTR и RTS"), this);
    auto* linesLayout = new QHBoxLayout(linesBox);
    m_dtr = new QComboBox(linesBox);
    m_rts = new QComboBox(linesBox);
    const char* const dtrTexts[3] = {QT_TR_NOOP("выключена"), QT_TR_NOOP("включена"),
                                     QT_TR_NOOP("квитирование (= включена)")};
    const char* const rtsTexts[4] = {QT_TR_NOOP("выключена"), QT_TR_NOOP("включена"),
                                     QT_TR_NOOP("квитирование (= включена)"),
                                     QT_TR_NOOP("включается на время передачи")};
    for (const char* text : dtrTexts) m_dtr->addItem(tr(text));
    for (const char* text : rtsTexts) m_rts->addItem(tr(text));
    const QString handshake =
        tr("В Linux нет квитирования только на приём: при «квитировании» линия включается при "
           "открытии порта и остаётся включённой, как при выборе «включена».");
    m_dtr->setAccessibleName(tr("Линия DTR"));
    m_dtr->setToolTip(tr("Уровень линии DTR, пока порт открыт.") + QLatin1Char('\n') + handshake);
    m_dtr->setAccessibleDescription(m_dtr->toolTip());
    m_rts->setAccessibleName(tr("Линия RTS"));
    m_rts->setToolTip(tr("Уровень линии RTS, пока порт открыт; «включается на время передачи» "
                         "переключает направление преобразователя RS-485. У типов порта RS-485 "
                         "направление переключает сам тип.") +
                      QLatin1Char('\n') + handshake);
    m_rts->setAccessibleDescription(m_rts->toolTip());
    auto* dtrLabel = new QLabel(tr("DTR:"), linesBox);
    dtrLabel->setBuddy(m_dtr);
    auto* rtsLabel = new QLabel(tr("RTS:"), linesBox);
    rtsLabel->setBuddy(m_rts);
    linesLayout->addWidget(dtrLabel);
    linesLayout->addWidget(m_dtr, 1);
    linesLayout->addWidget(rtsLabel);
    linesLayout->addWidget(m_rts, 1);
    layout->addWidget(linesBox);

    auto* modemBox = new QGroupBox(tr("Настройки модема"), this);
    auto* modemGrid = new QGridLayout(modemBox);
    m_phone = new QLineEdit(modemBox);
    m_at = new QLineEdit(modemBox);
    m_dialWait = new QLineEdit(modemBox);
    const std::pair<const char*, QLineEdit*> modemRows[3] = {
        {QT_TR_NOOP("Номер телефона:"), m_phone},
        {QT_TR_NOOP("Дополнит. команды АТ:"), m_at},
        {QT_TR_NOOP("Ожидание соединения, с:"), m_dialWait}};
    for (int i = 0; i < 3; ++i) {
        auto* label = new QLabel(tr(modemRows[i].first), modemBox);
        label->setBuddy(modemRows[i].second);
        modemRows[i].second->setAccessibleName(tr(modemRows[i].first));
        modemGrid->addWidget(label, i, 0);
        modemGrid->addWidget(modemRows[i].second, i, 1);
    }
    layout->addWidget(modemBox);
    layout->addStretch(1);
    // This mode has never been offered; a stored one still shows selected.
    m_mode[kLinkModeZhvl]->hide();

    Show(context.bench.Port(port).Settings());

    for (int mode = 0; mode < 4; ++mode)
        connect(m_mode[mode], &QRadioButton::clicked, this, [this, mode] {
            MarkModified();
            EnableForMode(mode);
        });
    connect(m_use, &QCheckBox::toggled, this, [this] {
        MarkModified();
        EnableAll();
    });
    connect(m_type, &QComboBox::currentIndexChanged, this, [this](int type) {
        if (!m_initialised) return;
        MarkModified();
        m_timeout->setText(QString::number(SuggestedTimeOut(type)));
        if (SelectedMode() == kLinkModeCom && m_use->isChecked()) EnableForMode(kLinkModeCom);
    });
    for (QComboBox* box : {m_com, m_speed, m_serverPort, m_tcpPort, m_dtr, m_rts})
        connect(box, &QComboBox::currentIndexChanged, this, [this] { MarkModified(); });
    for (QComboBox* box : {m_device, m_server})
        connect(box, &QComboBox::currentTextChanged, this, [this] { MarkModified(); });
    for (QLineEdit* edit : {m_timeout, m_ip, m_phone, m_at, m_dialWait})
        connect(edit, &QLineEdit::textEdited, this, [this] { MarkModified(); });
    m_initialised = true;
}

void CPortSettingsPage::Show(const SPortSettings& s) {
    m_mode[std::clamp(s.linkMode, 0, 3)]->setChecked(true);
    m_server->setCurrentText(Q(s.serverName));
    m_com->setCurrentIndex(s.comNumber);
    m_serverPort->setCurrentIndex(std::clamp(s.serverPort, 0, 127));
    m_device->setCurrentText(Q(s.devicePath));
    m_use->setChecked(s.useLink);
    m_type->setCurrentIndex(std::clamp(s.comType, 0, 6));
    m_ip->setText(Q(s.ipAddress));
    m_tcpPort->setCurrentIndex(std::clamp(s.tcpIpPort - 1, 0, 15));
    m_speed->setCurrentIndex(SpeedPosition(s.speed));
    m_phone->setText(Q(s.modemPhoneNumber));
    m_at->setText(Q(s.modemInitString));
    m_dialWait->setText(QString::number(s.modemWaitForConnectS));
    m_timeout->setText(QString::number(s.timeOutMs));
    m_dtr->setCurrentIndex(std::clamp(s.dtrControl, 0, 2));
    m_rts->setCurrentIndex(std::clamp(s.rtsControl, 0, 3));
    EnableAll();
}

int CPortSettingsPage::SelectedMode() const {
    for (int mode = 0; mode < 4; ++mode)
        if (m_mode[mode]->isChecked()) return mode;
    return kLinkModeCom;
}

void CPortSettingsPage::EnableForMode(int mode) {
    for (QWidget* w : std::initializer_list<QWidget*>{m_com, m_device, m_type, m_server,
                                                      m_serverPort, m_ip, m_tcpPort, m_timeout,
                                                      m_phone, m_at, m_dialWait, m_dtr, m_rts})
        w->setEnabled(false);
    const bool modem = m_type->currentIndex() == kComModemLine || m_type->currentIndex() == kComModemGsm;
    switch (mode) {
    case kLinkModeCom:
        for (QWidget* w : {static_cast<QWidget*>(m_com), static_cast<QWidget*>(m_device),
                           static_cast<QWidget*>(m_type), static_cast<QWidget*>(m_timeout),
                           static_cast<QWidget*>(m_dtr), static_cast<QWidget*>(m_rts)})
            w->setEnabled(true);
        for (QWidget* w : {m_phone, m_at, m_dialWait}) w->setEnabled(modem);
        break;
    case kLinkModeServer:
        m_server->setEnabled(true);
        m_serverPort->setEnabled(true);
        break;
    default:
        m_ip->setEnabled(true);
        m_tcpPort->setEnabled(true);
        m_timeout->setEnabled(true);
        break;
    }
    m_speed->setEnabled(true);
}

void CPortSettingsPage::EnableAll() {
    const bool on = m_use->isChecked();
    for (QRadioButton* radio : m_mode) radio->setEnabled(on);
    if (on) {
        EnableForMode(SelectedMode());
        return;
    }
    for (QWidget* w : std::initializer_list<QWidget*>{m_com, m_device, m_type, m_speed, m_server,
                                                      m_serverPort, m_ip, m_tcpPort, m_timeout,
                                                      m_phone, m_at, m_dialWait, m_dtr, m_rts})
        w->setEnabled(false);
}

SPortSettings CPortSettingsPage::Collect(const SPortSettings& base) const {
    SPortSettings s = base;
    s.useLink = m_use->isChecked();
    s.serverName = m_server->currentText().toStdString();
    s.serverPort = m_serverPort->currentIndex();
    s.comNumber = m_com->currentIndex();
    s.devicePath = m_device->currentText().trimmed().toStdString();
    s.ApplyComType(m_type->currentIndex());
    const int position = m_speed->currentIndex();
    if (position >= 0 && position < 5) s.speed = kSpeedIndices[position];
    s.ipAddress = m_ip->text().toStdString();
    s.tcpIpPort = m_tcpPort->currentIndex() + 1;
    s.modemPhoneNumber = m_phone->text().toStdString();
    s.modemInitString = m_at->text().toStdString();
    s.modemWaitForConnectS = m_dialWait->text().trimmed().toInt();
    // The page's time-out wins over the type's default.
    s.timeOutMs = m_timeout->text().trimmed().toInt();
    if (m_dtr->currentIndex() >= 0) s.dtrControl = m_dtr->currentIndex();
    if (m_rts->currentIndex() >= 0) s.rtsControl = m_rts->currentIndex();
    s.linkMode = SelectedMode();
    s.useServer = s.linkMode == kLinkModeServer;
    return s;
}

bool CPortSettingsPage::Apply() {
    if (!m_modified) return true;
    const std::string section = PortSection(m_port);
    struct SField {
        const char* name;
        QString text;
        QWidget* widget;
    };
    const SField fields[] = {{"TimeOut", m_timeout->text(), m_timeout},
                             {"ModemWaitForDialConnect", m_dialWait->text(), m_dialWait},
                             {"DevicePath", m_device->currentText().trimmed(), m_device},
                             {"ServerName", m_server->currentText(), m_server},
                             {"IPAddress", m_ip->text(), m_ip},
                             {"ModemPhoneNumber", m_phone->text(), m_phone},
                             {"ModemUserInitString", m_at->text(), m_at}};
    for (const SField& field : fields) {
        const QString error = CheckSettingValue(section.c_str(), field.name, field.text);
        if (!error.isEmpty()) {
            QMessageBox::warning(this, tr("Настройки порта"), error);
            field.widget->setFocus();
            return false;
        }
    }
    m_modified = false;
    CLinkPort& port = m_context.bench.Port(m_port);
    port.Close();
    port.SetSettings(Collect(port.Settings()));
    port.SaveSettings(m_context.settings);
    m_context.settings.Flush();
    // The port opens again on its own worker, after the pause a closed line wants.
    if (port.Settings().useLink) port.OpenAfter(100);
    return true;
}

}  // namespace dravmer::ui
