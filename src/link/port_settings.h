#pragma once
// Settings of one port as they are stored per port ("ComSettingsPort%d"), their defaults, and
// the constant texts the port shows: speeds, line names, port types, open results.
#include <string>

#include "platform/language.h"
#include "platform/settings_store.h"

namespace dravmer {

enum ELinkMode { kLinkModeCom = 0, kLinkModeServer = 1, kLinkModeNetServer = 2, kLinkModeZhvl = 3 };

enum EComType {
    kComRs232 = 0,
    kComRs485DtrLow = 1,
    kComRs485RtsLow = 2,
    kComRs485RtsHi = 3,
    kComXBee = 4,
    kComModemLine = 5,
    kComModemGsm = 6,
};

// Line-control settings of a local line ("DTR", "RTS").
enum EDtrControl { kDtrDisable = 0, kDtrEnable = 1, kDtrHandshake = 2 };
enum ERtsControl { kRtsDisable = 0, kRtsEnable = 1, kRtsHandshake = 2, kRtsToggle = 3 };

inline constexpr int kSpeedCount = 13;
extern const int kSpeedTable[kSpeedCount];
// The port types and link modes as the port settings page lists them.
const char* ComTypeName(int type, Language language);
const char* LinkModeCaption(int mode, Language language);
extern const char* const kParityNames[5];
extern const char* const kStopBitsNames[3];
extern const char* const kDtrControlNames[3];
extern const char* const kRtsControlNames[4];
// What opening a port came to; WordOpenResult words it.
enum class OpenResult : int {
    Ok,
    LocalFailed,
    RemoteFailed,
    ServerNotFound,
    NetworkError,
    AlreadyOpen,
    Disabled,
    BadServerName,
    NoTcpIp,
    ModemFailed,
    LibraryFailed,
};
inline constexpr int kOpenResultCount = 11;

struct SPortSettings {
    bool useLink = true;
    int comNumber = 0;  // local port number minus 1
    int speed = 12;     // index into kSpeedTable
    int dataBits = 8;
    int parity = 0;
    int stopBits = 0;
    int rtsControl = 0;
    int dtrControl = 1;
    int comType = kComRs232;
    int timeOutMs = 300;
    std::string serverName = "LOCAL MACHINE";
    bool useServer = false;
    int serverPort = 0;
    std::string ipAddress;
    int tcpIpPort = 1;
    std::string modemInitString;
    std::string modemPhoneNumber;
    int modemWaitForConnectS = 60;
    int linkMode = kLinkModeCom;
    // Device path of the local port on this system; empty: "COMn" maps to /dev/ttyS(n-1).
    std::string devicePath;

    static SPortSettings Defaults(int portIndex);
    // Sets the type and its default reply time-out; values above 7 are ignored.
    void ApplyComType(int type);
    int Baud() const;
    std::string LocalDevicePath() const;
    // Line levels at open. Linux has no input-only handshake on DTR or RTS (CRTSCTS would also
    // hold back our own output on CTS, which the bench keeps off): handshake raises the line.
    bool DtrRaised() const { return dtrControl != kDtrDisable; }
    bool RtsRaised() const { return rtsControl == kRtsEnable || rtsControl == kRtsHandshake; }
    // The direction switch a frame is sent with: the RS-485 type, RTS-high (raised while
    // sending) for RTS toggle on any other local line, 0 for none.
    int DirectionSwitch() const;
    bool IsModemType() const { return comType == kComModemLine || comType == kComModemGsm; }

    void Load(const ISettingsStore& store, int portIndex);
    void Save(ISettingsStore& store, int portIndex) const;
};

// Why a port is not open, beyond its open result: the line or server concerned and the reason.
struct SOpenDetail {
    enum class Why { None, SystemError, CannotOpen, LineDropped, ServerLost };
    Why why = Why::None;
    std::string subject;  // the device path or the server's address
    std::string system;   // the system's own words (strerror) for SystemError
};

// What the operator is told about a port that is not open.
struct SPortState {
    OpenResult openResult = OpenResult::Ok;
    bool open = false;
    bool wasOpen = false;  // opened and then lost, rather than closed
    SOpenDetail detail;
};

// "Ошибка инициализации локального СОМ порта."; unknown codes as an unknown error.
std::string WordOpenResult(OpenResult result, Language language);
// The open result with its detail: "Ошибка инициализации локального СОМ порта. (/dev/ttyUSB0: No
// such file or directory)". An open that succeeded never gives success as the reason a port is
// not open now: the connection was lost, or the port was closed.
std::string WordPortState(const SPortState& state, Language language);

std::string PortSection(int portIndex);
// "COM%d" with n + 1 for n < 128, else empty.
std::string PortName(int n);
// The status-bar text of a port's settings (modem carrier given by the caller).
std::string PortStatusText(const SPortSettings& s, bool carrier,
                           Language language = Language::Russian);

}  // namespace dravmer
