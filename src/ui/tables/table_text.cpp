#include "ui/tables/table_text.h"

#include <cstdio>

#include "measure/param_catalog.h"
#include "ui/qt_translations.h"

namespace dravmer::ui {

namespace {
std::string Printf(const char* fmt, auto... args) {
    char buf[256];
    std::snprintf(buf, sizeof buf, fmt, args...);
    return buf;
}
}  // namespace

ParamFlags TableSelection(const CExperimentSettings& settings) {
    ParamFlags flags{};
    for (int i = 0; i < kParamCount; ++i) flags[static_cast<std::size_t>(i)] = settings.ToTable(i);
    return flags;
}

std::vector<int> SelectedParams(const ParamFlags& flags, int first) {
    std::vector<int> out;
    for (int i = first < 0 ? 0 : first; i < kParamCount; ++i)
        if (flags[static_cast<std::size_t>(i)]) out.push_back(i);
    return out;
}

std::string GroupedAddress(std::uint32_t address) {
    std::string digits = std::to_string(address);
    std::string out;
    const std::size_t n = digits.size();
    for (std::size_t i = 0; i < n; ++i) {
        if (i > 0 && (n - i) % 3 == 0) out += ' ';
        out += digits[i];
    }
    return out;
}

std::string ReceivedShareText(double percent) { return Printf("%0.0f%%", percent); }

std::string AllDevicesCell(const CMeasRecord& values, int param, int decimals) {
    return FormatTableValue(param, GetParam(values, param), decimals);
}

std::string AllDevicesText(CBench& bench, StatKind kind, const std::string& kindText,
                           std::int64_t firstSecond, std::int64_t lastSecond) {
    const CExperimentSettings& s = bench.Settings();
    std::string text = "Параметр: " + kindText + "; " +
                       Printf("%lld - %lld", static_cast<long long>(firstSecond),
                              static_cast<long long>(lastSecond)) +
                       "\r\n";
    const std::vector<int> columns = SelectedParams(TableSelection(s), 1);
    text += "Прибор\t";
    for (int j : columns) text.append(ParamName(j)).append("\t");
    text += "\r\n";
    const auto active = bench.ActiveDevices();
    for (std::size_t d = 0; d < active.size() && d < bench.StoreCount(); ++d) {
        CMeasRecord values = bench.Data(d).GetStat(kind);
        text += Printf("%u\t", active[d].address);
        for (int j : columns) text += AllDevicesCell(values, j, s.TableDecimals(j)) + "\t";
        text += "\r\n";
    }
    return text;
}

void ScanForErrors(CDeviceData& store, std::uint32_t address,
                   const std::function<void(const std::string&)>& out,
                   const std::atomic<bool>* stop) {
    constexpr int kCycle = 1, kGvEr = 15;
    store.SetReadPosition(kCycle, 0);
    store.SetReadPosition(kGvEr, 0);
    out(Printf(UiLanguage() == Language::English ? "Device %u. Records: %d\r\n"
                                                 : "Прибор № %u. Количество записей: %d\r\n",
               address, store.GetCount()));
    int previous = 0;
    std::uint32_t second = 0, gvSecond = 0;
    double cycle = 0, gvEr = 0;
    while (!(stop && stop->load())) {
        if (store.GetNextValue(kGvEr, gvSecond, gvEr) != 0) break;
        if (store.GetNextValue(kCycle, second, cycle) != 0) break;
        if (gvEr != 0) out(Printf("GvErr=%g   Time=%d c\r\n", gvEr, static_cast<int>(gvSecond)));
        const int current = static_cast<std::uint8_t>(cycle);
        if (previous < 250 && current > 10 && current < previous)
            out(Printf("Reset event: %d-%d   Time=%d c\r\n", previous, current,
                       static_cast<int>(second)));
        previous = current;
    }
}

}  // namespace dravmer::ui
