// Reading an archive (list, history, export) opens it read-only: an archive on a read-only
// medium can be read, an archive of an older program is read as it is, a writer's lock does not
// hold a reader up, and a foreign SQLite file is never changed.
#include <sched.h>
#include <sqlite3.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <map>
#include <sstream>

#include "archive/archive_io.h"
#include "archive/db.h"
#include "archive_fixture.h"
#include "cli/cli.h"
#include "files/experiment_scan.h"
#include "platform/settings_store.h"

namespace dravmer::testing_archive {
namespace {

struct SCli {
    int code;
    std::string out, err;
};

SCli Cli(const std::vector<std::string>& args) {
    std::ostringstream out, err;
    const int code =
        cli::RunCli(args, out, err, std::make_unique<CMemorySettingsStore>(), Language::English);
    return {code, out.str(), err.str()};
}

// What a read must leave as it was: every file of the folder with its bytes and times.
struct SFolderState {
    std::map<std::string, std::pair<std::string, timespec>> files;
    explicit SFolderState(const fs::path& folder) {
        for (const auto& f : fs::directory_iterator(folder)) {
            struct stat st {};
            ::stat(f.path().c_str(), &st);
            files[f.path().filename().string()] = {ReadAll(f.path().string()), st.st_mtim};
        }
    }
    bool operator==(const SFolderState& o) const {
        if (files.size() != o.files.size()) return false;
        for (const auto& [name, state] : files) {
            auto it = o.files.find(name);
            if (it == o.files.end() || it->second.first != state.first ||
                it->second.second.tv_sec != state.second.tv_sec ||
                it->second.second.tv_nsec != state.second.tv_nsec)
                return false;
        }
        return true;
    }
    std::string Names() const {
        std::string s;
        for (const auto& [name, state] : files) s += name + " ";
        return s;
    }
};

bool WriteText(const std::string& path, const std::string& text) {
    std::ofstream f(path);
    f << text;
    return static_cast<bool>(f);
}

// Runs `body` in a child process that sees `folder` read-only (a bind mount in a mount namespace
// of its own, gone with the child). The child's exit code.
int WithReadOnlyFolder(const std::string& folder, const std::function<int()>& body) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::unshare(CLONE_NEWNS) != 0) {
            const uid_t uid = ::getuid();
            const gid_t gid = ::getgid();
            if (::unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0) ::_exit(90);
            WriteText("/proc/self/setgroups", "deny");
            WriteText("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1");
            WriteText("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1");
        }
        if (::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) ::_exit(91);
        if (::mount(folder.c_str(), folder.c_str(), nullptr, MS_BIND, nullptr) != 0) ::_exit(92);
        if (::mount(nullptr, folder.c_str(), nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr) !=
            0)
            ::_exit(93);
        ::_exit(body());
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 100;
}

class ArchiveReading : public ArchiveTest {
protected:
    void SetUp() override {
        ArchiveTest::SetUp();
        folder = dir / "db";
        path = (folder / "archive.sqlite").string();
    }
    // An archive with one experiment, closed again: only the database file remains.
    std::int64_t Archived() {
        WriteExperiment(dir / "in", "261206", 7, {101, 102}, 60, false);
        CExperimentList list;
        list.Scan((dir / "in").string());
        SGroupDescription d = list.Describe(0);
        SArchivedExperiment e;
        std::string error;
        EXPECT_EQ(ExperimentFromFiles(d.files, d.time, d.label, SArchiveDefaults(), e, error),
                  kArchiveOk);
        auto archive = OpenArchive();
        std::int64_t id = 0;
        if (archive) {
            EXPECT_EQ(archive->Add(e, id), kArchiveOk) << archive->LastError();
        }
        return id;
    }
    fs::path folder;
    std::string path;
};

TEST_P(ArchiveReading, ReadingLeavesTheArchiveFolderAsItWas) {
    const std::int64_t id = Archived();
    const SFolderState before(folder);
    ASSERT_EQ(before.files.size(), 1u) << before.Names();

    const SCli list = Cli({"archive", "--archive", url, "list", "--json"});
    EXPECT_EQ(list.code, 0) << list.err;
    EXPECT_NE(list.out.find("\"number\": 7"), std::string::npos) << list.out;
    const SCli history =
        Cli({"archive", "--archive", url, "history", "--device", "101", "--param", "UG"});
    EXPECT_EQ(history.code, 0) << history.err;
    const SCli exported =
        Cli({"archive", "--archive", url, "export", std::to_string(id), (dir / "out").string()});
    EXPECT_EQ(exported.code, 0) << exported.err;
    EXPECT_TRUE(fs::exists(dir / "out" / "261206-007-000101.adc"));

    const SFolderState after(folder);
    EXPECT_TRUE(before == after) << "before: " << before.Names() << "after: " << after.Names();
}

TEST_P(ArchiveReading, AWritersLockDoesNotHoldAReaderUp) {
    Archived();
    std::string error;
    auto writer = archive::OpenSqlite(path, error);
    ASSERT_TRUE(writer) << error;
    ASSERT_TRUE(writer->Exec("BEGIN IMMEDIATE")) << writer->LastError();
    int code = 0;
    auto reader = CArchive::Open(url, code, error, {true, nullptr});
    ASSERT_TRUE(reader) << error;
    std::vector<SArchiveListRow> rows;
    EXPECT_EQ(reader->List({}, rows), kArchiveOk) << reader->LastError();
    EXPECT_EQ(rows.size(), 1u);
    writer->Exec("ROLLBACK");
}

TEST_P(ArchiveReading, AnArchiveOnAReadOnlyMediumCanBeRead) {
    const std::int64_t id = Archived();
    const SFolderState before(folder);
    const fs::path out = dir / "out";
    const int code = WithReadOnlyFolder(folder.string(), [&] {
        int openCode = 0;
        std::string error;
        // Writing is refused with a message, not a crash.
        if (CArchive::Open(url, openCode, error)) return 10;
        auto archive = CArchive::Open(url, openCode, error, {true, nullptr});
        if (!archive) return 11;
        std::vector<SArchiveListRow> rows;
        if (archive->List({}, rows) != kArchiveOk || rows.size() != 1) return 12;
        std::vector<SHistoryRow> history;
        if (archive->History(102, 3, StatKind::Average, history) != kArchiveOk ||
            history.size() != 1)
            return 13;
        if (Cli({"archive", "--archive", url, "export", std::to_string(id), out.string()}).code !=
            0)
            return 14;
        return 0;
    });
    EXPECT_EQ(code, 0);
    EXPECT_TRUE(fs::exists(out / "261206-007-000102.adc"));
    EXPECT_TRUE(before == SFolderState(folder));
}

TEST_P(ArchiveReading, AnOlderProgramsArchiveIsReadWithoutMigratingIt) {
    int code = 0;
    std::string error;
    ASSERT_TRUE(CArchive::OpenAtVersion(url, 1, code, error)) << error;
    {
        auto raw = archive::OpenSqlite(path, error);
        ASSERT_TRUE(raw) << error;
        ASSERT_TRUE(raw->Exec(
            "INSERT INTO experiments (fingerprint, date_text, number, start_time, duration_s, "
            "comment, ky, poll_period, format, columns, file_decimals, device_count, addresses) "
            "VALUES ('f', '261206', 4, 1796536000, 60, 'Калибровка', 19.93, 0.5, 'adc', '0;1;3', "
            "'', 1, '101')"))
            << raw->LastError();
    }
    const SFolderState before(folder);
    auto archive = CArchive::Open(url, code, error, {true, nullptr});
    ASSERT_TRUE(archive) << error;
    EXPECT_EQ(archive->SchemaVersion(), 1);
    std::vector<SArchiveListRow> rows;
    ASSERT_EQ(archive->List({}, rows), kArchiveOk) << archive->LastError();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].number, 4);
    EXPECT_EQ(rows[0].comment, "Калибровка");
    EXPECT_EQ(rows[0].host, "");
    SArchivedExperiment e;
    EXPECT_EQ(archive->Get(rows[0].id, e), kArchiveOk) << archive->LastError();
    archive.reset();
    EXPECT_TRUE(before == SFolderState(folder)) << "the older archive was changed by a read";
}

TEST_P(ArchiveReading, AForeignSqliteFileIsNeitherReadNorChanged) {
    fs::create_directories(folder);
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, "CREATE TABLE notes (t TEXT); INSERT INTO notes VALUES ('x')",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(db);
    const SFolderState before(folder);

    for (bool readOnly : {true, false}) {
        int code = 0;
        std::string error;
        EXPECT_FALSE(CArchive::Open(url, code, error, {readOnly, nullptr}));
        EXPECT_EQ(code, kArchiveForeign) << error;
        EXPECT_NE(error.find("another program"), std::string::npos) << error;
    }
    WriteExperiment(dir / "in", "261206", 7, {101}, 20, false);
    const SCli add = Cli({"archive", "--archive", url, "add", (dir / "in").string()});
    EXPECT_EQ(add.code, 1);
    EXPECT_NE(add.err.find("another program"), std::string::npos) << add.err;
    EXPECT_EQ(Cli({"archive", "--archive", url, "list"}).code, 1);
    EXPECT_TRUE(before == SFolderState(folder)) << "after: " << SFolderState(folder).Names();
}

TEST_P(ArchiveReading, AMissingArchiveReadsEmptyAndIsNotCreated) {
    const SCli list = Cli({"archive", "--archive", url, "list", "--json"});
    EXPECT_EQ(list.code, 0) << list.err;
    EXPECT_EQ(list.out, "[]\n");
    const SCli missing = Cli({"archive", "--archive", url, "export", "3", (dir / "out").string()});
    EXPECT_EQ(missing.code, 1);
    EXPECT_NE(missing.err.find("no experiment 3"), std::string::npos) << missing.err;
    EXPECT_FALSE(fs::exists(folder));
}

INSTANTIATE_TEST_SUITE_P(File, ArchiveReading, ::testing::Values("sqlite"), BackendName);

}  // namespace
}  // namespace dravmer::testing_archive
