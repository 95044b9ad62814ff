#include "fileserver/release_folder.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sstream>

#include "platform/worker_thread.h"
#include "update/sha256.h"

namespace dravmer::fileserver {

namespace fs = std::filesystem;

std::map<std::string, SVersion> ParseManifest(const std::string& text) {
    std::map<std::string, SVersion> versions;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::istringstream fields(line);
        std::string name, version, extra;
        if (!(fields >> name >> version) || (fields >> extra) || name[0] == '#') continue;
        const std::size_t dot = version.find('.');
        if (dot == std::string::npos || dot == 0 || dot + 1 >= version.size() ||
            version.find_first_not_of("0123456789.") != std::string::npos ||
            version.find('.', dot + 1) != std::string::npos || version.size() > 7) {
            continue;
        }
        const int major = std::stoi(version.substr(0, dot));
        const int minor = std::stoi(version.substr(dot + 1));
        if (major > 255 || minor > 255) continue;
        versions[name] = SVersion{major, minor};
    }
    return versions;
}

std::string FormatManifest(const std::map<std::string, SVersion>& versions) {
    std::string text;
    char line[200];
    for (const auto& [name, v] : versions) {
        std::snprintf(line, sizeof line, " %2.2d.%2.2d\n", v.major, v.minor);
        text += name + line;
    }
    return text;
}

CReleaseFolder::CReleaseFolder(fs::path root) : m_root(std::move(root)) {
    m_rootFd = ::open(m_root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

CReleaseFolder::~CReleaseFolder() {
    if (m_rootFd >= 0) ::close(m_rootFd);
}

bool CReleaseFolder::IsServedName(const std::string& name) {
    return IsPlainFileName(name) && name != kManifestName;
}

bool CReleaseFolder::IsManifestName(const std::string& name) {
    // The manifest splits its lines at blanks and skips those that start with '#': such a name
    // would be written and then never read back.
    return IsServedName(name) && name.find(' ') == std::string::npos && name[0] != '#';
}

int CReleaseFolder::OpenForReading(const std::string& name) const {
    if (!IsServedName(name)) return -1;
    const int fd = ::openat(m_rootFd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return -1;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > 0x7FFFFFFF) {
        ::close(fd);
        return -1;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

std::map<std::string, SVersion> CReleaseFolder::ReadManifest() const {
    const int fd = ::openat(m_rootFd, kManifestName, O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return {};
    std::string text;
    char buffer[4096];
    ssize_t n;
    while ((n = ::read(fd, buffer, sizeof buffer)) > 0 && text.size() < (1u << 20)) {
        text.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return ParseManifest(text);
}

bool CReleaseFolder::WriteManifest(const std::map<std::string, SVersion>& versions) {
    const std::string text = FormatManifest(versions);
    const std::string part = std::string(".") + kManifestName + ".part";
    const int fd = ::openat(m_rootFd, part.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    const bool ok = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size()) &&
                    ::fsync(fd) == 0;
    ::close(fd);
    if (!ok || ::renameat(m_rootFd, part.c_str(), m_rootFd, kManifestName) != 0) {
        ::unlinkat(m_rootFd, part.c_str(), 0);
        return false;
    }
    return true;
}

CReleaseFolder::SContentKey CReleaseFolder::KeyOf(const struct stat& st) {
    SContentKey key;
    key.size = st.st_size;
    key.mtimeNs = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    key.ctimeNs = static_cast<std::int64_t>(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec;
    key.inode = st.st_ino;
    return key;
}

std::optional<std::string> CReleaseFolder::ComputeDigest(const std::string& name, int fd) {
    ++m_digestsComputed;
    std::function<void(const std::string&)> observer;
    {
        std::lock_guard lock(m_mutex);
        observer = m_hashObserver;
    }
    CSha256 sha;
    std::vector<char> block(1 << 16);
    off_t at = 0;
    for (;;) {
        if (observer) observer(name);
        // A server that stops does not finish a digest nobody will read.
        if (CWorkerThread::CurrentStopRequested()) return std::nullopt;
        const ssize_t n = ::pread(fd, block.data(), block.size(), at);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return std::nullopt;
        if (n == 0) break;
        sha.Add(block.data(), static_cast<std::size_t>(n));
        at += n;
    }
    return sha.FinishHex();
}

std::optional<std::string> CReleaseFolder::Digest(const std::string& name, int fd,
                                                  const struct stat& st) {
    const SContentKey key = KeyOf(st);
    std::promise<std::optional<std::string>> mine;
    DigestFuture result;
    bool computing = false;
    {
        std::lock_guard lock(m_mutex);
        if (const auto kept = m_digests.find(name);
            kept != m_digests.end() && kept->second.key == key) {
            return kept->second.hex;
        }
        const auto running = m_hashing.find(name);
        if (running != m_hashing.end() && running->second.key == key) {
            result = running->second.result;
        } else {
            result = mine.get_future().share();
            m_hashing[name] = SHashing{key, result};
            computing = true;
        }
    }
    if (!computing) {
        // Another client computes this very content: wait for it, but not past a stop.
        while (result.wait_for(std::chrono::milliseconds(100)) != std::future_status::ready) {
            if (CWorkerThread::CurrentStopRequested()) return std::nullopt;
        }
        return result.get();
    }
    std::optional<std::string> hex = ComputeDigest(name, fd);
    struct stat after {};
    // A file written to while it was read has no digest worth keeping.
    const bool unchanged = ::fstat(fd, &after) == 0 && KeyOf(after) == key;
    {
        std::lock_guard lock(m_mutex);
        if (hex && unchanged) m_digests[name] = SDigest{key, *hex};
        if (const auto running = m_hashing.find(name);
            running != m_hashing.end() && running->second.key == key) {
            m_hashing.erase(running);
        }
    }
    mine.set_value(hex);
    return hex;
}

std::optional<SCatalogEntry> CReleaseFolder::CatalogEntry(const std::string& name, int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    SCatalogEntry entry;
    const std::string description = "Dravmer release " + name;
    std::memcpy(entry.text, description.data(), std::min<std::size_t>(description.size(), 127));
    entry.SetName(name);
    {
        std::lock_guard lock(m_mutex);
        const auto versions = ReadManifest();
        if (const auto v = versions.find(name); v != versions.end()) {
            entry.major = static_cast<std::uint8_t>(v->second.major);
            entry.minor = static_cast<std::uint8_t>(v->second.minor);
        }
    }
    const auto hex = Digest(name, fd, st);
    if (!hex) return std::nullopt;
    entry.SetSha256(*hex);
    return entry;
}

std::vector<SFileEntry> CReleaseFolder::Files() const {
    std::vector<SFileEntry> files;
    const int fd = ::dup(m_rootFd);
    if (fd < 0) return files;
    DIR* dir = ::fdopendir(fd);
    if (!dir) {
        ::close(fd);
        return files;
    }
    ::rewinddir(dir);
    while (const dirent* e = ::readdir(dir)) {
        const std::string name = e->d_name;
        if (!IsServedName(name)) continue;
        struct stat st {};
        if (::fstatat(m_rootFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISREG(st.st_mode) || st.st_size > 0x7FFFFFFF) {
            continue;
        }
        SFileEntry f;
        f.name = name;
        f.size = static_cast<std::int32_t>(st.st_size);
        f.created = static_cast<std::uint32_t>(st.st_ctime);
        f.modified = static_cast<std::uint32_t>(st.st_mtime);
        files.push_back(f);
    }
    ::closedir(dir);
    std::sort(files.begin(), files.end(),
              [](const SFileEntry& a, const SFileEntry& b) { return a.name < b.name; });
    return files;
}

std::vector<SCatalogEntry> CReleaseFolder::Catalog() {
    std::vector<SCatalogEntry> catalog;
    for (const SFileEntry& f : Files()) {
        const int fd = OpenForReading(f.name);
        if (fd < 0) continue;
        if (auto entry = CatalogEntry(f.name, fd)) catalog.push_back(*entry);
        ::close(fd);
    }
    return catalog;
}

int CReleaseFolder::SetVersion(const std::string& name, SVersion version, bool mustBeNew) {
    if (!IsManifestName(name)) return kQrAccessDenied;
    std::lock_guard lock(m_mutex);
    auto versions = ReadManifest();
    const bool known = versions.count(name) != 0;
    if (mustBeNew && known) return kQrFileExists;
    if (!mustBeNew && !known) return kQrFileOpen;
    versions[name] = version;
    return WriteManifest(versions) ? kQrOk : kQrFileCreate;
}

int CReleaseFolder::RemoveVersion(const std::string& name) {
    std::lock_guard lock(m_mutex);
    auto versions = ReadManifest();
    if (versions.erase(name) == 0) return kQrDelete;
    return WriteManifest(versions) ? kQrOk : kQrDelete;
}

}  // namespace dravmer::fileserver
