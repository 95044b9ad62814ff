#include "archive/record_codec.h"

#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace dravmer::archive {

namespace {

bool IsFloat(double v) {
    const float f = static_cast<float>(v);
    if (std::isnan(v)) {
        // A NaN keeps its payload only when the float carries it back unchanged.
        const double back = static_cast<double>(f);
        return std::memcmp(&back, &v, sizeof v) == 0;
    }
    return static_cast<double>(f) == v;
}

constexpr int kRun = 4096;  // values per column read

}  // namespace

int ChooseValueWidth(const std::vector<double>& values) {
    for (double v : values)
        if (!IsFloat(v)) return 8;
    return 4;
}

int ChooseValueWidth(const ColumnReadFn& read, int count, int columns) {
    std::vector<double> run(kRun);
    for (int j = 0; j < columns; ++j)
        for (int first = 0; first < count; first += kRun) {
            const int n = std::min(kRun, count - first);
            read(j, first, n, run.data());
            for (int i = 0; i < n; ++i)
                if (!IsFloat(run[static_cast<std::size_t>(i)])) return 8;
        }
    return 4;
}

std::string EncodeRecords(const std::vector<double>& values, int columns, int width) {
    const std::size_t c = static_cast<std::size_t>(columns);
    const int count = c ? static_cast<int>(values.size() / c) : 0;
    return EncodeRecords(
        [&](int column, int first, int n, double* out) {
            for (int i = 0; i < n; ++i)
                out[i] = values[static_cast<std::size_t>(first + i) * c + static_cast<std::size_t>(column)];
        },
        count, columns, width);
}

// Plane b holds byte b of every value, column after column: the sign and exponent bytes of a
// slowly changing signal repeat and deflate well. The planes are made and deflated a run at a
// time, so one column is read once per plane.
std::string EncodeRecords(const ColumnReadFn& read, int count, int columns, int width) {
    z_stream z{};
    if (deflateInit(&z, Z_BEST_SPEED) != Z_OK) return {};
    std::string out;
    // Room for the largest the blob can get, taken at once: the pages it never fills are never
    // touched, and the blob is not copied while it grows.
    out.reserve(deflateBound(&z, static_cast<uLong>(count) * static_cast<uLong>(columns) *
                                     static_cast<uLong>(width)));
    std::vector<double> run(kRun);
    std::vector<unsigned char> bytes(kRun);
    unsigned char buffer[1 << 16];
    auto pump = [&](const unsigned char* data, std::size_t size, int flush) {
        z.next_in = const_cast<unsigned char*>(data);
        z.avail_in = static_cast<uInt>(size);
        do {
            z.next_out = buffer;
            z.avail_out = sizeof buffer;
            if (deflate(&z, flush) == Z_STREAM_ERROR) return false;
            out.append(reinterpret_cast<char*>(buffer), sizeof buffer - z.avail_out);
        } while (z.avail_out == 0);
        return true;
    };
    bool ok = true;
    for (int b = 0; b < width && ok; ++b)
        for (int j = 0; j < columns && ok; ++j)
            for (int first = 0; first < count && ok; first += kRun) {
                const int n = std::min(kRun, count - first);
                read(j, first, n, run.data());
                for (int i = 0; i < n; ++i) {
                    const double v = run[static_cast<std::size_t>(i)];
                    std::uint64_t u;
                    if (width == 4) {
                        const float f = static_cast<float>(v);
                        std::uint32_t u32;
                        std::memcpy(&u32, &f, 4);
                        u = u32;
                    } else {
                        std::memcpy(&u, &v, 8);
                    }
                    bytes[static_cast<std::size_t>(i)] = static_cast<unsigned char>(u >> (8 * b));
                }
                ok = pump(bytes.data(), static_cast<std::size_t>(n), Z_NO_FLUSH);
            }
    ok = ok && pump(nullptr, 0, Z_FINISH);
    deflateEnd(&z);
    return ok ? out : std::string();
}

bool SRecordPlanes::Inflate(const std::string& blob, int n, int c, int w) {
    count = columns = width = 0;
    if (n < 0 || c < 0 || (w != 4 && w != 8)) return false;
    const std::size_t size = static_cast<std::size_t>(n) * static_cast<std::size_t>(c) *
                             static_cast<std::size_t>(w);
    if (size > 0) {
        // Every byte is written by the inflation: no need to clear a buffer first.
        if (size > m_capacity) {
            m_bytes.reset(new unsigned char[size]);
            m_capacity = size;
        }
        // The same zlib stream, checksum and all, inflated in a fraction of zlib's time.
        static thread_local std::unique_ptr<libdeflate_decompressor,
                                            decltype(&libdeflate_free_decompressor)>
            inflater(libdeflate_alloc_decompressor(), &libdeflate_free_decompressor);
        if (!inflater) return false;
        std::size_t len = 0;
        if (libdeflate_zlib_decompress(inflater.get(), blob.data(), blob.size(), m_bytes.get(),
                                       size, &len) != LIBDEFLATE_SUCCESS ||
            len != size)
            return false;
    }
    count = n;
    columns = c;
    width = w;
    return true;
}

void SRecordPlanes::Rows(int first, int n, double* out) const {
    const std::size_t planeSize = static_cast<std::size_t>(count) * static_cast<std::size_t>(columns);
    const std::size_t c = static_cast<std::size_t>(columns);
    const unsigned char* bytes = Bytes();
    for (std::size_t j = 0; j < c; ++j) {
        const std::size_t at = j * static_cast<std::size_t>(count) + static_cast<std::size_t>(first);
        if (width == 4) {
            const unsigned char* p0 = bytes + at;
            const unsigned char* p1 = p0 + planeSize;
            const unsigned char* p2 = p1 + planeSize;
            const unsigned char* p3 = p2 + planeSize;
            for (int i = 0; i < n; ++i) {
                const std::uint32_t u = static_cast<std::uint32_t>(p0[i]) |
                                        static_cast<std::uint32_t>(p1[i]) << 8 |
                                        static_cast<std::uint32_t>(p2[i]) << 16 |
                                        static_cast<std::uint32_t>(p3[i]) << 24;
                float f;
                std::memcpy(&f, &u, 4);
                out[static_cast<std::size_t>(i) * c + j] = static_cast<double>(f);
            }
        } else {
            for (int i = 0; i < n; ++i) {
                std::uint64_t u = 0;
                for (int b = 0; b < 8; ++b)
                    u |= static_cast<std::uint64_t>(
                             bytes[static_cast<std::size_t>(b) * planeSize + at + static_cast<std::size_t>(i)])
                         << (8 * b);
                double v;
                std::memcpy(&v, &u, 8);
                out[static_cast<std::size_t>(i) * c + j] = v;
            }
        }
    }
}

void SRecordPlanes::FloatRows(int first, int n, unsigned char* out) const {
    const std::size_t planeSize = static_cast<std::size_t>(count) * static_cast<std::size_t>(columns);
    const std::size_t c = static_cast<std::size_t>(columns);
    const unsigned char* bytes = Bytes() + static_cast<std::size_t>(first);
    // In tiles of rows: the floats of every column of the tile are put together from their
    // four planes, then written out row after row.
    constexpr int kTile = 64;
    std::vector<std::uint32_t> floats(c * kTile);
    for (int t = 0; t < n; t += kTile) {
        const int rows = std::min(kTile, n - t);
        for (std::size_t j = 0; j < c; ++j) {
            const unsigned char* p0 = bytes + j * static_cast<std::size_t>(count) + static_cast<std::size_t>(t);
            const unsigned char* p1 = p0 + planeSize;
            const unsigned char* p2 = p1 + planeSize;
            const unsigned char* p3 = p2 + planeSize;
            std::uint32_t* tile = floats.data() + j * kTile;
            int i = 0;
#if defined(__SSE2__)
            // Sixteen rows at a time: the four bytes of each float side by side.
            for (; i + 16 <= rows; i += 16) {
                const __m128i b0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p0 + i));
                const __m128i b1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p1 + i));
                const __m128i b2 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p2 + i));
                const __m128i b3 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p3 + i));
                const __m128i lo01 = _mm_unpacklo_epi8(b0, b1), hi01 = _mm_unpackhi_epi8(b0, b1);
                const __m128i lo23 = _mm_unpacklo_epi8(b2, b3), hi23 = _mm_unpackhi_epi8(b2, b3);
                auto* to = reinterpret_cast<__m128i*>(tile + i);
                _mm_storeu_si128(to + 0, _mm_unpacklo_epi16(lo01, lo23));
                _mm_storeu_si128(to + 1, _mm_unpackhi_epi16(lo01, lo23));
                _mm_storeu_si128(to + 2, _mm_unpacklo_epi16(hi01, hi23));
                _mm_storeu_si128(to + 3, _mm_unpackhi_epi16(hi01, hi23));
            }
#endif
            for (; i < rows; ++i)
                tile[i] = static_cast<std::uint32_t>(p0[i]) | static_cast<std::uint32_t>(p1[i]) << 8 |
                          static_cast<std::uint32_t>(p2[i]) << 16 |
                          static_cast<std::uint32_t>(p3[i]) << 24;
        }
        unsigned char* cell = out + static_cast<std::size_t>(t) * c * 4;
        for (int k = 0; k < rows; ++k)
            for (std::size_t j = 0; j < c; ++j, cell += 4) {
                // Little-endian bytes whatever the machine's order.
                const std::uint32_t u = floats[j * kTile + static_cast<std::size_t>(k)];
                if constexpr (std::endian::native == std::endian::little) {
                    std::memcpy(cell, &u, 4);
                } else {
                    cell[0] = static_cast<unsigned char>(u);
                    cell[1] = static_cast<unsigned char>(u >> 8);
                    cell[2] = static_cast<unsigned char>(u >> 16);
                    cell[3] = static_cast<unsigned char>(u >> 24);
                }
            }
    }
}

bool DecodeRecords(const std::string& blob, int count, int columns, int width,
                   std::vector<double>& values) {
    SRecordPlanes planes;
    if (!planes.Inflate(blob, count, columns, width)) return false;
    values.assign(static_cast<std::size_t>(count) * static_cast<std::size_t>(columns), 0.0);
    if (!values.empty()) planes.Rows(0, count, values.data());
    return true;
}

void CFnv64::Add(const void* data, std::size_t size) {
    auto* p = static_cast<const unsigned char*>(data);
    for (std::size_t k = 0; k < size; ++k) {
        m_hash ^= p[k];
        m_hash *= 1099511628211ull;
    }
}

}  // namespace dravmer::archive
