#include "files/stats_report.h"

#include <cstdio>

#include "measure/param_catalog.h"

namespace dravmer {

namespace {
struct SRow {
    const char* label;
    const char* russian;  // the window's short names of the statistics
    StatKind kind;
    bool withRange;
};
constexpr SRow kRows[] = {
    {"averageE", "СрЧет", StatKind::AverageE, true},
    {"averageO", "СрНеч", StatKind::AverageO, true},
    {"average", "Среднее", StatKind::Average, false},
    {"min", "Мин", StatKind::Min, false},
    {"max", "Макс", StatKind::Max, false},
    {"delta  ", "Размах", StatKind::Delta, false},
    {"sigma  ", "СКО", StatKind::Sigma, false},
    {"noise  ", "Шум", StatKind::Noise, false},
    {"noise E", "ШумЧет", StatKind::NoiseE, false},
    {"noise O", "ШумНеч", StatKind::NoiseO, false},
};
constexpr StatKind kJsonKinds[] = {
    StatKind::AverageE, StatKind::AverageO, StatKind::Average, StatKind::Min,    StatKind::Max,
    StatKind::Delta,    StatKind::Sigma,    StatKind::Noise,   StatKind::NoiseE, StatKind::NoiseO};
}  // namespace

std::string StatisticsText(const CDeviceData& store,
                           const std::array<bool, CMeasRecord::kParamCount>& columns,
                           const std::array<int, CMeasRecord::kParamCount>& tableDecimals,
                           Language language) {
    SStatState st = store.GetStatState();
    const int first = static_cast<int>(st.firstSecond), last = static_cast<int>(st.lastSecond);
    char buf[128];
    std::snprintf(buf, sizeof buf, "(%d - %d)\t", first, last);
    std::string text = buf;
    for (int i = 3; i < CMeasRecord::kParamCount; ++i)
        if (columns[static_cast<std::size_t>(i)]) text.append(ParamNameTrimmed(i)).append("\t");
    text += "\r\n";
    for (const SRow& row : kRows) {
        const char* label = language == Language::English ? row.label : row.russian;
        if (row.withRange)
            std::snprintf(buf, sizeof buf, "%s (%d-%d)", label, first, last);
        else
            std::snprintf(buf, sizeof buf, "%s", label);
        text += buf;
        text += "\t";
        CMeasRecord values = store.GetStat(row.kind);
        for (int i = 3; i < CMeasRecord::kParamCount; ++i) {
            if (!columns[static_cast<std::size_t>(i)]) continue;
            text += FormatTableValue(i, GetParam(values, i),
                                     tableDecimals[static_cast<std::size_t>(i)]);
            text += "\t";
        }
        text += "\r\n";
    }
    text += "\r\n";
    return text;
}

nlohmann::json DeviceStatsJson(const CDeviceData& store, std::uint32_t address) {
    SStatState st = store.GetStatState();
    nlohmann::json j;
    j["address"] = address;
    j["records"] = store.GetCount();
    j["range"] = {st.firstSecond, st.lastSecond};
    j["n"] = st.n;
    j["nE"] = st.nE;
    j["nO"] = st.nO;
    j["range_mode"] = st.rangeMode;
    nlohmann::json stats = nlohmann::json::object();
    for (StatKind kind : kJsonKinds) {
        // The same record the table and the text show (GvEr as its byte).
        CMeasRecord values = store.GetStat(kind);
        nlohmann::json per = nlohmann::json::object();
        for (int i = 3; i < CMeasRecord::kParamCount; ++i)
            per[std::string(ParamNameTrimmed(i))] = GetParam(values, i);
        stats[std::string(StatKindName(kind))] = std::move(per);
    }
    j["stats"] = std::move(stats);
    return j;
}

}  // namespace dravmer
