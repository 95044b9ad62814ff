#include "pg_server.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "archive/db.h"

namespace dravmer::testing_archive {

namespace fs = std::filesystem;

namespace {
const char* kBin = "/usr/lib/postgresql/15/bin";

std::string Quote(const std::string& s) { return "'" + s + "'"; }
}  // namespace

std::string PostgresUrl(const std::string& socketDir, const std::string& db) {
    return "postgresql://dravmer@/" + db + "?host=" + socketDir;
}

CTestPostgres& CTestPostgres::Instance() {
    static CTestPostgres server;
    return server;
}

CTestPostgres::CTestPostgres() { m_running = Start(); }

CTestPostgres::~CTestPostgres() { Stop(); }

int CTestPostgres::RunTool(const std::string& command) {
    // The server's user may not be allowed into the test's working folder (a build tree under
    // /root); the tools are started from the server's own folder.
    std::string line = "cd " + Quote(m_dir) + " && " +
                       (m_runAs.empty() ? command : "runuser -u " + m_runAs + " -- " + command);
    int status = std::system(line.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool CTestPostgres::Start() {
    if (!fs::exists(std::string(kBin) + "/initdb")) {
        m_error = std::string("no initdb in ") + kBin + " (scripts/setup-deps installs postgresql)";
        return false;
    }
    char templ[] = "/tmp/dravmer-pg.XXXXXX";
    if (!::mkdtemp(templ)) {
        m_error = "cannot create a temporary folder";
        return false;
    }
    m_dir = templ;
    if (::geteuid() == 0) {
        passwd* pw = ::getpwnam("nobody");
        if (!pw || ::chown(m_dir.c_str(), pw->pw_uid, pw->pw_gid) != 0) {
            m_error = "cannot hand the server's folder to the user nobody";
            return false;
        }
        m_runAs = "nobody";
    }
    const std::string data = m_dir + "/data";
    const std::string log = m_dir + "/server.log";
    if (RunTool(std::string(kBin) + "/initdb -D " + Quote(data) +
                " -A trust -U dravmer -E UTF8 --locale=C --no-sync >" + Quote(m_dir + "/initdb.log") +
                " 2>&1") != 0) {
        std::ifstream f(m_dir + "/initdb.log");
        m_error = "initdb failed: " + std::string(std::istreambuf_iterator<char>(f), {});
        return false;
    }
    // Only the private socket; no fsync: the tests' data need not survive a power cut, and
    // a killed client is what the crash test is about.
    if (RunTool(std::string(kBin) + "/pg_ctl -D " + Quote(data) + " -l " + Quote(log) +
                " -w -t 30 -o \"-k " + m_dir +
                " -c listen_addresses='' -F -c max_connections=40\" start >/dev/null 2>&1") != 0) {
        std::ifstream f(log);
        m_error = "pg_ctl start failed: " + std::string(std::istreambuf_iterator<char>(f), {});
        return false;
    }
    // The watchdog stops the server when this process ends without running its destructors.
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) == 0) {
        pid_t pid = ::fork();
        if (pid == 0) {
            ::close(fds[1]);
            char c;
            while (::read(fds[0], &c, 1) > 0) {
            }
            RunTool(std::string(kBin) + "/pg_ctl -D " + Quote(data) +
                    " -m immediate stop >/dev/null 2>&1");
            std::error_code ec;
            fs::remove_all(m_dir, ec);
            ::_exit(0);
        }
        ::close(fds[0]);
        m_watchdogPipe = fds[1];
    }
    return true;
}

void CTestPostgres::Stop() {
    if (m_running) {
        RunTool(std::string(kBin) + "/pg_ctl -D " + Quote(m_dir + "/data") +
                " -m immediate stop >/dev/null 2>&1");
        m_running = false;
    }
    if (m_watchdogPipe >= 0) {
        ::close(m_watchdogPipe);
        m_watchdogPipe = -1;
    }
    if (!m_dir.empty()) {
        std::error_code ec;
        fs::remove_all(m_dir, ec);
    }
}

std::string CTestPostgres::NewDatabaseUrl() {
    if (!m_running) return {};
    std::string error;
    auto admin = archive::OpenPostgres(PostgresUrl(m_dir, "postgres"), error);
    if (!admin) {
        m_error = error;
        return {};
    }
    const std::string name = "t" + std::to_string(++m_databases);
    if (!admin->Exec("CREATE DATABASE " + name)) {
        m_error = admin->LastError();
        return {};
    }
    return PostgresUrl(m_dir, name);
}

}  // namespace dravmer::testing_archive
