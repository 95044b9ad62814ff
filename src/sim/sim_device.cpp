#include "sim/sim_device.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "link/frame.h"

namespace dravmer::sim {
namespace {

// One ADC code in volts, as the bench scales it back.
constexpr double kAdcVoltsPerCode = 2.980232416405226e-4;
constexpr double kElectrodeGain = 19.93;  // the bench's default Ky

void PutFloat(Frame& out, float value) {
    std::uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(bits >> (8 * i)));
}

void PutU32(Frame& out, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

void PutText(std::array<std::uint8_t, 51>& id, int offset, int room, const char* text) {
    // Zero-terminated within its field; the record starts zeroed.
    const std::size_t n = std::min(std::strlen(text), static_cast<std::size_t>(room - 1));
    std::memcpy(id.data() + offset, text, n);
}

}  // namespace

Frame BuildReply(std::uint32_t address, std::uint8_t command, std::uint8_t result,
                 const Frame& payload) {
    const int bytes = kPayloadOffset + static_cast<int>(payload.size()) + 2;
    const int blocks = payload.empty() ? 1 : (bytes + kBlockSize - 1) / kBlockSize;
    Frame frame(static_cast<std::size_t>(blocks * kBlockSize), 0);
    PutLe32(frame.data(), address);
    frame[4] = static_cast<std::uint8_t>(blocks);
    frame[5] = static_cast<std::uint8_t>(command | 0x80);  // the firmware marks its replies
    if (blocks >= 2) {
        frame[6] = result;
        std::copy(payload.begin(), payload.end(), frame.begin() + kPayloadOffset);
    }
    SealFrame(frame.data());
    return frame;
}

CSimDevice::CSimDevice(const SDeviceModel& model) : m_model(model), m_random(model.address) {
    for (std::size_t i = 0; i < m_flash.size(); ++i) {
        m_flash[i] = static_cast<std::uint8_t>((i * 7 + model.address) & 0xFF);
        m_eeprom[i] = static_cast<std::uint8_t>((i * 13 + (model.address >> 8)) & 0xFF);
    }
    for (std::size_t i = 0; i < m_parameters.size(); ++i) {
        m_parameters[i] = static_cast<std::uint8_t>(i ^ (model.address & 0xFF));
    }
    // The transducer number: twelve characters at position 20 of the parameter memory, and the
    // same at position 20 of the FLASH image the parameters are kept in.
    char transducer[13];
    std::snprintf(transducer, sizeof transducer, "PR-%09u", model.address % 1000000000u);
    std::memcpy(m_parameters.data() + 20, transducer, 12);
    std::memcpy(m_flash.data() + 20, transducer, 12);
    Tick();
}

int CSimDevice::SlotFor(int slotCount) const {
    // Everyone answers the single-slot probe, so silence there means nobody is left. With more
    // slots the device draws from at least as many as it believes devices are still searching,
    // so most keep quiet instead of all colliding; a draw beyond the offered slots means no
    // answer in this sweep.
    if (slotCount <= 1) return 0;
    return static_cast<int>(m_sweepDraw * std::max(slotCount, m_sweepRange));
}

void CSimDevice::HearProbe(int slotCount, int answered) {
    // Every device hears the bus: garbage after a probe means several answered, silence none.
    // Both move the device's estimate of how many are still searching, the same in every device.
    if (slotCount <= 1) return;
    if (answered > 1) m_estimateLog2 = std::min(10.0, m_estimateLog2 + 0.3);
    if (answered == 0) m_estimateLog2 = std::max(0.0, m_estimateLog2 - 0.2);
}

void CSimDevice::HearFound() {
    // One device fewer is searching.
    m_estimateLog2 = std::log2(std::max(1.0, std::exp2(m_estimateLog2) - 1.0));
}

void CSimDevice::StartSearchPass() {
    ++m_epoch;
    m_sweepRange = static_cast<int>(std::lround(std::exp2(m_estimateLog2)));
    std::uint32_t h = m_model.address * 2654435761u ^ m_epoch * 2246822519u;
    h ^= h >> 15;
    h *= 2246822519u;
    h ^= h >> 13;
    m_sweepDraw = h / 4294967296.0;
}

std::array<std::uint8_t, 51> CSimDevice::Identity() const {
    std::array<std::uint8_t, 51> id{};
    id[0] = m_model.mcu;
    id[1] = m_model.versionMinor;
    id[2] = m_model.versionMajor;
    id[3] = m_model.kind;
    id[4] = static_cast<std::uint8_t>(m_model.family[0]);
    id[5] = static_cast<std::uint8_t>(m_model.family[1]);
    PutText(id, 9, 12, "Mar 14 2023");
    PutText(id, 21, 9, "10:21:07");
    PutText(id, 30, 12, "Apr 02 2023");
    PutText(id, 42, 9, "16:45:30");
    return id;
}

std::int32_t CSimDevice::ElectrodeCode(double mv) const {
    return static_cast<std::int32_t>(
        std::lround(mv * kElectrodeGain * m_model.gainUg / (kAdcVoltsPerCode * 1000.0)));
}

void CSimDevice::Tick() {
    ++m_cycle;
    std::normal_distribution<double> noise(0.0, m_model.noiseMv);
    const double sign = (m_cycle & 1) ? -1.0 : 1.0;
    auto aux = [&](double mv) {
        return static_cast<std::int32_t>(std::lround(mv * m_model.gainAux / kAdcVoltsPerCode));
    };
    const double ug = sign * m_model.electrodeMv;
    double low = 1e9;
    double high = -1e9;
    for (std::size_t i = 0; i < m_tenCodes.size(); ++i) {
        // The electrode settles within the second: a small exponential tail on each sample.
        const double v = ug * (1.0 - 0.02 * std::exp(-static_cast<double>(i))) + noise(m_random);
        low = std::min(low, v);
        high = std::max(high, v);
        m_tenCodes[i] = ElectrodeCode(v);
    }
    m_codes[0] = ElectrodeCode(ug + noise(m_random));
    // Levels sit inside the ranges the bench treats as normal, so a healthy simulated device
    // shows no highlighted cells.
    m_codes[1] = aux(90.0 + noise(m_random));           // coil-current shunt
    m_codes[2] = aux(110.0 + 0.1 * noise(m_random));    // temperature reference
    m_codes[3] = aux(120.0 + noise(m_random));          // t1
    m_codes[4] = aux(50.0 + 0.1 * noise(m_random));     // pressure reference
    m_codes[5] = aux(250.0 + noise(m_random));          // P
    m_codes[6] = aux(120.0 + 0.1 * noise(m_random));    // processor temperature
    m_codes[7] = ElectrodeCode(0.5 + noise(m_random));  // empty-pipe detector
    m_codes[8] = ElectrodeCode(12.0 + noise(m_random));
    m_codes[9] = aux(16.0 + noise(m_random));  // t2
    m_codes[10] = aux(12.0 + 0.1 * noise(m_random));  // pressure sensor current
    m_codes[11] = ElectrodeCode(low);
    m_codes[12] = ElectrodeCode(high);
    m_codes[13] = ElectrodeCode(std::fabs(ug) + noise(m_random));
    m_codes[14] = 0;
}

void CSimDevice::ReplyAdc(std::uint8_t mode, Frame& payload) const {
    payload.push_back(mode);
    payload.push_back(m_cycle);
    payload.push_back(m_model.gainUg);
    payload.push_back(m_model.gainAux);
    payload.push_back(0x01);  // state word: measuring
    payload.push_back(0x00);
    if (mode == 0 || mode == 1) {
        const int n = mode == 0 ? m_model.adcChannels : static_cast<int>(m_tenCodes.size());
        payload.push_back(static_cast<std::uint8_t>(n));
        for (int c = 0; c < n; ++c) {
            PutU32(payload,
                   static_cast<std::uint32_t>(mode == 0 ? m_codes[static_cast<size_t>(c)]
                                                        : m_tenCodes[static_cast<size_t>(c)]));
        }
    } else {
        // Modes 2 and 3 carry 16-bit samples of the electrode within the second.
        payload.push_back(30);
        for (int i = 0; i < 30; ++i) {
            const auto v = static_cast<std::uint16_t>(m_tenCodes[static_cast<size_t>(i % 10)] >> 4);
            payload.push_back(static_cast<std::uint8_t>(v));
            payload.push_back(static_cast<std::uint8_t>(v >> 8));
        }
    }
}

bool CSimDevice::Handle(const Frame& request, Frame& reply) {
    if (request.size() < kBlockSize || !m_powered.load()) return false;
    const std::uint32_t to = GetLe32(request.data());
    const std::uint8_t command = request[5] & 0x7F;
    const bool broadcast = to == ADDR_ANY_DEVICE;
    if (to != m_model.address && !broadcast) return false;
    const bool hasPayload = request.size() >= 2 * kBlockSize;
    const std::uint8_t* in = request.data() + kPayloadOffset;
    Frame payload;
    switch (command) {
        case 0:  // address
            PutU32(payload, m_model.address);
            PutU32(payload, 0);
            payload.resize(7);
            break;
        case 1: {
            if (broadcast) return false;
            const auto id = Identity();
            payload.assign(id.begin(), id.end());
            break;
        }
        case 4: {  // one search probe
            if (!hasPayload || m_found) return false;
            const int slots = GetLe16(in);
            const int slot = GetLe16(in + 2);
            if (slots > 1 && GetLe16(in + 2) == 0) StartSearchPass();  // a new sweep
            if (slots < 1 || SlotFor(slots) != slot) return false;
            PutU32(payload, m_model.address);
            payload.resize(7, 0);
            break;
        }
        case 5:  // found: silent in the search until the next reset
            if (broadcast) return false;
            m_found = true;
            reply = BuildReply(to, command, 0, {});
            return true;
        case 6:  // reset of the search: nobody answers a broadcast
            m_found = false;
            m_estimateLog2 = 0;
            return false;
        case 14: {
            if (!hasPayload) return false;
            const int first = in[1];
            const int count = in[2];
            payload.assign(in, in + 3);
            for (int i = 0; i < count; ++i) {
                payload.push_back(m_parameters[static_cast<size_t>((first + i) & 0xFF)]);
            }
            break;
        }
        case 20: {
            payload = {0, 0, 0, 6};
            const float values[6] = {1.25f, 21.5f, 0.35f, 0.0f, 37.7f, 19.8f};
            for (int i = 0; i < 6; ++i) {
                payload.push_back(0);
                if (i == 3) {
                    PutU32(payload, 1000u + m_cycle);  // Gи is a pulse count
                } else {
                    PutFloat(payload, values[i]);
                }
            }
            break;
        }
        case 25:
            if (!hasPayload) return false;
            ReplyAdc(in[0], payload);
            break;
        case 26: {
            payload = {0, 1, 3};
            const float values[3] = {102.4f, 99.8f, 22.1f};
            for (float v : values) {
                payload.push_back(0);
                PutFloat(payload, v);
            }
            break;
        }
        case 27: {
            if (!hasPayload) return false;
            const std::uint8_t selector = in[0];
            const int length = in[1];
            const int offset = GetLe16(in + 2);
            if (selector != 0x20 && selector != 0x23) {
                reply = BuildReply(to, command, 2, {0});
                return true;
            }
            const auto& image = selector == 0x20 ? m_eeprom : m_flash;
            payload.assign(in, in + 4);
            for (int i = 0; i < length; ++i) {
                payload.push_back(image[static_cast<size_t>((offset + i) % 1024)]);
            }
            break;
        }
        default:
            if (broadcast) return false;
            reply = BuildReply(to, command, 1, {0});  // unknown command
            return true;
    }
    if (broadcast && command != 0 && command != 4) return false;
    reply = BuildReply(to, command, 0, payload);
    return true;
}

}  // namespace dravmer::sim
