// Reading the archive: the experiment list, a parameter's history, and an experiment taken out
// again, its description first and then its devices' records one device at a time.
#include <cstdlib>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "archive/db.h"
#include "archive/record_codec.h"
#include "archive/stat_columns.h"
#include "measure/param_catalog.h"

namespace dravmer {

using archive::kStatColumns;
using archive::SDbRow;
using archive::SDbValue;

namespace {

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

int CArchive::Describe(std::int64_t id, SArchivedExperiment& e) {
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

    // Everything but the records, which are read one device at a time.
    std::vector<SDbRow> devices;
    if (!m_db->Exec("SELECT id, address, port, fw_major, fw_minor, transducer, start_time, "
                    "record_count, received_percent, link_stat, kg, kr, n, n_e, n_o "
                    "FROM devices WHERE experiment_id = $1 ORDER BY position",
                    {SDbValue::Int(id)}, &devices))
        return Fail("cannot read the devices");
    std::string statsSql = "SELECT param";
    for (const char* col : kStatColumns) statsSql += std::string(", ") + col;
    statsSql += " FROM device_stats WHERE device_id = $1";
    for (const SDbRow& dr : devices) {
        SArchivedDevice d;
        d.rowId = dr[0].AsInt();
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
        std::vector<SDbRow> stats;
        if (!m_db->Exec(statsSql, {SDbValue::Int(d.rowId)}, &stats))
            return Fail("cannot read the statistics");
        for (const SDbRow& s : stats) {
            int p = static_cast<int>(s[0].AsInt());
            if (p < 0 || p >= kStatParamCount) continue;
            for (int kind = 0; kind < kStatKindCount; ++kind)
                d.stats[static_cast<std::size_t>(kind)][static_cast<std::size_t>(p)] =
                    s[static_cast<std::size_t>(kind) + 1].AsReal();
        }
        e.devices.push_back(std::move(d));
    }
    return kArchiveOk;
}

int CArchive::ReadRecords(const SArchivedExperiment& e, std::size_t k,
                          archive::SRecordPlanes& planes) {
    m_error.clear();
    const SArchivedDevice& d = e.devices.at(k);
    std::vector<SDbRow> rows;
    if (!m_db->Exec("SELECT value_width, records FROM devices WHERE id = $1",
                    {SDbValue::Int(d.rowId)}, &rows))
        return Fail("cannot read the records of device " + std::to_string(d.address));
    if (rows.empty() ||
        !planes.Inflate(rows[0][1].s, d.recordCount, static_cast<int>(e.columns.size()),
                        static_cast<int>(rows[0][0].AsInt()))) {
        m_error = "the records of device " + std::to_string(d.address) + " in experiment " +
                  std::to_string(e.id) + " are damaged";
        return kArchiveBadData;
    }
    return kArchiveOk;
}

int CArchive::Get(std::int64_t id, SArchivedExperiment& e, const ArchiveProgressFn& progress) {
    if (const int code = Describe(id, e); code != kArchiveOk) return code;
    const int total = static_cast<int>(e.devices.size());
    archive::SRecordPlanes planes;
    for (int k = 0; k < total; ++k) {
        SArchivedDevice& d = e.devices[static_cast<std::size_t>(k)];
        if (const int code = ReadRecords(e, static_cast<std::size_t>(k), planes);
            code != kArchiveOk)
            return code;
        d.values.assign(static_cast<std::size_t>(d.recordCount) * e.columns.size(), 0.0);
        if (!d.values.empty()) planes.Rows(0, d.recordCount, d.values.data());
        if (progress && !progress(k + 1, total)) {
            m_error = "reading was stopped";
            return kArchiveStopped;
        }
    }
    return kArchiveOk;
}

}  // namespace dravmer
