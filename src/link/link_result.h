#pragma once
// Link result codes: 0 success, -1..-16 link failures, each with a short name (statistics
// columns) and a message (logs and the user interface).
#include <cstdint>
#include <string>

namespace dravmer {

inline constexpr int kLinkOk = 0;
inline constexpr int kLinkEmpty = -1;
inline constexpr int kLinkCrc = -2;
inline constexpr int kLinkLen = -3;
inline constexpr int kLinkTrRes08 = -4;
inline constexpr int kLinkTrRes09 = -5;
inline constexpr int kLinkTrRes0A = -6;
inline constexpr int kLinkTrRes0B = -7;
inline constexpr int kLinkTrRes0C = -8;
inline constexpr int kLinkNoLink = -9;
inline constexpr int kLinkCmdResult = -10;
inline constexpr int kLinkTrDevAdr = -11;
inline constexpr int kLinkTrCmd = -12;
inline constexpr int kLinkDevAdr = -13;
inline constexpr int kLinkCmd = -14;
inline constexpr int kLinkServerBusy = -15;
inline constexpr int kLinkInternalBusy = -16;
inline constexpr int kLinkResultCount = 16;

// Short names, index = -code - 1 ("Empty" .. "InternalBusy").
extern const char* const kLinkShortNames[kLinkResultCount];
// Messages for the user interface, index = -code - 1; no quote characters, no number for -10.
extern const char* const kLinkDisplayMessages[kLinkResultCount];

// The log message of a code, in its double-quote characters; -10 carries the device result.
// Empty for codes outside 0..-16.
std::string LinkResultText(int code, std::uint8_t deviceResult);

// Short name of a failure code, "" for codes outside -1..-16.
const char* LinkShortName(int code);

}  // namespace dravmer
