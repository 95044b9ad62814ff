#pragma once
// The records of one device as one compact blob: the file's columns, column after column, each
// value as a 32-bit float when every value of the device is one exactly (what an .adc file
// holds) and as a 64-bit double otherwise (values read from text), the bytes split into planes
// and deflated. Decoding gives back every value bit for bit.
#include <cstdint>
#include <string>
#include <vector>

namespace dravmer::archive {

// values: count rows of `columns` values each, row after row.
// 4 when every value is a float exactly, else 8.
int ChooseValueWidth(const std::vector<double>& values);
std::string EncodeRecords(const std::vector<double>& values, int columns, int width);
// False when the blob does not hold count × columns values of that width.
bool DecodeRecords(const std::string& blob, int count, int columns, int width,
                   std::vector<double>& values);

// 64-bit FNV-1a, the building block of the experiment fingerprint.
class CFnv64 {
public:
    void Add(const void* data, std::size_t size);
    void AddU64(std::uint64_t v) { Add(&v, sizeof v); }
    void AddText(const std::string& s) {
        AddU64(s.size());
        Add(s.data(), s.size());
    }
    std::uint64_t Value() const { return m_hash; }

private:
    std::uint64_t m_hash = 14695981039346656037ull;
};

}  // namespace dravmer::archive
