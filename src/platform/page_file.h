#pragma once
// A scratch file of equal slots for data the program reads back but need not hold in its own
// memory: the records of a long experiment. A slot is written once with pwrite and read through
// a read-only shared mapping, so its pages belong to the page cache, which the kernel drops and
// fetches again as memory is needed, and never count as the program's anonymous memory.
//
// The file lies in a folder of its own (the user's cache folder), is named after the process,
// is held under an exclusive flock while in use and is removed when the object goes. A file that
// a crashed process left behind is removed by the next Create in that folder: nobody holds its
// lock any more.
//
// Threads: every member may be called from any thread. A slot's bytes may be read from the time
// Write returned its number until Free is called for it.
#include <sys/types.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace dravmer {

class CPageFile {
public:
    // `slotBytes` must be a whole number of memory pages. nullptr when the folder cannot be made
    // or the file not created there; `error` then says which and why.
    static std::unique_ptr<CPageFile> Create(const std::filesystem::path& folder,
                                             std::size_t slotBytes, std::string* error);
    ~CPageFile();
    CPageFile(const CPageFile&) = delete;
    CPageFile& operator=(const CPageFile&) = delete;

    std::size_t SlotBytes() const { return m_slotBytes; }
    const std::filesystem::path& Path() const { return m_path; }

    // Writes SlotBytes() bytes into a free slot and returns its number; -1 when the write failed
    // (`error` says why: the disk is full, or taking the slot would leave less free space on the
    // disk than the reserve) and no slot was taken.
    std::int64_t Write(const void* data, std::string* error = nullptr);
    // The bytes of a written slot.
    const unsigned char* Data(std::int64_t slot) const;
    // Copies `size` bytes at `offset` of a written slot: a long run read this way maps nothing
    // into the program (the mapping keeps the pages it touched until memory runs short).
    bool Read(std::int64_t slot, std::size_t offset, void* out, std::size_t size) const;
    // Gives the slot back; its disk space is released at once.
    void Free(std::int64_t slot);

    // Gets a line when a write fails after writes went well (the records stay in memory), and
    // when writes go well again after failing. Called on the writing thread.
    void SetLog(std::function<void(const std::string&)> log);

    // Free space every Write leaves on the file's disk for everything else, above all the
    // experiment files (default 1 GiB).
    void SetReserveBytes(std::uint64_t bytes) { m_reserve.store(bytes); }
    // The bytes of the slots in use now, and the most there were at once.
    std::uint64_t BytesInUse() const;
    std::uint64_t PeakBytes() const;

    // Removes the files of processes that ended without removing theirs; returns how many.
    static int RemoveStale(const std::filesystem::path& folder);

private:
    CPageFile(std::filesystem::path path, int fd, std::size_t slotBytes);
    bool MapChunk(std::size_t chunk, std::string* error);  // under m_mutex
    std::int64_t WriteSlot(const void* data, std::string* error);
    void Log(bool failed, const std::string& error);

    static constexpr std::size_t kMaxChunks = 16384;

    std::filesystem::path m_path;
    int m_fd;
    std::size_t m_slotBytes;
    std::size_t m_slotsPerChunk;
    std::atomic<std::uint64_t> m_reserve{1ull << 30};

    std::mutex m_logMutex;
    std::function<void(const std::string&)> m_log;
    bool m_failing = false;  // under m_logMutex

    mutable std::mutex m_mutex;
    std::vector<std::int64_t> m_free;
    std::int64_t m_next = 0;  // slots below it were handed out at least once
    std::size_t m_mappedChunks = 0;
    std::uint64_t m_inUse = 0, m_peak = 0;
    std::array<std::atomic<unsigned char*>, kMaxChunks> m_chunks{};
};

}  // namespace dravmer
