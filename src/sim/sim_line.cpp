#include "sim/sim_line.h"

#include <cstring>

#include "link/frame.h"

namespace dravmer::sim {
namespace {

constexpr std::uint8_t kStatusNoReply = 10;
constexpr std::uint8_t kStatusCollision = 12;
constexpr std::size_t kMaxKeptRequests = 4096;

SDeviceModel TransitModel(const SLineConfig& config) {
    SDeviceModel model;
    model.address = config.transitAddress;
    model.kind = config.transitKind;
    model.mcu = 7;
    return model;
}

bool Take(int& counter) {
    if (counter <= 0) return false;
    --counter;
    return true;
}

}  // namespace

CSimLine::CSimLine(const SLineConfig& config)
    : m_config(config), m_transitIdentity(TransitModel(config)) {}

CSimDevice& CSimLine::AddDevice(const SDeviceModel& model) {
    std::lock_guard lock(m_mutex);
    auto& list = m_config.transitAddress ? m_behind : m_direct;
    list.push_back(std::make_unique<CSimDevice>(model));
    return *list.back();
}

CSimDevice& CSimLine::AddDirectDevice(const SDeviceModel& model) {
    std::lock_guard lock(m_mutex);
    m_direct.push_back(std::make_unique<CSimDevice>(model));
    return *m_direct.back();
}

void CSimLine::AddDevices(int n, std::uint32_t first, std::uint32_t step) {
    for (int i = 0; i < n; ++i) {
        SDeviceModel model;
        model.address = first + static_cast<std::uint32_t>(i) * step;
        model.electrodeMv = 30.0 + 2.0 * (i % 10);
        AddDevice(model);
    }
}

void CSimLine::Tick() {
    std::lock_guard lock(m_mutex);
    for (auto& d : m_direct) d->Tick();
    for (auto& d : m_behind) d->Tick();
}

void CSimLine::SetFaults(const SFaults& faults) {
    std::lock_guard lock(m_mutex);
    m_faults = faults;
}

SFaults CSimLine::Faults() const {
    std::lock_guard lock(m_mutex);
    return m_faults;
}

void CSimLine::UpdateFaults(const std::function<void(SFaults&)>& change) {
    std::lock_guard lock(m_mutex);
    change(m_faults);
}

int CSimLine::RequestCount() const {
    std::lock_guard lock(m_mutex);
    return static_cast<int>(m_requests.size());
}

std::vector<Frame> CSimLine::Requests() const {
    std::lock_guard lock(m_mutex);
    return m_requests;
}

CSimDevice* CSimLine::Find(std::uint32_t address) {
    std::lock_guard lock(m_mutex);
    for (auto* list : {&m_direct, &m_behind}) {
        for (auto& d : *list) {
            if (d->Address() == address) return d.get();
        }
    }
    return nullptr;
}

std::size_t CSimLine::DeviceCount() const {
    std::lock_guard lock(m_mutex);
    return m_direct.size() + m_behind.size();
}

std::vector<SDeviceState> CSimLine::DeviceStates() const {
    std::lock_guard lock(m_mutex);
    std::vector<SDeviceState> states;
    for (const auto* list : {&m_direct, &m_behind}) {
        for (const auto& d : *list) {
            states.push_back({d->Address(), d->Powered(), d->Cycle(), list == &m_behind});
        }
    }
    return states;
}

void CSimLine::SetDeliveryLog(DeliveryLog log) {
    std::lock_guard lock(m_mutex);
    m_deliveryLog = std::move(log);
}

Frame CSimLine::Exchange(const Frame& request, int* delayMs) {
    std::lock_guard lock(m_mutex);
    if (delayMs) *delayMs = 0;
    if (m_requests.size() < kMaxKeptRequests) m_requests.push_back(request);
    if (Take(m_faults.echoRequests)) return request;
    m_faulted = false;
    m_measurement = false;
    Frame reply = ExchangeLocked(request);
    if (!reply.empty()) ApplyFaults(request, reply);
    if (!reply.empty() && delayMs && Take(m_faults.slowReplies)) {
        *delayMs = m_faults.slowMs;
        m_faulted = true;
    }
    if (!reply.empty() && m_measurement && !m_faulted && m_deliveryLog)
        m_deliveryLog(m_measuredAddress, m_measuredCycle, m_measuredMode);
    return reply;
}

Frame CSimLine::Broadcast(std::vector<std::unique_ptr<CSimDevice>>& devices, const Frame& request,
                          int& answered) {
    Frame wire;
    answered = 0;
    for (auto& device : devices) {
        Frame reply;
        if (!device->Handle(request, reply)) continue;
        if (answered++ == 0) {
            wire = reply;
            // A measurement of the second: command 25, mode 0 or 1; the reply carries the cycle.
            constexpr std::size_t at = kPayloadOffset;
            m_measurement = (request[5] & 0x7F) == 25 && request.size() > at && request[at] <= 1 &&
                            reply.size() > at + 1;
            if (m_measurement) {
                m_measuredAddress = device->Address();
                m_measuredCycle = reply[at + 1];
                m_measuredMode = request[at];
            }
            continue;
        }
        m_measurement = false;  // a collision carries nobody's measurement
        // Two transmitters at once: the dominant level wins bit by bit.
        if (reply.size() > wire.size()) wire.resize(reply.size(), 0xFF);
        for (std::size_t i = 0; i < reply.size(); ++i) wire[i] &= reply[i];
    }
    if (request.size() >= 2 * kBlockSize && (request[5] & 0x7F) == 4) {
        const int slots = request[kPayloadOffset] | (request[kPayloadOffset + 1] << 8);
        for (auto& device : devices) device->HearProbe(slots, answered);
    }
    if ((request[5] & 0x7F) == 5 && answered == 1) {
        for (auto& device : devices) device->HearFound();
    }
    if (answered > 1 && FrameLengthFromCrcSearch(wire.data(), static_cast<int>(wire.size()))) {
        wire.back() ^= 0x01;
    }
    return wire;
}

Frame CSimLine::ExchangeLocked(const Frame& request) {
    const int length = static_cast<int>(request.size());
    if (length < kBlockSize || length % kBlockSize != 0 || request[4] * kBlockSize != length ||
        FrameLengthFromCrcSearch(request.data(), length) != length) {
        return {};  // the firmware drops frames it cannot verify
    }
    const std::uint32_t to = GetLe32(request.data());
    const std::uint8_t command = request[5] & 0x7F;
    if (m_config.transitAddress) {
        if (to == m_config.transitAddress && command == m_config.transitCommand && length >= 16) {
            return TransitExchange(request);
        }
        if ((to == ADDR_ANY_TRANSIT && command == 0) || to == m_config.transitAddress) {
            Frame reply;
            Frame own = request;
            PutLe32(own.data(), m_config.transitAddress);
            SealFrame(own.data());
            if (!m_transitIdentity.Handle(own, reply)) return {};
            PutLe32(reply.data(), to);  // the reply echoes the address it was asked by
            SealFrame(reply.data());
            return reply;
        }
    }
    int answered = 0;
    return Broadcast(m_direct, request, answered);
}

Frame CSimLine::TransitExchange(const Frame& request) {
    // The transit device re-frames the inner request with a CRC of its own. An inner header that
    // announces other than the blocks carried is not a frame it can pass on: nobody answers.
    Frame inner(request.begin() + kBlockSize, request.end());
    const bool whole = inner[4] * static_cast<std::size_t>(kBlockSize) == inner.size();
    int answered = 0;
    Frame innerReply;
    if (whole) {
        SealFrame(inner.data());
        innerReply = Broadcast(m_behind, inner, answered);
    }
    std::uint8_t status = 0;
    if (answered == 0) status = kStatusNoReply;
    if (answered > 1) status = kStatusCollision;
    if (Take(m_faults.transitStatus)) status = m_faults.transitCode;
    if (status != 0 || innerReply.empty()) {
        m_measurement = false;
        innerReply = Frame(kBlockSize, 0);
        std::memcpy(innerReply.data(), inner.data(), 6);
        innerReply[4] = 1;
    }
    Frame outer(innerReply.size() + kBlockSize, 0);
    PutLe32(outer.data(), m_config.transitAddress);
    outer[4] = static_cast<std::uint8_t>(outer.size() / kBlockSize);
    outer[5] = static_cast<std::uint8_t>(m_config.transitCommand | 0x80);
    outer[6] = status;
    std::memcpy(outer.data() + kBlockSize, innerReply.data(), innerReply.size());
    SealFrame(outer.data());
    return outer;
}

void CSimLine::ApplyFaults(const Frame& request, Frame& reply) {
    const Frame untouched = reply;
    ApplyFaultsTo(request, reply);
    m_faulted = reply != untouched;
}

void CSimLine::ApplyFaultsTo(const Frame& request, Frame& reply) {
    if (m_faults.lossPercent > 0) {
        m_lossState = m_lossState * 1103515245u + 12345u;
        if (static_cast<int>((m_lossState >> 16) % 100) < m_faults.lossPercent) {
            reply.clear();
            return;
        }
    }
    if (Take(m_faults.dropReplies)) {
        reply.clear();
        return;
    }
    // Faults that change the device's own reply land in the inner frame behind a transit device.
    const bool wrapped = m_config.transitAddress &&
                         GetLe32(request.data()) == m_config.transitAddress &&
                         reply.size() >= 2 * kBlockSize;
    const std::size_t at = wrapped ? kBlockSize : 0;
    bool reseal = false;
    if (Take(m_faults.wrongAddress)) {
        PutLe32(reply.data() + at, GetLe32(reply.data() + at) + 1);
        reseal = true;
    }
    if (Take(m_faults.wrongCommand)) {
        reply[at + 5] = static_cast<std::uint8_t>((reply[at + 5] + 1) & 0x7F);
        reseal = true;
    }
    if (reply[at + 4] >= 2 && Take(m_faults.deviceResult)) {
        reply[at + 6] = m_faults.resultCode;
        reseal = true;
    }
    if (reseal) SealFrame(reply.data());
    if (Take(m_faults.corruptCrc)) reply.back() ^= 0x5A;
    if (Take(m_faults.preamble)) reply.insert(reply.begin(), 4, reply.front());
    if (Take(m_faults.noiseReplies)) {
        // Three to ten bytes of noise: what a long line or a plugged-in cable puts before a
        // reply, for the bench's frame search to get past.
        m_lossState = m_lossState * 1103515245u + 12345u;
        const std::size_t n = 3 + (m_lossState >> 16) % 8;
        Frame noise(n);
        for (auto& b : noise) {
            m_lossState = m_lossState * 1103515245u + 12345u;
            b = static_cast<std::uint8_t>(m_lossState >> 16);
        }
        reply.insert(reply.begin(), noise.begin(), noise.end());
    }
}

}  // namespace dravmer::sim
