#pragma once
// The folder of releases a file server serves: its plain files, their versions from the
// manifest versions.txt ("NAME MAJOR.MINOR" per line, 00.00 for a file without a line) and
// their SHA-256, published in each catalog entry.
#include <sys/stat.h>

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <future>
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
    // The catalog entry of a served file: name, version, SHA-256 of the content. The digest is
    // computed outside the folder's lock (a large release takes seconds, and other clients'
    // requests go on meanwhile), once per content: it is kept while the file keeps its size,
    // modification time and inode, and clients asking while it is computed wait for that one.
    std::optional<SCatalogEntry> CatalogEntry(const std::string& name, int fd);
    // Called before each block read while a digest is computed (tests hold a digest midway).
    void SetHashObserver(std::function<void(const std::string& name)> observer) {
        std::lock_guard lock(m_mutex);
        m_hashObserver = std::move(observer);
    }
    // Digests computed from file content since the start.
    int DigestsComputed() const { return m_digestsComputed.load(); }
    // A name the manifest can hold: a served name without a blank, not taken for a comment.
    static bool IsManifestName(const std::string& name);
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
    // What a kept digest belongs to: any change of the content changes one of these.
    struct SContentKey {
        std::int64_t size = -1;
        std::int64_t mtimeNs = 0;
        std::int64_t ctimeNs = 0;
        std::uint64_t inode = 0;
        bool operator==(const SContentKey&) const = default;
    };
    using DigestFuture = std::shared_future<std::optional<std::string>>;
    static SContentKey KeyOf(const struct stat& st);
    std::optional<std::string> Digest(const std::string& name, int fd, const struct stat& st);
    std::optional<std::string> ComputeDigest(const std::string& name, int fd);

    std::mutex m_mutex;  // the manifest, the kept digests and those being computed
    struct SDigest {
        SContentKey key;
        std::string hex;
    };
    std::map<std::string, SDigest> m_digests;
    struct SHashing {
        SContentKey key;
        DigestFuture result;
    };
    std::map<std::string, SHashing> m_hashing;
    std::function<void(const std::string&)> m_hashObserver;
    std::atomic<int> m_digestsComputed{0};
};

}  // namespace dravmer::fileserver
