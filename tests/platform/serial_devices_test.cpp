#include "platform/serial_devices.h"

#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace dravmer {
namespace {

namespace fs = std::filesystem;

// A fake /dev and /sys under a folder of its own, laid out as the kernel does for a USB serial
// adapter (ttyUSB), a USB modem (ttyACM) and built-in lines (ttyS).
class FakeSystem {
public:
    FakeSystem() {
        char name[] = "/tmp/dravmer-serial-XXXXXX";
        m_root = ::mkdtemp(name);
        fs::create_directories(m_root / "dev/serial/by-id");
    }
    ~FakeSystem() {
        std::error_code ec;
        fs::remove_all(m_root, ec);
    }
    std::string Root() const { return m_root.string(); }

    void Device(const std::string& name) { Write("dev/" + name, ""); }

    void ById(const std::string& id, const std::string& name) {
        fs::create_symlink("../../" + name, m_root / "dev/serial/by-id" / id);
    }

    // /sys/class/tty/NAME/device -> the interface folder under the USB device that has the ids.
    void Usb(const std::string& name, const std::string& driver, const std::string& vendorId,
             const std::string& productId, const std::string& vendor, const std::string& product) {
        const std::string usb = "sys/devices/pci0000:00/usb1/1-" + name;
        const std::string interface = usb + "/1-1:1.0";
        Write(usb + "/idVendor", vendorId + "\n");
        Write(usb + "/idProduct", productId + "\n");
        if (!vendor.empty()) Write(usb + "/manufacturer", vendor + "\n");
        if (!product.empty()) Write(usb + "/product", product + "\n");
        Driver(interface, driver);
        ClassLink(name, interface);
    }

    void BuiltIn(const std::string& name, const std::string& type) {
        const std::string device = "sys/devices/platform/serial8250/" + name;
        Driver(device, "serial8250");
        ClassLink(name, device);
        Write("sys/class/tty/" + name + "/type", type + "\n");
    }

private:
    void Write(const std::string& relative, const std::string& text) {
        fs::create_directories((m_root / relative).parent_path());
        std::ofstream(m_root / relative) << text;
    }
    void Driver(const std::string& device, const std::string& driver) {
        fs::create_directories(m_root / device);
        fs::create_directories(m_root / "sys/bus/drivers" / driver);
        fs::create_symlink(m_root / "sys/bus/drivers" / driver, m_root / device / "driver");
    }
    void ClassLink(const std::string& name, const std::string& device) {
        fs::create_directories(m_root / "sys/class/tty" / name);
        fs::create_symlink(m_root / device, m_root / "sys/class/tty" / name / "device");
    }

    fs::path m_root;
};

TEST(SerialDevices, ByIdNamesFirstWithTheirAdaptersThenOtherLinesByKindAndNumber) {
    FakeSystem sys;
    for (const char* name : {"ttyS0", "ttyS1", "ttyS10", "ttyS2", "ttyUSB1", "ttyUSB0", "ttyACM0",
                             "ttyUSB10", "tty0", "ttyprintk", "null"})
        sys.Device(name);
    sys.Usb("ttyUSB1", "ftdi_sio", "0403", "6001", "FTDI", "FT232R USB UART");
    sys.Usb("ttyUSB0", "pl2303", "067b", "2303", "", "");  // ids only: no strings in sysfs
    sys.Usb("ttyACM0", "cdc_acm", "2341", "0043", "Arduino", "Uno");
    sys.ById("usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0", "ttyUSB1");
    sys.ById("usb-Arduino_Uno_7543-if00", "ttyACM0");
    sys.BuiltIn("ttyS0", "4");  // a 16550A is there
    sys.BuiltIn("ttyS1", "0");  // named by the kernel, but no UART behind it
    sys.BuiltIn("ttyS2", "0");
    sys.BuiltIn("ttyS10", "4");

    const auto devices = ListSerialDevices(sys.Root());
    std::vector<std::string> paths;
    for (const auto& d : devices) paths.push_back(d.path);
    EXPECT_EQ(paths, (std::vector<std::string>{"/dev/ttyACM0", "/dev/ttyUSB1", "/dev/ttyUSB0",
                                               "/dev/ttyUSB10", "/dev/ttyS0", "/dev/ttyS10"}));
    ASSERT_EQ(devices.size(), 6u);
    EXPECT_EQ(devices[0].byId, "/dev/serial/by-id/usb-Arduino_Uno_7543-if00");
    EXPECT_EQ(devices[0].driver, "cdc_acm");
    EXPECT_EQ(devices[1].byId, "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0");
    EXPECT_EQ(devices[1].vendor, "FTDI");
    EXPECT_EQ(devices[1].product, "FT232R USB UART");
    EXPECT_EQ(devices[1].vendorId, "0403");
    EXPECT_EQ(devices[1].productId, "6001");
    EXPECT_EQ(devices[1].driver, "ftdi_sio");
    EXPECT_EQ(devices[2].byId, "");
    EXPECT_EQ(devices[2].vendor, "");
    EXPECT_EQ(devices[2].vendorId, "067b");
    EXPECT_EQ(devices[2].driver, "pl2303");
    // A line sysfs knows nothing about is still listed, without details.
    EXPECT_EQ(devices[3].driver, "");
    EXPECT_EQ(devices[3].vendorId, "");
    EXPECT_EQ(devices[4].driver, "serial8250");
    EXPECT_EQ(devices[4].vendorId, "");
}

TEST(SerialDevices, AnEmptyOrMissingSystemListsNothing) {
    FakeSystem sys;
    EXPECT_TRUE(ListSerialDevices(sys.Root()).empty());
    EXPECT_TRUE(ListSerialDevices(sys.Root() + "/nowhere").empty());
}

// Runs `check` in a child that is not root (root opens every file), as nobody when this test
// runs as root; true when the child's check held.
template <typename Check>
bool AsOrdinaryUser(Check check) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::geteuid() == 0 &&
            (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(2);
        ::_exit(check() ? 0 : 1);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST(SerialDevices, ALineTheUserMayNotOpenSaysHowToGetAccess) {
    FakeSystem sys;
    sys.Device("ttyUSB0");
    sys.Device("ttyUSB1");
    const std::string locked = sys.Root() + "/dev/ttyUSB0";
    const std::string open = sys.Root() + "/dev/ttyUSB1";
    ASSERT_EQ(::chmod(sys.Root().c_str(), 0755), 0);
    ASSERT_EQ(::chmod(locked.c_str(), 0600), 0);
    ASSERT_EQ(::chmod(open.c_str(), 0666), 0);
    if (::geteuid() != 0) {
        ASSERT_EQ(::chmod(locked.c_str(), 0000), 0);
    }
    const std::string root = sys.Root();
    EXPECT_TRUE(AsOrdinaryUser([&] {
        const std::string hint = SerialAccessHint("/dev/ttyUSB0", root);
        return hint.find("no permission to open /dev/ttyUSB0") == 0 &&
               hint.find(" group (sudo adduser ") != std::string::npos &&
               hint.find("log in again") != std::string::npos;
    }));
    EXPECT_TRUE(AsOrdinaryUser([&] { return SerialAccessHint("/dev/ttyUSB1", root).empty(); }));
    // A missing line is not a matter of permission.
    EXPECT_TRUE(AsOrdinaryUser([&] { return SerialAccessHint("/dev/ttyUSB7", root).empty(); }));
}

}  // namespace
}  // namespace dravmer
