// Device replies into the link: every device command runs against a port that answers with the
// fuzzer's bytes, directly or through a transit device. Input: a 4-byte header (command, flags,
// two arguments) and then the reply records of CFuzzReplyPort.
#include <cstdint>
#include <memory>
#include <string>

#include "fuzz/fuzz_port.h"
#include "link/link_r307.h"
#include "link/link_result.h"

namespace {

using namespace dravmer;

constexpr std::uint32_t kDevice = 4000001;
constexpr std::uint32_t kTransit = 4100001;
constexpr int kCommandCount = 15;

// Heap buffers of exactly the size a caller hands in, so any overrun shows.
template <int N>
std::unique_ptr<std::uint8_t[]> Buffer() {
    return std::make_unique<std::uint8_t[]>(N);
}

void CheckCode(int code) {
    if (code > 0 || code < kLinkInternalBusy) __builtin_trap();
}

int RunCommand(CLinkR307& link, int command, std::uint8_t a, std::uint8_t b, bool flag) {
    switch (command) {
        case 0: {
            std::uint32_t answered = 0;
            return link.ReadAddress(kDevice, answered);
        }
        case 1: {
            auto identity = Buffer<kIdentitySize>();
            return link.ReadIdentity(kDevice, identity.get());
        }
        case 2: {
            auto identity = Buffer<kIdentitySize>();
            return link.ReadTransitIdentity(identity.get());
        }
        case 3:
            return link.MarkFound(kDevice);
        case 4:
            return link.ResetSearch();
        case 5: {
            auto bytes = std::make_unique<std::uint8_t[]>(b ? b : 1);
            return link.ReadParameters(kDevice, a, b, bytes.get());
        }
        case 6: {
            SCurrentValues values;
            const int code = link.ReadCurrentValues(kDevice, values);
            if (code == kLinkOk && values.groupCount < 6) {
                for (int i = values.groupCount; i < 6; ++i) {
                    if (values.groups[i].raw || values.groups[i].status) __builtin_trap();
                }
            }
            return code;
        }
        case 7: {
            auto buffer = Buffer<512>();
            const int code = link.ReadAdc(kDevice, a, buffer.get());
            if (code == kLinkOk && buffer[0] != a) __builtin_trap();
            return code;
        }
        case 8: {
            SResistances values;
            return link.ReadResistances(kDevice, values);
        }
        case 9:
        case 10: {
            const int length = b % 64;
            auto bytes = std::make_unique<std::uint8_t[]>(length ? length : 1);
            return command == 9 ? link.ReadEepromBlock(kDevice, a * 4, length, bytes.get())
                                : link.ReadFlashBlock(kDevice, a * 4, length, bytes.get());
        }
        case 11:
        case 12: {
            auto image = Buffer<kDeviceImageSize>();
            return command == 11 ? link.ReadEeprom(kDevice, image.get())
                                 : link.ReadFlash(kDevice, image.get());
        }
        case 13: {
            std::uint32_t found = 0;
            return link.SearchSlot(a + 1, b % (a + 1), found);
        }
        default: {
            SSearchResult result;
            const int code = link.SearchDevices(result, flag);
            if (code < -1 || code > 2) __builtin_trap();
            if (result.addresses.size() > static_cast<std::size_t>(kMaxFoundDevices)) {
                __builtin_trap();
            }
            return kLinkOk;
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 4) return 0;
    const int command = data[0] % kCommandCount;
    const std::uint8_t flags = data[1];
    const std::uint8_t a = data[2];
    const std::uint8_t b = data[3];

    dravmer::fuzz::CFuzzReplyPort port(data + 4, size - 4);
    CLinkR307 link("fuzz");
    link.AttachPort(&port);
    if (flags & 1) link.SetTransit(kTransit);
    if (flags & 2) link.SetTransitCommand(static_cast<std::uint8_t>(flags >> 2));
    std::size_t logged = 0;
    if (flags & 0x80) {
        link.SetLogSink([&](const std::string&, const std::string& entry) { logged += entry.size(); });
        link.StartErrorLog();
    }
    link.SetProgressWindow([](int, std::int64_t) {});

    const int code = RunCommand(link, command, a, b, (flags & 0x40) != 0);
    if (command == 13) {
        // A search probe also passes on the transit device's status (five bits).
        if (code > 31 || code < kLinkInternalBusy) __builtin_trap();
    } else {
        CheckCode(code);
    }
    const std::string text = link.ResultText(link.LastResult());
    SLinkDevStat stat;
    link.GetDeviceStat(kDevice, stat);
    link.ResetStatistics();
    link.StopErrorLog();
    return 0;
}
