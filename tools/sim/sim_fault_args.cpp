#include "sim/sim_fault_args.h"

#include <charconv>

namespace dravmer::sim::detail {

bool ParseNumber(const std::string& text, std::uint64_t low, std::uint64_t high,
                 std::uint64_t& out) {
    int base = 10;
    const char* begin = text.data();
    const char* end = text.data() + text.size();
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        begin += 2;
    }
    std::uint64_t value = 0;
    const auto [stop, ec] = std::from_chars(begin, end, value, base);
    if (begin == end || ec != std::errc() || stop != end || value < low || value > high) {
        return false;
    }
    out = value;
    return true;
}

std::string RangeError(const std::string& what, const std::string& text, std::uint64_t low,
                       std::uint64_t high) {
    return "bad value for " + what + ": " + text + " (expected " + std::to_string(low) + ".." +
           std::to_string(high) + ")";
}

void ArmFault(ESimCommand kind, std::uint32_t value, int count, SFaults& faults) {
    switch (kind) {
        case ESimCommand::Drop:
            faults.dropReplies = static_cast<int>(value);
            break;
        case ESimCommand::Crc:
            faults.corruptCrc = static_cast<int>(value);
            break;
        case ESimCommand::Address:
            faults.wrongAddress = static_cast<int>(value);
            break;
        case ESimCommand::Command:
            faults.wrongCommand = static_cast<int>(value);
            break;
        case ESimCommand::Result:
            faults.resultCode = static_cast<std::uint8_t>(value);
            faults.deviceResult = count;
            break;
        case ESimCommand::Transit:
            faults.transitCode = static_cast<std::uint8_t>(value);
            faults.transitStatus = count;
            break;
        case ESimCommand::Slow:
            faults.slowMs = static_cast<int>(value);
            faults.slowReplies = count;
            break;
        case ESimCommand::Loss:
            faults.lossPercent = static_cast<int>(value);
            break;
        case ESimCommand::Noise:
            faults.noiseReplies = static_cast<int>(value);
            break;
        default:
            break;
    }
}

}  // namespace dravmer::sim::detail
