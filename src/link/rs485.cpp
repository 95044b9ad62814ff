#include "link/rs485.h"

#include "link/port_settings.h"
#include "platform/perf_timer.h"

namespace dravmer {

namespace {

void SpinUntilUs(const CPerfTimer& timer, double us) {
    while (static_cast<double>(timer.GetElapsedUs()) < us) {
    }
}

}  // namespace

double Rs485ByteTimeUs(int baud) { return baud > 0 ? 1e7 / baud * 1.02 : 0.0; }

void SetRs485Direction(ISerialLine& line, int comType, bool transmit) {
    // The level that means "transmit" for each discipline; receive is the opposite.
    switch (comType) {
        case kComRs485DtrLow:
            line.SetDtr(!transmit);
            break;
        case kComRs485RtsLow:
            line.SetRts(!transmit);
            break;
        case kComRs485RtsHi:
            line.SetRts(transmit);
            break;
        default:
            break;
    }
}

bool WriteRs485(ISerialLine& line, int comType, const std::uint8_t* data, int length,
                double usPerByte) {
    SetRs485Direction(line, comType, true);
    CPerfTimer timer;
    const bool written = line.Write(data, length);
    // Releasing before the last stop bit would cut the frame; after it, the reply would be lost.
    SpinUntilUs(timer, length * usPerByte + 75.0);
    SetRs485Direction(line, comType, false);
    return written;
}

double CalibrateRs485ByteTimeUs(ISerialLine& line, int baud) {
    if (baud <= 0) return 0.0;
    const double expected = 4e7 / baud;  // 4 bytes of 10 bits, in microseconds
    const double giveUpUs = expected * 20 + 50000.0;
    const std::uint8_t pattern[4] = {0xFF, 0x00, 0x00, 0x00};
    // The direction switch must follow the line's pace, so the calibration writes on its own.
    if (!line.Write(pattern, 4)) return Rs485ByteTimeUs(baud);
    CPerfTimer sinceEmpty;
    double sum = 0.0;
    int kept = 0;
    for (int i = 0; i < 100; ++i) {
        if (!line.Write(pattern, 4)) break;
        CPerfTimer spin;
        while (line.OutputQueue() > 0) {
            if (spin.GetElapsedUs() > giveUpUs) return Rs485ByteTimeUs(baud);
        }
        const double us = static_cast<double>(sinceEmpty.GetElapsedUs());
        sinceEmpty.Restart();
        if (us > expected * 0.95 && us < expected * 1.05) {
            sum += us;
            ++kept;
        }
    }
    if (kept == 0) return Rs485ByteTimeUs(baud);
    return sum / (kept * 4) * 1.02;
}

}  // namespace dravmer
