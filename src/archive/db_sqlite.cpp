// SQLite back end: one file, write-ahead log, statements prepared once and kept.
#include <sqlite3.h>

#include <filesystem>
#include <map>

#include "archive/db.h"

namespace dravmer::archive {
namespace {

class CSqliteDb : public IDbConnection {
public:
    explicit CSqliteDb(sqlite3* db) : m_db(db) {}
    ~CSqliteDb() override {
        for (auto& [sql, st] : m_statements) sqlite3_finalize(st);
        sqlite3_close_v2(m_db);
    }

    const char* Dialect() const override { return "sqlite"; }
    const std::string& LastError() const override { return m_error; }
    bool LastWasUniqueViolation() const override { return m_unique; }
    bool Broken() const override { return false; }

    bool Exec(const std::string& sqlIn, const std::vector<SDbValue>& params,
              std::vector<SDbRow>* rows) override {
        m_error.clear();
        m_unique = false;
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
    bool Fail() {
        m_error = sqlite3_errmsg(m_db);
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
};

}  // namespace

std::unique_ptr<IDbConnection> OpenSqlite(const std::string& path, std::string& error) {
    if (path.empty()) {
        error = "no file named";
        return nullptr;
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
    // Several benches or a CLI next to the window may write the same file: wait for a lock
    // rather than fail at once.
    sqlite3_busy_timeout(db, 10000);
    auto conn = std::make_unique<CSqliteDb>(db);
    // A write-ahead log lets readers go on while an experiment is written; a killed process
    // leaves its unfinished transaction in the log, where the next open discards it.
    for (const char* pragma :
         {"PRAGMA foreign_keys = ON", "PRAGMA journal_mode = WAL", "PRAGMA synchronous = NORMAL"}) {
        std::vector<SDbRow> rows;
        if (!conn->Exec(pragma, {}, &rows)) {
            error = conn->LastError();
            return nullptr;
        }
    }
    return conn;
}

}  // namespace dravmer::archive
