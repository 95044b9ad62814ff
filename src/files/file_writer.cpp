#include <cstdio>
#include <cstring>
#include <fstream>

#include "files/file_format.h"
#include "measure/param_catalog.h"
#include "platform/cp1251.h"

namespace dravmer {

SFileOptions::SFileOptions() {
    for (int i = 0; i < CMeasRecord::kParamCount; ++i) {
        toFile[static_cast<std::size_t>(i)] = true;
        fileDecimals[static_cast<std::size_t>(i)] = DefaultFileDecimals(i);
        tableDecimals[static_cast<std::size_t>(i)] = DefaultTableDecimals(i);
    }
}

std::vector<int> SFileOptions::Columns() const {
    std::vector<int> columns;
    for (int i = 0; i < CMeasRecord::kParamCount; ++i)
        if (toFile[static_cast<std::size_t>(i)]) columns.push_back(i);
    return columns;
}

namespace {
void PutLe32(char* p, std::uint32_t v) {
    for (int k = 0; k < 4; ++k) p[k] = static_cast<char>((v >> (8 * k)) & 0xFF);
}
}  // namespace

std::string AdcHeader(const std::vector<int>& columns, std::uint8_t fwMajor, std::uint8_t fwMinor,
                      std::time_t startTime) {
    std::string h(kAdcHeaderSize, '\0');
    char text[64];
    std::snprintf(text, sizeof text, "%s Firmware version: %2.2d.%2.2d ;", kAdcSignature,
                  static_cast<int>(fwMajor), static_cast<int>(fwMinor));
    std::memcpy(h.data(), text, std::min<std::size_t>(std::strlen(text), 47));
    std::size_t c = std::min<std::size_t>(columns.size(), CMeasRecord::kParamCount);
    PutLe32(h.data() + 48, static_cast<std::uint32_t>(c));
    PutLe32(h.data() + 52, static_cast<std::uint32_t>(startTime));
    for (std::size_t k = 0; k < c; ++k) h[60 + k] = static_cast<char>(columns[k]);
    return h;
}

void AppendAdcRecord(std::string& out, const CMeasRecord& r, const std::vector<int>& columns) {
    double all[CMeasRecord::kParamCount];
    GetAllParams(r, all);
    for (int index : columns) {
        float f =
            static_cast<float>(index >= 0 && index < CMeasRecord::kParamCount ? all[index] : 0);
        std::uint32_t bits;
        std::memcpy(&bits, &f, 4);
        char b[4];
        PutLe32(b, bits);
        out.append(b, 4);
    }
}

std::string TxtHeader(int kg, int kr, double ky, const std::vector<int>& columns) {
    char first[128];
    std::snprintf(first, sizeof first, "KG=%d   KR=%d   Ky=%3f\r\n", kg, kr, ky);
    std::string names;
    for (int index : columns) names += FileHeaderCell(index);
    return first + Utf8ToCp1251(names) + "\r\n";
}

void AppendTxtRecord(std::string& out, const CMeasRecord& r, const std::vector<int>& columns,
                     const std::array<int, CMeasRecord::kParamCount>& decimals) {
    double all[CMeasRecord::kParamCount];
    GetAllParams(r, all);
    std::string line;
    for (int index : columns) {
        if (index < 0 || index >= CMeasRecord::kParamCount) continue;
        // The gap rule looks at the line being built, so build it apart from what precedes it.
        AppendFileValue(line, index, all[index], decimals[static_cast<std::size_t>(index)]);
    }
    out += line;
    out += "\r\n";
}

int SaveStoreAs(const CDeviceData& store, const std::string& path, bool text,
                const std::vector<int>& columns, const SFileOptions& options) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    if (!f) return -1;
    int count = store.GetCount();
    std::string buf;
    CMeasRecord first = store.GetSample(0);
    buf = text
              ? TxtHeader(first.kg, first.kr, options.ky, columns)
              : AdcHeader(columns, store.FirmwareMajor(), store.FirmwareMinor(), store.StartTime());
    std::vector<CMeasRecord> chunk(1024);
    for (int i = 0; i < count;) {
        int n = store.CopySamples(i, static_cast<int>(chunk.size()), chunk.data());
        if (n <= 0) break;
        for (int k = 0; k < n; ++k) {
            if (text)
                AppendTxtRecord(buf, chunk[static_cast<std::size_t>(k)], columns,
                                options.fileDecimals);
            else
                AppendAdcRecord(buf, chunk[static_cast<std::size_t>(k)], columns);
        }
        f.write(buf.data(), static_cast<std::streamsize>(buf.size()));
        buf.clear();
        i += n;
    }
    f.write(buf.data(), static_cast<std::streamsize>(buf.size()));
    f.close();
    return f ? 0 : -1;
}

}  // namespace dravmer
