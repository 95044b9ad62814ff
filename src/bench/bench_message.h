#pragma once
// What the engine tells the operator, as a code with its values; the front ends word it in the
// language of their run. Nothing keys on the worded text.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "link/port_settings.h"
#include "platform/language.h"

namespace dravmer {

enum class BenchMessage {
    EmptyDeviceList,  // the start has no device to poll
    KyZero,           // Ky = 0 would make every electrode value meaningless
    PollPeriodNotAbove0,
    FileNotOpened,     // device, code: the experiment file could not be opened
    FileWriteFailed,   // device, path: records stay in memory, the write is retried
    RecordsRescued,    // device, path (asked), other (where they went)
    RecordsUnsaved,    // device, count, path
    PollStillEnding,   // port: a poll thread of the last experiment has not ended
    PollNotStarted,    // port: a poll thread could not be started
    SearchNoOpenPort,  // ports: why each port is not open
    TooManyDevices,    // device, port, count (the limit)
};

struct SBenchMessage {
    SBenchMessage() = default;
    SBenchMessage(BenchMessage c) : code(c) {}  // NOLINT: a bare code is a whole message

    BenchMessage code = BenchMessage::EmptyDeviceList;
    std::uint32_t device = 0;
    int port = 0;  // 0-based; worded 1-based
    int count = 0;
    std::string path, other;
    std::vector<std::pair<int, SPortState>> ports;  // port (0-based) and its state
};

std::string WordMessage(const SBenchMessage& message, Language language = Language::Russian);

// A device search's progress: `code` of a port's search (1 the port's transit device is of the
// KESP family, 3 and 4 a device found; others say nothing) with the address in `value` and the
// devices found so far; port -1 with code 0 is the end, `found` the whole count. Empty when
// there is nothing to say.
std::string WordSearchProgress(int port, int code, std::uint32_t value, int found,
                               Language language);

// A step of saving the devices' parameters, as its report shows it.
enum class ParamsStep {
    Device,           // index (0-based) of total, device
    ReadingIdentity,  // the reads say what they start ...
    ReadingFlash,
    ReadingEeprom,
    ReadOk,  // ... and how they ended
    ReadFailed,
    Firmware,  // major, minor
    SavingFlash,
    SavingEeprom,
    File,       // path
    FileSaved,  // the file ends up written, or not
    FileFailed,
    End,  // failed: whether any step failed
};

struct SParamsReport {
    SParamsReport(ParamsStep s) : step(s) {}  // NOLINT: a bare step is a whole entry
    ParamsStep step;
    int index = 0, total = 0;
    std::uint32_t device = 0;
    int major = 0, minor = 0;
    std::string path;
    bool failed = false;
};

// The report's text of a step, with its own line ends (CR LF).
std::string WordParamsReport(const SParamsReport& entry, Language language);

}  // namespace dravmer
