#pragma once
// Private to the store: a block of kPageRecords records laid out by column, the form full blocks
// take in the page file, and the block's summary for recomputes over long ranges.
//
// A column holds one field of every record of the block: the time, the four byte fields, the
// state word and the 39 doubles in catalogue order. The graph and the statistics read one
// parameter through many records; by column that is a contiguous run instead of one value in
// every 336 bytes. The block is a whole number of memory pages (322), as the page file wants.
#include <cstddef>
#include <cstdint>

#include "measure/meas_record.h"

namespace dravmer::pages {

inline constexpr int kRecords = 4096;
inline constexpr std::size_t kB = kRecords;
inline constexpr std::size_t kTimeAt = 0;                // u32 per record
inline constexpr std::size_t kCycleAt = kTimeAt + 4 * kB;  // the four byte fields
inline constexpr std::size_t kKgAt = kCycleAt + kB;
inline constexpr std::size_t kKrAt = kKgAt + kB;
inline constexpr std::size_t kGvErAt = kKrAt + kB;
inline constexpr std::size_t kStateAt = kGvErAt + kB;     // u16 per record
inline constexpr std::size_t kDoublesAt = kStateAt + 2 * kB;
inline constexpr int kDoubleColumns = 39;
inline constexpr std::size_t kBlockBytes = kDoublesAt + sizeof(double) * kB * kDoubleColumns;
static_assert(kBlockBytes % 4096 == 0, "a block is a whole number of pages");

// The statistics parameters (UG on, GvEr among them), as one row of the summary.
inline constexpr int kStatParams = kParamCount - kStatFirstParam;

// Column of a double parameter, -1 for the integer ones and indices outside the catalogue.
int DoubleColumn(int param);

// Lays out kRecords records (stored order) by column into `out` (kBlockBytes).
void Encode(const CMeasRecord* records, unsigned char* out);
// Record `offset` of an encoded block, with its position set to `position`.
void Decode(const unsigned char* block, int offset, int position, CMeasRecord& out);

inline std::uint32_t TimeOf(const unsigned char* block, int offset) {
    std::uint32_t t;
    __builtin_memcpy(&t, block + kTimeAt + 4 * static_cast<std::size_t>(offset), 4);
    return t;
}
inline std::uint8_t CycleOf(const unsigned char* block, int offset) {
    return block[kCycleAt + static_cast<std::size_t>(offset)];
}
inline const double* DoublesOf(const unsigned char* block, int column) {
    return reinterpret_cast<const double*>(block + kDoublesAt +
                                           sizeof(double) * kB * static_cast<std::size_t>(column));
}
// One parameter of record `offset`, as GetParam gives it.
double ParamOf(const unsigned char* block, int offset, int param);
// The statistics parameters of record `offset`: out[p] for p = kStatFirstParam..42.
void StatParamsOf(const unsigned char* block, int offset, double* out);

// What a recompute needs of a whole block to take it in one step: per statistics parameter the
// sums, the extremes, the squared steps between neighbours and between neighbours of one parity
// inside the block, and the values at its ends that join it to what comes before and after.
struct SBlockSum {
    int nE = 0, nO = 0;
    std::uint64_t hasExtremes = 0;  // bit k: parameter k has a value that is not NaN
    double sum[kStatParams], sumSq[kStatParams], sumE[kStatParams], sumO[kStatParams];
    double min[kStatParams], max[kStatParams];  // over the values that are not NaN
    double noise[kStatParams], noiseE[kStatParams], noiseO[kStatParams];
    double first[kStatParams], last[kStatParams];
    double firstE[kStatParams], lastE[kStatParams], firstO[kStatParams], lastO[kStatParams];
};

void Summarize(const unsigned char* block, SBlockSum& out);

}  // namespace dravmer::pages
