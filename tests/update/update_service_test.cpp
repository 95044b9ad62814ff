#include "update/update_service.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "fileserver/file_server.h"
#include "update/release_fake.h"
#include "update/self_update_files.h"
#include "update/sha256.h"
#include "update/test_server.h"

namespace dravmer {
namespace {

namespace fs = std::filesystem;

std::vector<std::uint8_t> ReadBytes(const fs::path& p) {
    std::error_code ec;
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(fs::file_size(p, ec)));
    std::ifstream(p, std::ios::binary)
        .read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return bytes;
}

std::string ReadText(const fs::path& p) {
    std::ifstream in(p);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// A bench folder holding the running program "prog" (the 05.43 build of the test program) and
// a file server whose release folder holds "prog" in the version the test chooses.
class SelfUpdate : public ::testing::Test {
protected:
    void SetUp() override {
        m_top = fs::temp_directory_path() /
                ("selfupdate-" + std::to_string(::getpid()) + "-" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(m_top);
        m_bench = m_top / "bench";
        m_releases = m_top / "releases";
        fs::create_directories(m_bench);
        fs::create_directories(m_releases);
        fs::copy_file(TESTPROG_OLD, m_bench / "prog");
    }
    void TearDown() override {
        m_server.reset();
        fs::remove_all(m_top);
    }
    void Serve(const fs::path& program, const std::string& version) {
        fs::copy_file(program, m_releases / "prog", fs::copy_options::overwrite_existing);
        std::ofstream(m_releases / "versions.txt") << "prog " << version << "\n";
        if (!m_server) {
            fileserver::SFileServerOptions o;
            o.root = m_releases;
            o.listen = "127.0.0.1";
            o.port = 0;
            o.logFile = m_top / "fileserver.log";
            m_server = std::make_unique<fileserver::CFileServer>(o);
            std::string error;
            ASSERT_TRUE(m_server->Listen(error)) << error;
            m_server->Start();
        }
        ASSERT_TRUE(test::WarmUpDescribe(m_server->TcpPort(), "prog"));
    }
    SUpdateConfig Config() {
        SUpdateConfig c;
        c.executable = m_bench / "prog";
        c.settings = &m_settings;
        c.trace = [this](const std::string& line) {
            std::lock_guard lock(m_traceMutex);
            m_trace.push_back(line);
        };
        return c;
    }
    std::unique_ptr<CUpdateService> Service(SUpdateConfig c) {
        auto s = std::make_unique<CUpdateService>(std::move(c));
        s->SetServerName("127.0.0.1", m_server ? m_server->TcpPort() : 1);
        return s;
    }
    std::vector<std::string> BenchFiles() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(m_bench)) names.push_back(e.path().filename());
        std::sort(names.begin(), names.end());
        return names;
    }
    static int WaitState(CUpdateService& s) {
        for (int i = 0; i < 500 && s.CheckState() == CUpdateService::kChecking; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return s.CheckState();
    }

    fs::path m_top, m_bench, m_releases;
    std::unique_ptr<fileserver::CFileServer> m_server;
    CMemorySettingsStore m_settings;
    std::mutex m_traceMutex;
    std::vector<std::string> m_trace;
};

TEST_F(SelfUpdate, CheckStateFollowsTheServersVersion) {
    for (const auto& [version, state] : std::vector<std::pair<std::string, int>>{
             {"05.43", CUpdateService::kNothing},
             {"05.42", CUpdateService::kNothing},
             {"05.44", CUpdateService::kNewer},
             {"06.00", CUpdateService::kNewer}}) {
        Serve(TESTPROG_NEW, version);
        auto service = Service(Config());
        EXPECT_EQ(service->CheckState(), CUpdateService::kNotStarted);
        service->StartCheck();
        EXPECT_EQ(WaitState(*service), state) << version;
    }
    const std::string log = ReadText(m_server->LogFile());
    EXPECT_NE(log.find("Check version: Current=05.43 Server=05.44"), std::string::npos);
    EXPECT_NE(log.find("Check version: Current=05.43 Server=06.00"), std::string::npos);
}

TEST_F(SelfUpdate, FailedChecksEndInStateTwo) {
    auto unreachable = Service(Config());  // nothing listens on port 1
    unreachable->StartCheck();
    EXPECT_EQ(WaitState(*unreachable), CUpdateService::kNothing);

    Serve(TESTPROG_NEW, "05.44");
    SUpdateConfig c = Config();
    c.fileName = "not-on-the-server";
    auto service = Service(c);
    const SCheckResult r = service->CheckNow();
    EXPECT_EQ(r.result, kQrFileOpen);
    EXPECT_FALSE(r.described);
    service->StartCheck();
    EXPECT_EQ(WaitState(*service), CUpdateService::kNothing);
    EXPECT_NE(ReadText(m_server->LogFile()).find("Check version: error=1."), std::string::npos);
}

TEST_F(SelfUpdate, PackageInstalledProgramIsNeverOfferedAndSaysSoOnce) {
    Serve(TESTPROG_NEW, "05.44");
    SUpdateConfig c = Config();
    c.folderWritable = [](const fs::path&) { return false; };
    auto service = Service(c);
    SCheckResult r = service->CheckNow();
    EXPECT_TRUE(r.described);
    EXPECT_TRUE(r.newer);
    EXPECT_TRUE(r.packageManaged);
    EXPECT_FALSE(r.offered);
    r = service->CheckNow();
    SUpdateOffer offer;
    EXPECT_EQ(service->PrepareOffer(offer), 0);
    service->StartCheck();
    EXPECT_EQ(WaitState(*service), CUpdateService::kNothing);
    std::lock_guard lock(m_traceMutex);
    EXPECT_EQ(std::count_if(m_trace.begin(), m_trace.end(),
                            [](const std::string& l) {
                                return l.find("package manager") != std::string::npos;
                            }),
              1);
}

TEST_F(SelfUpdate, OfferAsksWithTheVersionsAndNoChangesNothing) {
    Serve(TESTPROG_NEW, "05.44");
    auto service = Service(Config());
    SUpdateOffer seen;
    const int rc = service->OfferUpdate([&](const SUpdateOffer& offer) {
        seen = offer;
        return false;
    });
    EXPECT_EQ(rc, -1);
    EXPECT_EQ(seen.title, "Обновление версии");
    EXPECT_EQ(seen.question, "На сервере '127.0.0.1' доступна\r\nновая версия программы 05.44\r\n"
                             "Текущая версия 05.43\r\nбудет сохранена под именем:\r\nprog_05.43\r\n"
                             "Обновить текущую версию?");
    EXPECT_EQ(BenchFiles(), std::vector<std::string>{"prog"});
    EXPECT_EQ(ReadBytes(m_bench / "prog"), ReadBytes(TESTPROG_OLD));
    EXPECT_NE(ReadText(m_server->LogFile()).find("Новая версия prog доступна (05.44)! Текущая версия: 05.43"),
              std::string::npos);
    // An English window asks in English; the update log stays as it is.
    service->SetLanguage(Language::English);
    EXPECT_EQ(service->OfferUpdate([&](const SUpdateOffer& offer) {
        seen = offer;
        return false;
    }),
              -1);
    EXPECT_EQ(seen.title, "Version update");
    EXPECT_EQ(seen.question,
              "The server '127.0.0.1' has\r\na new version of the program, 05.44.\r\n"
              "The current version 05.43\r\nwill be kept under the name:\r\n"
              "prog_05.43\r\nUpdate the current version?");
    const std::string log = ReadText(m_server->LogFile());
    EXPECT_EQ(log.find("new version"), std::string::npos) << "the log is not worded in English";
    service->SetLanguage(Language::Russian);
    // Nothing newer: 0 and no question.
    Serve(TESTPROG_NEW, "05.43");
    bool asked = false;
    EXPECT_EQ(service->OfferUpdate([&](const SUpdateOffer&) { return asked = true; }), 0);
    EXPECT_FALSE(asked);
}

TEST_F(SelfUpdate, DownloadThatIsShortChangedOrNotAProgramWritesNothing) {
    // A server whose file ends before the size it described, or whose bytes are not the ones
    // whose SHA-256 it published.
    struct Case {
        const char* what;
        std::function<void(test::CReleaseFake::SFile&)> spoil;
        EUpdateRefusal refusal;
    };
    const std::vector<Case> cases = {
        {"short", [](auto& f) { f.describedSize = static_cast<long long>(f.bytes.size()) + 1000; },
         EUpdateRefusal::kDownload},
        {"changed", [](auto& f) { f.bytes[f.bytes.size() / 2] ^= 0x5a; },
         EUpdateRefusal::kChecksum},
    };
    for (const Case& c : cases) {
        test::CReleaseFake fake;
        test::CReleaseFake::SFile release;
        release.bytes = ReadBytes(TESTPROG_NEW);
        release.major = 5;
        release.minor = 44;
        release.publishedSha = Sha256Hex(release.bytes.data(), release.bytes.size());
        c.spoil(release);
        fake.Add("prog", release);
        SUpdateConfig config = Config();
        auto service = std::make_unique<CUpdateService>(config);
        service->SetServerName("127.0.0.1", fake.Port());
        EXPECT_EQ(service->OfferUpdate(nullptr), -1) << c.what;
        EXPECT_EQ(service->LastRefusal(), c.refusal) << c.what << ": " << service->LastError();
        EXPECT_EQ(BenchFiles(), std::vector<std::string>{"prog"}) << c.what;
        // A failure never gives success as its reason.
        EXPECT_EQ(service->LastError().find("Успешное"), std::string::npos) << service->LastError();
    }
    // Not a program at all, with a matching size and digest.
    const fs::path text = m_top / "text";
    std::ofstream(text) << std::string(5000, 'x');
    Serve(text, "05.44");
    auto service = Service(Config());
    EXPECT_EQ(service->OfferUpdate(nullptr), -1);
    EXPECT_NE(service->LastError().find("not a program"), std::string::npos);
    EXPECT_EQ(BenchFiles(), std::vector<std::string>{"prog"});
    EXPECT_EQ(ReadBytes(m_bench / "prog"), ReadBytes(TESTPROG_OLD));
}

TEST_F(SelfUpdate, ReleaseThatDoesNotAnswerItsVersionIsNotInstalled) {
    // The 05.43 build published as 05.44: it starts, but answers the wrong version.
    Serve(TESTPROG_OLD, "05.44");
    auto service = Service(Config());
    EXPECT_EQ(service->OfferUpdate(nullptr), -1);
    EXPECT_NE(service->LastError().find("--version"), std::string::npos);
    EXPECT_EQ(BenchFiles(), std::vector<std::string>{"prog"});
}

TEST_F(SelfUpdate, HandOffStepsRefuseNamesOutsideTheFolderAndMissingFiles) {
    auto service = Service(Config());
    EXPECT_EQ(service->HandOff({"--config", "x.conf"}), 0);
    EXPECT_EQ(service->CommandLine(), (std::vector<std::string>{"--config", "x.conf"}));
    EXPECT_EQ(service->HandOff({"/update1", "../bench/prog"}), -1);
    EXPECT_EQ(service->HandOff({"/update1", "missing"}), -1);
    EXPECT_EQ(service->HandOff({"/update1"}), -1);
    EXPECT_EQ(service->HandOff({"/update1", "prog"}), -1);  // never itself
    // The last step runs even when the versioned download is gone, with the old command line.
    m_settings.SetString("UpdateVersion", "CmdLine", JoinCommandLine({"a b", "c\"d"}));
    std::ofstream(m_top / "outside") << "keep";
    EXPECT_EQ(service->HandOff({"/update2", "../outside"}), 2);
    EXPECT_TRUE(fs::exists(m_top / "outside"));
    EXPECT_EQ(service->HandOff({"/update2", "prog_05.44"}), 2);
    EXPECT_EQ(service->CommandLine(), (std::vector<std::string>{"a b", "c\"d"}));
    EXPECT_TRUE(fs::exists(m_bench / "prog"));
}

// The whole hand-off, for real: three processes on copies of the test program.
TEST_F(SelfUpdate, ThreeProcessHandOffPutsTheNewVersionInPlaceWithTheOldCommandLine) {
    Serve(TESTPROG_NEW, "05.44");
    const fs::path marker = m_top / "marker";
    const std::vector<std::string> env = {"UPDATE_TESTPROG_MARKER=" + marker.string(),
                                          "UPDATE_TESTPROG_SETTINGS=" + (m_top / "settings").string()};
    const std::string server = "127.0.0.1:" + std::to_string(m_server->TcpPort());
    const int pid = StartProgram(m_bench / "prog", {"update", server, "extra", "two words"}, env);
    ASSERT_GT(pid, 0);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    std::vector<std::string> lines;
    for (int i = 0; i < 200; ++i) {
        lines = Lines(ReadText(marker));
        if (!lines.empty() && lines.back().rfind("05.44 offer=", 0) == 0) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    const std::string args = JoinCommandLine({"update", server, "extra", "two words"});
    ASSERT_EQ(lines.size(), 5u) << ReadText(marker);
    EXPECT_EQ(lines[0], "05.43 handoff=0 args=" + args);
    // Each process notes its step when the step returns, by which time the next may have
    // written its own line: the middle three come in any order.
    std::vector<std::string> middle = {lines[1], lines[2], lines[3]};
    std::sort(middle.begin(), middle.end());
    EXPECT_EQ(middle, (std::vector<std::string>{"05.43 offer=1",
                                                "05.44 handoff=1 args=\"/update1\" \"prog\"",
                                                "05.44 handoff=2 args=" + args}));
    EXPECT_EQ(lines[4], "05.44 offer=0");  // the restored command line asks again: nothing newer

    EXPECT_EQ(ReadBytes(m_bench / "prog"), ReadBytes(TESTPROG_NEW));
    EXPECT_EQ(ReadBytes(m_bench / "prog_05.43"), ReadBytes(TESTPROG_OLD));
    EXPECT_FALSE(fs::exists(m_bench / "prog_05.44"));
    EXPECT_EQ(BenchFiles(), (std::vector<std::string>{"prog", "prog_05.43"}));
    const std::string log = ReadText(m_server->LogFile());
    EXPECT_NE(log.find("Запущено обновление prog v05.43  на v05.44."), std::string::npos);
}

// A bench run with --config FILE keeps the hand-off's values in FILE and names it to every step:
// the user's own settings file is never written, and the new version runs with FILE again.
TEST_F(SelfUpdate, HandOffOfAProgramRunWithItsOwnSettingsFileKeepsToThatFile) {
    Serve(TESTPROG_NEW, "05.44");
    const fs::path marker = m_top / "marker";
    const fs::path own = m_top / "lab settings.conf";
    const fs::path user = m_top / "user-settings";
    const std::vector<std::string> env = {"UPDATE_TESTPROG_MARKER=" + marker.string(),
                                          "UPDATE_TESTPROG_SETTINGS=" + user.string()};
    const std::string server = "127.0.0.1:" + std::to_string(m_server->TcpPort());
    const std::vector<std::string> args = {"update", server, "--config", own.string()};
    const int pid = StartProgram(m_bench / "prog", args, env);
    ASSERT_GT(pid, 0);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    std::vector<std::string> lines;
    for (int i = 0; i < 400; ++i) {
        lines = Lines(ReadText(marker));
        if (lines.size() >= 5) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ASSERT_EQ(lines.size(), 5u) << ReadText(marker);
    std::sort(lines.begin(), lines.end());
    const std::string config = JoinCommandLine({"--config", own.string()});
    EXPECT_EQ(lines, (std::vector<std::string>{
                         "05.43 handoff=0 args=" + JoinCommandLine(args), "05.43 offer=1",
                         "05.44 handoff=1 args=\"/update1\" \"prog\" " + config,
                         "05.44 handoff=2 args=" + JoinCommandLine(args), "05.44 offer=0"}));
    EXPECT_NE(ReadText(own).find("UpdateVersion/CmdLine=" + JoinCommandLine(args)),
              std::string::npos)
        << ReadText(own);
    EXPECT_FALSE(fs::exists(user)) << ReadText(user);
    EXPECT_EQ(ReadBytes(m_bench / "prog"), ReadBytes(TESTPROG_NEW));
    // A step is told the file only after its own name; anything else is no hand-off's.
    EXPECT_EQ(HandOffSettingsFile({"/update2", "prog_05.44", "--config", "f"}), "f");
    EXPECT_EQ(HandOffSettingsFile({"/update1", "--config", "f"}), "");
    EXPECT_EQ(HandOffSettingsFile({"--config", "f"}), "");
}

// What a download or a copy cut short by a kill leaves beside the program goes at the next
// start; what a running process still writes stays.
TEST_F(SelfUpdate, StartRemovesPartialFilesThatNoRunningProcessOwns) {
    const auto endedPid = [] {
        const int pid = StartProgram("/bin/true", {});
        int status = 0;
        ::waitpid(pid, &status, 0);
        return std::to_string(pid);
    };
    const std::string dead = endedPid();
    const auto make = [&](const std::string& name) {
        std::ofstream(m_bench / name) << "part";
        return m_bench / name;
    };
    make(".prog_05.44.part-" + dead);  // a download killed
    make(".prog.part-" + dead);        // a copy over the program killed
    // Another process writes this one: it holds the lock.
    const fs::path locked = make(".prog_05.45.part-" + endedPid());
    const int lockFd = ::open(locked.c_str(), O_RDONLY);
    ASSERT_EQ(::flock(lockFd, LOCK_EX), 0);
    // An earlier version writes this one without a lock, and still runs from the folder.
    fs::copy_file("/bin/sleep", m_bench / "sleeper");
    const int sleeper = StartProgram(m_bench / "sleeper", {"300"});
    ASSERT_GT(sleeper, 0);
    make(".prog_05.46.part-" + std::to_string(sleeper));
    // This process's own download under way.
    CPartFile mine(m_bench / "prog_05.47");
    ASSERT_TRUE(mine.IsOpen());
    // Not partial files of this program.
    for (const std::string& name :
         std::vector<std::string>{".other_05.44.part-" + dead, ".prog_05.44.part-12x", "prog_05.43",
                                  ".prog_05.44.part-", ".program_05.44.part-" + dead})
        make(name);

    auto service = Service(Config());
    EXPECT_EQ(service->HandOff({"--config", "x.conf"}), 0);
    ::kill(sleeper, SIGKILL);
    ::waitpid(sleeper, nullptr, 0);
    ::close(lockFd);
    const std::string mineName = mine.PartPath().filename().string();
    std::vector<std::string> expected = {".other_05.44.part-" + dead,
                                         ".prog_05.44.part-",
                                         ".prog_05.44.part-12x",
                                         locked.filename().string(),
                                         ".prog_05.46.part-" + std::to_string(sleeper),
                                         ".program_05.44.part-" + dead,
                                         mineName,
                                         "prog",
                                         "prog_05.43",
                                         "sleeper"};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(BenchFiles(), expected);
    // Once its writer is gone, the next start takes it too.
    EXPECT_EQ(service->HandOff({}), 0);
    EXPECT_FALSE(fs::exists(locked));
    EXPECT_FALSE(fs::exists(m_bench / (".prog_05.46.part-" + std::to_string(sleeper))));
    EXPECT_TRUE(fs::exists(mine.PartPath())) << "its lock is still held";
}

TEST_F(SelfUpdate, FailedFirstStepLeavesTheOldProgramInPlaceAndRunning) {
    fs::copy_file(TESTPROG_NEW, m_bench / "prog_05.44");
    const fs::path marker = m_top / "marker";
    std::ofstream(m_top / "settings") << "UpdateVersion/CmdLine=\"again\"\n";
    const std::vector<std::string> env = {"UPDATE_TESTPROG_MARKER=" + marker.string(),
                                          "UPDATE_TESTPROG_SETTINGS=" + (m_top / "settings").string(),
                                          "UPDATE_TESTPROG_FAIL_REPLACE=1"};
    const int pid = StartProgram(m_bench / "prog_05.44", {"/update1", "prog"}, env);
    ASSERT_GT(pid, 0);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    std::vector<std::string> lines;
    for (int i = 0; i < 200 && lines.size() < 2; ++i) {
        lines = Lines(ReadText(marker));
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ASSERT_EQ(lines.size(), 2u) << ReadText(marker);
    // The step fails, and the old program, untouched, runs again with the command line it had.
    std::sort(lines.begin(), lines.end());
    EXPECT_EQ(lines, (std::vector<std::string>{"05.43 handoff=0 args=\"again\"",
                                               "05.44 handoff=-1 args=\"/update1\" \"prog\""}));
    EXPECT_EQ(ReadBytes(m_bench / "prog"), ReadBytes(TESTPROG_OLD));
}

}  // namespace
}  // namespace dravmer
