#include "archive/archive.h"

#include <algorithm>
#include <cstdio>
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

std::vector<long long> SplitInts(const std::string& s) {
    std::vector<long long> out;
    std::size_t p = 0;
    while (p < s.size()) {
        std::size_t e = s.find(';', p);
        if (e == std::string::npos) e = s.size();
        if (e > p) out.push_back(std::strtoll(s.substr(p, e - p).c_str(), nullptr, 10));
        p = e + 1;
    }
    return out;
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
                h.AddU64(static_cast<std::uint64_t>(d->values[row + static_cast<std::size_t>(timeCol)]));
            if (cycleCol >= 0)
                h.AddU64(
                    static_cast<std::uint64_t>(d->values[row + static_cast<std::size_t>(cycleCol)]));
        }
    }
    char buf[24];
    std::snprintf(buf, sizeof buf, "%016llx", static_cast<unsigned long long>(h.Value()));
    return buf;
}

int CArchive::Add(const SArchivedExperiment& e, std::int64_t& id,
                  const ArchiveProgressFn& progress, const std::atomic<bool>* stop) {
    id = 0;
    m_error.clear();
    if (e.devices.empty()) {
        m_error = "the experiment has no device";
        return kArchiveNoData;
    }
    if (m_access.readOnly) {
        m_error = "the archive was opened for reading";
        return kArchiveDbError;
    }
    const std::string fingerprint = ExperimentFingerprint(e);
    const bool pg = std::string(m_db->Dialect()) == "postgresql";
    if (!m_db->Exec(pg ? "BEGIN" : "BEGIN IMMEDIATE")) return Fail("cannot start a transaction");
    int code = Insert(e, fingerprint, id, progress, stop);
    if (code != kArchiveOk) {
        const bool unique = m_db->LastWasUniqueViolation();
        std::string error = m_error;
        Rollback();
        m_error = error;
        // Another bench archived the same experiment between our check and our insert.
        if (unique) {
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

int CArchive::Insert(const SArchivedExperiment& e, const std::string& fingerprint,
                     std::int64_t& id, const ArchiveProgressFn& progress,
                     const std::atomic<bool>* stop) {
    std::vector<SDbRow> rows;
    if (!m_db->Exec("SELECT id FROM experiments WHERE fingerprint = $1",
                    {SDbValue::Text(fingerprint)}, &rows))
        return Fail("cannot look for the experiment");
    if (!rows.empty()) {
        id = rows[0][0].AsInt();
        return kArchiveDuplicate;
    }
    std::vector<long long> columns(e.columns.begin(), e.columns.end());
    std::vector<long long> decimals(e.fileDecimals.begin(), e.fileDecimals.end());
    std::vector<long long> addresses;
    for (const auto& d : e.devices) addresses.push_back(d.address);
    rows.clear();
    if (!m_db->Exec(
            "INSERT INTO experiments (fingerprint, date_text, number, start_time, duration_s, "
            "comment, ky, poll_period, format, columns, file_decimals, device_count, addresses, "
            "host, archived_at) VALUES ($1, $2, $3, $4, $5, $6, $7, $8, $9, $10, $11, $12, $13, "
            "$14, $15) RETURNING id",
            {SDbValue::Text(fingerprint), SDbValue::Text(e.date), SDbValue::Int(e.number),
             SDbValue::Int(e.startTime), SDbValue::Int(e.duration), SDbValue::Text(e.comment),
             SDbValue::Real(e.ky), SDbValue::Real(e.pollPeriod),
             SDbValue::Text(e.text ? "txt" : "adc"), SDbValue::Text(JoinInts(columns)),
             SDbValue::Text(JoinInts(decimals)),
             SDbValue::Int(static_cast<std::int64_t>(e.devices.size())),
             SDbValue::Text(JoinInts(addresses)), SDbValue::Text(e.host),
             SDbValue::Int(e.archivedAt ? e.archivedAt : std::time(nullptr))},
            &rows) ||
        rows.empty())
        return Fail("cannot write the experiment");
    const std::int64_t experimentId = rows[0][0].AsInt();
    const int total = static_cast<int>(e.devices.size());
    const int c = static_cast<int>(e.columns.size());

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

    for (int k = 0; k < total; ++k) {
        if (stop && stop->load()) {
            m_error = "archiving was stopped; nothing was written";
            return kArchiveStopped;
        }
        const SArchivedDevice& d = e.devices[static_cast<std::size_t>(k)];
        if (d.values.size() != static_cast<std::size_t>(d.recordCount) * static_cast<std::size_t>(c)) {
            m_error = "device " + std::to_string(d.address) + " has records of another shape";
            return kArchiveNoData;
        }
        const int width = archive::ChooseValueWidth(d.values);
        std::string blob = archive::EncodeRecords(d.values, c, width);
        if (blob.empty() && !d.values.empty()) {
            m_error = "cannot pack the records of device " + std::to_string(d.address);
            return kArchiveDbError;
        }
        std::vector<long long> link;
        if (d.hasLinkStat) link.assign(d.linkStat.begin(), d.linkStat.end());
        rows.clear();
        if (!m_db->Exec(
                "INSERT INTO devices (experiment_id, position, address, port, fw_major, fw_minor, "
                "transducer, start_time, record_count, received_percent, link_stat, kg, kr, n, "
                "n_e, n_o, value_width, records) VALUES ($1, $2, $3, $4, $5, $6, $7, $8, $9, "
                "$10, $11, $12, $13, $14, $15, $16, $17, $18) RETURNING id",
                {SDbValue::Int(experimentId), SDbValue::Int(k), SDbValue::Int(d.address),
                 SDbValue::Int(d.port), SDbValue::Int(d.fwMajor), SDbValue::Int(d.fwMinor),
                 SDbValue::Text(d.transducer), SDbValue::Int(d.startTime),
                 SDbValue::Int(d.recordCount), SDbValue::Real(d.receivedPercent),
                 SDbValue::Text(JoinInts(link)), SDbValue::Int(d.kg), SDbValue::Int(d.kr),
                 SDbValue::Int(d.n), SDbValue::Int(d.nE), SDbValue::Int(d.nO),
                 SDbValue::Int(width), SDbValue::Blob(std::move(blob))},
                &rows) ||
            rows.empty())
            return Fail("cannot write device " + std::to_string(d.address));
        const std::int64_t deviceId = rows[0][0].AsInt();
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
        if (progress && !progress(k + 1, total)) {
            m_error = "archiving was stopped; nothing was written";
            return kArchiveStopped;
        }
    }
    id = experimentId;
    return kArchiveOk;
}

int CArchive::List(const SArchiveFilter& filter, std::vector<SArchiveListRow>& out) {
    out.clear();
    m_error.clear();
    if (m_version == 0) return kArchiveOk;  // nothing archived yet
    std::string sql =
        "SELECT id, date_text, number, start_time, duration_s, format, addresses, comment, " +
        Column("host") + " FROM experiments WHERE 1 = 1";
    std::vector<SDbValue> params;
    if (filter.from) {
        params.push_back(SDbValue::Int(filter.from));
        sql += " AND start_time >= $" + std::to_string(params.size());
    }
    if (filter.to) {
        params.push_back(SDbValue::Int(filter.to));
        sql += " AND start_time < $" + std::to_string(params.size());
    }
    if (filter.hasDevice) {
        params.push_back(SDbValue::Int(filter.device));
        sql += " AND id IN (SELECT experiment_id FROM devices WHERE address = $" +
               std::to_string(params.size()) + ")";
    }
    sql += " ORDER BY start_time, id";
    std::vector<SDbRow> rows;
    if (!m_db->Exec(sql, params, &rows)) return Fail("cannot list the archive");
    for (const SDbRow& r : rows) {
        SArchiveListRow row;
        row.id = r[0].AsInt();
        row.date = r[1].AsText();
        row.number = static_cast<int>(r[2].AsInt());
        row.startTime = static_cast<std::time_t>(r[3].AsInt());
        row.duration = static_cast<std::uint32_t>(r[4].AsInt());
        row.text = r[5].AsText() == "txt";
        for (long long a : SplitInts(r[6].AsText()))
            row.addresses.push_back(static_cast<std::uint32_t>(a));
        row.comment = r[7].AsText();
        row.host = r[8].AsText();
        out.push_back(std::move(row));
    }
    return kArchiveOk;
}

int CArchive::History(std::uint32_t address, int param, StatKind kind,
                      std::vector<SHistoryRow>& out) {
    out.clear();
    m_error.clear();
    const int k = static_cast<int>(kind);
    if (k < 0 || k >= kStatKindCount || param < kStatFirstParam || param >= kStatParamCount) {
        m_error = "no such statistic";
        return kArchiveNoData;
    }
    if (m_version == 0) return kArchiveOk;
    std::vector<SDbRow> rows;
    if (!m_db->Exec(std::string("SELECT e.id, e.start_time, e.date_text, e.number, s.") +
                        kStatColumns[k] +
                        " FROM devices d JOIN experiments e ON e.id = d.experiment_id JOIN "
                        "device_stats s ON s.device_id = d.id AND s.param = $2 WHERE d.address "
                        "= $1 ORDER BY e.start_time, e.id, d.position",
                    {SDbValue::Int(address), SDbValue::Int(param)}, &rows))
        return Fail("cannot read the history");
    for (const SDbRow& r : rows)
        out.push_back({r[0].AsInt(), static_cast<std::time_t>(r[1].AsInt()), r[2].AsText(),
                       static_cast<int>(r[3].AsInt()), r[4].AsReal()});
    return kArchiveOk;
}

int CArchive::Count(std::int64_t& experiments) {
    experiments = 0;
    if (m_version == 0) return kArchiveOk;
    std::vector<SDbRow> rows;
    if (!m_db->Exec("SELECT count(*) FROM experiments", {}, &rows) || rows.empty())
        return Fail("cannot count the experiments");
    experiments = rows[0][0].AsInt();
    return kArchiveOk;
}

int CArchive::Get(std::int64_t id, SArchivedExperiment& e, const ArchiveProgressFn& progress) {
    m_error.clear();
    e = SArchivedExperiment{};
    std::vector<SDbRow> rows;
    if (m_version > 0 &&
        !m_db->Exec("SELECT id, date_text, number, start_time, duration_s, comment, ky, "
                    "poll_period, format, columns, file_decimals, " +
                        Column("host") + ", " + Column("archived_at") +
                        " FROM experiments WHERE id = $1",
                    {SDbValue::Int(id)}, &rows))
        return Fail("cannot read the experiment");
    if (rows.empty()) {
        m_error = "there is no experiment " + std::to_string(id) + " in the archive";
        return kArchiveNotFound;
    }
    const SDbRow& r = rows[0];
    e.id = r[0].AsInt();
    e.date = r[1].AsText();
    e.number = static_cast<int>(r[2].AsInt());
    e.startTime = static_cast<std::time_t>(r[3].AsInt());
    e.duration = static_cast<std::uint32_t>(r[4].AsInt());
    e.comment = r[5].AsText();
    e.ky = r[6].AsReal();
    e.pollPeriod = r[7].AsReal();
    e.text = r[8].AsText() == "txt";
    for (long long c : SplitInts(r[9].AsText())) e.columns.push_back(static_cast<int>(c));
    std::vector<long long> dec = SplitInts(r[10].AsText());
    for (std::size_t p = 0; p < e.fileDecimals.size() && p < dec.size(); ++p)
        e.fileDecimals[p] = static_cast<int>(dec[p]);
    e.host = r[11].AsText();
    e.archivedAt = static_cast<std::time_t>(r[12].AsInt());

    std::vector<SDbRow> devices;
    if (!m_db->Exec("SELECT id, address, port, fw_major, fw_minor, transducer, start_time, "
                    "record_count, received_percent, link_stat, kg, kr, n, n_e, n_o, "
                    "value_width, records FROM devices WHERE experiment_id = $1 ORDER BY position",
                    {SDbValue::Int(id)}, &devices))
        return Fail("cannot read the devices");
    std::string statsSql = "SELECT param";
    for (const char* col : kStatColumns) statsSql += std::string(", ") + col;
    statsSql += " FROM device_stats WHERE device_id = $1";
    const int total = static_cast<int>(devices.size());
    for (int k = 0; k < total; ++k) {
        const SDbRow& dr = devices[static_cast<std::size_t>(k)];
        SArchivedDevice d;
        d.address = static_cast<std::uint32_t>(dr[1].AsInt());
        d.port = static_cast<int>(dr[2].AsInt());
        d.fwMajor = static_cast<std::uint8_t>(dr[3].AsInt());
        d.fwMinor = static_cast<std::uint8_t>(dr[4].AsInt());
        d.transducer = dr[5].AsText();
        d.startTime = static_cast<std::time_t>(dr[6].AsInt());
        d.recordCount = static_cast<int>(dr[7].AsInt());
        d.receivedPercent = dr[8].AsReal();
        std::vector<long long> link = SplitInts(dr[9].AsText());
        d.hasLinkStat = link.size() == d.linkStat.size();
        for (std::size_t w = 0; d.hasLinkStat && w < link.size(); ++w)
            d.linkStat[w] = static_cast<std::uint32_t>(link[w]);
        d.kg = static_cast<std::uint8_t>(dr[10].AsInt());
        d.kr = static_cast<std::uint8_t>(dr[11].AsInt());
        d.n = static_cast<int>(dr[12].AsInt());
        d.nE = static_cast<int>(dr[13].AsInt());
        d.nO = static_cast<int>(dr[14].AsInt());
        if (!archive::DecodeRecords(dr[16].s, d.recordCount, static_cast<int>(e.columns.size()),
                                    static_cast<int>(dr[15].AsInt()), d.values)) {
            m_error = "the records of device " + std::to_string(d.address) + " in experiment " +
                      std::to_string(id) + " are damaged";
            return kArchiveBadData;
        }
        std::vector<SDbRow> stats;
        if (!m_db->Exec(statsSql, {SDbValue::Int(dr[0].AsInt())}, &stats))
            return Fail("cannot read the statistics");
        for (const SDbRow& s : stats) {
            int p = static_cast<int>(s[0].AsInt());
            if (p < 0 || p >= kStatParamCount) continue;
            for (int kind = 0; kind < kStatKindCount; ++kind)
                d.stats[static_cast<std::size_t>(kind)][static_cast<std::size_t>(p)] =
                    s[static_cast<std::size_t>(kind) + 1].AsReal();
        }
        e.devices.push_back(std::move(d));
        if (progress && !progress(k + 1, total)) {
            m_error = "reading was stopped";
            return kArchiveStopped;
        }
    }
    return kArchiveOk;
}

}  // namespace dravmer
