#pragma once
// What the engine tells the operator, as a code with its values; the front ends word it in the
// language of their run. Nothing keys on the worded text.
#include <cstdint>
#include <string>

namespace dravmer {

enum class Language { Russian, English };

enum class BenchMessage {
    EmptyDeviceList,     // the start has no device to poll
    KyZero,              // Ky = 0 would make every electrode value meaningless
    PollPeriodNotAbove0,
    FileNotOpened,       // device, code: the experiment file could not be opened
    FileWriteFailed,     // device, path: records stay in memory, the write is retried
    RecordsRescued,      // device, path (asked), other (where they went)
    RecordsUnsaved,      // device, count, path
    PollStillEnding,     // port: a poll thread of the last experiment has not ended
    PollNotStarted,      // port: a poll thread could not be started
    SearchNoOpenPort,    // detail: why each port is not open
    TooManyDevices,      // device, port, count (the limit)
};

struct SBenchMessage {
    SBenchMessage() = default;
    SBenchMessage(BenchMessage c) : code(c) {}  // NOLINT: a bare code is a whole message

    BenchMessage code = BenchMessage::EmptyDeviceList;
    std::uint32_t device = 0;
    int port = 0;  // 0-based; worded 1-based
    int count = 0;
    std::string path, other, detail;
};

std::string WordMessage(const SBenchMessage& message, Language language = Language::Russian);

}  // namespace dravmer
