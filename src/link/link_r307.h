#pragma once
// The protocol object of one port: frames a request, runs the transaction (send, receive,
// verify, repeat), keeps per-device statistics, and offers the device commands.
#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "link/frame.h"
#include "link/link_log.h"
#include "link/link_port.h"
#include "link/link_result.h"
#include "link/link_stat.h"
#include "link/port_lock.h"

namespace dravmer {

inline constexpr int kIdentitySize = 51;
inline constexpr int kDeviceImageSize = 1024;
inline constexpr int kMaxFoundDevices = 100;

// One status byte and a 32-bit value, as the device reports its current values and resistances.
struct SDeviceValue {
    std::uint8_t status = 0;
    std::uint32_t raw = 0;
};

struct SCurrentValues {
    std::uint8_t byte0 = 0;
    std::uint16_t word1 = 0;
    std::uint8_t groupCount = 0;
    std::array<SDeviceValue, 6> groups{};  // Gv, t1, P, Gи, tпр, t2
};

struct SResistances {
    std::uint8_t identifier = 0;
    std::uint8_t groupCount = 0;
    std::array<SDeviceValue, 3> groups{};  // Rt1, Rt2, tps; the third is zero with two groups
};

// Result of a search on one port.
struct SSearchResult {
    std::vector<std::uint32_t> addresses;
    std::uint32_t transitAddress = 0;
    bool transitFound = false;
};

// Receives search progress: code (77, 4, 0, 2, 1, 3) and its value.
using SearchProgressFn = std::function<void(int code, std::int64_t value)>;

class CLinkR307 {
public:
    static constexpr int kRepeatCount = 2;  // at most three attempts

    explicit CLinkR307(std::string appName = "Dravmer");
    ~CLinkR307();
    CLinkR307(const CLinkR307&) = delete;
    CLinkR307& operator=(const CLinkR307&) = delete;

    void AttachPort(ILinkPort* port) { m_port = port; }
    ILinkPort* Port() const { return m_port; }

    // --- frame protocol ---
    // Clears both buffers and starts a request; the attribute byte gets the write bit (7) and
    // bit 6 set. Call under the port lock.
    void Prepare(std::uint32_t address, std::uint8_t command, int blocks, int writeBit,
                 std::uint8_t attribute);
    std::uint8_t* RequestPayload() { return m_send.data() + kPayloadOffset; }
    void SetRequestBlocks(int blocks) { m_blocks = blocks; }
    int Transact(bool repeatAllowed);
    // The (inner) reply; byte 7 on is its payload.
    const std::uint8_t* Reply() const { return m_receive.data(); }
    // Received length minus the transit header, as the commands measure replies.
    int PayloadLength() const { return m_payloadLength; }
    // Reply payload bytes: payload length minus the 7 header and 2 CRC bytes.
    int ReplyPayloadBytes() const { return m_payloadLength - kPayloadOffset - 2; }

    std::string ResultText(int code) const { return LinkResultText(code, m_deviceResult); }
    void SetTransit(std::uint32_t address) { m_transitAddress = address; }
    std::uint32_t Transit() const { return m_transitAddress; }
    void SetTransitCommand(std::uint8_t command) { m_transitCommand = command; }
    std::uint8_t TransitStatus() const { return m_transitStatus; }
    int LastResult() const { return m_lastResult; }
    std::uint8_t DeviceResult() const { return m_deviceResult; }
    std::uint8_t LastCommand() const { return m_command; }
    void SetPollingMark() { m_pollingMark = true; }
    bool PollingMark() const { return m_pollingMark; }
    CPortLock& PortLock() { return m_portLock; }

    // --- statistics and logs ---
    bool GetDeviceStat(std::uint32_t address, SLinkDevStat& out) const {
        return m_stats.GetDeviceStat(address, out);
    }
    const CLinkStatTable& Statistics() const { return m_stats; }
    void ResetStatistics();
    void StartErrorLog();
    void StopErrorLog();
    bool ErrorLogOn() const { return m_errorLogOn.load(); }
    // Where log entries go; none by default.
    void SetLogSink(const LinkLogSink& sink);

    // --- device commands ---
    int ReadAddress(std::uint32_t address, std::uint32_t& answered);
    int ReadIdentity(std::uint32_t address, std::uint8_t* identity);
    int ReadTransitIdentity(std::uint8_t* identity);
    // One anti-collision probe: 0 with the found address, -1, or the transit status.
    int SearchSlot(int slotCount, int slot, std::uint32_t& found);
    int MarkFound(std::uint32_t address);
    int ResetSearch();
    int ReadParameters(std::uint32_t address, int first, int count, std::uint8_t* bytes);
    int ReadCurrentValues(std::uint32_t address, SCurrentValues& values);
    // Copies 7 + n x w bytes (mode echo .. data) into buffer, which must hold 512 bytes.
    int ReadAdc(std::uint32_t address, int mode, std::uint8_t* buffer);
    int ReadResistances(std::uint32_t address, SResistances& values);
    int ReadEepromBlock(std::uint32_t address, int offset, int length, std::uint8_t* bytes);
    int ReadFlashBlock(std::uint32_t address, int offset, int length, std::uint8_t* bytes);
    int ReadEeprom(std::uint32_t address, std::uint8_t* image);
    int ReadFlash(std::uint32_t address, std::uint8_t* image);
    // 0 one device, 2 several, 1 none, -1 failure.
    int SearchDevices(SSearchResult& result, bool skipReset);
    void SetProgressWindow(SearchProgressFn progress) { m_progress = std::move(progress); }

private:
    friend class CDeviceSearch;
    bool SendFrame();
    int ReceiveReply();
    void LogSendError(int code);
    void LogAttemptError(int code);
    void LogRepeatsExhausted(int failedAttempts);
    void LogImError();
    int ReadMemoryBlock(std::uint8_t selector, std::uint8_t attribute, std::uint32_t address,
                        int offset, int length, std::uint8_t* bytes);
    int ReadImage(std::uint32_t address, bool flash, std::uint8_t* image);
    void Progress(int code, std::int64_t value) {
        if (m_progress) m_progress(code, value);
    }

    ILinkPort* m_port = nullptr;
    std::array<std::uint8_t, kFrameBufferSize> m_send{};
    std::array<std::uint8_t, kFrameBufferSize> m_receive{};
    std::array<std::uint8_t, kFrameBufferSize> m_rawReply{};
    int m_rawLength = 0;
    std::uint32_t m_address = 0;
    std::uint8_t m_command = 0;
    int m_blocks = 1;
    // Set by the search, read by every transaction and by the user interface.
    std::atomic<std::uint32_t> m_transitAddress{0};
    std::uint32_t m_activeTransit = 0;  // transit of the running transaction
    bool m_sendUnwrapped = false;       // the next request goes to the transit device itself
    std::uint8_t m_transitCommand = kDefaultTransitCommand;
    std::uint8_t m_transitStatus = 0;
    std::array<std::uint8_t, kBlockSize> m_transitHeader{};
    int m_lastResult = 0;
    std::uint8_t m_deviceResult = 0;
    int m_sentLength = 0;
    int m_receivedLength = 0;
    int m_payloadLength = 0;
    std::atomic<bool> m_pollingMark{false};
    CPortLock m_portLock;

    CLinkStatTable m_stats;
    std::atomic<bool> m_errorLogOn{false};
    CLinkLog m_errorLog;
    CLinkLog m_imLog;
    SearchProgressFn m_progress;
};

}  // namespace dravmer
