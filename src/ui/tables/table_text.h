#pragma once
// Texts and rules of the table pages that need no widgets: the column lists, the address
// grouping, the all-devices clipboard text and the debug window's scan.
#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "bench/bench.h"

namespace dravmer::ui {

using ParamFlags = std::array<bool, kParamCount>;

// The table selection as flags.
ParamFlags TableSelection(const CExperimentSettings& settings);
// Indices whose flag is set, from `first` on, in catalogue order.
std::vector<int> SelectedParams(const ParamFlags& flags, int first = 0);

// "%u" with the digits grouped in threes from the right by blanks: 12345 -> "12 345".
std::string GroupedAddress(std::uint32_t address);

// The received share of the readings page's Цикл column: "%0.0f%%".
std::string ReceivedShareText(double percent);

// The all-devices page's clipboard text (CR LF line ends, UTF-8): the kind's selector text and
// the statistics range, the header of the marked columns 1..42, one line per active device.
std::string AllDevicesText(CBench& bench, StatKind kind, const std::string& kindText,
                           std::int64_t firstSecond, std::int64_t lastSecond);
// One cell of the all-devices page: the kind's value of the parameter in the table format.
// Current takes the newest record (zeros for an empty store).
std::string AllDevicesCell(const CMeasRecord& values, int param, int decimals);

// The debug window's scan of one store: a line per record whose GvEr is not 0 and a line per
// device reset (the cycle counter falls below the previous one while that was under 250 and
// the new one is above 10). Lines end with CR LF. Stops early when `stop` becomes true.
void ScanForErrors(CDeviceData& store, std::uint32_t address,
                   const std::function<void(const std::string&)>& out,
                   const std::atomic<bool>* stop = nullptr);

}  // namespace dravmer::ui
