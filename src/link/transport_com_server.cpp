// A COM server as a port's transport: frames go out as messages and replies come back on the
// client's receiver thread; the server also reports its load and its clients.
#include "link/com_server_client.h"
#include "link/port_transport.h"

namespace dravmer {

namespace {

class CComServerTransport : public IPortTransport {
public:
    explicit CComServerTransport(int tcpPort) : m_client(tcpPort) {}

    // A failed server connection is reported by its result only.
    Notice OpenNotice() const override { return Notice::SuccessOnly; }
    OpenResult Open(const SPortSettings& s, SOpenDetail&) override { return m_client.Connect(s); }
    void Close() override { m_client.Close(); }
    bool Write(const SPortSettings&, const std::uint8_t* data, int length,
               bool polling) override {
        return m_client.SendFrame(data, length, polling);
    }
    int ReadReply(const SPortSettings&, std::vector<std::uint8_t>& in) override {
        return m_client.WaitReply(in) == -2 ? -2 : 0;
    }
    bool Connected() const override { return m_client.IsConnected(); }
    bool ReportsLoad() const override { return true; }
    float Load() const override { return m_client.Load(); }
    int ClientCount() const override { return m_client.ClientCount(); }
    std::vector<std::string> ClientNames() const override { return m_client.ClientNames(); }
    void QueryClients() override { m_client.QueryClients(); }

private:
    CComServerClient m_client;
};

}  // namespace

std::unique_ptr<IPortTransport> MakeComServerTransport(int tcpPort) {
    return std::make_unique<CComServerTransport>(tcpPort);
}

}  // namespace dravmer
