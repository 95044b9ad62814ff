#pragma once
// What the simulator's command line and its operator commands share: number parsing and
// arming one fault. Internal to the simulator library.
#include <cstdint>
#include <string>

#include "sim/sim_options.h"

namespace dravmer::sim::detail {

inline constexpr std::uint64_t kMaxCount = 1000000;
inline constexpr std::uint64_t kMaxAddress = 0xFFFFFFFFull;

// Decimal, or hexadecimal after 0x. No sign, no spaces, nothing after the digits: "08" is 8,
// not a failed octal number as strtol would have it.
bool ParseNumber(const std::string& text, std::uint64_t low, std::uint64_t high,
                 std::uint64_t& out);
std::string RangeError(const std::string& what, const std::string& text, std::uint64_t low,
                       std::uint64_t high);

// Faults that take a code or a delay and an optional count share this shape.
struct SFaultArgument {
    const char* name;
    std::uint64_t low;
    std::uint64_t high;
};

inline constexpr SFaultArgument kResultCode{"device result code", 1, 255};
inline constexpr SFaultArgument kTransitCode{"transit status", 1, 31};
inline constexpr SFaultArgument kSlowMs{"delay in milliseconds", 1, 60000};

// Sets one counted fault; value is the code or delay where the fault has one.
void ArmFault(ESimCommand kind, std::uint32_t value, int count, SFaults& faults);

}  // namespace dravmer::sim::detail
