// SQLite back end: one file, write-ahead log, statements prepared once and kept.
#include <sqlite3.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <thread>

#include "archive/db.h"

namespace dravmer::archive {
namespace {

// Several benches or a CLI next to the window may write the same file: a lock is waited for
// this long rather than failing at once.
constexpr int kBusyWaitMs = 10000;
constexpr int kBusySliceMs = 20;

class CSqliteDb : public IDbConnection {
public:
    explicit CSqliteDb(sqlite3* db) : m_db(db) {
        sqlite3_busy_handler(m_db, &CSqliteDb::OnBusy, this);
        // Every thousand steps of a statement look at the cancel flag.
        sqlite3_progress_handler(m_db, 1000, &CSqliteDb::OnProgress, this);
    }
    ~CSqliteDb() override {
        for (auto& [sql, st] : m_statements) sqlite3_finalize(st);
        sqlite3_close_v2(m_db);
    }

    const char* Dialect() const override { return "sqlite"; }
    const std::string& LastError() const override { return m_error; }
    bool LastWasUniqueViolation() const override { return m_unique; }
    bool Broken() const override { return false; }
    void SetCancelFlag(const std::atomic<bool>* flag) override { m_cancel = flag; }
    bool LastWasCancelled() const override { return m_cancelled; }

    bool Exec(const std::string& sqlIn, const std::vector<SDbValue>& params,
              std::vector<SDbRow>* rows) override {
        m_error.clear();
        m_unique = false;
        m_cancelled = false;
        if (CancelRaised()) {
            m_cancelled = true;
            m_error = "cancelled";
            return false;
        }
        sqlite3_stmt* st = Prepare(sqlIn);
        if (!st) return false;
        sqlite3_reset(st);
        sqlite3_clear_bindings(st);
        for (std::size_t k = 0; k < params.size(); ++k) {
            const SDbValue& v = params[k];
            int idx = static_cast<int>(k) + 1;
            int rc = SQLITE_OK;
            switch (v.type) {
                case SDbValue::Type::Null: rc = sqlite3_bind_null(st, idx); break;
                case SDbValue::Type::Int: rc = sqlite3_bind_int64(st, idx, v.i); break;
                case SDbValue::Type::Real: rc = sqlite3_bind_double(st, idx, v.d); break;
                case SDbValue::Type::Text:
                    rc = sqlite3_bind_text64(st, idx, v.s.data(), v.s.size(), SQLITE_STATIC,
                                             SQLITE_UTF8);
                    break;
                case SDbValue::Type::Blob:
                    rc = sqlite3_bind_blob64(st, idx, v.s.data(), v.s.size(), SQLITE_STATIC);
                    break;
            }
            if (rc != SQLITE_OK) return Fail();
        }
        for (;;) {
            int rc = sqlite3_step(st);
            if (rc == SQLITE_DONE) break;
            if (rc != SQLITE_ROW) {
                int ext = sqlite3_extended_errcode(m_db);
                m_unique = ext == SQLITE_CONSTRAINT_UNIQUE || ext == SQLITE_CONSTRAINT_PRIMARYKEY;
                bool ok = Fail();
                sqlite3_reset(st);
                return ok;
            }
            if (!rows) continue;
            SDbRow row;
            int n = sqlite3_column_count(st);
            for (int c = 0; c < n; ++c) {
                switch (sqlite3_column_type(st, c)) {
                    case SQLITE_INTEGER:
                        row.push_back(SDbValue::Int(sqlite3_column_int64(st, c)));
                        break;
                    case SQLITE_FLOAT:
                        row.push_back(SDbValue::Real(sqlite3_column_double(st, c)));
                        break;
                    case SQLITE_TEXT: {
                        auto* p = reinterpret_cast<const char*>(sqlite3_column_text(st, c));
                        row.push_back(SDbValue::Text(
                            std::string(p, static_cast<std::size_t>(sqlite3_column_bytes(st, c)))));
                        break;
                    }
                    case SQLITE_BLOB: {
                        auto* p = static_cast<const char*>(sqlite3_column_blob(st, c));
                        std::size_t len = static_cast<std::size_t>(sqlite3_column_bytes(st, c));
                        row.push_back(SDbValue::Blob(p ? std::string(p, len) : std::string()));
                        break;
                    }
                    default: row.push_back(SDbValue::Null());
                }
            }
            rows->push_back(std::move(row));
        }
        sqlite3_reset(st);
        // Blob and text parameters were bound without a copy; drop them before they go.
        sqlite3_clear_bindings(st);
        return true;
    }

private:
    bool CancelRaised() const { return m_cancel && m_cancel->load(); }

    static int OnBusy(void* self, int count) {
        auto* db = static_cast<CSqliteDb*>(self);
        if (db->CancelRaised() || count * kBusySliceMs >= kBusyWaitMs) return 0;
        std::this_thread::sleep_for(std::chrono::milliseconds(kBusySliceMs));
        return 1;
    }
    static int OnProgress(void* self) { return static_cast<CSqliteDb*>(self)->CancelRaised(); }

    bool Fail() {
        m_cancelled = CancelRaised();
        m_error = m_cancelled ? "cancelled" : sqlite3_errmsg(m_db);
        return false;
    }

    sqlite3_stmt* Prepare(const std::string& sqlIn) {
        auto it = m_statements.find(sqlIn);
        if (it != m_statements.end()) return it->second;
        // The queries number their parameters as $1..$n; SQLite spells that ?1..?n.
        std::string sql = sqlIn;
        for (std::size_t k = 0; k + 1 < sql.size(); ++k)
            if (sql[k] == '$' && sql[k + 1] >= '0' && sql[k + 1] <= '9') sql[k] = '?';
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(m_db, sql.c_str(), static_cast<int>(sql.size()), &st, nullptr) !=
            SQLITE_OK) {
            Fail();
            return nullptr;
        }
        m_statements.emplace(sqlIn, st);
        return st;
    }

    sqlite3* m_db;
    std::map<std::string, sqlite3_stmt*> m_statements;
    std::string m_error;
    bool m_unique = false;
    bool m_cancelled = false;
    const std::atomic<bool>* m_cancel = nullptr;
};

// A file in write-ahead-log mode: bytes 18 and 19 of the header are 2.
bool IsWalFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    char header[20] = {};
    return f.read(header, sizeof header) && header[18] == 2 && header[19] == 2;
}

// "file:" URI of a path: the characters that mean something in a URI are escaped.
std::string FileUri(const std::string& path) {
    std::string uri = "file://";
    const std::string abs = std::filesystem::absolute(path).string();
    for (unsigned char c : abs) {
        if (c == '%' || c == '?' || c == '#' || c <= ' ' || c >= 0x7F) {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", c);
            uri += hex;
        } else {
            uri += static_cast<char>(c);
        }
    }
    return uri;
}

// Reading opens the file read-only. A log-mode file whose log is gone (no program has it open,
// and the last one folded its log in) is opened as immutable: an ordinary read-only open would
// leave -wal and -shm files behind, and cannot open it at all on a read-only medium. With a
// log beside it a writer may be at work, and the log must be read too.
sqlite3* OpenForReading(const std::string& path, std::string& error) {
    sqlite3* db = nullptr;
    std::error_code ec;
    const bool immutable = IsWalFile(path) && !std::filesystem::exists(path + "-wal", ec);
    const std::string name = immutable ? FileUri(path) + "?immutable=1" : path;
    const int flags =
        SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX | (immutable ? SQLITE_OPEN_URI : 0);
    if (sqlite3_open_v2(name.c_str(), &db, flags, nullptr) != SQLITE_OK) {
        error = db ? sqlite3_errmsg(db) : "out of memory";
        sqlite3_close_v2(db);
        return nullptr;
    }
    return db;
}

}  // namespace

std::unique_ptr<IDbConnection> OpenSqlite(const std::string& path, std::string& error,
                                          bool readOnly) {
    if (path.empty()) {
        error = "no file named";
        return nullptr;
    }
    if (readOnly) {
        sqlite3* db = OpenForReading(path, error);
        if (!db) return nullptr;
        return std::make_unique<CSqliteDb>(db);
    }
    std::error_code ec;
    std::filesystem::path parent = std::filesystem::path(path).parent_path();
    if (!parent.empty()) std::filesystem::create_directories(parent, ec);
    sqlite3* db = nullptr;
    int rc = sqlite3_open_v2(path.c_str(), &db,
                             SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                             nullptr);
    if (rc != SQLITE_OK) {
        error = db ? sqlite3_errmsg(db) : "out of memory";
        sqlite3_close_v2(db);
        return nullptr;
    }
    std::unique_ptr<IDbConnection> conn = std::make_unique<CSqliteDb>(db);
    // The log mode is the archive's to set once it knows the file is an archive (a foreign
    // database is left as it is): see the schema check.
    if (!conn->Exec("PRAGMA foreign_keys = ON")) {
        error = conn->LastError();
        return nullptr;
    }
    return conn;
}

}  // namespace dravmer::archive
