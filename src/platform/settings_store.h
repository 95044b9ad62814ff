#pragma once
// Persistent settings by section and value name, the way the bench has always kept them:
// integers, strings and binary blobs. Front ends use the QSettings store; tests use the
// in-memory one. Every getter takes the default that a missing value gives.
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/language.h"

namespace dravmer {

using Bytes = std::vector<std::uint8_t>;

class ISettingsStore {
public:
    virtual ~ISettingsStore() = default;

    virtual int GetInt(const std::string& section, const std::string& name, int def) const = 0;
    virtual void SetInt(const std::string& section, const std::string& name, int value) = 0;
    virtual std::string GetString(const std::string& section, const std::string& name,
                                  const std::string& def) const = 0;
    virtual void SetString(const std::string& section, const std::string& name,
                           const std::string& value) = 0;
    virtual Bytes GetBinary(const std::string& section, const std::string& name) const = 0;
    virtual void SetBinary(const std::string& section, const std::string& name,
                           const Bytes& value) = 0;
    virtual bool Contains(const std::string& section, const std::string& name) const = 0;
    // Writes pending changes to the backing file, if there is one.
    virtual void Flush() {}
    // The text of the last failure to read or write the backing file (checked after every
    // write), in `language`; nullopt while all is well.
    virtual std::optional<std::string> Status(Language /*language*/ = Language::Russian) const {
        return std::nullopt;
    }
    // What the backing file held that could not be read (lines that do not parse), and what
    // was done to keep it; nullopt when there was nothing.
    virtual std::optional<std::string> LoadWarning(
        Language /*language*/ = Language::Russian) const {
        return std::nullopt;
    }
};

// Thread-safe in-memory store. Values keep the form they were written in; reading an integer
// that was stored as text converts it the way the C library does (malformed text gives 0).
class CMemorySettingsStore : public ISettingsStore {
public:
    int GetInt(const std::string& section, const std::string& name, int def) const override;
    void SetInt(const std::string& section, const std::string& name, int value) override;
    std::string GetString(const std::string& section, const std::string& name,
                          const std::string& def) const override;
    void SetString(const std::string& section, const std::string& name,
                   const std::string& value) override;
    Bytes GetBinary(const std::string& section, const std::string& name) const override;
    void SetBinary(const std::string& section, const std::string& name,
                   const Bytes& value) override;
    bool Contains(const std::string& section, const std::string& name) const override;

private:
    std::optional<std::string> Find(const std::string& section, const std::string& name) const;
    mutable std::mutex m_mutex;
    std::map<std::string, std::string> m_values;  // "Section/Name" -> raw value
};

// Hex text of a binary value ("0A1BFF"), and back; odd or non-hex input gives nullopt.
std::string BytesToHex(const Bytes& bytes);
std::optional<Bytes> HexToBytes(const std::string& text);

// The C library's conversions, as the bench has always parsed its stored texts:
// leading blanks skipped, the longest valid prefix taken, nothing valid gives 0.
int ParseCInt(const std::string& text);
unsigned ParseCUnsigned(const std::string& text);
double ParseCDouble(const std::string& text);

}  // namespace dravmer
