#include "update/update_service.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "fileserver/file_server.h"
#include "update/self_update_files.h"
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
    const auto newProgram = ReadBytes(TESTPROG_NEW);
    struct Case {
        const char* what;
        std::function<void(const fs::path&)> spoil;  // after the offer, before the download
    };
    const std::vector<Case> cases = {
        {"short", [](const fs::path& p) { fs::resize_file(p, fs::file_size(p) / 2); }},
        {"changed",
         [](const fs::path& p) {
             std::fstream f(p, std::ios::in | std::ios::out | std::ios::binary);
             f.seekp(static_cast<std::streamoff>(fs::file_size(p) / 2));
             f.put('\x5a');
             f.put('\xa5');
         }},
    };
    for (const Case& c : cases) {
        Serve(TESTPROG_NEW, "05.44");
        auto service = Service(Config());
        SUpdateOffer offer;
        ASSERT_EQ(service->PrepareOffer(offer), 1) << c.what;
        c.spoil(m_releases / "prog");
        EXPECT_EQ(service->AcceptOffer(), -1) << c.what;
        EXPECT_EQ(BenchFiles(), std::vector<std::string>{"prog"}) << c.what;
        EXPECT_FALSE(service->LastError().empty());
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
