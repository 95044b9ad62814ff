// A lab server that holds a lock or stops answering: statements end at the archive's time limit
// or when the operator cancels them, and nothing of an unfinished experiment stays.
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <future>
#include <thread>

#include "archive/archive_io.h"
#include "archive/db.h"
#include "archive_fixture.h"
#include "cli/cli.h"
#include "files/experiment_scan.h"
#include "platform/settings_store.h"

namespace dravmer::testing_archive {
namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point t) {
    return std::chrono::duration<double>(Clock::now() - t).count();
}

SArchivedExperiment FromFolder(const fs::path& folder) {
    CExperimentList list;
    list.Scan(folder.string());
    SGroupDescription d = list.Describe(0);
    SArchivedExperiment e;
    std::string error;
    EXPECT_EQ(ExperimentFromFiles(d.files, d.time, d.label, SArchiveDefaults(), e, error),
              kArchiveOk)
        << error;
    return e;
}

// The test server's URL with libpq options, e.g. "-c lock_timeout=500ms".
std::string WithOptions(const std::string& url, const std::string& options) {
    std::string encoded;
    for (char c : options) {
        if (c == ' ')
            encoded += "%20";
        else if (c == '=')
            encoded += "%3D";
        else
            encoded += c;
    }
    return url + "&options=" + encoded;
}

std::string DatabaseOf(const std::string& url) {
    const std::size_t at = url.find("@/") + 2;
    return url.substr(at, url.find('?') - at);
}

std::string Show(archive::IDbConnection& db, const std::string& name) {
    std::vector<archive::SDbRow> rows;
    EXPECT_TRUE(db.Exec("SHOW " + name, {}, &rows)) << db.LastError();
    return rows.empty() ? "" : rows[0][0].AsText();
}

// Another program (a backup, a long report) holds the archive's experiments locked.
class CHeldLock {
public:
    explicit CHeldLock(const std::string& url) {
        std::string error;
        m_db = archive::OpenPostgres(url, error);
        EXPECT_TRUE(m_db) << error;
        if (!m_db) return;
        EXPECT_TRUE(m_db->Exec("BEGIN"));
        EXPECT_TRUE(m_db->Exec("LOCK TABLE experiments IN ACCESS EXCLUSIVE MODE"))
            << m_db->LastError();
    }
    ~CHeldLock() {
        if (m_db) m_db->Exec("ROLLBACK");
    }

private:
    std::unique_ptr<archive::IDbConnection> m_db;
};

class ArchiveLimits : public ArchiveTest {
protected:
    void SetUp() override {
        ArchiveTest::SetUp();
        WriteExperiment(dir / "a", "261206", 1, {101, 102}, 40, false);
        WriteExperiment(dir / "b", "261206", 2, {101}, 40, false);
        auto archive = OpenArchive();
        ASSERT_TRUE(archive);
        std::int64_t id = 0;
        ASSERT_EQ(archive->Add(FromFolder(dir / "a"), id), kArchiveOk) << archive->LastError();
    }
    std::int64_t Count() {
        auto archive = OpenArchive();
        std::int64_t n = -1;
        if (archive) {
            EXPECT_EQ(archive->Count(n), kArchiveOk);
        }
        return n;
    }
    // Waits until a session of the test's database waits for a lock.
    bool SomeoneWaitsForALock() {
        std::string error;
        auto admin = archive::OpenPostgres(
            PostgresUrl(CTestPostgres::Instance().SocketDir(), "postgres"), error);
        if (!admin) return false;
        for (int k = 0; k < 400; ++k) {
            std::vector<archive::SDbRow> rows;
            if (!admin->Exec("SELECT count(*) FROM pg_stat_activity WHERE datname = $1 AND "
                             "wait_event_type = 'Lock'",
                             {archive::SDbValue::Text(DatabaseOf(url))}, &rows))
                return false;
            if (!rows.empty() && rows[0][0].AsInt() > 0) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
    }
};

TEST_P(ArchiveLimits, StatementsAndLocksWaitThirtySecondsUnlessTheUrlSaysOtherwise) {
    std::string error;
    auto plain = archive::OpenPostgres(url, error);
    ASSERT_TRUE(plain) << error;
    EXPECT_EQ(Show(*plain, "statement_timeout"), "30s");
    EXPECT_EQ(Show(*plain, "lock_timeout"), "30s");
    auto chosen = archive::OpenPostgres(WithOptions(url, "-c lock_timeout=500ms"), error);
    ASSERT_TRUE(chosen) << error;
    EXPECT_EQ(Show(*chosen, "lock_timeout"), "500ms");
    EXPECT_EQ(Show(*chosen, "statement_timeout"), "30s");
    auto none = archive::OpenPostgres(WithOptions(url, "-c statement_timeout=0"), error);
    ASSERT_TRUE(none) << error;
    EXPECT_EQ(Show(*none, "statement_timeout"), "0");
}

TEST_P(ArchiveLimits, AHeldLockEndsAddingAndListingAtTheUrlsLimitWithNothingWritten) {
    const std::string shortUrl = WithOptions(url, "-c lock_timeout=500ms");
    CHeldLock lock(url);
    int code = 0;
    std::string error;
    auto archive = CArchive::Open(shortUrl, code, error);
    ASSERT_TRUE(archive) << error;
    std::int64_t id = 0;
    EXPECT_EQ(archive->Add(FromFolder(dir / "b"), id), kArchiveDbError);
    EXPECT_NE(archive->LastError().find("lock timeout"), std::string::npos) << archive->LastError();
    EXPECT_NE(archive->LastError().find("time limit"), std::string::npos) << archive->LastError();
    EXPECT_EQ(id, 0);

    auto reader = CArchive::Open(shortUrl, code, error, {true, nullptr});
    ASSERT_TRUE(reader) << error;
    std::vector<SArchiveListRow> rows;
    EXPECT_EQ(reader->List({}, rows), kArchiveDbError);
    EXPECT_NE(reader->LastError().find("lock timeout"), std::string::npos) << reader->LastError();

    // The CLI says the same and ends with a failure.
    std::ostringstream out, err;
    EXPECT_EQ(cli::RunCli({"archive", "--archive", shortUrl, "list"}, out, err,
                          std::make_unique<CMemorySettingsStore>(), Language::English),
              1);
    EXPECT_NE(err.str().find("lock timeout"), std::string::npos) << err.str();
}

TEST_P(ArchiveLimits, ACancelEndsAStatementThatWaitsForALock) {
    SArchivedExperiment e = FromFolder(dir / "b");
    {
        CHeldLock lock(url);
        std::atomic<bool> cancel{false};
        int code = 0;
        std::string error;
        auto archive = CArchive::Open(url, code, error, {false, &cancel});
        ASSERT_TRUE(archive) << error;
        auto adding = std::async(std::launch::async, [&] {
            std::int64_t id = 0;
            return archive->Add(e, id);
        });
        ASSERT_TRUE(SomeoneWaitsForALock());
        const Clock::time_point cancelledAt = Clock::now();
        cancel = true;
        ASSERT_EQ(adding.wait_for(std::chrono::seconds(60)), std::future_status::ready);
        EXPECT_EQ(adding.get(), kArchiveStopped) << archive->LastError();
        // Well before the 30-s limit: it was the cancel that ended the wait.
        EXPECT_LT(SecondsSince(cancelledAt), 20.0);
    }
    EXPECT_EQ(Count(), 1);
    auto archive = OpenArchive();
    std::int64_t id = 0;
    EXPECT_EQ(archive->Add(e, id), kArchiveOk) << archive->LastError();
}

TEST_P(ArchiveLimits, CtrlCEndsTheCliWaitingForALock) {
    CHeldLock lock(url);
    std::ostringstream out, err;
    auto listing = std::async(std::launch::async, [&] {
        return cli::RunCli({"archive", "--archive", url, "list"}, out, err,
                           std::make_unique<CMemorySettingsStore>(), Language::English);
    });
    // The command installs its Ctrl-C handler before it connects, so the signal only sets a flag.
    ASSERT_TRUE(SomeoneWaitsForALock());
    const Clock::time_point interruptedAt = Clock::now();
    ::kill(::getpid(), SIGINT);
    ASSERT_EQ(listing.wait_for(std::chrono::seconds(60)), std::future_status::ready);
    EXPECT_EQ(listing.get(), 1);
    EXPECT_NE(err.str().find("interrupted"), std::string::npos) << err.str();
    EXPECT_LT(SecondsSince(interruptedAt), 20.0);
}

TEST_P(ArchiveLimits, AServerThatStopsAnsweringIsGivenUp) {
    // A statement limit of one second: the bench waits that and its grace, then cancels, then
    // gives the connection up.
    int code = 0;
    std::string error;
    auto archive = CArchive::Open(WithOptions(url, "-c statement_timeout=1s"), code, error);
    ASSERT_TRUE(archive) << error;
    auto admin = archive::OpenPostgres(
        PostgresUrl(CTestPostgres::Instance().SocketDir(), "postgres"), error);
    ASSERT_TRUE(admin) << error;
    std::vector<archive::SDbRow> rows;
    ASSERT_TRUE(admin->Exec("SELECT pid FROM pg_stat_activity WHERE datname = $1",
                            {archive::SDbValue::Text(DatabaseOf(url))}, &rows));
    ASSERT_EQ(rows.size(), 1u);
    const pid_t backend = static_cast<pid_t>(rows[0][0].AsInt());
    ASSERT_EQ(::kill(backend, SIGSTOP), 0);  // the server process hangs
    std::vector<SArchiveListRow> list;
    const int listed = archive->List({}, list);
    ::kill(backend, SIGCONT);
    EXPECT_EQ(listed, kArchiveUnreachable);
    EXPECT_NE(archive->LastError().find("did not answer"), std::string::npos)
        << archive->LastError();
    EXPECT_EQ(archive->List({}, list), kArchiveUnreachable);
}

INSTANTIATE_TEST_SUITE_P(Server, ArchiveLimits, ::testing::Values("postgresql"), BackendName);

// SQLite: a second program holds the write lock; the bench waits, and a cancel ends the wait.
TEST(ArchiveLimitsSqlite, ACancelEndsTheWaitForAnotherProgramsWriteLock) {
    const fs::path folder =
        fs::temp_directory_path() / ("dravmer-limits-" + std::to_string(::getpid()));
    fs::remove_all(folder);
    const std::string url = "sqlite:" + (folder / "archive.sqlite").string();
    int code = 0;
    std::string error;
    ASSERT_TRUE(CArchive::Open(url, code, error)) << error;
    auto holder = archive::OpenSqlite((folder / "archive.sqlite").string(), error);
    ASSERT_TRUE(holder) << error;
    ASSERT_TRUE(holder->Exec("BEGIN IMMEDIATE")) << holder->LastError();

    std::atomic<bool> cancel{false};
    auto archive = CArchive::Open(url, code, error, {false, &cancel});
    ASSERT_TRUE(archive) << error;
    SArchivedExperiment e;
    e.date = "261206";
    e.number = 3;
    e.columns = {0, 1, 3};
    e.devices.resize(1);
    e.devices[0].address = 5;
    e.devices[0].recordCount = 1;
    e.devices[0].values = {0, 1, 2.5};
    auto adding = std::async(std::launch::async, [&] {
        std::int64_t id = 0;
        return archive->Add(e, id);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    cancel = true;
    // The wait for the lock would end after ten seconds with "database is locked".
    EXPECT_EQ(adding.get(), kArchiveStopped) << archive->LastError();
    holder->Exec("ROLLBACK");
    std::int64_t count = -1;
    cancel = false;
    ASSERT_EQ(archive->Count(count), kArchiveOk);
    EXPECT_EQ(count, 0);
    fs::remove_all(folder);
}

}  // namespace
}  // namespace dravmer::testing_archive
