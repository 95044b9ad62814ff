#include "platform/settings_store.h"

#include <cstdlib>

namespace dravmer {

namespace {
std::string Key(const std::string& section, const std::string& name) {
    return section + "/" + name;
}
}  // namespace

std::optional<std::string> CMemorySettingsStore::Find(const std::string& section,
                                                      const std::string& name) const {
    std::lock_guard lock(m_mutex);
    auto it = m_values.find(Key(section, name));
    if (it == m_values.end()) return std::nullopt;
    return it->second;
}

int CMemorySettingsStore::GetInt(const std::string& section, const std::string& name,
                                 int def) const {
    auto v = Find(section, name);
    return v ? ParseCInt(*v) : def;
}

void CMemorySettingsStore::SetInt(const std::string& section, const std::string& name,
                                  int value) {
    std::lock_guard lock(m_mutex);
    m_values[Key(section, name)] = std::to_string(value);
}

std::string CMemorySettingsStore::GetString(const std::string& section, const std::string& name,
                                            const std::string& def) const {
    auto v = Find(section, name);
    return v ? *v : def;
}

void CMemorySettingsStore::SetString(const std::string& section, const std::string& name,
                                     const std::string& value) {
    std::lock_guard lock(m_mutex);
    m_values[Key(section, name)] = value;
}

Bytes CMemorySettingsStore::GetBinary(const std::string& section, const std::string& name) const {
    auto v = Find(section, name);
    if (!v) return {};
    return Bytes(v->begin(), v->end());
}

void CMemorySettingsStore::SetBinary(const std::string& section, const std::string& name,
                                     const Bytes& value) {
    std::lock_guard lock(m_mutex);
    m_values[Key(section, name)] = std::string(value.begin(), value.end());
}

bool CMemorySettingsStore::Contains(const std::string& section, const std::string& name) const {
    return Find(section, name).has_value();
}

std::string BytesToHex(const Bytes& bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(bytes.size() * 2);
    for (auto b : bytes) {
        out.push_back(digits[b >> 4]);
        out.push_back(digits[b & 15]);
    }
    return out;
}

std::optional<Bytes> HexToBytes(const std::string& text) {
    if (text.size() % 2 != 0) return std::nullopt;
    auto nibble = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    Bytes out;
    for (size_t i = 0; i < text.size(); i += 2) {
        int hi = nibble(text[i]), lo = nibble(text[i + 1]);
        if (hi < 0 || lo < 0) return std::nullopt;
        out.push_back(static_cast<std::uint8_t>(hi * 16 + lo));
    }
    return out;
}

int ParseCInt(const std::string& text) { return std::atoi(text.c_str()); }

unsigned ParseCUnsigned(const std::string& text) {
    // strtoul accepts a leading minus and wraps, as the old parser did; addresses beyond
    // 32 bits are cut to their low word like the 32-bit conversion always did.
    return static_cast<unsigned>(std::strtoul(text.c_str(), nullptr, 10));
}

double ParseCDouble(const std::string& text) { return std::strtod(text.c_str(), nullptr); }

}  // namespace dravmer
