#pragma once
// A local serial line on termios. Pseudo-terminals answer the modem-line calls with ENOTTY and
// keep 8 data bits without parity: that is a line without modem signals, not a failure.
#include <cstdint>
#include <string>

namespace dravmer {

struct SLineParams {
    int baud = 115200;
    int dataBits = 8;
    int parity = 0;    // 0 none, 1 odd, 2 even, 3 mark, 4 space
    int stopBits = 0;  // 0 one, 1 one and a half (taken as two), 2 two
    bool dtr = true;
    bool rts = false;
};

// The operations the port needs from its line; tests put a recording fake in its place.
class ISerialLine {
public:
    virtual ~ISerialLine() = default;
    virtual bool IsOpen() const = 0;
    virtual bool Write(const std::uint8_t* data, int length) = 0;
    // Waits up to timeoutMs for input, then reads what is there: byte count, 0 on time-out,
    // -1 on an error or a stop request of the calling worker.
    virtual int Read(std::uint8_t* data, int capacity, int timeoutMs) = 0;
    virtual void Purge() = 0;
    // Modem lines; false when the line has none.
    virtual bool SetDtr(bool on) = 0;
    virtual bool SetRts(bool on) = 0;
    virtual bool Carrier() const { return false; }
    // Bytes still waiting in the driver's output queue; 0 where the driver cannot tell.
    virtual int OutputQueue() const { return 0; }
    // The far side hung up (a pseudo-terminal's master closed, a USB adapter pulled): reads and
    // writes will fail until the line is opened again.
    virtual bool HungUp() const { return false; }
    // Hands the RS-485 direction switch to the driver (RTS at rtsOnSend while sending, the
    // opposite level after the last stop bit); false where the driver has no such mode.
    virtual bool SetKernelRs485(bool rtsOnSend) {
        (void)rtsOnSend;
        return false;
    }
};

class CSerialLine : public ISerialLine {
public:
    CSerialLine() = default;
    ~CSerialLine() override { Close(); }
    CSerialLine(const CSerialLine&) = delete;
    CSerialLine& operator=(const CSerialLine&) = delete;

    // 0 on success, else an errno value (EINVAL for a speed the system does not offer).
    int Open(const std::string& path, const SLineParams& params);
    void Close();
    bool IsOpen() const override { return m_fd >= 0; }
    bool Write(const std::uint8_t* data, int length) override;
    int Read(std::uint8_t* data, int capacity, int timeoutMs) override;
    void Purge() override;
    bool SetDtr(bool on) override;
    bool SetRts(bool on) override;
    bool Carrier() const override;
    int OutputQueue() const override;
    bool HungUp() const override { return m_hungUp; }
    bool SetKernelRs485(bool rtsOnSend) override;
    int Fd() const { return m_fd; }

private:
    bool ModemBit(int bit, bool on);
    void LeaveKernelRs485();
    int m_fd = -1;
    bool m_hungUp = false;
    bool m_kernelRs485 = false;
};

}  // namespace dravmer
