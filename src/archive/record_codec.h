#pragma once
// The records of one device as one compact blob: the file's columns, column after column, each
// value as a 32-bit float when every value of the device is one exactly (what an .adc file
// holds) and as a 64-bit double otherwise (values read from text), the bytes split into planes
// and deflated. Decoding gives back every value bit for bit.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace dravmer::archive {

// Reads values first .. first+n-1 of one column (0-based, in the blob's column order) into out:
// the records stay where they are (a store, a row-after-row array) and go through the encoder
// a column at a time.
using ColumnReadFn = std::function<void(int column, int first, int n, double* out)>;

// values: count rows of `columns` values each, row after row.
// 4 when every value is a float exactly, else 8.
int ChooseValueWidth(const std::vector<double>& values);
int ChooseValueWidth(const ColumnReadFn& read, int count, int columns);
std::string EncodeRecords(const std::vector<double>& values, int columns, int width);
// The same from a reader, deflated as it goes: besides the blob it holds one run of values.
std::string EncodeRecords(const ColumnReadFn& read, int count, int columns, int width);
// False when the blob does not hold count × columns values of that width.
bool DecodeRecords(const std::string& blob, int count, int columns, int width,
                   std::vector<double>& values);

// The inflated planes of a blob, from which rows are taken a run at a time. The buffer is kept
// for the next blob.
struct SRecordPlanes {
    int count = 0, columns = 0, width = 0;
    // False when the blob does not hold count × columns values of that width.
    bool Inflate(const std::string& blob, int count, int columns, int width);
    // Rows first .. first+n-1, row after row (n × columns values).
    void Rows(int first, int n, double* out) const;
    // With width 4: the same rows as the little-endian bytes of their floats (4 × n × columns),
    // which is what a binary experiment file holds.
    void FloatRows(int first, int n, unsigned char* out) const;

private:
    const unsigned char* Bytes() const { return m_bytes.get(); }
    std::unique_ptr<unsigned char[]> m_bytes;
    std::size_t m_capacity = 0;
};

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
