// The simulator's wire side: bytes a client sends are cut into request frames by the frame
// assembler, in pieces whose sizes the input chooses, and each frame goes through the simulated
// firmware of a line with devices on the line itself and behind a transit device. The first
// input bytes choose the armed faults, the piece size and the line; with bit 1 of the third the
// input is a run of frames that get sealed with a good CRC first, so that the fuzzer reaches the
// firmware's handling of frame content.
#include <cstdint>
#include <vector>

#include "link/frame.h"
#include "sim/sim_line.h"
#include "sim/sim_tcp.h"

namespace {

using namespace dravmer;

void CheckFrame(const sim::Frame& frame) {
    if (frame.size() < static_cast<std::size_t>(kBlockSize) ||
        frame.size() > static_cast<std::size_t>(kFrameBufferSize)) {
        __builtin_trap();
    }
    if (frame[4] * static_cast<std::size_t>(kBlockSize) != frame.size()) __builtin_trap();
    if (FrameLengthFromCrcSearch(frame.data(), static_cast<int>(frame.size())) !=
        static_cast<int>(frame.size())) {
        __builtin_trap();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3) return 0;
    const std::uint8_t faults = data[0];
    const std::size_t piece = 1 + data[1] % 64;
    const bool withTransit = (data[2] & 1) != 0;
    const bool seal = (data[2] & 2) != 0;
    data += 3;
    size -= 3;
    std::vector<std::uint8_t> sealed;
    if (seal) {
        sealed.assign(data, data + size);
        for (std::size_t at = 0; at + kBlockSize <= sealed.size();) {
            const std::size_t n = sealed[at + 4] * static_cast<std::size_t>(kBlockSize);
            if (n == 0 || at + n > sealed.size()) break;
            // A transit request carries a frame at byte 8: seal that one first.
            const std::size_t inner =
                n >= 16 ? sealed[at + 12] * static_cast<std::size_t>(kBlockSize) : 0;
            if (inner > 0 && 8 + inner <= n) SealFrame(sealed.data() + at + 8);
            SealFrame(sealed.data() + at);
            at += n;
        }
        data = sealed.data();
    }

    sim::SLineConfig config;
    if (withTransit) config.transitAddress = 4100001;
    sim::CSimLine line(config);
    line.AddDevices(3, 4000001, 1);
    if (withTransit) {
        sim::SDeviceModel direct;
        direct.address = 4000010;
        line.AddDirectDevice(direct);
    }
    line.UpdateFaults([&](sim::SFaults& f) {
        f.dropReplies = faults & 1;
        f.corruptCrc = (faults >> 1) & 1;
        f.wrongAddress = (faults >> 2) & 1;
        f.wrongCommand = (faults >> 3) & 1;
        f.deviceResult = (faults >> 4) & 1;
        f.transitStatus = withTransit ? (faults >> 5) & 1 : 0;
        f.echoRequests = (faults >> 6) & 1;
        f.preamble = (faults >> 7) & 1;
    });

    sim::CSimFrameAssembler assembler;
    for (std::size_t at = 0; at < size; at += piece) {
        const std::size_t n = size - at < piece ? size - at : piece;
        for (const sim::Frame& request : assembler.Feed(data + at, n)) {
            CheckFrame(request);
            int delayMs = 0;
            const sim::Frame reply = line.Exchange(request, &delayMs);
            if (reply.size() > 4 * static_cast<std::size_t>(kFrameBufferSize)) __builtin_trap();
            // A new second every few requests: enough to move the cycle, cheap per input.
            if (line.RequestCount() % 8 == 0) line.Tick();
        }
    }
    // The assembler never holds more than one unfinished frame's worth of bytes.
    assembler.Clear();
    if (!assembler.Empty()) __builtin_trap();
    return 0;
}
