#pragma once
// Firmware of one simulated measuring device: answers the device commands addressed to it (or to
// the search address), takes part in the anti-collision search, keeps FLASH, EEPROM and
// parameter memory, and produces a new second of ADC codes on every Tick.
#include <array>
#include <atomic>
#include <cstdint>
#include <random>
#include <vector>

namespace dravmer::sim {

using Frame = std::vector<std::uint8_t>;

struct SDeviceModel {
    std::uint32_t address = 0;
    std::uint8_t kind = 1;        // identity byte 3; 4 marks a transit device, 16 a device
                                  // that answers as a transit device but is not one
    char family[2] = {'K', 'E'};  // identity bytes 4..5
    std::uint8_t versionMajor = 5;
    std::uint8_t versionMinor = 43;
    std::uint8_t mcu = 11;     // identity byte 0
    std::uint8_t gainUg = 8;   // KG
    std::uint8_t gainAux = 1;  // KR
    int adcChannels = 15;
    double electrodeMv = 40.0;  // UG amplitude; the sign alternates with the cycle
    double noiseMv = 0.05;
};

class CSimDevice {
public:
    explicit CSimDevice(const SDeviceModel& model);

    std::uint32_t Address() const { return m_model.address; }
    const SDeviceModel& Model() const { return m_model; }
    // Handles a checked request frame; false when this device stays silent.
    bool Handle(const Frame& request, Frame& reply);
    // Starts the next second of measurement.
    void Tick();

    bool Found() const { return m_found; }
    // A switched-off device hears nothing and answers nothing (the operator pulled its plug).
    void SetPowered(bool on) { m_powered.store(on); }
    bool Powered() const { return m_powered.load(); }
    std::uint8_t Cycle() const { return m_cycle; }
    std::array<std::uint8_t, 1024>& Flash() { return m_flash; }
    std::array<std::uint8_t, 1024>& Eeprom() { return m_eeprom; }
    std::array<std::uint8_t, 256>& Parameters() { return m_parameters; }
    // The slot this device answers in when the search offers slotCount slots.
    int SlotFor(int slotCount) const;
    // What the device heard on the bus after a search probe: how many devices answered.
    void HearProbe(int slotCount, int answered);
    // What the device heard on the bus: another device was told it has been found.
    void HearFound();
    // The identity record (51 bytes) as command 1 returns it.
    std::array<std::uint8_t, 51> Identity() const;

private:
    void ReplyAdc(std::uint8_t mode, Frame& payload) const;
    std::int32_t ElectrodeCode(double mv) const;

    SDeviceModel m_model;
    void StartSearchPass();

    bool m_found = false;
    double m_estimateLog2 = 0;  // log2 of the devices believed to be still searching
    double m_sweepDraw = 0;     // where in the drawn range this device sits for this sweep
    int m_sweepRange = 1;       // the range drawn from, fixed for the sweep
    std::uint32_t m_epoch = 0;
    std::atomic<bool> m_powered{true};
    std::uint8_t m_cycle = 0;
    std::array<std::int32_t, 16> m_codes{};
    std::array<std::int32_t, 10> m_tenCodes{};
    std::array<std::uint8_t, 1024> m_flash{};
    std::array<std::uint8_t, 1024> m_eeprom{};
    std::array<std::uint8_t, 256> m_parameters{};
    std::mt19937 m_random;
};

// Builds a sealed reply: request address echoed, command with bit 7 set, result byte, payload.
Frame BuildReply(std::uint32_t address, std::uint8_t command, std::uint8_t result,
                 const Frame& payload);

}  // namespace dravmer::sim
