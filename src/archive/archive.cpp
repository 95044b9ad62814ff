#include "archive/archive.h"

#include <algorithm>
#include <cstdio>
#include <random>
#include <sstream>

#include "archive/db.h"
#include "archive/record_codec.h"
#include "archive/stat_columns.h"
#include "measure/param_catalog.h"

namespace dravmer {

using archive::kStatColumns;
using archive::SDbRow;
using archive::SDbValue;

namespace {

std::string JoinInts(const std::vector<long long>& v) {
    std::string s;
    for (std::size_t k = 0; k < v.size(); ++k) {
        if (k) s += ';';
        s += std::to_string(v[k]);
    }
    return s;
}

}  // namespace

std::string ExperimentFingerprint(const SArchivedExperiment& e) {
    archive::CFnv64 h;
    h.AddText(e.date);
    h.AddU64(static_cast<std::uint64_t>(e.number));
    std::vector<const SArchivedDevice*> devices;
    for (const auto& d : e.devices) devices.push_back(&d);
    std::stable_sort(devices.begin(), devices.end(),
                     [](auto* a, auto* b) { return a->address < b->address; });
    auto col = [&](int param) {
        auto it = std::find(e.columns.begin(), e.columns.end(), param);
        return it == e.columns.end() ? -1 : static_cast<int>(it - e.columns.begin());
    };
    const int timeCol = col(0), cycleCol = col(1);
    const std::size_t c = e.columns.size();
    for (const SArchivedDevice* d : devices) {
        h.AddU64(d->address);
        h.AddU64(static_cast<std::uint64_t>(d->recordCount));
        for (int i = 0; i < d->recordCount && c; ++i) {
            const std::size_t row = static_cast<std::size_t>(i) * c;
            if (row + c > d->values.size()) break;
            if (timeCol >= 0)
                h.AddU64(
                    static_cast<std::uint64_t>(d->values[row + static_cast<std::size_t>(timeCol)]));
            if (cycleCol >= 0)
                h.AddU64(static_cast<std::uint64_t>(
                    d->values[row + static_cast<std::size_t>(cycleCol)]));
        }
    }
    char buf[24];
    std::snprintf(buf, sizeof buf, "%016llx", static_cast<unsigned long long>(h.Value()));
    return buf;
}

int CArchive::Add(const SArchivedExperiment& e, std::int64_t& id, const ArchiveProgressFn& progress,
                  const std::atomic<bool>* stop) {
    SArchivedHeader header = e;
    std::vector<std::uint32_t> addresses;
    for (const auto& d : e.devices) addresses.push_back(d.address);
    const std::size_t c = e.columns.size();
    return AddFrom(
        header, addresses,
        [&](std::size_t k, SDeviceToArchive& device, std::string& error) {
            const SArchivedDevice& d = e.devices[k];
            if (d.values.size() != static_cast<std::size_t>(d.recordCount) * c) {
                error = "device " + std::to_string(d.address) + " has records of another shape";
                return kArchiveNoData;
            }
            device.info = d;
            device.read = [&d, c](int column, int first, int n, double* out) {
                for (int i = 0; i < n; ++i)
                    out[i] = d.values[static_cast<std::size_t>(first + i) * c +
                                      static_cast<std::size_t>(column)];
            };
            return kArchiveOk;
        },
        id, progress, stop);
}

int CArchive::AddFrom(SArchivedHeader& e, const std::vector<std::uint32_t>& addresses,
                      const ArchiveDeviceSourceFn& source, std::int64_t& id,
                      const ArchiveProgressFn& progress, const std::atomic<bool>* stop) {
    id = 0;
    m_error.clear();
    if (addresses.empty()) {
        m_error = "the experiment has no device";
        return kArchiveNoData;
    }
    if (m_access.readOnly) {
        m_error = "the archive was opened for reading";
        return kArchiveDbError;
    }
    const bool pg = std::string(m_db->Dialect()) == "postgresql";
    if (!m_db->Exec(pg ? "BEGIN" : "BEGIN IMMEDIATE")) return Fail("cannot start a transaction");
    std::string fingerprint;
    int code = Insert(e, addresses, source, fingerprint, id, progress, stop);
    if (code != kArchiveOk) {
        const bool unique = m_db->LastWasUniqueViolation();
        std::string error = m_error;
        Rollback();
        m_error = error;
        // Another bench archived the same experiment between our check and our insert.
        if (unique && !fingerprint.empty()) {
            std::vector<SDbRow> rows;
            if (m_db->Exec("SELECT id FROM experiments WHERE fingerprint = $1",
                           {SDbValue::Text(fingerprint)}, &rows) &&
                !rows.empty()) {
                id = rows[0][0].AsInt();
                m_error.clear();
                return kArchiveDuplicate;
            }
        }
        if (code != kArchiveDuplicate) id = 0;
        return code;
    }
    if (!m_db->Exec("COMMIT")) {
        int failed = Fail("cannot commit the experiment");
        Rollback();
        id = 0;
        return failed;
    }
    return kArchiveOk;
}

namespace {

// The fingerprint as ExperimentFingerprint makes it, from devices given one at a time in the
// order of their addresses.
class CFingerprint {
public:
    CFingerprint(const std::string& date, int number) {
        m_hash.AddText(date);
        m_hash.AddU64(static_cast<std::uint64_t>(number));
    }
    void AddDevice(const SDeviceToArchive& d, const std::vector<int>& columns) {
        m_hash.AddU64(d.info.address);
        m_hash.AddU64(static_cast<std::uint64_t>(d.info.recordCount));
        auto col = [&](int param) {
            auto it = std::find(columns.begin(), columns.end(), param);
            return it == columns.end() ? -1 : static_cast<int>(it - columns.begin());
        };
        const int timeCol = col(0), cycleCol = col(1);
        if (columns.empty() || (timeCol < 0 && cycleCol < 0)) return;
        constexpr int kRun = 4096;
        std::vector<double> times(kRun), cycles(kRun);
        for (int first = 0; first < d.info.recordCount; first += kRun) {
            const int n = std::min(kRun, d.info.recordCount - first);
            if (timeCol >= 0) d.read(timeCol, first, n, times.data());
            if (cycleCol >= 0) d.read(cycleCol, first, n, cycles.data());
            for (int i = 0; i < n; ++i) {
                const auto k = static_cast<std::size_t>(i);
                if (timeCol >= 0) m_hash.AddU64(static_cast<std::uint64_t>(times[k]));
                if (cycleCol >= 0) m_hash.AddU64(static_cast<std::uint64_t>(cycles[k]));
            }
        }
    }
    std::string Text() const {
        char buf[24];
        std::snprintf(buf, sizeof buf, "%016llx", static_cast<unsigned long long>(m_hash.Value()));
        return buf;
    }

private:
    archive::CFnv64 m_hash;
};

// A fingerprint no experiment has, held by the row until its own is known.
std::string PendingFingerprint() {
    static std::atomic<unsigned> serial{0};
    std::random_device random;
    return "pending-" + std::to_string(random()) + "-" + std::to_string(random()) + "-" +
           std::to_string(std::time(nullptr)) + "-" + std::to_string(serial++);
}

}  // namespace

int CArchive::Insert(SArchivedHeader& e, const std::vector<std::uint32_t>& addresses,
                     const ArchiveDeviceSourceFn& source, std::string& fingerprint,
                     std::int64_t& id, const ArchiveProgressFn& progress,
                     const std::atomic<bool>* stop) {
    std::string statsSql = "INSERT INTO device_stats (device_id, param";
    for (const char* col : kStatColumns) statsSql += std::string(", ") + col;
    statsSql += ") VALUES ";
    const int perRow = 2 + kStatKindCount;
    for (int p = kStatFirstParam; p < kStatParamCount; ++p) {
        statsSql += p == kStatFirstParam ? "(" : ", (";
        for (int k = 0; k < perRow; ++k) {
            if (k) statsSql += ", ";
            statsSql += "$" + std::to_string((p - kStatFirstParam) * perRow + k + 1);
        }
        statsSql += ")";
    }
    // Benches that archive an experiment of the same date and number into one server take turns:
    // the fingerprint is known only once every device has been read, and the one that comes
    // second must find the first one's copy. (SQLite lets one writer in at a time anyway.)
    if (std::string(m_db->Dialect()) == "postgresql") {
        archive::CFnv64 key;
        key.AddText(e.date);
        key.AddU64(static_cast<std::uint64_t>(e.number));
        if (!m_db->Exec("SELECT pg_advisory_xact_lock($1)",
                        {SDbValue::Int(static_cast<std::int64_t>(key.Value()))}))
            return Fail("cannot wait for another bench archiving this experiment");
    }
    // The devices in the order of their addresses, which the fingerprint runs in.
    std::vector<std::size_t> order(addresses.size());
    for (std::size_t k = 0; k < order.size(); ++k) order[k] = k;
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return addresses[a] < addresses[b]; });
    CFingerprint hash(e.date, e.number);
    std::int64_t experimentId = 0;
    std::vector<SDbRow> rows;
    const int total = static_cast<int>(addresses.size());
    int done = 0;
    for (std::size_t k : order) {
        if (stop && stop->load()) {
            m_error = "archiving was stopped; nothing was written";
            return kArchiveStopped;
        }
        SDeviceToArchive d;
        std::string error;
        if (const int code = source(k, d, error); code != kArchiveOk) {
            m_error = error;
            return code;
        }
        if (experimentId == 0) {
            // Written once the first device has told the columns; what only the last device
            // tells (the duration, the fingerprint) is filled in at the end.
            std::vector<long long> columns(e.columns.begin(), e.columns.end());
            std::vector<long long> decimals(e.fileDecimals.begin(), e.fileDecimals.end());
            std::vector<long long> all(addresses.begin(), addresses.end());
            rows.clear();
            if (!m_db->Exec(
                    "INSERT INTO experiments (fingerprint, date_text, number, start_time, "
                    "duration_s, comment, ky, poll_period, format, columns, file_decimals, "
                    "device_count, addresses, host, archived_at) VALUES ($1, $2, $3, $4, $5, $6, "
                    "$7, $8, $9, $10, $11, $12, $13, $14, $15) RETURNING id",
                    {SDbValue::Text(PendingFingerprint()), SDbValue::Text(e.date),
                     SDbValue::Int(e.number), SDbValue::Int(e.startTime), SDbValue::Int(e.duration),
                     SDbValue::Text(e.comment), SDbValue::Real(e.ky), SDbValue::Real(e.pollPeriod),
                     SDbValue::Text(e.text ? "txt" : "adc"), SDbValue::Text(JoinInts(columns)),
                     SDbValue::Text(JoinInts(decimals)),
                     SDbValue::Int(static_cast<std::int64_t>(addresses.size())),
                     SDbValue::Text(JoinInts(all)), SDbValue::Text(e.host),
                     SDbValue::Int(e.archivedAt ? e.archivedAt : std::time(nullptr))},
                    &rows) ||
                rows.empty())
                return Fail("cannot write the experiment");
            experimentId = rows[0][0].AsInt();
        }
        if (const int code = InsertDevice(experimentId, k, e, d, statsSql); code != kArchiveOk)
            return code;
        hash.AddDevice(d, e.columns);
        if (progress && !progress(++done, total)) {
            m_error = "archiving was stopped; nothing was written";
            return kArchiveStopped;
        }
    }
    fingerprint = hash.Text();
    rows.clear();
    if (!m_db->Exec("SELECT id FROM experiments WHERE fingerprint = $1",
                    {SDbValue::Text(fingerprint)}, &rows))
        return Fail("cannot look for the experiment");
    if (!rows.empty()) {
        id = rows[0][0].AsInt();
        return kArchiveDuplicate;
    }
    std::vector<long long> columns(e.columns.begin(), e.columns.end());
    std::vector<long long> decimals(e.fileDecimals.begin(), e.fileDecimals.end());
    if (!m_db->Exec(
            "UPDATE experiments SET fingerprint = $1, start_time = $2, duration_s = $3, "
            "comment = $4, ky = $5, poll_period = $6, format = $7, columns = $8, "
            "file_decimals = $9 WHERE id = $10",
            {SDbValue::Text(fingerprint), SDbValue::Int(e.startTime), SDbValue::Int(e.duration),
             SDbValue::Text(e.comment), SDbValue::Real(e.ky), SDbValue::Real(e.pollPeriod),
             SDbValue::Text(e.text ? "txt" : "adc"), SDbValue::Text(JoinInts(columns)),
             SDbValue::Text(JoinInts(decimals)), SDbValue::Int(experimentId)}))
        return Fail("cannot write the experiment");
    id = experimentId;
    return kArchiveOk;
}

int CArchive::InsertDevice(std::int64_t experimentId, std::size_t position,
                           const SArchivedHeader& e, const SDeviceToArchive& device,
                           const std::string& statsSql) {
    const SArchivedDeviceInfo& d = device.info;
    const int c = static_cast<int>(e.columns.size());
    const int width = archive::ChooseValueWidth(device.read, d.recordCount, c);
    std::string blob = archive::EncodeRecords(device.read, d.recordCount, c, width);
    if (blob.empty() && d.recordCount > 0 && c > 0) {
        m_error = "cannot pack the records of device " + std::to_string(d.address);
        return kArchiveDbError;
    }
    std::vector<long long> link;
    if (d.hasLinkStat) link.assign(d.linkStat.begin(), d.linkStat.end());
    std::vector<SDbRow> rows;
    if (!m_db->Exec(
            "INSERT INTO devices (experiment_id, position, address, port, fw_major, fw_minor, "
            "transducer, start_time, record_count, received_percent, link_stat, kg, kr, n, "
            "n_e, n_o, value_width, records) VALUES ($1, $2, $3, $4, $5, $6, $7, $8, $9, "
            "$10, $11, $12, $13, $14, $15, $16, $17, $18) RETURNING id",
            {SDbValue::Int(experimentId), SDbValue::Int(static_cast<std::int64_t>(position)),
             SDbValue::Int(d.address), SDbValue::Int(d.port), SDbValue::Int(d.fwMajor),
             SDbValue::Int(d.fwMinor), SDbValue::Text(d.transducer), SDbValue::Int(d.startTime),
             SDbValue::Int(d.recordCount), SDbValue::Real(d.receivedPercent),
             SDbValue::Text(JoinInts(link)), SDbValue::Int(d.kg), SDbValue::Int(d.kr),
             SDbValue::Int(d.n), SDbValue::Int(d.nE), SDbValue::Int(d.nO), SDbValue::Int(width),
             SDbValue::Blob(std::move(blob))},
            &rows) ||
        rows.empty())
        return Fail("cannot write device " + std::to_string(d.address));
    const std::int64_t deviceId = rows[0][0].AsInt();
    const int perRow = 2 + kStatKindCount;
    std::vector<SDbValue> params;
    params.reserve(static_cast<std::size_t>((kStatParamCount - kStatFirstParam) * perRow));
    for (int p = kStatFirstParam; p < kStatParamCount; ++p) {
        params.push_back(SDbValue::Int(deviceId));
        params.push_back(SDbValue::Int(p));
        for (int s = 0; s < kStatKindCount; ++s)
            params.push_back(
                SDbValue::Real(d.stats[static_cast<std::size_t>(s)][static_cast<std::size_t>(p)]));
    }
    if (!m_db->Exec(statsSql, params))
        return Fail("cannot write the statistics of device " + std::to_string(d.address));
    return kArchiveOk;
}

}  // namespace dravmer
