#pragma once
// The RS-485 direction switch of a local line: the level that means "transmit" for each line
// discipline, the byte time the switch waits out, and the kernel's own RS-485 mode where the
// driver has one.
#include <cstdint>

#include "link/serial_line.h"

namespace dravmer {

// Puts an RS-485 line into transmit or receive; other port types are left alone.
void SetRs485Direction(ISerialLine& line, int comType, bool transmit);
// Sends a frame on an RS-485 line: switch to transmit, write, wait for the last stop bit
// (bytes x microseconds per byte + 75 us, spinning), switch back to receive.
bool WriteRs485(ISerialLine& line, int comType, const std::uint8_t* data, int length,
                double usPerByte);

// Measures the byte time of an RS-485 line at open: 100 writes of 4 bytes, each timed until the
// driver's output queue is empty; samples within 5 % of the expected time count. Without any
// such sample (a pseudo-terminal, a driver that cannot tell) the expected time is used.
double CalibrateRs485ByteTimeUs(ISerialLine& line, int baud);

// Lets the driver switch an RS-485 line where it can (the RTS disciplines, on a driver with the
// kernel's RS-485 mode); false leaves the user-space switch in charge.
bool UseKernelRs485(ISerialLine& line, int comType);

// Expected byte time of 10 bits at the baud rate, with the 2 % margin the switch has always had.
double Rs485ByteTimeUs(int baud);

}  // namespace dravmer
