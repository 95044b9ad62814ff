#pragma once
// The window side's test bench: a bench folder holding the running program "prog" (the 05.43
// build of the small self-updating test program), the file server program serving a release
// folder on loopback, and the main window of a bench.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QProcess>
#include <QTest>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "bench/bench.h"
#include "ui/update_offer.h"

namespace dravmer::ui {

namespace fs = std::filesystem;

// Runs the UI thread's events until pred holds or ms pass. (Qt's QTRY_ macros only return from
// the test function when they fail, which GoogleTest takes for a pass.)
template <class F>
bool WaitUntil(F pred, int ms) {
    QElapsedTimer t;
    t.start();
    while (!pred()) {
        if (t.elapsed() > ms) return false;
        QTest::qWait(10);
    }
    return true;
}

inline QApplication& App() {
    static int argc = 1;
    static char name[] = "test_update_ui";
    static char* argv[] = {name, nullptr};
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

inline std::string ReadText(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Where the test's file server writes the benches' lines: beside its release folder.
inline fs::path LogOf(const fs::path& releases) { return releases.parent_path() / "fileserver.log"; }

// A loopback port nothing listens on at the moment.
inline int FreePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t size = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &size);
    ::close(fd);
    return ntohs(a.sin_port);
}

inline bool Accepts(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    ::close(fd);
    return ok;
}

// The lab's file server program, serving a release folder on loopback.
class CServerProcess {
public:
    bool Start(const fs::path& root) {
        for (int attempt = 0; attempt < 5; ++attempt) {
            m_port = FreePort();
            m_process.start(FILESERVER_PROGRAM,
                            {"--root", QString::fromStdString(root.string()), "--log",
                             QString::fromStdString(LogOf(root).string()), "--listen",
                             "127.0.0.1", "--port", QString::number(m_port)});
            if (!m_process.waitForStarted(5000)) return false;
            for (int i = 0; i < 100 && m_process.state() == QProcess::Running; ++i) {
                if (Accepts(m_port)) return true;
                QTest::qWait(20);
            }
            Stop();
        }
        return false;
    }
    void Stop() {
        if (m_process.state() == QProcess::NotRunning) return;
        m_process.terminate();
        if (!m_process.waitForFinished(5000)) m_process.kill();
        m_process.waitForFinished(5000);
    }
    ~CServerProcess() { Stop(); }
    int Port() const { return m_port; }

private:
    QProcess m_process;
    int m_port = 0;
};

// A bench folder holding the running program "prog" (the 05.43 build of the test program), the
// release folder the file server program serves, and the main window of a bench.
class UpdateWindow : public ::testing::Test {
protected:
    void SetUp() override {
        App();
        m_top = fs::temp_directory_path() /
                ("updateui-" + std::to_string(::getpid()) + "-" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(m_top);
        m_benchDir = m_top / "bench";
        m_releases = m_top / "releases";
        fs::create_directories(m_benchDir);
        fs::create_directories(m_releases);
        fs::copy_file(TESTPROG_OLD, m_benchDir / "prog");
        m_bench = std::make_unique<CBench>(m_settings);
        m_bench->LoadSettings();
    }
    void TearDown() override {
        m_server.Stop();
        // Test programs started by a hand-off are this process's children.
        while (::waitpid(-1, nullptr, WNOHANG) > 0) {
        }
        fs::remove_all(m_top);
    }
    void Serve(const char* program, const std::string& version) {
        fs::copy_file(program, m_releases / "prog", fs::copy_options::overwrite_existing);
        std::ofstream(m_releases / "versions.txt") << "prog " << version << "\n";
        ASSERT_TRUE(m_server.Start(m_releases));
    }
    // A service for the bench's "prog", asking the file server program or the given port.
    std::unique_ptr<CUpdateService> Service(int port = -1) {
        SUpdateConfig c;
        c.executable = m_benchDir / "prog";
        c.settings = &m_handOff;
        c.trace = [this](const std::string& line) {
            std::lock_guard lock(m_traceMutex);
            m_trace.push_back(line);
        };
        auto s = std::make_unique<CUpdateService>(c);
        s->SetServerName("127.0.0.1", port < 0 ? m_server.Port() : port);
        return s;
    }
    std::vector<std::string> BenchFiles() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(m_benchDir))
            names.push_back(e.path().filename());
        std::sort(names.begin(), names.end());
        return names;
    }
    std::string ServerLog() const { return ReadText(LogOf(m_releases)); }
    static QMessageBox* WaitQuestion(CUpdateOffer& offer, int ms = 10000) {
        QElapsedTimer t;
        t.start();
        while (!offer.Question() && t.elapsed() < ms) QTest::qWait(10);
        return offer.Question();
    }

    fs::path m_top, m_benchDir, m_releases;
    CServerProcess m_server;
    CMemorySettingsStore m_settings;  // the bench's settings
    CMemorySettingsStore m_handOff;   // where the hand-off keeps the command line
    std::unique_ptr<CBench> m_bench;
    std::mutex m_traceMutex;
    std::vector<std::string> m_trace;
};

}  // namespace dravmer::ui
