#include "archive/record_codec.h"

#include <zlib.h>

#include <cmath>
#include <cstring>

namespace dravmer::archive {

int ChooseValueWidth(const std::vector<double>& values) {
    for (double v : values) {
        float f = static_cast<float>(v);
        if (std::isnan(v)) {
            // A NaN keeps its payload only when the float carries it back unchanged.
            double back = static_cast<double>(f);
            if (std::memcmp(&back, &v, sizeof v) != 0) return 8;
        } else if (static_cast<double>(f) != v) {
            return 8;
        }
    }
    return 4;
}

std::string EncodeRecords(const std::vector<double>& values, int columns, int width) {
    const std::size_t c = static_cast<std::size_t>(columns);
    const std::size_t count = c ? values.size() / c : 0;
    const std::size_t w = static_cast<std::size_t>(width);
    // Plane b holds byte b of every value, column after column: the sign and exponent bytes of
    // a slowly changing signal repeat and deflate well.
    std::string planes(count * c * w, '\0');
    const std::size_t planeSize = count * c;
    std::size_t slot = 0;
    for (std::size_t j = 0; j < c; ++j) {
        for (std::size_t i = 0; i < count; ++i, ++slot) {
            unsigned char bytes[8];
            double v = values[i * c + j];
            if (w == 4) {
                float f = static_cast<float>(v);
                std::uint32_t u;
                std::memcpy(&u, &f, 4);
                for (int b = 0; b < 4; ++b) bytes[b] = static_cast<unsigned char>(u >> (8 * b));
            } else {
                std::uint64_t u;
                std::memcpy(&u, &v, 8);
                for (int b = 0; b < 8; ++b) bytes[b] = static_cast<unsigned char>(u >> (8 * b));
            }
            for (std::size_t b = 0; b < w; ++b)
                planes[b * planeSize + slot] = static_cast<char>(bytes[b]);
        }
    }
    uLongf bound = compressBound(static_cast<uLong>(planes.size()));
    std::string out(bound, '\0');
    if (compress2(reinterpret_cast<Bytef*>(out.data()), &bound,
                  reinterpret_cast<const Bytef*>(planes.data()), static_cast<uLong>(planes.size()),
                  Z_BEST_SPEED) != Z_OK)
        return {};
    out.resize(bound);
    return out;
}

bool DecodeRecords(const std::string& blob, int count, int columns, int width,
                   std::vector<double>& values) {
    if (count < 0 || columns < 0 || (width != 4 && width != 8)) return false;
    const std::size_t c = static_cast<std::size_t>(columns);
    const std::size_t n = static_cast<std::size_t>(count);
    const std::size_t w = static_cast<std::size_t>(width);
    const std::size_t planeSize = n * c;
    std::string planes(planeSize * w, '\0');
    uLongf len = static_cast<uLongf>(planes.size());
    if (planes.empty()) {
        values.clear();
        return true;
    }
    if (uncompress(reinterpret_cast<Bytef*>(planes.data()), &len,
                   reinterpret_cast<const Bytef*>(blob.data()),
                   static_cast<uLong>(blob.size())) != Z_OK ||
        len != planes.size())
        return false;
    values.assign(planeSize, 0.0);
    std::size_t slot = 0;
    for (std::size_t j = 0; j < c; ++j) {
        for (std::size_t i = 0; i < n; ++i, ++slot) {
            std::uint64_t u = 0;
            for (std::size_t b = 0; b < w; ++b)
                u |= static_cast<std::uint64_t>(static_cast<unsigned char>(
                         planes[b * planeSize + slot]))
                     << (8 * b);
            double v;
            if (w == 4) {
                std::uint32_t u32 = static_cast<std::uint32_t>(u);
                float f;
                std::memcpy(&f, &u32, 4);
                v = static_cast<double>(f);
            } else {
                std::memcpy(&v, &u, 8);
            }
            values[i * c + j] = v;
        }
    }
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
