#pragma once
// A network serial server, reached through the seven calls the bench has always used for it.
// The built-in provider speaks RFC 2217 (telnet COM-port control), which network serial
// servers and ser2net offer; another provider can be put in its place.
#include <cstdint>
#include <memory>
#include <string>

namespace dravmer {

class INetSerialProvider {
public:
    virtual ~INetSerialProvider() = default;
    virtual int Init() = 0;
    // A handle >= 0, or a negative error (-2: the server refused the port).
    virtual int Open(const std::string& address, int serialPort, int timeoutMs) = 0;
    virtual int Close(int handle) = 0;
    // Bytes read without waiting (0 when none), negative on a lost connection.
    virtual int Read(int handle, std::uint8_t* data, int capacity) = 0;
    virtual int Write(int handle, const std::uint8_t* data, int length) = 0;
    // speedCode 12 9600, 13 19200, 14 38400, 15 57600, 16 115200; mode 3 = 8 bits, no parity,
    // one stop bit. 0 on success.
    virtual int Ioctl(int handle, int speedCode, int mode) = 0;
    virtual int SetReadTimeouts(int handle, std::uint32_t timeouts) = 0;
};

// The speed code passed to Ioctl for a baud rate: 16 for any speed without its own code.
int NetSerialSpeedCode(int baud);

// The RFC 2217 provider; TCP port = basePort + serial port number.
std::shared_ptr<INetSerialProvider> MakeRfc2217Provider(int basePort = 4000);

}  // namespace dravmer
