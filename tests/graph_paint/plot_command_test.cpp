// dravmer-cli plot: stored experiments (written by the experiment-file writer) drawn offscreen.
#include <gtest/gtest.h>

#include <QImage>
#include <unistd.h>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "cli/cli.h"
#include "files/experiment_files.h"
#include "graph/day_data.h"
#include "graph/graph_list.h"
#include "graph/paint/graph_painter.h"

namespace dravmer::cli {
namespace {

namespace fs = std::filesystem;

// Writes `seconds` made-up records of one device through the experiment-file writer; returns the
// file's path. DRAVMER_GRAPH_DAY_DIR keeps the files (screenshots of a loaded day use them).
std::string WriteExperiment(const fs::path& dir, std::uint32_t address, int seconds,
                            unsigned seed) {
    CDeviceData store;
    CExperimentFiles files(store);
    std::string folder = dir.string() + "/";
    EXPECT_EQ(files.OpenExperimentFiles(folder, address, 1, false, false, true), 0);
    store.SetStartTime(1796544000);  // 2026-12-06 18:40 UTC
    graph::test::FillDay(store, seconds, seed);
    files.CloseExperimentFiles();
    return files.FilePath();
}

struct PlotRun {
    int code;
    std::string out, err;
};

PlotRun Plot(std::vector<std::string> args) {
    std::ostringstream out, err;
    args.insert(args.begin(), "plot");
    int code = RunCli(args, out, err, std::make_unique<CMemorySettingsStore>(), Language::English);
    return {code, out.str(), err.str()};
}

class PlotCommand : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        const char* keep = std::getenv("DRAVMER_GRAPH_DAY_DIR");
        // One folder per test process: ctest runs the cases as parallel processes.
        s_dir = keep ? fs::path(keep)
                     : fs::temp_directory_path() /
                           ("dravmer-plot-test-" + std::to_string(::getpid()));
        fs::create_directories(s_dir);
        const int seconds = keep ? 86400 : 20000;
        s_a = WriteExperiment(s_dir, 12345, seconds, 1);
        s_b = WriteExperiment(s_dir, 23456, seconds, 2);
    }
    static void TearDownTestSuite() {
        if (!std::getenv("DRAVMER_GRAPH_DAY_DIR")) fs::remove_all(s_dir);
    }
    static inline fs::path s_dir;
    static inline std::string s_a, s_b;
};

TEST_F(PlotCommand, DrawsOneCurvePerFileAndParameterInTheSlotColours) {
    const std::string png = (s_dir / "two.png").string();
    PlotRun r = Plot({s_a, s_b, "--param", "UG,t1", "--width", "1000", "--height", "600",
                      "--out", png});
    ASSERT_EQ(r.code, kExitOk) << r.err;
    EXPECT_NE(r.out.find("4 curves"), std::string::npos) << r.out;
    QImage img(QString::fromStdString(png));
    ASSERT_EQ(img.size(), QSize(1000, 600));
    // Each of the four slot colours is painted somewhere in the plot.
    const auto colors = graph::DefaultSlotColors();
    for (int slot = 0; slot < 4; ++slot) {
        const QRgb c = graph::ToQColor(colors[static_cast<std::size_t>(slot)]).rgb();
        int hits = 0;
        for (int y = 0; y < img.height(); y += 2)
            for (int x = 120; x < img.width(); x += 2) hits += img.pixel(x, y) == c;
        EXPECT_GT(hits, 50) << "slot " << slot;
    }
}

TEST_F(PlotCommand, WritesSvgAndTakesARangeOfSeconds) {
    const std::string svg = (s_dir / "range.svg").string();
    PlotRun r = Plot({s_a, "--param", "23", "--from", "1000", "--to", "3000", "--out", svg});
    ASSERT_EQ(r.code, kExitOk) << r.err;
    EXPECT_NE(r.out.find("seconds 1000..3000"), std::string::npos) << r.out;
    EXPECT_GT(fs::file_size(svg), 1000u);
    // The curve's name and its unit are text in the file, not pictures of text.
    std::ifstream in(svg);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find(">1 - 12345 - UG[0]</text>"), std::string::npos);
    EXPECT_EQ(text.find("<image"), std::string::npos);
}

TEST_F(PlotCommand, RefusesBadCommandLinesAndMissingFiles) {
    const std::string png = (s_dir / "x.png").string();
    EXPECT_EQ(Plot({s_a, "--param", "nosuch", "--out", png}).code, kExitUsage);
    EXPECT_EQ(Plot({s_a, "--param", "UG"}).code, kExitUsage);
    EXPECT_EQ(Plot({s_a, "--out", png}).code, kExitUsage);
    EXPECT_EQ(Plot({s_a, "--param", "UG", "--out", (s_dir / "x.bmp").string()}).code, kExitUsage);
    EXPECT_EQ(Plot({s_a, "--param", "UG", "--width", "50", "--out", png}).code, kExitUsage);
    EXPECT_EQ(Plot({s_a, "--param", "UG", "--from", "500", "--to", "100", "--out", png}).code,
              kExitUsage);
    EXPECT_EQ(Plot({"--param", "UG", "--out", png}).code, kExitUsage);
    PlotRun missing = Plot({(s_dir / "none.adc").string(), "--param", "UG", "--out", png});
    EXPECT_EQ(missing.code, kExitFailure);
    EXPECT_FALSE(missing.err.empty());
    EXPECT_FALSE(fs::exists(png));
    EXPECT_EQ(Plot({s_a, "--param", "UG", "--out", "/nonexistent-dir/x.png"}).code, kExitFailure);
}

}  // namespace
}  // namespace dravmer::cli
