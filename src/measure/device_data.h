#pragma once
// CDeviceData: one device's store of records, its statistics, and the hooks through which the
// experiment-file writer follows the appends.
//
// Threads: one thread appends at a time (the port's poll thread during an experiment, the
// loading thread otherwise); any thread reads. A reader-writer lock keeps growth and appends
// apart from indexed reads; a mutex serialises the statistics update, recomputes and getters.
//
// Memory: given a page file, the store keeps only its newest records in memory. Each block of
// kPageRecords records goes to the page file by column as soon as it is full, and every full
// block leaves a summary behind, with which a recompute over a long range takes whole blocks in
// one step. Records read back from the page file are the very records appended.
#include <array>
#include <atomic>
#include <cstdint>
#include <ctime>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <vector>

#include "measure/meas_record.h"
#include "measure/stat_kind.h"

namespace dravmer {

class CDeviceData;
class CPageFile;
namespace pages {
struct SBlockSum;
}

// Called by AddSample after each append (unless writes are suppressed), on the appending thread.
// The experiment-file writer implements it; the measure layer knows nothing about files.
class ISampleSink {
public:
    virtual ~ISampleSink() = default;
    virtual void OnSamplesAdded(CDeviceData& store) = 0;
};

// Counters and range of the statistics, read together.
struct SStatState {
    int n = 0, nE = 0, nO = 0;
    bool rangeMode = false;
    int rangeFirstIndex = 0;
    std::int64_t firstSecond = 0;  // the range's first and last second (время)
    std::int64_t lastSecond = 0;   // a negative last second reads 0
};

// The trend check of the ten electrode measurements (AverageE against AverageO).
struct STrendResult {
    bool upper = false;  // the upper parity bends away from its line
    bool lower = false;  // the lower parity bends away from its line
    double ratio = 0;
};

class CDeviceData {
public:
    static constexpr int kRecordSize = static_cast<int>(sizeof(CMeasRecord));
    static constexpr int kParamCount = CMeasRecord::kParamCount;

    explicit CDeviceData(int listIndex = 0);
    ~CDeviceData();
    CDeviceData(const CDeviceData&) = delete;
    CDeviceData& operator=(const CDeviceData&) = delete;

    int ListIndex() const { return m_listIndex; }
    void SetListIndex(int index) { m_listIndex = index; }

    // ---- records ----
    // Appends a copy (position set to its index), hands it to the sink, updates the running
    // statistics. 0 when stored; -1 when the array could not grow (the record is dropped and
    // nothing else changes).
    int AddSample(const CMeasRecord& record);
    // Appends n records as n AddSample calls would, with one lock, one call of the sink and one
    // trend check for the whole batch (loaders). Returns how many were stored; fewer than n only
    // when the array could not grow.
    int AddSamples(const CMeasRecord* records, int n);
    // Appends records given as their parameters, rows of 43 in catalogue order as GetAllParams
    // gives them (`base` gives the gain bytes), each row holding what the fields can (whole
    // numbers in range for время, Цикл, Cст and GvEr, as the loaders check). The same as
    // AddSamples of the records the rows make; in a store that keeps no records the statistics
    // take the rows as they are, a run at a time, and only the newest record is made.
    int AddParamRows(const double* rows, int n, const CMeasRecord& base);
    // The same for rows of 32-bit floats: the records of a binary file whose columns are the 43
    // parameters in catalogue order.
    int AddFloatRows(const float* rows, int n, const CMeasRecord& base);
    // Makes room for at least `records` records in one block, so that a loader that knows the
    // size up front neither doubles nor copies. False when the block cannot be had (nothing
    // changes then; appends still grow as usual).
    bool Reserve(int records);
    // Newest record; an empty store gives a zeroed record with position and time -1.
    CMeasRecord GetLastSample() const;
    // Record i; an index outside the stored range gives a zeroed record.
    CMeasRecord GetSample(int index) const;
    // Copies up to maxCount records from first into out; returns the number copied.
    int CopySamples(int first, int maxCount, CMeasRecord* out) const;
    std::uint32_t GetLastTime() const;  // время of the newest record, 0 when empty
    int GetCount() const;
    // Record index for an experiment second: 0 for 0, clamped to the newest record, found by
    // an interpolated guess and a walk toward the wanted second.
    int TimeToIndex(std::uint32_t second) const;
    // count / (newest время + 1) × 100; 0 when empty.
    double GetReceivedPercent() const;
    // The same over the seconds an experiment lasted when that is longer than its newest record:
    // an outage at the end of a run must show.
    double GetReceivedPercent(std::uint32_t experimentSeconds) const;
    // Count, statistics and range to 0, all flags cleared. The memory block is kept.
    void ResetData();

    // Memory: the capacity in records and the bytes of the block in memory.
    int Capacity() const;
    std::size_t AllocatedBytes() const;

    // ---- paging ----
    static constexpr int kPageRecords = 4096;
    static constexpr std::size_t kPageBytes = 1318912;  // a block in the page file: 322 pages
    // Records from this many on are summarised by block: only a range longer than this takes
    // whole blocks from their summaries.
    static constexpr int kWalkAll = 32 * kPageRecords;
    // Full blocks go to `file` from now on (nullptr: everything stays in memory). Takes effect at
    // once in an empty store, otherwise at the next ResetData. A block the file cannot take
    // (disk full) stays in memory and is offered again when the next block is full.
    void SetPageFile(std::shared_ptr<CPageFile> file);
    // Without keeping records (false) a full block is let go instead: the store still counts
    // every record, keeps the statistics over all of them and its newest records, and reads the
    // others as records it does not hold (zeroed). For statistics of a file that is read only
    // for them. Takes effect at once in an empty store, otherwise at the next ResetData.
    void KeepRecords(bool keep);
    bool KeepsRecords() const;
    int PagedCount() const;         // records that live in the page file (or were let go)
    std::size_t SummaryBytes() const;  // memory of the block summaries
    // Copies up to maxCount values of one parameter from record `first` on (as GetParam gives
    // them), with each record's время and the parity of its cycle counter (1: odd); outputs may
    // be null. Returns the number copied.
    int CopyParam(int param, int first, int maxCount, double* values, std::uint32_t* times,
                  std::uint8_t* odd) const;
    // Changes each time ResetData empties the store: a copy of its records made before is stale.
    std::uint64_t Generation() const { return m_generation.load(); }

    // ---- reader positions (one per parameter, for readers walking one parameter) ----
    void SetReadPosition(int param, std::uint32_t second);
    // 0 with the record's время and value, advancing the position; -1 past the newest record.
    int GetNextValue(int param, std::uint32_t& second, double& value);

    // ---- statistics ----
    // Recompute over the records whose seconds are from..to (whole: all records, then back to
    // running mode; otherwise the store stays in range mode and appends leave the statistics).
    void CalcRange(std::uint32_t fromSecond, std::uint32_t toSecond, bool whole);
    void CalcAll() { CalcRange(0, 0, true); }
    // Makes the newest record the first of a new running range. Only with records and while
    // acquisition runs; returns false when nothing was done.
    bool RestartStats(bool acquisitionRunning);
    // A copy of one statistic (Current: the newest record, zeroed when empty). Indices 0..2
    // read 0. A statistic whose divisor is zero (no record, or one record for a spread) reads 0.
    CMeasRecord GetStat(StatKind kind) const;
    // One statistic of one parameter as a double (GvEr not cut to a byte).
    double GetStatValue(StatKind kind, int param) const;
    SStatState GetStatState() const;
    STrendResult GetTrend() const;
    // The statistics over every record, as CalcAll would make them ([kind][param]; Current is
    // the newest record), without changing the store's own (a range the operator selected
    // stays).
    void WholeStatistics(double out[kStatKindCount][kParamCount], SStatState& state) const;

    // ---- experiment and file state ----
    void SetFirmwareVersion(std::uint8_t major, std::uint8_t minor);
    std::uint8_t FirmwareMajor() const { return m_fwMajor.load(); }
    std::uint8_t FirmwareMinor() const { return m_fwMinor.load(); }
    // Date and time of the first append (seconds since 1970); a loader may replace it.
    std::time_t StartTime() const { return m_startTime.load(); }
    void SetStartTime(std::time_t t) { m_startTime.store(t); }

    void SetSampleSink(ISampleSink* sink) { m_sink.store(sink); }
    bool SuppressWrites() const { return m_suppressWrites.load(); }
    void SetSuppressWrites(bool on) { m_suppressWrites.store(on); }
    // Set after each write to the experiment file, cleared by ResetData.
    bool IsWritten() const { return m_written.load(); }
    void SetWritten() { m_written.store(true); }

    // The store's title ("261206-007-012345", shown in the main window's title), the name of its
    // experiment file, and where it was loaded from.
    std::string Title() const;
    void SetTitle(const std::string& title);
    std::string FileName() const;
    void SetFileName(const std::string& name);
    bool IsLoadedFromFile() const;
    std::string LoadedPath() const;
    void SetLoadedFrom(const std::string& path, const std::string& title);

private:
    struct SStats;
    struct SWalk;

    bool GrowLocked();
    template <class T>
    int AddRows(const T* rows, int n, const CMeasRecord& base);
    // Only one block of records in memory: paged, or not kept.
    bool Bounded() const { return m_pageFile || !m_keepRecords; }
    // The page-file block of a paged record; null for a record that was let go.
    const unsigned char* PagedBlock(int index) const;
    // Record access under the array lock (or on the appending thread).
    CMeasRecord RecordAt(int index) const;
    std::uint32_t TimeAt(int index) const;
    void StatParamsAt(int index, double* v, bool& even) const;
    int TimeToIndexLocked(std::uint32_t second) const;
    // Summarises the blocks that filled and moves full blocks to the page file (appending
    // thread, array lock not held).
    void FinishBlocks();
    void Accumulate(SStats& s, int index, std::uint32_t time, const double* v, const double* prev,
                    const double* sameParity, bool even);
    void RunningUpdate(SStats& s, const double* v, const double* prev, const double* sameParity,
                       bool even);
    void FirstOfRange(SStats& s, const double* v, bool even);
    // The whole-store statistics start to differ from the running ones (statistics mutex held).
    void SplitWhole();
    void CalcWhole();
    // What a recompute over every record leaves, from the statistics kept as records came.
    static void AsRecomputed(SStats& stats);
    static double StatOf(const SStats& stats, StatKind kind, int param);
    void WalkRecord(SWalk& w, const double* v, bool even);
    // Records from..to after at least one walked record, as WalkRecord of each in order would
    // take them: gathered a run at a time as rows for the kernel the row appends use.
    void WalkRows(SWalk& w, int from, int to);
    void WalkBlock(SWalk& w, const pages::SBlockSum& b);
    void TrendCheck();
    double StatSlot(StatKind kind, int param) const;

    int m_listIndex;

    mutable std::shared_mutex m_arrayLock;
    struct SFree {
        void operator()(CMeasRecord* p) const;
    };
    // Records m_pagedCount .. count-1; the ones before live in the page file.
    std::unique_ptr<CMeasRecord[], SFree> m_records;
    std::size_t m_sizeField = 8192;  // doubles on every growth
    std::size_t m_blockBytes = 0;
    int m_capacity = 0;
    std::atomic<int> m_count{0};
    std::shared_ptr<CPageFile> m_pageFile, m_nextPageFile;
    int m_pagedCount = 0;
    bool m_keepRecords = true, m_nextKeepRecords = true;
    std::vector<std::int64_t> m_slots;            // page-file slot of each paged block
    std::vector<pages::SBlockSum> m_blockSums;    // one per full block
    std::atomic<std::uint64_t> m_generation{0};
    // The appending thread's memory of the newest record and of the newest even and odd ones
    // (their parameter values), for the noise sums.
    // Three rows that take turns: the newest even record, the newest odd one, and the row the
    // next record is unpacked into; the newest record is whichever parity came last.
    bool m_havePrev = false, m_haveEven = false, m_haveOdd = false, m_lastEven = false;
    double m_values[3][kParamCount] = {};
    int m_evenRow = 0, m_oddRow = 1, m_freeRow = 2;

    std::array<std::atomic<int>, kParamCount> m_readPos{};

    mutable std::mutex m_statMutex;
    std::unique_ptr<SStats> m_stats;
    // The statistics of every record, as a recompute over all of them gives them: the running
    // statistics themselves while those cover every record from the first (m_wholeIsRunning),
    // otherwise kept apart in m_whole from the moment they split (a restart, a range).
    bool m_wholeIsRunning = true;
    std::unique_ptr<SStats> m_whole;

    std::atomic<std::uint8_t> m_fwMajor{0}, m_fwMinor{0};
    std::atomic<std::time_t> m_startTime{0};
    std::atomic<ISampleSink*> m_sink{nullptr};
    std::atomic<bool> m_suppressWrites{false};
    std::atomic<bool> m_written{false};

    mutable std::mutex m_infoMutex;
    std::string m_title, m_fileName, m_loadedPath;
    bool m_loadedFromFile = false;
};

}  // namespace dravmer
