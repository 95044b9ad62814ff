#include "measure/param_catalog.h"

#include <cstdio>

#include "measure/meas_record.h"

namespace dravmer {
namespace {

#include "measure/param_catalog_english.inc"
#include "measure/param_catalog_tables.inc"

bool Valid(int index) { return index >= 0 && index < CMeasRecord::kParamCount; }

std::string_view TrimRight(std::string_view s) {
    while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
    return s;
}

int ClampDecimals(int decimals) { return decimals < 0 ? 0 : (decimals > 10 ? 10 : decimals); }

}  // namespace

std::string_view ParamName(int index) { return Valid(index) ? kParams[index].name : ""; }
std::string_view ParamAlias(int index) { return Valid(index) ? kParams[index].alias : ""; }
std::string_view ParamUnit(int index) { return Valid(index) ? kParams[index].unit : ""; }
std::string_view ParamDescription(int index) {
    return Valid(index) ? kParams[index].description : "";
}
std::string_view ParamUnit(int index, Language language) {
    if (language == Language::Russian) return ParamUnit(index);
    return Valid(index) ? kParamsEnglish[index].unit : "";
}
std::string_view ParamDescription(int index, Language language) {
    if (language == Language::Russian) return ParamDescription(index);
    return Valid(index) ? kParamsEnglish[index].description : "";
}
std::string_view ParamNameTrimmed(int index) { return TrimRight(ParamName(index)); }

int FindParamByName(std::string_view trimmedName) {
    for (int i = 0; i < CMeasRecord::kParamCount; ++i)
        if (ParamNameTrimmed(i) == trimmedName) return i;
    return -1;
}

int FindParamByAlias(std::string_view alias) {
    for (int i = 0; i < CMeasRecord::kParamCount; ++i)
        if (kParams[i].alias == alias) return i;
    return -1;
}

int FindParam(std::string_view nameOrAlias) {
    const int byName = FindParamByName(nameOrAlias);
    return byName >= 0 ? byName : FindParamByAlias(nameOrAlias);
}

int DefaultTableDecimals(int index) {
    if (index <= param::kState) return 0;
    if (index <= param::kGi) return 3;
    if (index <= param::kP) return 6;
    return 3;
}

int DefaultFileDecimals(int index) { return index <= param::kState ? 0 : 6; }

std::string FormatTableValue(int index, double value, int decimals) {
    char buf[512];
    switch (index) {
        case param::kTime:
        case param::kCycle:
            std::snprintf(buf, sizeof buf, "%u", static_cast<unsigned>(value));
            break;
        case param::kState:
            std::snprintf(buf, sizeof buf, "%4.4X", static_cast<unsigned>(value));
            break;
        case param::kGvEr:
            std::snprintf(buf, sizeof buf, "%d", static_cast<int>(value));
            break;
        default:
            std::snprintf(buf, sizeof buf, "% .*f", ClampDecimals(decimals), value);
            break;
    }
    return buf;
}

std::size_t AppendFileValue(std::string& line, int index, double value, int decimals) {
    char buf[512];
    int n;
    // The integer parameters hold exact integers of their width (GetParam of a record), so the
    // casts below are exact.
    switch (index) {
        case param::kTime:
        case param::kCycle:
            n = std::snprintf(buf + 1, sizeof buf - 1, "%5u", static_cast<unsigned>(value));
            break;
        case param::kState:
            n = std::snprintf(buf + 1, sizeof buf - 1, "%5.4X", static_cast<unsigned>(value));
            break;
        case param::kGvEr:
            n = std::snprintf(buf + 1, sizeof buf - 1, "%5d", static_cast<int>(value));
            break;
        default:
            n = std::snprintf(buf + 1, sizeof buf - 1, "%12.*f", ClampDecimals(decimals), value);
            break;
    }
    if (n < 0) n = 0;
    if (n > static_cast<int>(sizeof buf) - 2) n = static_cast<int>(sizeof buf) - 2;
    const char* start = buf + 1;
    // A full-width cell would touch the previous column; the first column needs no gap.
    if (n > 0 && buf[1] != ' ' && !line.empty()) {
        buf[0] = ' ';
        start = buf;
        ++n;
    }
    line.append(start, static_cast<std::size_t>(n));
    return static_cast<std::size_t>(n);
}

std::string FileHeaderCell(int index) {
    std::string_view name = ParamNameTrimmed(index);
    int width = index <= param::kState ? 5 : 12;
    // Widths count characters; UTF-8 Cyrillic letters take two bytes each.
    int chars = 0;
    for (unsigned char c : name)
        if ((c & 0xC0) != 0x80) ++chars;
    std::string cell;
    if (chars < width) cell.assign(static_cast<std::size_t>(width - chars), ' ');
    cell.append(name);
    return cell;
}

}  // namespace dravmer
