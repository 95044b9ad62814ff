#pragma once
// A client's receiving thread: reads a connected socket and hands every chunk to `onBytes`
// until the peer closes or fails (`onClosed`, called once) or the thread is stopped (no call).
#include <cstdint>
#include <functional>
#include <vector>

#include "platform/worker_thread.h"

namespace dravmer {

class CSocketReceiver : public CWorkerThread {
public:
    using BytesFn = std::function<void(const std::uint8_t* data, int length)>;
    CSocketReceiver(int socket, std::size_t chunkSize, BytesFn onBytes,
                    std::function<void()> onClosed);
    ~CSocketReceiver() override { Stop(); }

protected:
    int Run() override;

private:
    int m_socket;
    std::vector<std::uint8_t> m_chunk;
    BytesFn m_onBytes;
    std::function<void()> m_onClosed;
};

}  // namespace dravmer
