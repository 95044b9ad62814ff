// A network serial library with the vendor's seven entry points, for the loader's tests: it
// notes every call and echoes what is written. Built a second time without nsio_ioctl.
#include <cstring>
#include <string>
#include <vector>

namespace {
std::string g_calls;
std::vector<char> g_echo;
}  // namespace

extern "C" {

const char* fake_nsio_calls() { return g_calls.c_str(); }

int nsio_init() {
    g_calls += "init;";
    return 0;
}

int nsio_open(char* address, int port, int timeoutMs) {
    g_calls += "open " + std::string(address) + " " + std::to_string(port) + " " +
               std::to_string(timeoutMs) + ";";
    return port == 99 ? -2 : 3;
}

int nsio_close(int handle) {
    g_calls += "close " + std::to_string(handle) + ";";
    return 0;
}

int nsio_SetReadTimeouts(int handle, unsigned long timeouts) {
    g_calls += "timeouts " + std::to_string(handle) + " " + std::to_string(timeouts) + ";";
    return 0;
}

#ifndef FAKE_NSIO_WITHOUT_IOCTL
int nsio_ioctl(int handle, int speedCode, int mode) {
    g_calls += "ioctl " + std::to_string(handle) + " " + std::to_string(speedCode) + " " +
               std::to_string(mode) + ";";
    return 0;
}
#endif

int nsio_write(int handle, char* data, int length) {
    g_calls += "write " + std::to_string(handle) + " " + std::to_string(length) + ";";
    g_echo.insert(g_echo.end(), data, data + length);
    return length;
}

int nsio_read(int, char* data, int capacity) {
    const int n = static_cast<int>(std::min<std::size_t>(g_echo.size(), static_cast<std::size_t>(capacity)));
    std::memcpy(data, g_echo.data(), static_cast<std::size_t>(n));
    g_echo.erase(g_echo.begin(), g_echo.begin() + n);
    return n;
}

}  // extern "C"
