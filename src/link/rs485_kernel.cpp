#include <linux/serial.h>
#include <sys/ioctl.h>

#include "link/port.h"
#include "link/serial_line.h"

namespace dravmer {

bool UseKernelRs485(ISerialLine& line, int comType) {
    // The kernel's RS-485 mode drives RTS only; a DTR-switched line stays with the user-space
    // switch.
    switch (comType) {
        case kComRs485RtsLow:
            return line.SetKernelRs485(false);
        case kComRs485RtsHi:
            return line.SetKernelRs485(true);
        default:
            return false;
    }
}

bool CSerialLine::SetKernelRs485(bool rtsOnSend) {
    if (m_fd < 0) return false;
    serial_rs485 rs485{};
    rs485.flags = SER_RS485_ENABLED | (rtsOnSend ? SER_RS485_RTS_ON_SEND : SER_RS485_RTS_AFTER_SEND);
    if (::ioctl(m_fd, TIOCSRS485, &rs485) != 0) return false;
    m_kernelRs485 = true;
    return true;
}

void CSerialLine::LeaveKernelRs485() {
    if (m_fd < 0 || !m_kernelRs485) return;
    serial_rs485 rs485{};
    ::ioctl(m_fd, TIOCSRS485, &rs485);
    m_kernelRs485 = false;
}

}  // namespace dravmer
