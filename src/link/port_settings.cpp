#include "link/port_settings.h"

#include <cstdio>

namespace dravmer {

const int kSpeedTable[kSpeedCount] = {110,   300,   600,   1200,  2400,  4800,  9600,
                                      14400, 19200, 38400, 56000, 57600, 115200};
const char* const kParityNames[5] = {"NONE", "ODD", "EVEN", "MARK", "SPACE"};
const char* const kStopBitsNames[3] = {"1", "1/2", "2"};
const char* const kDtrControlNames[3] = {"DISABLE", "ENABLE", "HANDSHAKE"};
const char* const kRtsControlNames[4] = {"DISABLE", "ENABLE", "HANDSHAKE", "TOGGLE"};

namespace {

// ГРЦ, ИП and ЖВЛ are names: English gives them transliterated.
const char* const kComTypeNames[2][7] = {
    {"RS-232", "RS-485 DTR Low (ГРЦ)", "RS-485 RTS Low", "RS-485 RTS Hi (ИП)", "Радиомодем XBee",
     "Модем Line", "Модем GSM"},
    {"RS-232", "RS-485 DTR Low (GRTs)", "RS-485 RTS Low", "RS-485 RTS Hi (IP)", "XBee radio modem",
     "Line modem", "GSM modem"}};
const char* const kLinkModeCaptions[2][4] = {{"COM:", "Сервер:", "Moxa TCP/IP:", "ЖВЛ TCP/IP:"},
                                             {"COM:", "Server:", "Moxa TCP/IP:", "ZhVL TCP/IP:"}};
const char* const kOpenResultTexts[2][kOpenResultCount] = {
    {
        "Успешное завершение.",
        "Ошибка инициализации локального СОМ порта.",
        "Ошибка инициализации удаленного СОМ порта.",
        "Сервер не найден.",
        "Ошибка локальной сети.",
        "Соединение уже существует.",
        "Соединение выключено.",
        "Неверное имя сервера.",
        "TCP/IP не поддерживается.",
        "ошибка модемного соединения.",
        "ошибка загрузки библиотеки IPSerial.dll.",
    },
    {
        "Completed successfully.",
        "The local COM port could not be opened.",
        "The remote COM port could not be opened.",
        "Server not found.",
        "Local network error.",
        "The connection already exists.",
        "The connection is switched off.",
        "Invalid server name.",
        "TCP/IP is not supported.",
        "modem connection error.",
        "the IPSerial.dll library could not be loaded.",
    }};

int Lang(Language language) { return language == Language::English ? 1 : 0; }

}  // namespace

const char* ComTypeName(int type, Language language) {
    return type >= 0 && type < 7 ? kComTypeNames[Lang(language)][type] : "";
}

const char* LinkModeCaption(int mode, Language language) {
    return mode >= 0 && mode < 4 ? kLinkModeCaptions[Lang(language)][mode] : "";
}

std::string WordOpenResult(OpenResult result, Language language) {
    const int index = static_cast<int>(result);
    if (index >= 0 && index < kOpenResultCount) return kOpenResultTexts[Lang(language)][index];
    return language == Language::English ? "Unknown error." : "Неизвестная ошибка.";
}

std::string WordPortState(const SPortState& state, Language language) {
    const bool en = language == Language::English;
    std::string text = WordOpenResult(state.openResult, language);
    if (state.openResult == OpenResult::Ok && !state.open)
        text = state.wasOpen ? (en ? "The connection was lost." : "Соединение потеряно.")
                             : (en ? "The port is closed." : "Порт закрыт.");
    const SOpenDetail& d = state.detail;
    std::string why;
    switch (d.why) {
        case SOpenDetail::Why::None:
            return text;
        case SOpenDetail::Why::SystemError:
            why = d.system;
            break;
        case SOpenDetail::Why::CannotOpen:
            why = en ? "cannot be opened" : "не открывается";
            break;
        case SOpenDetail::Why::LineDropped:
            why = en ? "line drop" : "линия оборвана";
            break;
        case SOpenDetail::Why::ServerLost:
            why = en ? "the connection to the server was lost" : "соединение с сервером потеряно";
            break;
    }
    return text + " (" + d.subject + ": " + why + ")";
}

namespace {

constexpr int kTypeTimeOuts[7] = {300, 300, 300, 300, 1000, 1500, 5000};

int Clamp(int value, int low, int high) { return value < low ? low : value > high ? high : value; }

}  // namespace

SPortSettings SPortSettings::Defaults(int portIndex) {
    SPortSettings s;
    s.comNumber = portIndex;
    return s;
}

void SPortSettings::ApplyComType(int type) {
    if (type < 0 || type > 7) return;
    comType = type;
    if (type < 7) timeOutMs = kTypeTimeOuts[type];
}

int SPortSettings::DirectionSwitch() const {
    if (comType >= kComRs485DtrLow && comType <= kComRs485RtsHi) return comType;
    return rtsControl == kRtsToggle ? kComRs485RtsHi : 0;
}

int SPortSettings::Baud() const { return kSpeedTable[Clamp(speed, 0, kSpeedCount - 1)]; }

std::string SPortSettings::LocalDevicePath() const {
    if (!devicePath.empty()) return devicePath;
    return "/dev/ttyS" + std::to_string(comNumber);
}

std::string PortSection(int portIndex) { return "ComSettingsPort" + std::to_string(portIndex); }

void SPortSettings::Load(const ISettingsStore& store, int portIndex) {
    const std::string sec = PortSection(portIndex);
    const SPortSettings def = Defaults(portIndex);
    useLink = store.GetInt(sec, "UseLink", def.useLink) != 0;
    comNumber = Clamp(store.GetInt(sec, "ComNumber", def.comNumber), 0, 127);
    speed = Clamp(store.GetInt(sec, "Speed", def.speed), 0, kSpeedCount - 1);
    dataBits = Clamp(store.GetInt(sec, "Byte", def.dataBits), 4, 8);
    parity = Clamp(store.GetInt(sec, "Parity", def.parity), 0, 4);
    stopBits = Clamp(store.GetInt(sec, "Stop", def.stopBits), 0, 2);
    rtsControl = Clamp(store.GetInt(sec, "RTS", def.rtsControl), 0, 3);
    dtrControl = Clamp(store.GetInt(sec, "DTR", def.dtrControl), 0, 2);
    comType = def.comType;
    timeOutMs = def.timeOutMs;
    ApplyComType(store.GetInt(sec, "bComType", def.comType));
    timeOutMs = store.GetInt(sec, "TimeOut", timeOutMs);
    if (timeOutMs < 1) timeOutMs = def.timeOutMs;
    serverName = store.GetString(sec, "ServerName", def.serverName);
    useServer = store.GetInt(sec, "UseServer", def.useServer) != 0;
    linkMode = useServer ? kLinkModeServer : kLinkModeCom;
    serverPort = store.GetInt(sec, "ServerPort", def.serverPort);
    ipAddress = store.GetString(sec, "IPAddress", def.ipAddress);
    tcpIpPort = store.GetInt(sec, "TCPIPPort", def.tcpIpPort);
    modemInitString = store.GetString(sec, "ModemUserInitString", def.modemInitString);
    modemPhoneNumber = store.GetString(sec, "ModemPhoneNumber", def.modemPhoneNumber);
    modemWaitForConnectS = store.GetInt(sec, "ModemWaitForDialConnect", def.modemWaitForConnectS);
    linkMode = Clamp(store.GetInt(sec, "bLinkMode", linkMode), 0, 3);
    devicePath = store.GetString(sec, "DevicePath", def.devicePath);
}

void SPortSettings::Save(ISettingsStore& store, int portIndex) const {
    const std::string sec = PortSection(portIndex);
    store.SetInt(sec, "UseLink", useLink);
    store.SetInt(sec, "ComNumber", comNumber);
    store.SetInt(sec, "Speed", speed);
    store.SetInt(sec, "Byte", dataBits);
    store.SetInt(sec, "Parity", parity);
    store.SetInt(sec, "Stop", stopBits);
    store.SetInt(sec, "RTS", rtsControl);
    store.SetInt(sec, "DTR", dtrControl);
    store.SetInt(sec, "bComType", comType);
    store.SetInt(sec, "TimeOut", timeOutMs);
    store.SetString(sec, "ServerName", serverName);
    store.SetInt(sec, "UseServer", useServer);
    store.SetInt(sec, "ServerPort", serverPort);
    store.SetString(sec, "IPAddress", ipAddress);
    store.SetInt(sec, "TCPIPPort", tcpIpPort);
    store.SetString(sec, "ModemUserInitString", modemInitString);
    store.SetString(sec, "ModemPhoneNumber", modemPhoneNumber);
    store.SetInt(sec, "ModemWaitForDialConnect", modemWaitForConnectS);
    store.SetInt(sec, "bLinkMode", linkMode);
    store.SetString(sec, "DevicePath", devicePath);
}

std::string PortName(int n) {
    if (n < 0 || n >= 128) return {};
    return "COM" + std::to_string(n + 1);
}

std::string PortStatusText(const SPortSettings& s, bool carrier, Language language) {
    char text[512];
    if (!s.useLink) return "DISABLED";
    switch (s.linkMode) {
        case kLinkModeServer:
            std::snprintf(text, sizeof text, "%s (%d)", s.serverName.c_str(), s.serverPort + 1);
            return text;
        case kLinkModeNetServer:
            std::snprintf(text, sizeof text, "%s (%d)", s.ipAddress.c_str(), s.tcpIpPort);
            return text;
        case kLinkModeZhvl:
            std::snprintf(text, sizeof text, "%s %s",
                          language == Language::English ? "ZhVL" : "ЖВЛ", s.ipAddress.c_str());
            return text;
        default:
            break;
    }
    const std::string name = PortName(s.comNumber);
    if (s.comType == kComModemLine || s.comType == kComModemGsm) {
        std::snprintf(text, sizeof text, carrier ? "%s: Modem online." : "%s: Modem offline.",
                      name.c_str());
        return text;
    }
    std::snprintf(text, sizeof text, "%s,%d,%c,%d,%s", name.c_str(), s.Baud(),
                  kParityNames[Clamp(s.parity, 0, 4)][0], Clamp(s.dataBits, 4, 8),
                  kStopBitsNames[Clamp(s.stopBits, 0, 2)]);
    return text;
}

}  // namespace dravmer
