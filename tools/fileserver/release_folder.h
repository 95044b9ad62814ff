#pragma once
// The folder of releases a file server serves: its plain files, their versions from the
// manifest versions.txt ("NAME MAJOR.MINOR" per line, 00.00 for a file without a line) and
// their SHA-256, published in each catalog entry.
#include <cstdint>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "update/query_record.h"

namespace dravmer::fileserver {

inline constexpr char kManifestName[] = "versions.txt";

struct SVersion {
    int major = 0;
    int minor = 0;
};

// Parses a manifest; malformed lines, blank lines and lines starting with '#' are skipped.
std::map<std::string, SVersion> ParseManifest(const std::string& text);
std::string FormatManifest(const std::map<std::string, SVersion>& versions);

class CReleaseFolder {
public:
    explicit CReleaseFolder(std::filesystem::path root);
    ~CReleaseFolder();
    CReleaseFolder(const CReleaseFolder&) = delete;
    CReleaseFolder& operator=(const CReleaseFolder&) = delete;

    bool IsOpen() const { return m_rootFd >= 0; }
    const std::filesystem::path& Root() const { return m_root; }
    int RootFd() const { return m_rootFd; }

    // A name the server serves: plain, not hidden, not the manifest.
    static bool IsServedName(const std::string& name);
    // Opens a served file for reading (never following a symbolic link out of the folder):
    // the descriptor or -1.
    int OpenForReading(const std::string& name) const;
    // The catalog entry of a served file: name, version, SHA-256 of the content.
    std::optional<SCatalogEntry> CatalogEntry(const std::string& name, int fd);
    // Plain files of the folder, sorted by name.
    std::vector<SFileEntry> Files() const;
    std::vector<SCatalogEntry> Catalog();

    // Manifest edits: 0, or a result code (5 exists, 1 not found, 6 cannot write).
    int SetVersion(const std::string& name, SVersion version, bool mustBeNew);
    int RemoveVersion(const std::string& name);

private:
    std::map<std::string, SVersion> ReadManifest() const;
    bool WriteManifest(const std::map<std::string, SVersion>& versions);

    std::filesystem::path m_root;
    int m_rootFd = -1;
    std::mutex m_mutex;  // the manifest and the digest cache
    struct SDigest {
        std::int64_t size = -1;
        std::int64_t mtimeNs = 0;
        std::string hex;
    };
    std::map<std::string, SDigest> m_digests;
};

}  // namespace dravmer::fileserver
