#include "measure/device_data.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

#include "measure/record_pages.h"
#include "measure/stats_block.h"
#include "platform/page_file.h"

namespace dravmer {

namespace {
// The block a store starts with: three records, while the size field already reads 8192.
constexpr std::size_t kInitialBlock = 1024;
}  // namespace

CDeviceData::CDeviceData(int listIndex) : m_listIndex(listIndex), m_stats(new SStats) {
    m_capacity = static_cast<int>(kInitialBlock / sizeof(CMeasRecord));
    m_records.reset(static_cast<CMeasRecord*>(std::calloc(kInitialBlock, 1)));
    if (!m_records) throw std::bad_alloc();
    m_blockBytes = kInitialBlock;
    m_records[0] = EmptyRecord();
    for (auto& p : m_readPos) p.store(0);
}

CDeviceData::~CDeviceData() {
    // The page file may serve other stores for longer: its slots go back.
    for (std::int64_t slot : m_slots)
        if (slot >= 0) m_pageFile->Free(slot);
}

void CDeviceData::SFree::operator()(CMeasRecord* p) const { std::free(p); }

bool CDeviceData::GrowLocked() {
    const int tail = m_count.load(std::memory_order_relaxed) - m_pagedCount;
    if (!m_keepRecords && tail >= kPageRecords) {
        // Records that are not kept: the oldest whole blocks are let go when the next record
        // comes, so the newest record is always at hand. The statistics took them in already.
        const int drop = tail / kPageRecords * kPageRecords;
        for (int b = 0; b < drop / kPageRecords; ++b) m_slots.push_back(-1);
        m_pagedCount += drop;
        std::memmove(static_cast<void*>(m_records.get()), &m_records[static_cast<std::size_t>(drop)],
                     static_cast<std::size_t>(tail - drop) * sizeof(CMeasRecord));
        return true;
    }
    std::size_t newSize = m_sizeField * 2;
    std::size_t newCapacity = newSize / sizeof(CMeasRecord);
    // A paged store holds one block in memory: its last growth stops at exactly one block.
    if (Bounded() && m_capacity < kPageRecords && newCapacity > kPageRecords) {
        newCapacity = kPageRecords;
        newSize = newCapacity * sizeof(CMeasRecord);
    }
    // Zero-filled by calloc; fresh pages come zeroed from the system, so nothing is written twice.
    auto* block = static_cast<CMeasRecord*>(std::calloc(newCapacity, sizeof(CMeasRecord)));
    if (!block) return false;
    int count = m_count.load(std::memory_order_relaxed) - m_pagedCount;
    std::memcpy(static_cast<void*>(block), m_records.get(),
                static_cast<std::size_t>(count) * sizeof(CMeasRecord));
    m_records.reset(block);
    m_sizeField = std::max(m_sizeField * 2, newSize);
    m_blockBytes = newSize;
    m_capacity = static_cast<int>(newCapacity);
    return true;
}

int CDeviceData::AddSample(const CMeasRecord& record) {
    double v[kParamCount], prev[kParamCount], same[kParamCount];
    GetAllParams(record, v);
    const bool even = (record.cycle & 1) == 0;
    bool hasPrev, hasSame;
    int index;
    {
        std::unique_lock lock(m_arrayLock);
        index = m_count.load(std::memory_order_relaxed);
        if (index - m_pagedCount >= m_capacity && !GrowLocked()) return -1;
        if (index == 0) m_startTime.store(std::time(nullptr));
        CMeasRecord& slot = m_records[static_cast<std::size_t>(index - m_pagedCount)];
        slot = record;
        slot.position = index;
        hasPrev = m_havePrev;
        if (hasPrev) std::memcpy(prev, m_values[m_lastEven ? m_evenRow : m_oddRow], sizeof prev);
        double* parity = m_values[even ? m_evenRow : m_oddRow];
        bool& haveParity = even ? m_haveEven : m_haveOdd;
        hasSame = haveParity;
        if (hasSame) std::memcpy(same, parity, sizeof same);
        std::memcpy(parity, v, sizeof v);
        haveParity = true;
        m_havePrev = true;
        m_lastEven = even;
        m_count.store(index + 1, std::memory_order_release);
    }
    if ((index + 1) % kPageRecords == 0) FinishBlocks();

    if (!m_suppressWrites.load())
        if (ISampleSink* sink = m_sink.load()) sink->OnSamplesAdded(*this);

    std::lock_guard statLock(m_statMutex);
    const double* p = hasPrev ? prev : nullptr;
    const double* s = hasSame ? same : nullptr;
    if (!m_wholeIsRunning) Accumulate(*m_whole, index, record.time, v, p, s, even);
    if (m_stats->state.rangeMode) return 0;
    Accumulate(*m_stats, index, record.time, v, p, s, even);
    TrendCheck();
    return 0;
}

bool CDeviceData::Reserve(int records) {
    if (records <= 0) return true;
    std::unique_lock lock(m_arrayLock);
    // A paged store never holds more than a block in memory.
    if (Bounded() || records <= m_capacity) return true;
    const std::size_t bytes = static_cast<std::size_t>(records) * sizeof(CMeasRecord);
    auto* block = static_cast<CMeasRecord*>(std::calloc(static_cast<std::size_t>(records),
                                                        sizeof(CMeasRecord)));
    if (!block) return false;
    int count = m_count.load(std::memory_order_relaxed);
    std::memcpy(static_cast<void*>(block), m_records.get(),
                static_cast<std::size_t>(count) * sizeof(CMeasRecord));
    if (count == 0) block[0] = m_records[0];
    m_records.reset(block);
    // Later growth keeps doubling from the block in use.
    if (bytes > m_sizeField) m_sizeField = bytes;
    m_blockBytes = bytes;
    m_capacity = records;
    return true;
}

int CDeviceData::AddSamples(const CMeasRecord* records, int n) {
    if (n <= 0) return 0;
    int stored = 0;
    {
        // The statistics lock before the array lock, the order CalcRange takes them in.
        std::lock_guard statLock(m_statMutex);
        SStatState& st = m_stats->state;
        // In runs that end where a block fills, which is then summarised and paged out with
        // the array unlocked.
        while (stored < n) {
            bool full = false;
            {
                std::unique_lock lock(m_arrayLock);
                for (; stored < n && !full; ++stored) {
                    const CMeasRecord& record = records[stored];
                    const int index = m_count.load(std::memory_order_relaxed);
                    if (index - m_pagedCount >= m_capacity && !GrowLocked()) break;
                    if (index == 0) m_startTime.store(std::time(nullptr));
                    CMeasRecord& slot = m_records[static_cast<std::size_t>(index - m_pagedCount)];
                    slot = record;
                    slot.position = index;
                    // Unpacked into the free row, which then becomes its parity's newest.
                    double* v = m_values[m_freeRow];
                    GetAllParams(record, v);
                    const bool even = (record.cycle & 1) == 0;
                    int& parityRow = even ? m_evenRow : m_oddRow;
                    bool& haveParity = even ? m_haveEven : m_haveOdd;
                    const double* prev =
                        m_havePrev ? m_values[m_lastEven ? m_evenRow : m_oddRow] : nullptr;
                    const double* same = haveParity ? m_values[parityRow] : nullptr;
                    if (!m_wholeIsRunning)
                        Accumulate(*m_whole, index, record.time, v, prev, same, even);
                    if (!st.rangeMode) Accumulate(*m_stats, index, record.time, v, prev, same, even);
                    std::swap(parityRow, m_freeRow);
                    haveParity = true;
                    m_havePrev = true;
                    m_lastEven = even;
                    m_count.store(index + 1, std::memory_order_release);
                    full = (index + 1) % kPageRecords == 0;
                }
            }
            if (!full) break;
            FinishBlocks();
        }
        if (stored > 0 && !st.rangeMode) TrendCheck();
    }
    if (stored > 0 && !m_suppressWrites.load())
        if (ISampleSink* sink = m_sink.load()) sink->OnSamplesAdded(*this);
    return stored;
}

const unsigned char* CDeviceData::PagedBlock(int index) const {
    const std::int64_t slot = m_slots[static_cast<std::size_t>(index / kPageRecords)];
    return slot >= 0 ? m_pageFile->Data(slot) : nullptr;
}

CMeasRecord CDeviceData::RecordAt(int index) const {
    if (index >= m_pagedCount) return m_records[static_cast<std::size_t>(index - m_pagedCount)];
    CMeasRecord r;
    if (const unsigned char* block = PagedBlock(index))
        pages::Decode(block, index % kPageRecords, index, r);
    return r;
}

std::uint32_t CDeviceData::TimeAt(int index) const {
    if (index >= m_pagedCount) return m_records[static_cast<std::size_t>(index - m_pagedCount)].time;
    const unsigned char* block = PagedBlock(index);
    return block ? pages::TimeOf(block, index % kPageRecords) : 0;
}

void CDeviceData::StatParamsAt(int index, double* v, bool& even) const {
    if (index >= m_pagedCount) {
        const CMeasRecord& r = m_records[static_cast<std::size_t>(index - m_pagedCount)];
        GetAllParams(r, v);
        even = (r.cycle & 1) == 0;
        return;
    }
    const unsigned char* block = PagedBlock(index);
    if (!block) {
        std::fill(v, v + kParamCount, 0.0);
        even = true;
        return;
    }
    pages::StatParamsOf(block, index % kPageRecords, v);
    even = (pages::CycleOf(block, index % kPageRecords) & 1) == 0;
}

CMeasRecord CDeviceData::GetLastSample() const {
    std::shared_lock lock(m_arrayLock);
    int count = m_count.load(std::memory_order_acquire);
    if (count == 0) return EmptyRecord();
    return RecordAt(count - 1);
}

CMeasRecord CDeviceData::GetSample(int index) const {
    std::shared_lock lock(m_arrayLock);
    if (index < 0 || index >= m_count.load(std::memory_order_acquire)) return CMeasRecord{};
    return RecordAt(index);
}

int CDeviceData::CopySamples(int first, int maxCount, CMeasRecord* out) const {
    std::shared_lock lock(m_arrayLock);
    int count = m_count.load(std::memory_order_acquire);
    if (first < 0 || first >= count || maxCount <= 0) return 0;
    int n = count - first < maxCount ? count - first : maxCount;
    int i = 0;
    for (; i < n && first + i < m_pagedCount; ++i) out[i] = RecordAt(first + i);
    if (i < n)
        std::memcpy(static_cast<void*>(out + i),
                    &m_records[static_cast<std::size_t>(first + i - m_pagedCount)],
                    static_cast<std::size_t>(n - i) * sizeof(CMeasRecord));
    return n;
}

int CDeviceData::CopyParam(int param, int first, int maxCount, double* values,
                           std::uint32_t* times, std::uint8_t* odd) const {
    std::shared_lock lock(m_arrayLock);
    const int count = m_count.load(std::memory_order_acquire);
    if (first < 0 || first >= count || maxCount <= 0) return 0;
    const int n = std::min(count - first, maxCount);
    int i = 0;
    // Paged blocks by column, read from the file (a long run would otherwise stay mapped); the
    // records in memory one by one.
    const int column = pages::DoubleColumn(param);
    while (i < n && first + i < m_pagedCount) {
        const int at = first + i;
        const std::int64_t slot = m_slots[static_cast<std::size_t>(at / kPageRecords)];
        const auto offset = static_cast<std::size_t>(at % kPageRecords);
        const int run = std::min(n - i, kPageRecords - static_cast<int>(offset));
        const auto count = static_cast<std::size_t>(run);
        if (slot < 0) {  // records not kept read as nothing
            if (values) std::fill(values + i, values + i + run, 0.0);
            if (times) std::fill(times + i, times + i + run, 0u);
            if (odd) std::fill(odd + i, odd + i + run, std::uint8_t{0});
            i += run;
            continue;
        }
        if (values && column >= 0) {
            m_pageFile->Read(slot, pages::kDoublesAt + sizeof(double) * (pages::kB * static_cast<std::size_t>(column) + offset),
                             values + i, sizeof(double) * count);
        } else if (values) {
            const unsigned char* block = m_pageFile->Data(slot);
            for (int j = 0; j < run; ++j)
                values[i + j] = pages::ParamOf(block, static_cast<int>(offset) + j, param);
        }
        if (times) m_pageFile->Read(slot, pages::kTimeAt + 4 * offset, times + i, 4 * count);
        if (odd) {
            m_pageFile->Read(slot, pages::kCycleAt + offset, odd + i, count);
            for (int j = 0; j < run; ++j) odd[i + j] &= 1;
        }
        i += run;
    }
    // A double parameter straight from its field, the others through GetParam.
    const std::ptrdiff_t field = DoubleParamOffset(param);
    for (; i < n; ++i) {
        const CMeasRecord& r = m_records[static_cast<std::size_t>(first + i - m_pagedCount)];
        if (values && field >= 0)
            std::memcpy(&values[i], reinterpret_cast<const char*>(&r) + field, sizeof(double));
        else if (values)
            values[i] = GetParam(r, param);
        if (times) times[i] = r.time;
        if (odd) odd[i] = r.cycle & 1;
    }
    return n;
}

std::uint32_t CDeviceData::GetLastTime() const {
    std::shared_lock lock(m_arrayLock);
    int count = m_count.load(std::memory_order_acquire);
    return count == 0 ? 0 : TimeAt(count - 1);
}

int CDeviceData::GetCount() const { return m_count.load(std::memory_order_acquire); }

int CDeviceData::TimeToIndex(std::uint32_t t) const {
    if (t == 0) return 0;
    std::shared_lock lock(m_arrayLock);
    return TimeToIndexLocked(t);
}

int CDeviceData::TimeToIndexLocked(std::uint32_t t) const {
    if (t == 0) return 0;
    int count = m_count.load(std::memory_order_acquire);
    if (count == 0) return 0;
    std::uint32_t newest = TimeAt(count - 1);
    if (newest == 0) return 0;
    if (t > newest) t = newest;
    int i = static_cast<int>(static_cast<double>(t) / newest * (count - 1));
    if (i < 0) i = 0;
    if (i >= count) i = count - 1;
    auto dist = [t](std::uint32_t time) {
        return time > t ? std::uint64_t{time} - t : std::uint64_t{t} - time;
    };
    const std::uint32_t at = TimeAt(i);
    if (at == t) return i;
    int step = at > t ? -1 : 1;
    std::uint64_t best = dist(at);
    for (;;) {
        int j = i + step;
        if (j < 0 || j >= count) return i;
        std::uint64_t d = dist(TimeAt(j));
        if (d == 0) return j;
        if (d >= best) return i;
        i = j;
        best = d;
    }
}

double CDeviceData::GetReceivedPercent() const {
    std::shared_lock lock(m_arrayLock);
    int count = m_count.load(std::memory_order_acquire);
    if (count == 0) return 0;
    double span = static_cast<double>(TimeAt(count - 1)) + 1;
    return count / span * 100.0;
}

double CDeviceData::GetReceivedPercent(std::uint32_t experimentSeconds) const {
    std::shared_lock lock(m_arrayLock);
    int count = m_count.load(std::memory_order_acquire);
    if (count == 0) return 0;
    double span = static_cast<double>(TimeAt(count - 1)) + 1;
    span = std::max(span, static_cast<double>(experimentSeconds));
    return count / span * 100.0;
}

void CDeviceData::ResetData() {
    {
        std::unique_lock lock(m_arrayLock);
        m_count.store(0, std::memory_order_release);
        for (std::int64_t slot : m_slots)
            if (slot >= 0) m_pageFile->Free(slot);
        m_slots.clear();
        m_blockSums.clear();
        m_pagedCount = 0;
        m_pageFile = m_nextPageFile;
        m_keepRecords = m_nextKeepRecords;
        // A paged store gives back a block that grew while the file took nothing.
        if (Bounded() && m_capacity > kPageRecords) {
            auto* block = static_cast<CMeasRecord*>(std::calloc(kPageRecords, sizeof(CMeasRecord)));
            if (block) {
                m_records.reset(block);
                m_capacity = kPageRecords;
                m_blockBytes = kPageRecords * sizeof(CMeasRecord);
            }
        }
        m_records[0] = EmptyRecord();
        m_havePrev = m_haveEven = m_haveOdd = false;
        m_generation.fetch_add(1);
    }
    {
        std::lock_guard statLock(m_statMutex);
        *m_stats = SStats{};
        m_whole.reset();
        m_wholeIsRunning = true;
    }
    m_written.store(false);
    m_suppressWrites.store(false);
    std::lock_guard info(m_infoMutex);
    m_loadedFromFile = false;
    m_loadedPath.clear();
}

int CDeviceData::Capacity() const {
    std::shared_lock lock(m_arrayLock);
    return m_pagedCount + m_capacity;
}

std::size_t CDeviceData::AllocatedBytes() const {
    std::shared_lock lock(m_arrayLock);
    return m_blockBytes;
}

void CDeviceData::SetReadPosition(int param, std::uint32_t second) {
    if (param < 0 || param >= kParamCount) return;
    m_readPos[static_cast<std::size_t>(param)].store(TimeToIndex(second));
}

int CDeviceData::GetNextValue(int param, std::uint32_t& second, double& value) {
    if (param < 0 || param >= kParamCount) return -1;
    std::shared_lock lock(m_arrayLock);
    auto& pos = m_readPos[static_cast<std::size_t>(param)];
    int i = pos.load();
    if (i < 0 || i >= m_count.load(std::memory_order_acquire)) return -1;
    if (i >= m_pagedCount) {
        const CMeasRecord& r = m_records[static_cast<std::size_t>(i - m_pagedCount)];
        second = r.time;
        value = GetParam(r, param);
    } else if (const unsigned char* block = PagedBlock(i)) {
        second = pages::TimeOf(block, i % kPageRecords);
        value = pages::ParamOf(block, i % kPageRecords, param);
    } else {
        second = 0;
        value = 0;
    }
    pos.store(i + 1);
    return 0;
}

void CDeviceData::SetFirmwareVersion(std::uint8_t major, std::uint8_t minor) {
    m_fwMajor.store(major);
    m_fwMinor.store(minor);
}

std::string CDeviceData::Title() const {
    std::lock_guard info(m_infoMutex);
    return m_title;
}

void CDeviceData::SetTitle(const std::string& title) {
    std::lock_guard info(m_infoMutex);
    m_title = title;
}

std::string CDeviceData::FileName() const {
    std::lock_guard info(m_infoMutex);
    return m_fileName;
}

void CDeviceData::SetFileName(const std::string& name) {
    std::lock_guard info(m_infoMutex);
    m_fileName = name;
}

bool CDeviceData::IsLoadedFromFile() const {
    std::lock_guard info(m_infoMutex);
    return m_loadedFromFile;
}

std::string CDeviceData::LoadedPath() const {
    std::lock_guard info(m_infoMutex);
    return m_loadedPath;
}

void CDeviceData::SetLoadedFrom(const std::string& path, const std::string& title) {
    std::lock_guard info(m_infoMutex);
    m_loadedFromFile = true;
    m_loadedPath = path;
    m_title = title;
}

}  // namespace dravmer
