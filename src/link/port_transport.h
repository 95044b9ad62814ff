#pragma once
// What a port carries its frames over: a local serial line (with its RS-485 direction switch
// and modem dialogue), a COM server, or a network serial server. The port keeps the settings,
// the counters, the receive buffer and the locks; a transport only moves bytes. The port calls
// every method under its busy lock, so a transport needs no lock of its own for its state.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "link/net_serial.h"
#include "link/port_settings.h"
#include "link/serial_line.h"

namespace dravmer {

// Makes the local line of a port; tests hand in fakes.
using SerialLineFactory =
    std::function<std::unique_ptr<ISerialLine>(const SPortSettings& settings, int& error)>;

class IPortTransport {
public:
    // Which ends of an Open the port's listener hears of.
    enum class Notice { Always, SuccessOnly, Never };

    virtual ~IPortTransport() = default;
    virtual Notice OpenNotice() const = 0;
    // How the open went; `detail` takes the system's reason.
    virtual OpenResult Open(const SPortSettings& s, SOpenDetail& detail) = 0;
    // Frees the line; a modem with a carrier is hung up first.
    virtual void Close() = 0;
    virtual bool Write(const SPortSettings& s, const std::uint8_t* data, int length,
                       bool polling) = 0;
    // Collects one reply within the settings' time-out into `in`; -2 when the far side reports
    // overload, else 0 (an empty `in`: nothing came).
    virtual int ReadReply(const SPortSettings& s, std::vector<std::uint8_t>& in) = 0;
    virtual void Purge() {}
    // The connection still stands; may be asked without the busy lock.
    virtual bool Connected() const { return true; }
    // The far side hung up under a transfer (a local line lost its carrier, a network serial
    // server dropped the connection): the port drops the transport and opens it afresh later,
    // saying HangUpResult and HangUpDetail meanwhile.
    virtual bool HungUp() const { return false; }
    virtual OpenResult HangUpResult() const { return OpenResult::LocalFailed; }
    virtual SOpenDetail HangUpDetail(const SPortSettings& s) const {
        return {SOpenDetail::Why::LineDropped, s.LocalDevicePath(), {}};
    }
    virtual bool Carrier() const { return false; }
    virtual double UsPerByte() const { return 0.0; }

    // A COM server reports its own load and its clients; the port measures the others itself.
    virtual bool ReportsLoad() const { return false; }
    virtual float Load() const { return 0.0f; }
    virtual int ClientCount() const { return 0; }
    virtual std::vector<std::string> ClientNames() const { return {}; }
    virtual void QueryClients() {}
};

struct SLocalLineOptions {
    SerialLineFactory factory;
    // The modem dialogue's texts while it runs; an empty text when it ends.
    std::function<void(const std::string&)> status;
};

std::unique_ptr<IPortTransport> MakeLocalLineTransport(SLocalLineOptions options);
std::unique_ptr<IPortTransport> MakeComServerTransport(int tcpPort);
std::unique_ptr<IPortTransport> MakeNetSerialTransport(std::shared_ptr<INetSerialProvider> provider);

// The system's own termios line, the factory a port starts with.
std::unique_ptr<ISerialLine> OpenSystemLine(const SPortSettings& s, int& error);

}  // namespace dravmer
