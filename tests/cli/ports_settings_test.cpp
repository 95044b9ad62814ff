// The first contact with real hardware: the ports command, a port's speed given as a baud rate,
// and the shell completion that offers the commands and parameter names.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>

#include "cli/cli.h"
#include "measure/meas_record.h"
#include "measure/param_catalog.h"

namespace dravmer::cli {
namespace {

namespace fs = std::filesystem;

struct Outcome {
    int code;
    std::string out, err;
};

Outcome Cli(const std::vector<std::string>& args) {
    std::ostringstream out, err;
    const int code = RunCli(args, out, err, nullptr, Language::English);
    return {code, out.str(), err.str()};
}

class TempDir {
public:
    TempDir() {
        char name[] = "/tmp/dravmer-cli-ports-XXXXXX";
        m_path = ::mkdtemp(name);
    }
    ~TempDir() {
        std::error_code ec;
        fs::remove_all(m_path, ec);
    }
    const fs::path& Path() const { return m_path; }

private:
    fs::path m_path;
};

// One FTDI adapter with its by-id name and one built-in line, in a fake /dev and /sys.
void FakeAdapter(const fs::path& root) {
    fs::create_directories(root / "dev/serial/by-id");
    std::ofstream(root / "dev/ttyUSB0").put('\0');
    std::ofstream(root / "dev/ttyS0").put('\0');
    ::chmod((root / "dev/ttyUSB0").c_str(), 0666);
    ::chmod((root / "dev/ttyS0").c_str(), 0666);
    fs::create_symlink("../../ttyUSB0",
                       root / "dev/serial/by-id/usb-FTDI_FT232R_A50285BI-if00-port0");
    const fs::path usb = root / "sys/devices/usb1/1-1";
    fs::create_directories(usb / "1-1:1.0");
    std::ofstream(usb / "idVendor") << "0403\n";
    std::ofstream(usb / "idProduct") << "6001\n";
    std::ofstream(usb / "manufacturer") << "FTDI\n";
    std::ofstream(usb / "product") << "FT232R USB UART\n";
    fs::create_directories(root / "sys/bus/drivers/ftdi_sio");
    fs::create_symlink(root / "sys/bus/drivers/ftdi_sio", usb / "1-1:1.0/driver");
    fs::create_directories(root / "sys/class/tty/ttyUSB0");
    fs::create_symlink(usb / "1-1:1.0", root / "sys/class/tty/ttyUSB0/device");
}

TEST(PortsCommand, ListsByIdNamesFirstWithTheAdapterAsTextAndJson) {
    TempDir dir;
    FakeAdapter(dir.Path());
    const Outcome text = Cli({"ports", "--root", dir.Path().string()});
    ASSERT_EQ(text.code, kExitOk) << text.err;
    EXPECT_EQ(text.out,
              "/dev/serial/by-id/usb-FTDI_FT232R_A50285BI-if00-port0 (/dev/ttyUSB0): FTDI FT232R "
              "USB UART [0403:6001], driver ftdi_sio\n"
              "/dev/ttyS0\n");
    const Outcome json = Cli({"ports", "--json", "--root", dir.Path().string()});
    ASSERT_EQ(json.code, kExitOk) << json.err;
    const auto list = nlohmann::json::parse(json.out);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0]["path"], "/dev/ttyUSB0");
    EXPECT_EQ(list[0]["by_id"], "/dev/serial/by-id/usb-FTDI_FT232R_A50285BI-if00-port0");
    EXPECT_EQ(list[0]["vendor"], "FTDI");
    EXPECT_EQ(list[0]["product"], "FT232R USB UART");
    EXPECT_EQ(list[0]["vendor_id"], "0403");
    EXPECT_EQ(list[0]["product_id"], "6001");
    EXPECT_EQ(list[0]["driver"], "ftdi_sio");
    EXPECT_EQ(list[1]["path"], "/dev/ttyS0");
    EXPECT_TRUE(list[1]["by_id"].is_null());
    EXPECT_TRUE(list[1]["vendor"].is_null());
    EXPECT_TRUE(list[1]["driver"].is_null());
}

TEST(PortsCommand, NoLinesIsSaidAndTheRootOptionIsNotOffered) {
    TempDir dir;
    const Outcome none = Cli({"ports", "--root", dir.Path().string()});
    EXPECT_EQ(none.code, kExitOk);
    EXPECT_EQ(none.out, "no serial lines found\n");
    EXPECT_EQ(Cli({"ports", "--json", "--root", dir.Path().string()}).out, "[]\n");
    const Outcome help = Cli({"ports", "--help"});
    EXPECT_NE(help.out.find("--json"), std::string::npos);
    EXPECT_EQ(help.out.find("--root"), std::string::npos);
    EXPECT_EQ(Cli({"ports", "extra"}).code, kExitUsage);
}

TEST(SettingsCommand, APortSpeedTakesTheBaudRateOrItsIndexAndStoresTheIndex) {
    TempDir dir;
    const std::string config = (dir.Path() / "bench.conf").string();
    auto set = [&](const std::string& key, const std::string& value) {
        return Cli({"--config", config, "settings", "set", key, value});
    };
    auto get = [&](const std::string& key) {
        return Cli({"--config", config, "settings", "get", key}).out;
    };
    ASSERT_EQ(set("ComSettingsPort0/Speed", "9600").code, kExitOk);
    EXPECT_EQ(get("ComSettingsPort0/Speed"), "6\n");
    ASSERT_EQ(set("ComSettingsPort3/Speed", "115200").code, kExitOk);
    EXPECT_EQ(get("ComSettingsPort3/Speed"), "12\n");
    ASSERT_EQ(set("ComSettingsPort1/Speed", "110").code, kExitOk);
    EXPECT_EQ(get("ComSettingsPort1/Speed"), "0\n");
    // Indices keep their meaning: 12 is the index of 115200, not a speed of 12 baud.
    ASSERT_EQ(set("ComSettingsPort0/Speed", "12").code, kExitOk);
    EXPECT_EQ(get("ComSettingsPort0/Speed"), "12\n");
    ASSERT_EQ(set("ComSettingsPort0/Speed", "0").code, kExitOk);
    EXPECT_EQ(get("ComSettingsPort0/Speed"), "0\n");
    // A speed outside the table is refused with the table, and nothing changes.
    const Outcome bad = set("ComSettingsPort0/Speed", "250000");
    EXPECT_EQ(bad.code, kExitFailure);
    EXPECT_NE(bad.err.find("'250000' is not an index 0..12 or a speed of 110, 300, 600, 1200"),
              std::string::npos)
        << bad.err;
    EXPECT_NE(bad.err.find("57600, 115200; nothing was changed"), std::string::npos) << bad.err;
    EXPECT_EQ(get("ComSettingsPort0/Speed"), "0\n");
    EXPECT_EQ(set("ComSettingsPort0/Speed", "13").code, kExitFailure);
    // Other whole-number settings are not read as speeds.
    EXPECT_EQ(set("ComSettingsPort0/TimeOut", "9600").code, kExitOk);
    EXPECT_EQ(get("ComSettingsPort0/TimeOut"), "9600\n");
}

TEST(PortOpen, ALineTheUserMayNotOpenSaysHowToJoinItsGroup) {
    TempDir dir;
    ::chmod(dir.Path().c_str(), 0755);
    const std::string config = (dir.Path() / "bench.conf").string();
    const std::string line = (dir.Path() / "ttyUSB0").string();
    std::ofstream(line).put('\0');
    ::chmod(line.c_str(), 0600);
    ASSERT_EQ(
        Cli({"--config", config, "settings", "set", "ComSettingsPort0/DevicePath", line}).code,
        kExitOk);
    for (const char* port : {"1", "2", "3"})
        Cli({"--config", config, "settings", "set",
             std::string("ComSettingsPort") + port + "/UseLink", "0"});
    ::chmod(config.c_str(), 0666);
    if (::geteuid() != 0) ::chmod(line.c_str(), 0000);
    // Root opens any file: the search runs as nobody then.
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(2);
        const Outcome search = Cli({"--config", config, "search"});
        const bool said = search.err.find("no permission to open " + line +
                                          ": add the user to the dialout group (sudo adduser ") !=
                          std::string::npos;
        ::_exit(said ? 0 : 1);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

// The words of a bash array "NAME=(" ... ")" in the completion script, one quoted word a line.
std::vector<std::string> ArrayWords(const std::string& script, const std::string& name) {
    std::vector<std::string> words;
    std::istringstream in(script);
    std::string line;
    bool inside = false;
    while (std::getline(in, line)) {
        if (line == name + "=(") {
            inside = true;
        } else if (inside && line == ")") {
            break;
        } else if (inside) {
            const auto first = line.find('\'');
            const auto last = line.rfind('\'');
            if (first != std::string::npos && last > first)
                words.push_back(line.substr(first + 1, last - first - 1));
        }
    }
    return words;
}

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(Completion, OffersEveryCommandAndEveryParameterName) {
    const std::string script =
        ReadFile(fs::path(DRAVMER_SOURCE_DIR) / "packaging/completion/dravmer-cli");
    ASSERT_FALSE(script.empty());
    std::set<std::string> commands;
    for (const auto& c : Commands()) commands.insert(c.name);
    const std::string marker = "_dravmer_cli_commands=\"";
    const auto at = script.find(marker);
    ASSERT_NE(at, std::string::npos);
    std::istringstream listed(script.substr(
        at + marker.size(), script.find('"', at + marker.size()) - at - marker.size()));
    std::set<std::string> offered{std::istream_iterator<std::string>(listed), {}};
    EXPECT_EQ(offered, commands);

    std::vector<std::string> names;
    for (int i = 0; i < CMeasRecord::kParamCount; ++i) names.emplace_back(ParamNameTrimmed(i));
    EXPECT_EQ(ArrayWords(script, "_dravmer_cli_params"), names);
}

}  // namespace
}  // namespace dravmer::cli
