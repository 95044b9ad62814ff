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

CExperimentFileWriter::CExperimentFileWriter(bool text, std::vector<int> columns,
                                             const SFileOptions& options, std::uint8_t fwMajor,
                                             std::uint8_t fwMinor, std::time_t startTime,
                                             Sink sink)
    : m_text(text),
      m_columns(std::move(columns)),
      m_options(options),
      m_fwMajor(fwMajor),
      m_fwMinor(fwMinor),
      m_startTime(startTime),
      m_sink(std::move(sink)) {}

bool CExperimentFileWriter::Header(const CMeasRecord& first) {
    m_headerDone = true;
    m_buffer += m_text ? TxtHeader(first.kg, first.kr, m_options.ky, m_columns)
                       : AdcHeader(m_columns, m_fwMajor, m_fwMinor, m_startTime);
    return true;
}

bool CExperimentFileWriter::Flush() {
    if (m_buffer.empty()) return true;
    const bool ok = m_sink(m_buffer);
    m_buffer.clear();
    return ok;
}

bool CExperimentFileWriter::Add(const CMeasRecord* records, int n) {
    if (n <= 0) return true;
    if (!m_headerDone) Header(records[0]);
    constexpr std::size_t kFlushBytes = 1 << 20;
    for (int k = 0; k < n; ++k) {
        if (m_text)
            AppendTxtRecord(m_buffer, records[k], m_columns, m_options.fileDecimals);
        else
            AppendAdcRecord(m_buffer, records[k], m_columns);
        if (m_buffer.size() >= kFlushBytes && !Flush()) return false;
    }
    m_records += n;
    return true;
}

bool CExperimentFileWriter::Finish() {
    if (!m_headerDone) Header(EmptyRecord());
    return Flush();
}

int SaveStoreAs(const CDeviceData& store, const std::string& path, bool text,
                const std::vector<int>& columns, const SFileOptions& options) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    if (!f) return -1;
    CExperimentFileWriter writer(text, columns, options, store.FirmwareMajor(),
                                 store.FirmwareMinor(), store.StartTime(),
                                 [&f](std::string_view bytes) {
                                     f.write(bytes.data(),
                                             static_cast<std::streamsize>(bytes.size()));
                                     return static_cast<bool>(f);
                                 });
    const int count = store.GetCount();
    std::vector<CMeasRecord> chunk(1024);
    for (int i = 0; i < count;) {
        const int n = store.CopySamples(i, static_cast<int>(chunk.size()), chunk.data());
        if (n <= 0) break;
        if (!writer.Add(chunk.data(), n)) return -1;
        i += n;
    }
    if (!writer.Finish()) return -1;
    f.close();
    return f ? 0 : -1;
}

}  // namespace dravmer
