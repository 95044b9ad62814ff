#pragma once
// The small piece of a database connection the archive needs: statements with $1..$n
// parameters, typed result cells, and transactions. One implementation per back end; the
// archive's schema and queries are written once above it.
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace dravmer::archive {

struct SDbValue {
    enum class Type { Null, Int, Real, Text, Blob };
    Type type = Type::Null;
    std::int64_t i = 0;
    double d = 0;
    std::string s;  // text or blob bytes

    static SDbValue Null() { return {}; }
    static SDbValue Int(std::int64_t v) { return {Type::Int, v, 0, {}}; }
    static SDbValue Real(double v) { return {Type::Real, 0, v, {}}; }
    static SDbValue Text(std::string v) { return {Type::Text, 0, 0, std::move(v)}; }
    static SDbValue Blob(std::string v) { return {Type::Blob, 0, 0, std::move(v)}; }

    bool IsNull() const { return type == Type::Null; }
    std::int64_t AsInt() const;
    // NULL reads as not-a-number: SQLite stores a NaN as NULL.
    double AsReal() const;
    std::string AsText() const;
};

using SDbRow = std::vector<SDbValue>;

class IDbConnection {
public:
    virtual ~IDbConnection() = default;
    // "sqlite" or "postgresql": the schema picks its column types by it.
    virtual const char* Dialect() const = 0;
    // One statement; parameters $1..$n. Rows go to `rows` when given. False with a message in
    // LastError() on failure.
    virtual bool Exec(const std::string& sql, const std::vector<SDbValue>& params = {},
                      std::vector<SDbRow>* rows = nullptr) = 0;
    virtual const std::string& LastError() const = 0;
    // The last failure broke a uniqueness rule (another bench archived the same experiment).
    virtual bool LastWasUniqueViolation() const = 0;
    // The connection is gone (server stopped, network down).
    virtual bool Broken() const = 0;
    // A flag another thread raises (Ctrl-C, "Отмена"): the statement that runs is cancelled
    // and every later one fails at once while the flag stays up. Null: nothing cancels.
    virtual void SetCancelFlag(const std::atomic<bool>* flag) = 0;
    // The last failure came from the cancel flag.
    virtual bool LastWasCancelled() const = 0;
};

// "sqlite:PATH". The file and its folder are created when missing. readOnly: the file is only
// read (it must exist); nothing is written to it or created beside it.
std::unique_ptr<IDbConnection> OpenSqlite(const std::string& path, std::string& error,
                                          bool readOnly = false);
// A libpq connection string or URI ("postgresql://user@host/db"). Statements and lock waits
// are limited to 30 s unless the connection's options set statement_timeout or lock_timeout
// ("?options=-c%20lock_timeout%3D5s"). A raised cancel flag ends the connecting too.
// readOnly: the session refuses every write.
std::unique_ptr<IDbConnection> OpenPostgres(const std::string& conninfo, std::string& error,
                                            const std::atomic<bool>* cancel = nullptr,
                                            bool readOnly = false);

}  // namespace dravmer::archive
