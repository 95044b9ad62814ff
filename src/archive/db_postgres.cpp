// PostgreSQL back end through libpq: parameters go as text, blobs as binary; results come as
// text and are typed by the column's type. The connection is non-blocking underneath, so a
// statement waits in short slices and can be cancelled from another thread, and a server that
// stops answering altogether is given up instead of holding the bench for ever.
#include <libpq-fe.h>
#include <poll.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <thread>

#include "archive/db.h"

namespace dravmer::archive {
namespace {

using Clock = std::chrono::steady_clock;

// Type numbers of the built-in types the schema uses.
constexpr Oid kBoolOid = 16, kByteaOid = 17, kInt8Oid = 20, kInt2Oid = 21, kInt4Oid = 23,
              kFloat4Oid = 700, kFloat8Oid = 701, kNumericOid = 1700;

// Waits are cut into slices this long, so a cancel flag is seen within a tenth of a second.
constexpr int kSliceMs = 100;
// A statement that the server's own limit did not end is given this long on top of it before
// the bench cancels it: the server (or the network to it) no longer answers.
constexpr int kClientGraceMs = 10000;
// How long a cancelled statement may take to end before the connection is given up.
constexpr int kCancelAnswerMs = 5000;

std::string DoubleText(double d) {
    if (std::isnan(d)) return "NaN";
    if (std::isinf(d)) return d > 0 ? "Infinity" : "-Infinity";
    char buf[32];
    auto r = std::to_chars(buf, buf + sizeof buf, d);  // shortest text that reads back exactly
    return std::string(buf, r.ptr);
}

int MsSince(Clock::time_point t) {
    return static_cast<int>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count());
}

std::string Trimmed(const char* text) {
    std::string s = text ? text : "";
    while (!s.empty() && (s.back() == '\n' || s.back() == ' ')) s.pop_back();
    return s;
}

// Waits up to kSliceMs for the connection's socket. False when the socket is gone.
bool WaitSocket(PGconn* conn, bool forWrite) {
    pollfd p{PQsocket(conn), static_cast<short>(POLLIN | (forWrite ? POLLOUT : 0)), 0};
    if (p.fd < 0) return false;
    ::poll(&p, 1, kSliceMs);
    return true;
}

// A cancel request on a thread of its own: PQcancel waits until the server's postmaster has
// taken the request, and a postmaster that hangs must not hang the bench with it. A request
// still waiting when the statement is given up is left to end by itself; it owns what it uses.
class CCancelRequest {
public:
    explicit CCancelRequest(PGconn* conn) : m_state(std::make_shared<SState>()) {
        m_state->cancel = PQgetCancel(conn);
        m_thread = std::thread([state = m_state] {
            char error[256];
            if (state->cancel) PQcancel(state->cancel, error, sizeof error);
            state->done = true;
        });
    }
    ~CCancelRequest() {
        for (int k = 0; k < 100 && !m_state->done; ++k)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (m_state->done)
            m_thread.join();
        else
            m_thread.detach();
    }
    CCancelRequest(const CCancelRequest&) = delete;
    CCancelRequest& operator=(const CCancelRequest&) = delete;

private:
    struct SState {
        PGcancel* cancel = nullptr;
        std::atomic<bool> done{false};
        ~SState() {
            if (cancel) PQfreeCancel(cancel);
        }
    };
    std::shared_ptr<SState> m_state;
    std::thread m_thread;
};

class CPostgresDb : public IDbConnection {
public:
    explicit CPostgresDb(PGconn* conn) : m_conn(conn) {}
    ~CPostgresDb() override {
        if (m_conn) PQfinish(m_conn);
    }

    const char* Dialect() const override { return "postgresql"; }
    const std::string& LastError() const override { return m_error; }
    bool LastWasUniqueViolation() const override { return m_unique; }
    bool Broken() const override { return !m_conn || PQstatus(m_conn) != CONNECTION_OK; }
    void SetCancelFlag(const std::atomic<bool>* flag) override { m_cancel = flag; }
    bool LastWasCancelled() const override { return m_cancelled; }
    // The server's statement limit as this session has it; 0: none.
    void SetStatementLimitMs(long long ms) { m_clientLimitMs = ms > 0 ? ms + kClientGraceMs : 0; }

    bool Exec(const std::string& sql, const std::vector<SDbValue>& params,
              std::vector<SDbRow>* rows) override {
        m_error.clear();
        m_unique = false;
        m_cancelled = false;
        if (!m_conn) {
            m_error = "the connection was closed after the server stopped answering";
            return false;
        }
        if (m_cancel && m_cancel->load()) {
            m_cancelled = true;
            m_error = "cancelled";
            return false;
        }
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
        if (!PQsendQueryParams(m_conn, sql.c_str(), static_cast<int>(params.size()), nullptr,
                               values.data(), lengths.data(), formats.data(), 0)) {
            m_error = Trimmed(PQerrorMessage(m_conn));
            if (m_error.empty()) m_error = "the server closed the connection";
            return false;
        }
        PGresult* res = nullptr;
        if (!AwaitResult(res)) return false;
        ExecStatusType status = res ? PQresultStatus(res) : PGRES_FATAL_ERROR;
        if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
            TakeError(res);
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
    // Sends what is queued and reads until the statement's results are complete. `res` gets the
    // first failed result, else the last one (null when the connection broke). False when the
    // connection was given up (m_error says why).
    bool AwaitResult(PGresult*& res) {
        const Clock::time_point start = Clock::now();
        Clock::time_point cancelledAt{};
        std::unique_ptr<CCancelRequest> cancel;
        bool lateCancel = false;
        int flushing = 1;
        for (;;) {
            if (flushing > 0) flushing = PQflush(m_conn);
            if (flushing < 0 || !PQconsumeInput(m_conn)) break;  // the connection broke
            bool complete = false;
            while (!PQisBusy(m_conn)) {
                PGresult* r = PQgetResult(m_conn);
                if (!r) {
                    complete = true;
                    break;
                }
                const ExecStatusType s = PQresultStatus(r);
                const bool failed = s != PGRES_COMMAND_OK && s != PGRES_TUPLES_OK;
                if (!res || (failed && (PQresultStatus(res) == PGRES_COMMAND_OK ||
                                        PQresultStatus(res) == PGRES_TUPLES_OK))) {
                    PQclear(res);
                    res = r;
                } else {
                    PQclear(r);
                }
            }
            if (complete) break;
            if (!cancel) {
                const bool byFlag = m_cancel && m_cancel->load();
                const bool late = m_clientLimitMs > 0 && MsSince(start) > m_clientLimitMs;
                if (byFlag || late) {
                    cancel = std::make_unique<CCancelRequest>(m_conn);
                    cancelledAt = Clock::now();
                    m_cancelled = byFlag;
                    lateCancel = !byFlag;
                }
            } else if (MsSince(cancelledAt) > kCancelAnswerMs) {
                // Neither the statement nor its cancel is answered: the session is useless.
                PQclear(res);
                res = nullptr;
                PQfinish(m_conn);
                m_conn = nullptr;
                m_error = m_cancelled ? "cancelled; the server did not answer, the connection "
                                        "was closed"
                                      : "the server did not answer within " +
                                            std::to_string(m_clientLimitMs / 1000) +
                                            " s; the connection was closed";
                return false;
            }
            if (!WaitSocket(m_conn, flushing > 0)) break;
        }
        m_cancelled = m_cancelled && cancel != nullptr;
        if (lateCancel && res && PQresultStatus(res) == PGRES_FATAL_ERROR) {
            m_error = "the server did not answer within " +
                      std::to_string(m_clientLimitMs / 1000) + " s";
        }
        return true;
    }

    void TakeError(PGresult* res) {
        const char* state = res ? PQresultErrorField(res, PG_DIAG_SQLSTATE) : nullptr;
        m_unique = state && std::strcmp(state, "23505") == 0;
        const bool timedOut = state && (std::strcmp(state, "57014") == 0 ||   // statement
                                        std::strcmp(state, "55P03") == 0);    // lock
        if (!m_error.empty()) return;  // the client's own limit said it already
        m_error = Trimmed(res ? PQresultErrorMessage(res) : m_conn ? PQerrorMessage(m_conn) : "");
        if (m_error.empty()) m_error = "the server closed the connection";
        if (m_cancelled) {
            m_error = "cancelled";
        } else if (timedOut) {
            m_error +=
                " (the archive's time limit; the URL can set another, e.g. "
                "?options=-c%20statement_timeout%3D120s or lock_timeout)";
        }
    }

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
    bool m_cancelled = false;
    const std::atomic<bool>* m_cancel = nullptr;
    long long m_clientLimitMs = 0;
};

// The connection's connect_timeout in milliseconds; 0: none. libpq takes less than 2 s as 2 s.
int ConnectLimitMs(PGconn* conn) {
    int seconds = 0;
    if (PQconninfoOption* options = PQconninfo(conn)) {
        for (PQconninfoOption* o = options; o->keyword; ++o)
            if (std::strcmp(o->keyword, "connect_timeout") == 0 && o->val)
                seconds = std::atoi(o->val);
        PQconninfoFree(options);
    }
    return seconds <= 0 ? 0 : std::max(seconds, 2) * 1000;
}

// Connects without blocking for longer than a slice, so a cancel flag ends the wait.
PGconn* Connect(const std::string& info, const std::atomic<bool>* cancel, std::string& error) {
    PGconn* conn = PQconnectStart(info.c_str());
    if (!conn) {
        error = "out of memory";
        return nullptr;
    }
    const int limitMs = ConnectLimitMs(conn);
    const Clock::time_point start = Clock::now();
    PostgresPollingStatusType state =
        PQstatus(conn) == CONNECTION_BAD ? PGRES_POLLING_FAILED : PGRES_POLLING_WRITING;
    while (state != PGRES_POLLING_OK && state != PGRES_POLLING_FAILED) {
        if (cancel && cancel->load()) {
            error = "cancelled";
            PQfinish(conn);
            return nullptr;
        }
        if (limitMs > 0 && MsSince(start) > limitMs) {
            error = "timeout expired";
            PQfinish(conn);
            return nullptr;
        }
        const short events = state == PGRES_POLLING_READING ? POLLIN : POLLOUT;
        pollfd p{PQsocket(conn), events, 0};
        if (p.fd < 0) break;
        if (::poll(&p, 1, kSliceMs) == 0) continue;
        state = PQconnectPoll(conn);
    }
    if (PQstatus(conn) != CONNECTION_OK) {
        error = Trimmed(PQerrorMessage(conn));
        if (error.empty()) error = "cannot connect";
        PQfinish(conn);
        return nullptr;
    }
    return conn;
}

}  // namespace

std::unique_ptr<IDbConnection> OpenPostgres(const std::string& conninfo, std::string& error,
                                            const std::atomic<bool>* cancel, bool readOnly) {
    // A server that does not answer must not hang the bench: ten seconds unless the URL says.
    std::string info = conninfo;
    if (info.find("connect_timeout") == std::string::npos) {
        if (info.find("://") != std::string::npos)
            info += info.find('?') == std::string::npos ? "?connect_timeout=10"
                                                         : "&connect_timeout=10";
        else
            info += " connect_timeout=10";
    }
    PGconn* conn = Connect(info, cancel, error);
    if (!conn) return nullptr;
    // Notices ("relation already exists, skipping") would go to stderr of the CLI.
    PQsetNoticeProcessor(conn, [](void*, const char*) {}, nullptr);
    if (PQsetnonblocking(conn, 1) != 0) {
        error = Trimmed(PQerrorMessage(conn));
        PQfinish(conn);
        return nullptr;
    }
    auto pg = std::make_unique<CPostgresDb>(conn);
    pg->SetCancelFlag(cancel);
    IDbConnection* db = pg.get();
    // A held lock or a statement the server cannot finish ends after 30 s, unless the URL's
    // options (or PGOPTIONS) chose another limit: those arrive with the source "client".
    std::vector<SDbRow> rows;
    if (!db->Exec("SET client_min_messages TO warning") ||
        !db->Exec("SELECT set_config(name, '30s', false) FROM pg_settings WHERE name IN "
                  "('statement_timeout', 'lock_timeout') AND source <> 'client'") ||
        !db->Exec("SELECT setting FROM pg_settings WHERE name = 'statement_timeout'", {}, &rows) ||
        rows.empty() || (readOnly && !db->Exec("SET default_transaction_read_only = on"))) {
        error = db->LastError();
        return nullptr;
    }
    pg->SetStatementLimitMs(rows[0][0].AsInt());
    return pg;
}

}  // namespace dravmer::archive
