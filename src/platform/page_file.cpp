#include "platform/page_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <algorithm>
#include <cstring>

#include "platform/paths.h"

namespace dravmer {

namespace fs = std::filesystem;

namespace {

constexpr char kPrefix[] = "records-";
constexpr char kSuffix[] = ".cache";
// The mapping grows in chunks of about this size (a whole number of slots).
constexpr std::size_t kChunkBytes = 64u << 20;

std::string Errno(const char* what) { return std::string(what) + ": " + std::strerror(errno); }

bool IsOurs(const std::string& name) {
    const std::size_t p = sizeof kPrefix - 1, s = sizeof kSuffix - 1;
    return name.size() > p + s && name.compare(0, p, kPrefix) == 0 &&
           name.compare(name.size() - s, s, kSuffix) == 0;
}

}  // namespace

CPageFile::CPageFile(fs::path path, int fd, std::size_t slotBytes)
    : m_path(std::move(path)),
      m_fd(fd),
      m_slotBytes(slotBytes),
      m_slotsPerChunk(std::max<std::size_t>(1, kChunkBytes / slotBytes)) {}

std::unique_ptr<CPageFile> CPageFile::Create(const fs::path& folder, std::size_t slotBytes,
                                             std::string* error) {
    auto fail = [error](std::string why) {
        if (error) *error = std::move(why);
        return nullptr;
    };
    const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    if (slotBytes == 0 || slotBytes % page != 0)
        return fail("slot size " + std::to_string(slotBytes) + " is not a whole number of pages");
    if (!EnsureDir(folder)) return fail(folder.string() + ": the folder cannot be created");
    RemoveStale(folder);
    // Made under a name no stale-file sweep matches, locked, then renamed: another process
    // sweeping the folder never sees the file unlocked.
    static std::atomic<unsigned> serial{0};
    const std::string stem = std::to_string(getpid()) + "-" + std::to_string(serial++);
    const fs::path temp = folder / ("." + stem + ".new");
    const fs::path path = folder / (kPrefix + stem + kSuffix);
    const int fd = open(temp.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) return fail(Errno(temp.c_str()));
    if (flock(fd, LOCK_EX | LOCK_NB) != 0 || rename(temp.c_str(), path.c_str()) != 0) {
        std::string why = Errno(path.c_str());
        unlink(temp.c_str());
        close(fd);
        return fail(why);
    }
    return std::unique_ptr<CPageFile>(new CPageFile(path, fd, slotBytes));
}

CPageFile::~CPageFile() {
    const std::size_t chunkBytes = m_slotsPerChunk * m_slotBytes;
    for (std::size_t c = 0; c < m_mappedChunks; ++c)
        if (unsigned char* base = m_chunks[c].load()) munmap(base, chunkBytes);
    unlink(m_path.c_str());
    close(m_fd);
}

int CPageFile::RemoveStale(const fs::path& folder) {
    int removed = 0;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec)) {
        const std::string name = entry.path().filename().string();
        if (!IsOurs(name)) continue;
        const int fd = open(entry.path().c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
        if (fd < 0) continue;
        // A live process holds its file's lock for as long as it runs.
        if (flock(fd, LOCK_EX | LOCK_NB) == 0 && unlink(entry.path().c_str()) == 0) ++removed;
        close(fd);
    }
    return removed;
}

bool CPageFile::MapChunk(std::size_t chunk, std::string* error) {
    if (chunk >= kMaxChunks) {
        if (error) *error = m_path.string() + ": the file has reached its largest size";
        return false;
    }
    const std::size_t chunkBytes = m_slotsPerChunk * m_slotBytes;
    const auto end = static_cast<off_t>((chunk + 1) * chunkBytes);
    // The file is extended without taking disk space; only written slots do.
    if (ftruncate(m_fd, end) != 0) {
        if (error) *error = Errno(m_path.c_str());
        return false;
    }
    void* base = mmap(nullptr, chunkBytes, PROT_READ, MAP_SHARED, m_fd,
                      static_cast<off_t>(chunk * chunkBytes));
    if (base == MAP_FAILED) {
        if (error) *error = Errno(m_path.c_str());
        return false;
    }
    m_chunks[chunk].store(static_cast<unsigned char*>(base), std::memory_order_release);
    m_mappedChunks = chunk + 1;
    return true;
}

void CPageFile::SetLog(std::function<void(const std::string&)> log) {
    std::lock_guard lock(m_logMutex);
    m_log = std::move(log);
}

void CPageFile::Log(bool failed, const std::string& error) {
    std::lock_guard lock(m_logMutex);
    if (failed == m_failing) return;
    m_failing = failed;
    if (!m_log) return;
    if (failed)
        m_log("Кэш записей " + m_path.string() + ": " + error +
              ". Новые записи остаются в памяти.");
    else
        m_log("Кэш записей " + m_path.string() + " снова принимает записи.");
}

std::int64_t CPageFile::Write(const void* data, std::string* error) {
    std::string why;
    const std::int64_t slot = WriteSlot(data, &why);
    Log(slot < 0, why);
    if (slot < 0 && error) *error = why;
    return slot;
}

std::int64_t CPageFile::WriteSlot(const void* data, std::string* error) {
    struct statvfs fsInfo {};
    if (fstatvfs(m_fd, &fsInfo) == 0) {
        const std::uint64_t freeBytes =
            static_cast<std::uint64_t>(fsInfo.f_bavail) * fsInfo.f_frsize;
        if (freeBytes < m_reserve.load() + m_slotBytes) {
            if (error)
                *error = m_path.parent_path().string() + ": less than " +
                         std::to_string(m_reserve.load() >> 20) + " MiB free on the disk";
            return -1;
        }
    }
    std::int64_t slot;
    {
        std::lock_guard lock(m_mutex);
        if (!m_free.empty()) {
            slot = m_free.back();
            m_free.pop_back();
        } else {
            const std::size_t chunk = static_cast<std::size_t>(m_next) / m_slotsPerChunk;
            if (chunk >= m_mappedChunks && !MapChunk(chunk, error)) return -1;
            slot = m_next++;
        }
        m_inUse += m_slotBytes;
        m_peak = std::max(m_peak, m_inUse);
    }
    const auto* p = static_cast<const unsigned char*>(data);
    std::size_t done = 0;
    const auto at = static_cast<off_t>(static_cast<std::uint64_t>(slot) * m_slotBytes);
    while (done < m_slotBytes) {
        const ssize_t n = pwrite(m_fd, p + done, m_slotBytes - done, at + static_cast<off_t>(done));
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (error) *error = n < 0 ? Errno(m_path.c_str()) : m_path.string() + ": short write";
        Free(slot);
        return -1;
    }
    return slot;
}

const unsigned char* CPageFile::Data(std::int64_t slot) const {
    const auto s = static_cast<std::size_t>(slot);
    const unsigned char* base = m_chunks[s / m_slotsPerChunk].load(std::memory_order_acquire);
    return base + (s % m_slotsPerChunk) * m_slotBytes;
}

bool CPageFile::Read(std::int64_t slot, std::size_t offset, void* out, std::size_t size) const {
    auto* p = static_cast<unsigned char*>(out);
    const auto at = static_cast<off_t>(static_cast<std::uint64_t>(slot) * m_slotBytes + offset);
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = pread(m_fd, p + done, size - done, at + static_cast<off_t>(done));
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        // A slot that was written reads back; should the disk fail, the mapping has it.
        std::memcpy(p + done, Data(slot) + offset + done, size - done);
        return false;
    }
    return true;
}

void CPageFile::Free(std::int64_t slot) {
    // The disk space goes back before anyone can take the slot again.
    fallocate(m_fd, FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE,
              static_cast<off_t>(static_cast<std::uint64_t>(slot) * m_slotBytes),
              static_cast<off_t>(m_slotBytes));
    std::lock_guard lock(m_mutex);
    m_free.push_back(slot);
    m_inUse -= m_slotBytes;
}

std::uint64_t CPageFile::BytesInUse() const {
    std::lock_guard lock(m_mutex);
    return m_inUse;
}

std::uint64_t CPageFile::PeakBytes() const {
    std::lock_guard lock(m_mutex);
    return m_peak;
}

}  // namespace dravmer
