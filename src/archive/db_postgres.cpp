// PostgreSQL back end through libpq: parameters go as text, blobs as binary; results come as
// text and are typed by the column's type.
#include <libpq-fe.h>

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "archive/db.h"

namespace dravmer::archive {
namespace {

// Type numbers of the built-in types the schema uses.
constexpr Oid kBoolOid = 16, kByteaOid = 17, kInt8Oid = 20, kInt2Oid = 21, kInt4Oid = 23,
              kFloat4Oid = 700, kFloat8Oid = 701, kNumericOid = 1700;

std::string DoubleText(double d) {
    if (std::isnan(d)) return "NaN";
    if (std::isinf(d)) return d > 0 ? "Infinity" : "-Infinity";
    char buf[32];
    auto r = std::to_chars(buf, buf + sizeof buf, d);  // shortest text that reads back exactly
    return std::string(buf, r.ptr);
}

class CPostgresDb : public IDbConnection {
public:
    explicit CPostgresDb(PGconn* conn) : m_conn(conn) {}
    ~CPostgresDb() override { PQfinish(m_conn); }

    const char* Dialect() const override { return "postgresql"; }
    const std::string& LastError() const override { return m_error; }
    bool LastWasUniqueViolation() const override { return m_unique; }
    bool Broken() const override { return PQstatus(m_conn) != CONNECTION_OK; }

    bool Exec(const std::string& sql, const std::vector<SDbValue>& params,
              std::vector<SDbRow>* rows) override {
        m_error.clear();
        m_unique = false;
        std::vector<std::string> texts(params.size());
        std::vector<const char*> values(params.size());
        std::vector<int> lengths(params.size()), formats(params.size());
        for (std::size_t k = 0; k < params.size(); ++k) {
            const SDbValue& v = params[k];
            switch (v.type) {
                case SDbValue::Type::Null: values[k] = nullptr; continue;
                case SDbValue::Type::Int: texts[k] = std::to_string(v.i); break;
                case SDbValue::Type::Real: texts[k] = DoubleText(v.d); break;
                case SDbValue::Type::Text: texts[k] = v.s; break;
                case SDbValue::Type::Blob:
                    values[k] = v.s.data();
                    lengths[k] = static_cast<int>(v.s.size());
                    formats[k] = 1;
                    continue;
            }
            values[k] = texts[k].c_str();
        }
        PGresult* res =
            PQexecParams(m_conn, sql.c_str(), static_cast<int>(params.size()), nullptr,
                         values.data(), lengths.data(), formats.data(), 0);
        ExecStatusType status = res ? PQresultStatus(res) : PGRES_FATAL_ERROR;
        if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
            const char* state = res ? PQresultErrorField(res, PG_DIAG_SQLSTATE) : nullptr;
            m_unique = state && std::strcmp(state, "23505") == 0;
            m_error = res ? PQresultErrorMessage(res) : PQerrorMessage(m_conn);
            while (!m_error.empty() && (m_error.back() == '\n' || m_error.back() == ' '))
                m_error.pop_back();
            if (m_error.empty()) m_error = "the server closed the connection";
            PQclear(res);
            return false;
        }
        if (rows) {
            int n = PQntuples(res), cols = PQnfields(res);
            rows->reserve(rows->size() + static_cast<std::size_t>(n));
            for (int r = 0; r < n; ++r) {
                SDbRow row;
                row.reserve(static_cast<std::size_t>(cols));
                for (int c = 0; c < cols; ++c) row.push_back(Cell(res, r, c));
                rows->push_back(std::move(row));
            }
        }
        PQclear(res);
        return true;
    }

private:
    static SDbValue Cell(PGresult* res, int r, int c) {
        if (PQgetisnull(res, r, c)) return SDbValue::Null();
        const char* text = PQgetvalue(res, r, c);
        switch (PQftype(res, c)) {
            case kBoolOid: return SDbValue::Int(text[0] == 't' ? 1 : 0);
            case kInt2Oid:
            case kInt4Oid:
            case kInt8Oid: return SDbValue::Int(std::strtoll(text, nullptr, 10));
            case kFloat4Oid:
            case kFloat8Oid:
            case kNumericOid: return SDbValue::Real(std::strtod(text, nullptr));
            case kByteaOid: {
                std::size_t len = 0;
                unsigned char* bytes =
                    PQunescapeBytea(reinterpret_cast<const unsigned char*>(text), &len);
                if (!bytes) return SDbValue::Null();
                SDbValue v = SDbValue::Blob(std::string(reinterpret_cast<char*>(bytes), len));
                PQfreemem(bytes);
                return v;
            }
            default: return SDbValue::Text(text);
        }
    }

    PGconn* m_conn;
    std::string m_error;
    bool m_unique = false;
};

}  // namespace

std::unique_ptr<IDbConnection> OpenPostgres(const std::string& conninfo, std::string& error) {
    // A server that does not answer must not hang the bench: ten seconds unless the URL says.
    std::string info = conninfo;
    if (info.find("connect_timeout") == std::string::npos) {
        if (info.find("://") != std::string::npos)
            info += info.find('?') == std::string::npos ? "?connect_timeout=10"
                                                         : "&connect_timeout=10";
        else
            info += " connect_timeout=10";
    }
    PGconn* conn = PQconnectdb(info.c_str());
    if (!conn || PQstatus(conn) != CONNECTION_OK) {
        error = conn ? PQerrorMessage(conn) : "out of memory";
        while (!error.empty() && (error.back() == '\n' || error.back() == ' ')) error.pop_back();
        PQfinish(conn);
        return nullptr;
    }
    std::unique_ptr<IDbConnection> db = std::make_unique<CPostgresDb>(conn);
    // Notices ("relation already exists, skipping") would go to stderr of the CLI.
    PQsetNoticeProcessor(conn, [](void*, const char*) {}, nullptr);
    if (!db->Exec("SET client_min_messages TO warning")) {
        error = db->LastError();
        return nullptr;
    }
    return db;
}

}  // namespace dravmer::archive
