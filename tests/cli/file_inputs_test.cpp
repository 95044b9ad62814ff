// The data commands run as a user runs them (the program in a process of its own) on inputs that
// are not what their names say: a FIFO, a folder, a cut header, records to skip. Every run must
// end, with the exit code that tells a script what happened; a run that does not end within its
// deadline is killed and fails the test. And memory stays bounded whatever the size of the file.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

#include "cli/cli.h"
#include "files/file_format.h"
#include "measure/device_data.h"
#include "measure/param_catalog.h"

namespace dravmer::cli {
namespace {

namespace fs = std::filesystem;

struct ProgramRun {
    int code = -1;
    bool finished = false;  // false: killed at the deadline
    std::string out, err;
    long maxRssKb = 0;  // the child's peak resident memory
};

std::string ReadAll(const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
}

// Runs dravmer-cli with an English locale and settings of its own under `dir`; standard output
// goes to a file (or nowhere, with `discardOut`). Waits for the child to end, at most `deadline`.
ProgramRun RunProgram(const std::vector<std::string>& args, const fs::path& dir,
                      std::chrono::seconds deadline = std::chrono::seconds(120),
                      bool discardOut = false) {
    const fs::path outPath = dir / ".run-out", errPath = dir / ".run-err";
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int out = discardOut ? ::open("/dev/null", O_WRONLY)
                                   : ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (out < 0 || err < 0 || ::dup2(out, 1) < 0 || ::dup2(err, 2) < 0) ::_exit(120);
        ::setenv("LC_ALL", "C", 1);
        ::setenv("XDG_CONFIG_HOME", (dir / ".config").c_str(), 1);
        ::setenv("HOME", dir.c_str(), 1);
        std::vector<char*> argv{const_cast<char*>(DRAVMER_CLI_PROGRAM)};
        for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(DRAVMER_CLI_PROGRAM, argv.data());
        ::_exit(121);
    }
    ProgramRun run;
    if (pid < 0) return run;
    const auto end = std::chrono::steady_clock::now() + deadline;
    int status = 0;
    rusage usage{};
    for (;;) {
        const pid_t done = ::wait4(pid, &status, WNOHANG, &usage);
        if (done == pid) {
            run.finished = true;
            break;
        }
        if (std::chrono::steady_clock::now() > end) {
            ::kill(pid, SIGKILL);
            ::wait4(pid, &status, 0, &usage);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    run.code = run.finished && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.maxRssKb = usage.ru_maxrss;
    if (!discardOut) run.out = ReadAll(outPath);
    run.err = ReadAll(errPath);
    return run;
}

// Ten seconds of one device, every parameter, as the bench writes them.
void WriteExperiment(const std::string& path, bool text) {
    CDeviceData store;
    for (int s = 0; s < 10; ++s) {
        CMeasRecord r = EmptyRecord();
        SetParam(r, 0, s);
        SetParam(r, 1, s);
        SetParam(r, 2, 0xA3);
        for (int i = 3; i < 43; ++i)
            if (!IsIntegerParam(i)) SetParam(r, i, 10.0 + i + s);
        store.AddSample(r);
    }
    store.SetStartTime(1796540703);
    SFileOptions options;
    ASSERT_EQ(SaveStoreAs(store, path, text, options.Columns(), options), 0);
}

void Patch(const std::string& path, std::uint64_t offset, const void* bytes, std::size_t n) {
    std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(static_cast<std::streamoff>(offset));
    f.write(static_cast<const char*>(bytes), static_cast<std::streamsize>(n));
}

struct InputCase {
    const char* what;
    const char* name;  // the input's file name
    std::function<void(const std::string& path)> make;
    int code;             // of stats, convert and plot
    const char* said;     // in their messages (empty: nothing in particular)
    bool listed;          // list shows the experiment
};

const std::vector<InputCase>& InputCases() {
    static const std::vector<InputCase> cases = {
        {"a FIFO named .adc", "261206-003-000042.adc",
         [](const std::string& p) { ASSERT_EQ(::mkfifo(p.c_str(), 0600), 0); }, kExitFailure,
         "not a regular file", false},
        {"a FIFO named .txt", "261206-003-000042.txt",
         [](const std::string& p) { ASSERT_EQ(::mkfifo(p.c_str(), 0600), 0); }, kExitFailure,
         "not a regular file", false},
        {"a folder named .adc", "261206-003-000042.adc",
         [](const std::string& p) { fs::create_directory(p); }, kExitFailure, "a folder, not a file",
         false},
        {"a header cut short", "261206-003-000042.adc",
         [](const std::string& p) {
             WriteExperiment(p, false);
             fs::resize_file(p, 60);
         },
         kExitFailure, "124-byte header", false},
        {"a text file without its header line", "261206-003-000042.txt",
         [](const std::string& p) {
             std::ofstream f(p);
             for (int i = 0; i < 300; ++i) f << "KG=16\r\n";
         },
         kExitFailure, "no header line", true},
        {"a valid file without records", "261206-003-000042.adc",
         [](const std::string& p) {
             WriteExperiment(p, false);
             fs::resize_file(p, kAdcHeaderSize);
         },
         kExitOk, "", true},
        {"a valid file", "261206-003-000042.txt",
         [](const std::string& p) { WriteExperiment(p, true); }, kExitOk, "", true},
        {"an incomplete last record", "261206-003-000042.adc",
         [](const std::string& p) {
             WriteExperiment(p, false);
             std::ofstream(p, std::ios::app | std::ios::binary) << "12345";
         },
         kExitIncomplete, "5 bytes of an incomplete last record ignored", true},
        {"a record of impossible values", "261206-003-000042.adc",
         [](const std::string& p) {
             WriteExperiment(p, false);
             const float negative = -1.0f;  // время of the fourth record
             Patch(p, kAdcHeaderSize + 3 * 43 * 4, &negative, 4);
         },
         kExitIncomplete, "1 records with impossible values skipped", true},
        {"a text line that is no record", "261206-003-000042.txt",
         [](const std::string& p) {
             WriteExperiment(p, true);
             std::ofstream(p, std::ios::app | std::ios::binary) << "    10    10 00A3  oops\r\n";
         },
         kExitIncomplete, "1 lines that were not whole records skipped", true},
        {"a column the catalogue does not know", "261206-003-000042.adc",
         [](const std::string& p) {
             WriteExperiment(p, false);
             const unsigned char unknown = 50;
             Patch(p, 60 + 3, &unknown, 1);
         },
         kExitOk, "1 unknown columns skipped", true},
    };
    return cases;
}

class FileInputs : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("dravmer-inputs-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }
    fs::path dir;
};

TEST_F(FileInputs, EveryCommandEndsWithTheExitCodeThatSaysWhatWasRead) {
    int n = 0;
    for (const InputCase& c : InputCases()) {
        SCOPED_TRACE(c.what);
        const fs::path folder = dir / std::to_string(++n);
        fs::create_directories(folder);
        const std::string in = (folder / c.name).string();
        c.make(in);
        // Beside every input a FIFO under the experiment's label name: the list reads labels.
        ASSERT_EQ(::mkfifo((folder / "261206-003-label .txt").c_str(), 0600), 0);
        const bool text = fs::path(in).extension() == ".txt";
        const std::string other = (folder / (text ? "out.adc" : "out.txt")).string();
        const std::vector<std::vector<std::string>> commands = {
            {"stats", in},
            {"convert", in, (folder / "out.csv").string()},
            {"convert", in, other},
            {"plot", in, "--param", "UG", "--out", (folder / "out.png").string()},
        };
        for (const auto& command : commands) {
            SCOPED_TRACE(command[0] + " " + command.back());
            const ProgramRun r = RunProgram(command, folder);
            ASSERT_TRUE(r.finished) << "still running at the deadline";
            EXPECT_EQ(r.code, c.code) << r.err;
            EXPECT_NE(r.err.find(c.said), std::string::npos) << r.err;
        }
        // What could not be read leaves nothing behind.
        if (c.code == kExitFailure) {
            EXPECT_FALSE(fs::exists(folder / "out.csv"));
            EXPECT_FALSE(fs::exists(other));
            EXPECT_FALSE(fs::exists(folder / "out.png"));
        }
        const ProgramRun list = RunProgram({"list", folder.string()}, folder);
        ASSERT_TRUE(list.finished) << "list still running at the deadline";
        EXPECT_EQ(list.code, kExitOk) << list.err;
        const bool shown = list.out.find("\n1\t") != std::string::npos;
        EXPECT_EQ(shown, c.listed) << list.out;
    }
}

// 200 MB of records: convert passes them through a block of memory, plot keeps only the curve.
TEST_F(FileInputs, ConvertAndPlotOfA200MegabyteFileStayWithinTheirMemory) {
#if defined(__SANITIZE_ADDRESS__)
    // The address sanitizer's shadow memory and quarantine are part of every peak: the bounds
    // hold for the programs as built for use, which the plain pass runs.
    GTEST_SKIP() << "memory bounds are measured without the address sanitizer";
#endif
    const std::string in = (dir / "261206-005-000042.adc").string();
    {
        std::vector<int> columns(43);
        for (int i = 0; i < 43; ++i) columns[static_cast<std::size_t>(i)] = i;
        std::ofstream f(in, std::ios::binary);
        f << AdcHeader(columns, 1, 2, 1796540703);
        const int records = 200 * 1000 * 1000 / (43 * 4);
        std::string chunk;
        CMeasRecord r = EmptyRecord();
        for (int s = 0; s < records; ++s) {
            r.time = static_cast<std::uint32_t>(s);
            r.cycle = static_cast<std::uint8_t>(s);
            for (int i = 3; i < 43; ++i)
                if (!IsIntegerParam(i)) SetParam(r, i, i + (s % 1000) / 7.0);
            AppendAdcRecord(chunk, r, columns);
            if (chunk.size() > (1 << 20)) {
                f << chunk;
                chunk.clear();
            }
        }
        f << chunk;
        ASSERT_TRUE(f.good());
    }
    ASSERT_GE(fs::file_size(in), 200u * 1000 * 1000 - 172);

    const ProgramRun convert =
        RunProgram({"convert", in, (dir / "copy.adc").string()}, dir, std::chrono::seconds(600));
    ASSERT_TRUE(convert.finished);
    ASSERT_EQ(convert.code, kExitOk) << convert.err;
    EXPECT_EQ(fs::file_size(dir / "copy.adc"), fs::file_size(in));
    EXPECT_LT(convert.maxRssKb, 64 * 1024) << "convert to .adc";
    fs::remove(dir / "copy.adc");

    const ProgramRun csv = RunProgram({"convert", in, "-"}, dir, std::chrono::seconds(600), true);
    ASSERT_TRUE(csv.finished);
    ASSERT_EQ(csv.code, kExitOk) << csv.err;
    EXPECT_NE(csv.err.find("1162790 records of 1 file"), std::string::npos) << csv.err;
    EXPECT_LT(csv.maxRssKb, 64 * 1024) << "convert to CSV";

    const ProgramRun plot = RunProgram(
        {"plot", in, "--param", "UG", "--out", (dir / "all.png").string()}, dir,
        std::chrono::seconds(600));
    ASSERT_TRUE(plot.finished);
    ASSERT_EQ(plot.code, kExitOk) << plot.err;
    EXPECT_LT(plot.maxRssKb, 150 * 1024) << "plot";
}

}  // namespace
}  // namespace dravmer::cli
