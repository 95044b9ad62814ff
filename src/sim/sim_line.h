#pragma once
// A simulated line: devices attached directly and/or behind one transit device, with scripted
// faults. Exchange takes the bytes the bench wrote and returns what comes back on the wire.
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "sim/sim_device.h"

namespace dravmer::sim {

// Faults for the next replies; each counter is used up one reply at a time.
struct SFaults {
    int dropReplies = 0;   // nothing comes back
    int corruptCrc = 0;    // the last byte of the reply is flipped
    int wrongAddress = 0;  // the reply carries another device address
    int wrongCommand = 0;  // the reply carries another command
    int deviceResult = 0;  // the device reports resultCode in its result field
    std::uint8_t resultCode = 3;
    int transitStatus = 0;  // the transit device reports transitCode
    std::uint8_t transitCode = 8;
    int echoRequests = 0;  // the line hears the request itself (radio modem)
    int preamble = 0;      // four copies of the first byte precede the reply
    int slowReplies = 0;   // the device answers slowMs late (on a pseudo-terminal)
    int slowMs = 500;
    int lossPercent = 0;  // random loss of replies, for demonstrations
    int noiseReplies = 0;  // a few random bytes (line noise) precede the reply
};

// What an operator sees of one device: its address, whether it is switched on, its cycle.
struct SDeviceState {
    std::uint32_t address = 0;
    bool powered = true;
    std::uint8_t cycle = 0;
    bool behindTransit = false;
};

struct SLineConfig {
    std::uint32_t transitAddress = 0;  // 0: no transit device on the line
    std::uint8_t transitKind = 4;      // identity byte 3 of the transit device
    std::uint8_t transitCommand = 63;
};

class CSimLine {
public:
    explicit CSimLine(const SLineConfig& config = {});

    // Devices behind the transit device when there is one, else on the line itself.
    CSimDevice& AddDevice(const SDeviceModel& model);
    // A device on the line itself even when a transit device is present.
    CSimDevice& AddDirectDevice(const SDeviceModel& model);
    // n devices with addresses first, first + step, ...
    void AddDevices(int n, std::uint32_t first, std::uint32_t step);

    // The whole exchange of one request; empty when nothing answers.
    // delayMs, when given, receives how late the reply is sent (a slow-device fault).
    Frame Exchange(const Frame& request, int* delayMs = nullptr);
    // Every device starts its next second.
    void Tick();

    // Told of every measurement reply (ADC mode 0, the second's values, or 1, its ten electrode
    // values) that leaves the line untouched by a fault: the device's address, the cycle the
    // reply carries and the mode. Called under the line's lock.
    using DeliveryLog =
        std::function<void(std::uint32_t address, std::uint8_t cycle, std::uint8_t mode)>;
    void SetDeliveryLog(DeliveryLog log);

    void SetFaults(const SFaults& faults);
    SFaults Faults() const;
    // Changes the faults in place under the line's lock, so counters the serving thread is
    // using up at the same moment are not written back stale.
    void UpdateFaults(const std::function<void(SFaults&)>& change);
    // Requests seen, for tests and the simulator's statistics.
    int RequestCount() const;
    std::vector<Frame> Requests() const;
    CSimDevice* Find(std::uint32_t address);
    std::size_t DeviceCount() const;
    // Every device in the order it was added: directly attached ones first.
    std::vector<SDeviceState> DeviceStates() const;
    std::uint32_t TransitAddress() const { return m_config.transitAddress; }

private:
    Frame ExchangeLocked(const Frame& request);
    Frame TransitExchange(const Frame& request);
    // Replies of every device that answers; several answers collide on the wire.
    Frame Broadcast(std::vector<std::unique_ptr<CSimDevice>>& devices, const Frame& request,
                    int& answered);
    void ApplyFaults(const Frame& request, Frame& reply);
    void ApplyFaultsTo(const Frame& request, Frame& reply);

    SLineConfig m_config;
    CSimDevice m_transitIdentity;
    std::vector<std::unique_ptr<CSimDevice>> m_direct;
    std::vector<std::unique_ptr<CSimDevice>> m_behind;
    SFaults m_faults;
    DeliveryLog m_deliveryLog;
    // Of the exchange under way: a fault touched its reply; the measurement it carries.
    bool m_faulted = false;
    bool m_measurement = false;
    std::uint32_t m_measuredAddress = 0;
    std::uint8_t m_measuredCycle = 0;
    std::uint8_t m_measuredMode = 0;
    std::vector<Frame> m_requests;
    std::uint32_t m_lossState = 12345;
    mutable std::mutex m_mutex;
};

}  // namespace dravmer::sim
