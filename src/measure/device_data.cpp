#include "measure/device_data.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

#include "measure/stats_block.h"

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

CDeviceData::~CDeviceData() = default;

void CDeviceData::SFree::operator()(CMeasRecord* p) const { std::free(p); }

bool CDeviceData::GrowLocked() {
    std::size_t newSize = m_sizeField * 2;
    std::size_t newCapacity = newSize / sizeof(CMeasRecord);
    // Zero-filled by calloc; fresh pages come zeroed from the system, so nothing is written twice.
    auto* block = static_cast<CMeasRecord*>(std::calloc(newCapacity, sizeof(CMeasRecord)));
    if (!block) return false;
    int count = m_count.load(std::memory_order_relaxed);
    std::memcpy(static_cast<void*>(block), m_records.get(),
                static_cast<std::size_t>(count) * sizeof(CMeasRecord));
    m_records.reset(block);
    m_sizeField = newSize;
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
        if (index >= m_capacity && !GrowLocked()) return -1;
        if (index == 0) m_startTime.store(std::time(nullptr));
        CMeasRecord& slot = m_records[static_cast<std::size_t>(index)];
        slot = record;
        slot.position = index;
        hasPrev = m_havePrev;
        if (hasPrev) std::memcpy(prev, m_prevValues, sizeof prev);
        std::memcpy(m_prevValues, v, sizeof v);
        m_havePrev = true;
        double* parity = even ? m_evenValues : m_oddValues;
        bool& haveParity = even ? m_haveEven : m_haveOdd;
        hasSame = haveParity;
        if (hasSame) std::memcpy(same, parity, sizeof same);
        std::memcpy(parity, v, sizeof v);
        haveParity = true;
        m_count.store(index + 1, std::memory_order_release);
    }

    if (!m_suppressWrites.load())
        if (ISampleSink* sink = m_sink.load()) sink->OnSamplesAdded(*this);

    std::lock_guard statLock(m_statMutex);
    SStatState& st = m_stats->state;
    if (st.rangeMode) return 0;
    st.n += 1;
    (even ? st.nE : st.nO) += 1;
    if (st.n == 1 || !hasPrev) {
        st.rangeFirstIndex = index;
        st.firstSecond = record.time;
        FirstOfRange(v, even);
    } else {
        RunningUpdate(v, prev, hasSame ? same : nullptr, even);
    }
    st.lastSecond = record.time;
    TrendCheck();
    return 0;
}

bool CDeviceData::Reserve(int records) {
    if (records <= 0) return true;
    std::unique_lock lock(m_arrayLock);
    if (records <= m_capacity) return true;
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
        std::unique_lock lock(m_arrayLock);
        SStatState& st = m_stats->state;
        double v[kParamCount];
        for (; stored < n; ++stored) {
            const CMeasRecord& record = records[stored];
            const int index = m_count.load(std::memory_order_relaxed);
            if (index >= m_capacity && !GrowLocked()) break;
            if (index == 0) m_startTime.store(std::time(nullptr));
            CMeasRecord& slot = m_records[static_cast<std::size_t>(index)];
            slot = record;
            slot.position = index;
            GetAllParams(record, v);
            const bool even = (record.cycle & 1) == 0;
            double* parity = even ? m_evenValues : m_oddValues;
            bool& haveParity = even ? m_haveEven : m_haveOdd;
            if (!st.rangeMode) {
                st.n += 1;
                (even ? st.nE : st.nO) += 1;
                if (st.n == 1 || !m_havePrev) {
                    st.rangeFirstIndex = index;
                    st.firstSecond = record.time;
                    FirstOfRange(v, even);
                } else {
                    RunningUpdate(v, m_prevValues, haveParity ? parity : nullptr, even);
                }
                st.lastSecond = record.time;
            }
            std::memcpy(m_prevValues, v, sizeof v);
            m_havePrev = true;
            std::memcpy(parity, v, sizeof v);
            haveParity = true;
            m_count.store(index + 1, std::memory_order_release);
        }
        if (stored > 0 && !st.rangeMode) TrendCheck();
    }
    if (stored > 0 && !m_suppressWrites.load())
        if (ISampleSink* sink = m_sink.load()) sink->OnSamplesAdded(*this);
    return stored;
}

CMeasRecord CDeviceData::GetLastSample() const {
    std::shared_lock lock(m_arrayLock);
    int count = m_count.load(std::memory_order_acquire);
    if (count == 0) return EmptyRecord();
    return m_records[static_cast<std::size_t>(count - 1)];
}

CMeasRecord CDeviceData::GetSample(int index) const {
    std::shared_lock lock(m_arrayLock);
    if (index < 0 || index >= m_count.load(std::memory_order_acquire)) return CMeasRecord{};
    return m_records[static_cast<std::size_t>(index)];
}

int CDeviceData::CopySamples(int first, int maxCount, CMeasRecord* out) const {
    std::shared_lock lock(m_arrayLock);
    int count = m_count.load(std::memory_order_acquire);
    if (first < 0 || first >= count || maxCount <= 0) return 0;
    int n = count - first < maxCount ? count - first : maxCount;
    std::memcpy(static_cast<void*>(out), &m_records[static_cast<std::size_t>(first)],
                static_cast<std::size_t>(n) * sizeof(CMeasRecord));
    return n;
}

std::uint32_t CDeviceData::GetLastTime() const {
    std::shared_lock lock(m_arrayLock);
    int count = m_count.load(std::memory_order_acquire);
    return count == 0 ? 0 : m_records[static_cast<std::size_t>(count - 1)].time;
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
    const CMeasRecord* r = m_records.get();
    std::uint32_t newest = r[count - 1].time;
    if (newest == 0) return 0;
    if (t > newest) t = newest;
    int i = static_cast<int>(static_cast<double>(t) / newest * (count - 1));
    if (i < 0) i = 0;
    if (i >= count) i = count - 1;
    auto dist = [t](std::uint32_t time) {
        return time > t ? std::uint64_t{time} - t : std::uint64_t{t} - time;
    };
    if (r[i].time == t) return i;
    int step = r[i].time > t ? -1 : 1;
    std::uint64_t best = dist(r[i].time);
    for (;;) {
        int j = i + step;
        if (j < 0 || j >= count) return i;
        std::uint64_t d = dist(r[j].time);
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
    double span = static_cast<double>(m_records[static_cast<std::size_t>(count - 1)].time) + 1;
    return count / span * 100.0;
}

double CDeviceData::GetReceivedPercent(std::uint32_t experimentSeconds) const {
    std::shared_lock lock(m_arrayLock);
    int count = m_count.load(std::memory_order_acquire);
    if (count == 0) return 0;
    double span = static_cast<double>(m_records[static_cast<std::size_t>(count - 1)].time) + 1;
    span = std::max(span, static_cast<double>(experimentSeconds));
    return count / span * 100.0;
}

void CDeviceData::ResetData() {
    {
        std::unique_lock lock(m_arrayLock);
        m_count.store(0, std::memory_order_release);
        m_records[0] = EmptyRecord();
        m_havePrev = m_haveEven = m_haveOdd = false;
    }
    {
        std::lock_guard statLock(m_statMutex);
        *m_stats = SStats{};
    }
    m_written.store(false);
    m_suppressWrites.store(false);
    std::lock_guard info(m_infoMutex);
    m_loadedFromFile = false;
    m_loadedPath.clear();
}

int CDeviceData::Capacity() const {
    std::shared_lock lock(m_arrayLock);
    return m_capacity;
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
    const CMeasRecord& r = m_records[static_cast<std::size_t>(i)];
    second = r.time;
    value = GetParam(r, param);
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
