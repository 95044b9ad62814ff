#pragma once
// A private PostgreSQL server for the tests: initdb and pg_ctl of the Debian postgresql package
// in a temporary folder, listening only on a Unix socket in that folder. PostgreSQL refuses to
// run as root, so under root (CI) the folder is handed to "nobody" and the server runs as that
// user. One server per test program; a watchdog process stops it if the program dies.
#include <string>

namespace dravmer::testing_archive {

class CTestPostgres {
public:
    // The server of this process, started on first use. Empty Url() and a reason in Error()
    // when it cannot start: the tests then fail, they never skip.
    static CTestPostgres& Instance();
    bool Running() const { return m_running; }
    const std::string& Error() const { return m_error; }
    const std::string& SocketDir() const { return m_dir; }
    // A new empty database on the server, as a libpq URI.
    std::string NewDatabaseUrl();
    // Stops the server at once (a lab server going away under a running program).
    void Stop();
    ~CTestPostgres();

private:
    CTestPostgres();
    bool Start();
    int RunTool(const std::string& command);  // as the server's user; exit status

    bool m_running = false;
    std::string m_dir, m_error, m_runAs;
    int m_watchdogPipe = -1;
    int m_databases = 0;
};

// A libpq URI for database `db` on the socket folder.
std::string PostgresUrl(const std::string& socketDir, const std::string& db);

}  // namespace dravmer::testing_archive
