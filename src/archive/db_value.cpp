#include <charconv>
#include <cmath>
#include <cstdlib>

#include "archive/db.h"

namespace dravmer::archive {

std::int64_t SDbValue::AsInt() const {
    switch (type) {
        case Type::Int: return i;
        case Type::Real: return static_cast<std::int64_t>(d);
        case Type::Text: return std::strtoll(s.c_str(), nullptr, 10);
        default: return 0;
    }
}

double SDbValue::AsReal() const {
    switch (type) {
        case Type::Int: return static_cast<double>(i);
        case Type::Real: return d;
        case Type::Text: return std::strtod(s.c_str(), nullptr);
        default: return std::nan("");
    }
}

std::string SDbValue::AsText() const {
    switch (type) {
        case Type::Int: return std::to_string(i);
        case Type::Real: {
            char buf[32];
            auto r = std::to_chars(buf, buf + sizeof buf, d);
            return std::string(buf, r.ptr);
        }
        case Type::Text:
        case Type::Blob: return s;
        default: return {};
    }
}

}  // namespace dravmer::archive
