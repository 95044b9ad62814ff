// The device commands: one locked transaction each, reply content checked and copied out.
#include <cstring>

#include "link/adc_reply.h"
#include "link/link_r307.h"

namespace dravmer {
namespace {

constexpr std::uint8_t kCmdReadAddress = 0;
constexpr std::uint8_t kCmdReadIdentity = 1;
constexpr std::uint8_t kCmdMarkFound = 5;
constexpr std::uint8_t kCmdResetSearch = 6;
constexpr std::uint8_t kCmdReadParameters = 14;
constexpr std::uint8_t kCmdCurrentValues = 20;
constexpr std::uint8_t kCmdReadAdc = 25;
constexpr std::uint8_t kCmdResistances = 26;
constexpr std::uint8_t kCmdReadMemory = 27;

constexpr int kImageBlock = 59;

SDeviceValue GroupAt(const std::uint8_t* payload, int offset) {
    return SDeviceValue{payload[offset], GetLe32(payload + offset + 1)};
}

}  // namespace

int CLinkR307::ReadAddress(std::uint32_t address, std::uint32_t& answered) {
    CPortLockHold hold(m_portLock);
    if (!hold.Held()) return kLinkInternalBusy;
    Prepare(address, kCmdReadAddress, 2, 0, 0);
    const int code = Transact(true);
    if (code == kLinkOk) answered = GetLe32(Reply() + kPayloadOffset);
    return code;
}

int CLinkR307::ReadIdentity(std::uint32_t address, std::uint8_t* identity) {
    CPortLockHold hold(m_portLock);
    if (!hold.Held()) return kLinkInternalBusy;
    Prepare(address, kCmdReadIdentity, 2, 0, 0);
    const int code = Transact(true);
    if (code != kLinkOk) return code;
    if (ReplyPayloadBytes() < kIdentitySize) {
        LogImError();
        return m_lastResult = kLinkCmdResult;
    }
    std::memcpy(identity, Reply() + kPayloadOffset, kIdentitySize);
    return kLinkOk;
}

int CLinkR307::ReadTransitIdentity(std::uint8_t* identity) {
    const std::uint32_t transit = m_transitAddress;
    if (!transit) return kLinkEmpty;
    // Sent to the transit device itself, so this one request is not wrapped.
    CPortLockHold hold(m_portLock);
    if (!hold.Held()) return kLinkInternalBusy;
    Prepare(transit, kCmdReadIdentity, 2, 0, 0);
    m_sendUnwrapped = true;
    const int code = Transact(true);
    if (code != kLinkOk) return code;
    if (ReplyPayloadBytes() < kIdentitySize) {
        LogImError();
        return m_lastResult = kLinkCmdResult;
    }
    std::memcpy(identity, Reply() + kPayloadOffset, kIdentitySize);
    return kLinkOk;
}

int CLinkR307::MarkFound(std::uint32_t address) {
    CPortLockHold hold(m_portLock);
    if (!hold.Held()) return kLinkInternalBusy;
    Prepare(address, kCmdMarkFound, 1, 0, 0);
    return Transact(true);
}

int CLinkR307::ResetSearch() {
    CPortLockHold hold(m_portLock);
    if (!hold.Held()) return kLinkInternalBusy;
    Prepare(ADDR_ANY_DEVICE, kCmdResetSearch, 1, 0, 0);
    return Transact(true) == kLinkEmpty ? kLinkEmpty : kLinkOk;
}

int CLinkR307::ReadParameters(std::uint32_t address, int first, int count, std::uint8_t* bytes) {
    CPortLockHold hold(m_portLock);
    if (!hold.Held()) return kLinkInternalBusy;
    Prepare(address, kCmdReadParameters, 2, 0, 0);
    RequestPayload()[0] = 0;
    RequestPayload()[1] = static_cast<std::uint8_t>(first);
    RequestPayload()[2] = static_cast<std::uint8_t>(count);
    const int code = Transact(true);
    if (code != kLinkOk) return code;
    // A short reply would otherwise hand over stale buffer bytes as parameters.
    if (count < 0 || ReplyPayloadBytes() < 3 + count) return m_lastResult = kLinkCmdResult;
    std::memcpy(bytes, Reply() + kPayloadOffset + 3, static_cast<std::size_t>(count));
    return kLinkOk;
}

int CLinkR307::ReadCurrentValues(std::uint32_t address, SCurrentValues& values) {
    CPortLockHold hold(m_portLock);
    if (!hold.Held()) return kLinkInternalBusy;
    Prepare(address, kCmdCurrentValues, 2, 0, 0);
    const int code = Transact(true);
    if (code != kLinkOk) return code;
    const std::uint8_t* payload = Reply() + kPayloadOffset;
    const int groups = payload[3];
    // Fewer than six groups is the caller's verdict; groups the device did not send are zero.
    if (ReplyPayloadBytes() < 5 * groups + 4) {
        LogImError();
        return m_lastResult = kLinkCmdResult;
    }
    values.byte0 = payload[0];
    values.word1 = GetLe16(payload + 1);
    values.groupCount = static_cast<std::uint8_t>(groups);
    for (int i = 0; i < 6; ++i) {
        values.groups[i] = i < groups ? GroupAt(payload, 4 + 5 * i) : SDeviceValue{};
    }
    return kLinkOk;
}

int CLinkR307::ReadAdc(std::uint32_t address, int mode, std::uint8_t* buffer) {
    CPortLockHold hold(m_portLock);
    if (!hold.Held()) return kLinkInternalBusy;
    Prepare(address, kCmdReadAdc, 2, 0, 0);
    RequestPayload()[0] = static_cast<std::uint8_t>(mode);
    const int code = Transact(true);
    if (code != kLinkOk) {
        LogImError();
        return code;
    }
    const std::uint8_t* payload = Reply() + kPayloadOffset;
    const int items = AdcReplyCount(payload);
    const int length = AdcReplyBytes(mode, items);
    if (items == 0) return m_lastResult = kLinkCmdResult;
    if (ReplyPayloadBytes() < length) {
        LogImError();
        return m_lastResult = kLinkCmdResult;
    }
    if (payload[0] != static_cast<std::uint8_t>(mode)) {
        LogImError();
        return m_lastResult = kLinkCmd;
    }
    std::memcpy(buffer, payload, static_cast<std::size_t>(length));
    return kLinkOk;
}

int CLinkR307::ReadResistances(std::uint32_t address, SResistances& values) {
    CPortLockHold hold(m_portLock);
    if (!hold.Held()) return kLinkInternalBusy;
    Prepare(address, kCmdResistances, 2, 0, 0);
    const int code = Transact(true);
    if (code != kLinkOk) return code;
    const std::uint8_t* payload = Reply() + kPayloadOffset;
    const int groups = payload[2];
    if (groups < 2) return m_lastResult = kLinkTrDevAdr;
    const int read = groups >= 3 ? 3 : 2;
    if (ReplyPayloadBytes() < 5 * groups + 3) {
        LogImError();
        return m_lastResult = kLinkCmdResult;
    }
    values.identifier = payload[1];
    values.groupCount = static_cast<std::uint8_t>(groups);
    for (int i = 0; i < 3; ++i)
        values.groups[i] = i < read ? GroupAt(payload, 3 + 5 * i) : SDeviceValue{};
    return kLinkOk;
}

int CLinkR307::ReadMemoryBlock(std::uint8_t selector, std::uint8_t attribute, std::uint32_t address,
                               int offset, int length, std::uint8_t* bytes) {
    CPortLockHold hold(m_portLock);
    if (!hold.Held()) return kLinkInternalBusy;
    Prepare(address, kCmdReadMemory, 2, 0, attribute);
    RequestPayload()[0] = selector;
    RequestPayload()[1] = static_cast<std::uint8_t>(length);
    PutLe16(RequestPayload() + 2, static_cast<std::uint16_t>(offset));
    const int code = Transact(true);
    if (code != kLinkOk) return code;
    // A short reply would otherwise put stale buffer bytes into the saved image.
    if (length < 0 || ReplyPayloadBytes() < 4 + length) return m_lastResult = kLinkCmdResult;
    std::memcpy(bytes, Reply() + kPayloadOffset + 4, static_cast<std::size_t>(length));
    return kLinkOk;
}

int CLinkR307::ReadEepromBlock(std::uint32_t address, int offset, int length, std::uint8_t* bytes) {
    return ReadMemoryBlock(0x20, 0x20, address, offset, length, bytes);
}

int CLinkR307::ReadFlashBlock(std::uint32_t address, int offset, int length, std::uint8_t* bytes) {
    return ReadMemoryBlock(0x23, 0, address, offset, length, bytes);
}

int CLinkR307::ReadImage(std::uint32_t address, bool flash, std::uint8_t* image) {
    for (int offset = 0; offset < kDeviceImageSize; offset += kImageBlock) {
        const int length =
            offset + kImageBlock <= kDeviceImageSize ? kImageBlock : kDeviceImageSize - offset;
        const int code = flash ? ReadFlashBlock(address, offset, length, image + offset)
                               : ReadEepromBlock(address, offset, length, image + offset);
        if (code != kLinkOk) return -1;
    }
    return 0;
}

int CLinkR307::ReadEeprom(std::uint32_t address, std::uint8_t* image) {
    return ReadImage(address, false, image);
}

int CLinkR307::ReadFlash(std::uint32_t address, std::uint8_t* image) {
    return ReadImage(address, true, image);
}

}  // namespace dravmer
