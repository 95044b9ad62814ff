#include "link/net_serial_library.h"

#include <dlfcn.h>

#include <mutex>

namespace dravmer {

namespace {

// The calling convention the vendor's libraries have: plain C, int handles, char buffers.
using InitFn = int (*)();
using CloseFn = int (*)(int);
using OpenFn = int (*)(char*, int, int);
using ReadFn = int (*)(int, char*, int);
using SetReadTimeoutsFn = int (*)(int, unsigned long);
using WriteFn = int (*)(int, char*, int);
using IoctlFn = int (*)(int, int, int);

class CNetSerialLibrary : public INetSerialProvider {
public:
    explicit CNetSerialLibrary(std::string path) : m_path(std::move(path)) {}
    ~CNetSerialLibrary() override { Release(); }

    int Init() override {
        std::lock_guard lock(m_mutex);
        if (!m_handle && !Load()) return kNetSerialLoadFailed;
        return m_init();
    }
    int Open(const std::string& address, int serialPort, int timeoutMs) override {
        if (!m_handle) return -1;
        std::string copy = address;
        return m_open(copy.data(), serialPort, timeoutMs);
    }
    int Close(int handle) override { return m_handle ? m_close(handle) : -1; }
    int Read(int handle, std::uint8_t* data, int capacity) override {
        return m_handle ? m_read(handle, reinterpret_cast<char*>(data), capacity) : -1;
    }
    int Write(int handle, const std::uint8_t* data, int length) override {
        if (!m_handle) return -1;
        // The library's prototype takes a writable buffer; it is not written to.
        return m_write(handle, reinterpret_cast<char*>(const_cast<std::uint8_t*>(data)), length);
    }
    int Ioctl(int handle, int speedCode, int mode) override {
        return m_handle ? m_ioctl(handle, speedCode, mode) : -1;
    }
    int SetReadTimeouts(int handle, std::uint32_t timeouts) override {
        return m_handle ? m_setReadTimeouts(handle, timeouts) : -1;
    }

private:
    template <typename Fn>
    bool Resolve(const char* name, Fn& fn) {
        fn = reinterpret_cast<Fn>(::dlsym(m_handle, name));
        return fn != nullptr;
    }

    bool Load() {
        m_handle = ::dlopen(m_path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!m_handle) return false;
        // In the order the bench has always resolved them; one missing releases the library.
        if (!Resolve("nsio_init", m_init) || !Resolve("nsio_close", m_close) ||
            !Resolve("nsio_open", m_open) || !Resolve("nsio_read", m_read) ||
            !Resolve("nsio_SetReadTimeouts", m_setReadTimeouts) ||
            !Resolve("nsio_write", m_write) || !Resolve("nsio_ioctl", m_ioctl)) {
            Release();
            return false;
        }
        return true;
    }

    void Release() {
        if (m_handle) ::dlclose(m_handle);
        m_handle = nullptr;
    }

    std::string m_path;
    std::mutex m_mutex;
    void* m_handle = nullptr;
    InitFn m_init = nullptr;
    CloseFn m_close = nullptr;
    OpenFn m_open = nullptr;
    ReadFn m_read = nullptr;
    SetReadTimeoutsFn m_setReadTimeouts = nullptr;
    WriteFn m_write = nullptr;
    IoctlFn m_ioctl = nullptr;
};

}  // namespace

std::shared_ptr<INetSerialProvider> MakeNetSerialLibraryProvider(const std::string& path) {
    return std::make_shared<CNetSerialLibrary>(path);
}

}  // namespace dravmer
