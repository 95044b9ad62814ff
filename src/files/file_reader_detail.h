#pragma once
// Private to the readers of experiment files: what the binary and the text reader share.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "files/file_format.h"

#if defined(__SSE2__)
#include <xmmintrin.h>
#endif

namespace dravmer::reader_detail {

// "время" in Windows-1251.
inline constexpr char kTimeCp1251[] = "\xE2\xF0\xE5\xEC\xFF";

inline std::uint32_t GetLe32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}
std::string TitleOf(const std::string& path);
bool Report(const LoadProgressFn& progress, int percent);
// The integer parameters hold only what their fields can: a negative time, a cycle counter of
// 421 or a fraction of a second is no record of a bench, and storing it would wrap around.
inline bool FitsParam(int index, double v) {
    // Inside the range a value is whole when converting it to an integer and back keeps it.
    auto whole = [v] { return static_cast<double>(static_cast<std::int64_t>(v)) == v; };
    switch (index) {
        case 0: return v >= 0 && v <= 4294967295.0 && whole();
        case 1:
        case 15: return v >= 0 && v <= 255 && whole();
        case 2: return v >= 0 && v <= 65535 && whole();
        default: return true;
    }
}
// FitsParam of the four integer parameters of a binary record in catalogue order (время, Цикл,
// Cст and GvEr: values 0, 1, 2 and 15 of its floats), the four checked side by side.
inline bool CatalogueIntegersFit(const unsigned char* record) {
    float f[16];
    std::memcpy(f, record, sizeof f);
#if defined(__SSE2__)
    const __m128 v = _mm_setr_ps(f[0], f[1], f[2], f[15]);
    // Below 2^32, 256, 65536, 256: for a whole number that is at most 4294967295 (no float lies
    // between 4294967040 and 2^32), 255, 65535, 255.
    const __m128 below = _mm_cmplt_ps(v, _mm_setr_ps(4294967296.0f, 256.0f, 65536.0f, 256.0f));
    const __m128 notNegative = _mm_cmpge_ps(v, _mm_setzero_ps());
    // Whole: from 2^23 up every float is; below, adding and taking away 2^23 rounds to the
    // nearest whole number, which gives the value back only when it was one.
    const __m128 big = _mm_set1_ps(8388608.0f);
    const __m128 whole = _mm_or_ps(_mm_cmpge_ps(v, big),
                                   _mm_cmpeq_ps(_mm_sub_ps(_mm_add_ps(v, big), big), v));
    return _mm_movemask_ps(_mm_and_ps(_mm_and_ps(below, notNegative), whole)) == 0xF;
#else
    return FitsParam(0, f[0]) && FitsParam(1, f[1]) && FitsParam(2, f[2]) && FitsParam(15, f[15]);
#endif
}
int Percent(std::uint64_t done, std::uint64_t total);
int Fail(SLoadReport& report, std::string why);
// The file could not be opened or read: what the file system said goes into the report.
int FailFile(SLoadReport& report, const CInputFile& file, const std::string& path);
// The readers behind LoadAdcFile and LoadTxtFile; with `take` the records go to it instead of
// the store (StreamExperimentFile).
int ReadAdc(CDeviceData& store, const std::string& path, const LoadProgressFn& progress,
            SLoadReport& report, const RecordBatchFn* take);
int ReadTxt(CDeviceData& store, const std::string& path, const LoadProgressFn& progress,
            SLoadReport& report, const RecordBatchFn* take);
// The catalogue index of each column of a text file's header line (-1: not in the catalogue).
std::vector<int> ColumnMap(const std::string& line, int& unknown);

}  // namespace dravmer::reader_detail
