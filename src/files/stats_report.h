#pragma once
// What a store's statistics look like outside the program: the tab-separated statistics text
// that is copied to the clipboard, and the JSON object of one device (dravmer-cli stats/run).
#include <array>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>

#include "measure/device_data.h"
#include "platform/language.h"

namespace dravmer {

// UTF-8 text with CR LF line ends: the range line with the short names of the selected columns
// (indices 3..42 with toFile set), then ten lines averageE .. noise O, each value in the table
// format with its table decimals, every cell followed by a TAB, and a final empty line. The
// rows are named as above in English (the clipboard's text) and by the window's short names in
// Russian (СрЧет .. ШумНеч).
std::string StatisticsText(const CDeviceData& store,
                           const std::array<bool, CMeasRecord::kParamCount>& columns,
                           const std::array<int, CMeasRecord::kParamCount>& tableDecimals,
                           Language language = Language::English);

// {"address", "records", "range": [first, last], "n", "nE", "nO", "range_mode",
//  "stats": {statistic: {short name: value}}} for every parameter 3..42.
nlohmann::json DeviceStatsJson(const CDeviceData& store, std::uint32_t address);

}  // namespace dravmer
