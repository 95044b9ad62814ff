#pragma once
// The serial lines of this computer as an operator picks them: the stable names under
// /dev/serial/by-id first, with what the system knows of the USB adapter behind each (vendor,
// product, driver from sysfs). Built-in lines (ttyS) are listed only where sysfs says a UART is
// there. Every path is taken under a root folder, so tests can fake /dev and /sys.
#include <string>
#include <vector>

#include "platform/language.h"

namespace dravmer {

struct SSerialDevice {
    std::string path;       // /dev/ttyUSB0
    std::string byId;       // /dev/serial/by-id/usb-FTDI_..., empty when the system gives none
    std::string vendor;     // the adapter's manufacturer text, else empty
    std::string product;    // the adapter's product text, else empty
    std::string vendorId;   // USB vendor id as sysfs gives it ("0403"), else empty
    std::string productId;  // USB product id ("6001"), else empty
    std::string driver;     // kernel driver of the line ("ftdi_sio", "cdc_acm", "serial8250")
};

// Devices with a by-id name first (in the order of those names), then the others by kind (USB,
// ACM, built-in) and number. Paths are given as the system knows them, without `root`.
std::vector<SSerialDevice> ListSerialDevices(const std::string& root = "/");

// Why the current user cannot open `path` for reading and writing, with the fix, when the
// reason is permission; empty when it can or the reason is something else.
std::string SerialAccessHint(const std::string& path, const std::string& root = "/",
                             Language language = Language::English);

}  // namespace dravmer
