// Every reader of experiment files and labels opens only regular files: a FIFO or a folder under
// an experiment's name is refused at once, with the reason, on every path that reads one (the
// command line's and the window's). And a file read as it streams gives the very records a load
// keeps.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <future>

#include "files/experiment_files.h"
#include "files/experiment_scan.h"
#include "files/file_format.h"
#include "test_util.h"

namespace dravmer::testing_files {
namespace {

// Runs `read` on a thread of its own; true when it ended within a generous deadline. A reader
// still blocked then (in the open of a FIFO) is let go by opening the FIFO's other end, so that a
// failing test ends too.
bool EndsInTime(const std::string& fifo, const std::function<void()>& read) {
    auto done = std::async(std::launch::async, read);
    if (done.wait_for(std::chrono::seconds(60)) == std::future_status::ready) return true;
    const int fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
    done.wait();
    if (fd >= 0) ::close(fd);
    return false;
}

struct SpecialFile {
    const char* what;
    std::function<void(const std::string&)> make;
    FileFailure failure;
    const char* english;
    const char* russian;
};

const SpecialFile kSpecial[] = {
    {"FIFO", [](const std::string& p) { ASSERT_EQ(::mkfifo(p.c_str(), 0600), 0); },
     FileFailure::NotAFile, "not a regular file", "не обычный файл"},
    {"folder", [](const std::string& p) { ASSERT_TRUE(std::filesystem::create_directory(p)); },
     FileFailure::Folder, "a folder, not a file", "папка, а не файл"},
};

TEST(InputFile, AFifoOrAFolderUnderAnExperimentsNameIsRefusedAtOnceByEveryReader) {
    for (const SpecialFile& special : kSpecial) {
        for (const char* name : {"261206-003-000042.adc", "261206-003-000043.txt"}) {
            SCOPED_TRACE(std::string(special.what) + " " + name);
            TempDir dir;
            const std::string path = dir / name;
            special.make(path);

            CDeviceData store;
            SLoadReport report;
            int result = -1;
            ASSERT_TRUE(EndsInTime(path, [&] {
                result = LoadExperimentFile(store, path, nullptr, &report);
            }));
            EXPECT_EQ(result, 0);
            EXPECT_EQ(report.fileFailure, special.failure);
            EXPECT_EQ(report.ignoredBytes, 0u);
            EXPECT_NE(report.Summary(Language::English).find(special.english), std::string::npos)
                << report.Summary(Language::English);
            EXPECT_NE(report.Summary(Language::Russian).find(special.russian), std::string::npos)
                << report.Summary(Language::Russian);

            const RecordBatchFn take = [](const CMeasRecord*, int, SLoadReport&) { return true; };
            ASSERT_TRUE(EndsInTime(path, [&] {
                result = StreamExperimentFile(store, path, take, nullptr, report);
            }));
            EXPECT_EQ(result, 0);
            EXPECT_EQ(report.fileFailure, special.failure);

            std::vector<int> columns;
            std::string error;
            bool ok = true;
            ASSERT_TRUE(EndsInTime(path, [&] {
                ok = ReadFileColumns(path, columns, error, Language::Russian);
            }));
            EXPECT_FALSE(ok);
            EXPECT_NE(error.find(special.russian), std::string::npos) << error;

            SExperimentEntry entry;
            entry.text = std::string(name).ends_with(".txt");
            ASSERT_TRUE(EndsInTime(path, [&] { ok = CheckExperimentFile(path, entry); }));
            EXPECT_FALSE(ok);

            // The window's load of an experiment goes through the group loader.
            SGroupLoadData group;
            group.paths = {path};
            group.addresses = {42};
            ASSERT_TRUE(EndsInTime(path, [&] { result = LoadGroup(group, {&store}, nullptr); }));
            EXPECT_EQ(result, 0);
        }
    }
}

TEST(InputFile, AFifoUnderTheLabelsNameReadsAsNoLabel) {
    TempDir dir;
    CDeviceData store;
    Fill(store, 5);
    SFileOptions options;
    ASSERT_EQ(SaveStoreAs(store, dir / "261206-003-000042.adc", false, options.Columns(), options),
              0);
    const std::string label = dir / "261206-003-label .txt";
    ASSERT_EQ(::mkfifo(label.c_str(), 0600), 0);
    CExperimentList list;
    SGroupDescription d;
    ASSERT_TRUE(EndsInTime(label, [&] {
        list.Scan(dir.Folder());
        d = list.Describe(0);
    }));
    EXPECT_EQ(d.devices, 1);
    EXPECT_EQ(d.comment, "");
    std::string text = "x";
    ASSERT_TRUE(EndsInTime(label, [&] { text = ReadLabelText(label); }));
    EXPECT_EQ(text, "");
}

// What a stream hands over, record by record, is what a load keeps, with the same report, and a
// binary file's start time is known before its first record.
TEST(InputFile, AStreamedFileGivesTheRecordsALoadKeeps) {
    TempDir dir;
    CDeviceData source;
    Fill(source, 20000);
    source.SetStartTime(1796540703);
    SFileOptions options;
    for (bool text : {false, true}) {
        SCOPED_TRACE(text ? "txt" : "adc");
        const std::string path = dir / (text ? "261206-003-000042.txt" : "261206-003-000042.adc");
        ASSERT_EQ(SaveStoreAs(source, path, text, options.Columns(), options), 0);
        // A record no bench writes (a negative time), to be skipped alike.
        if (text) {
            std::ofstream(path, std::ios::app | std::ios::binary) << "-5 1 00A3\r\n";
        } else {
            const float negative = -5.0f;
            std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
            f.seekp(kAdcHeaderSize + 100 * 43 * 4);
            f.write(reinterpret_cast<const char*>(&negative), 4);
        }
        CDeviceData kept, streamed;
        SLoadReport a, b;
        ASSERT_EQ(LoadExperimentFile(kept, path, nullptr, &a), 1) << a.Summary();
        std::vector<CMeasRecord> records;
        std::time_t startAtFirst = -1;
        const RecordBatchFn take = [&](const CMeasRecord* r, int n, SLoadReport&) {
            if (records.empty()) startAtFirst = streamed.StartTime();
            records.insert(records.end(), r, r + n);
            return true;
        };
        ASSERT_EQ(StreamExperimentFile(streamed, path, take, nullptr, b), 1) << b.Summary();
        EXPECT_EQ(streamed.GetCount(), 0) << "the store keeps none of them";
        EXPECT_EQ(a.records, b.records);
        EXPECT_EQ(a.skippedRecords + a.skippedLines, 1);
        EXPECT_EQ(a.skippedRecords, b.skippedRecords);
        EXPECT_EQ(a.skippedLines, b.skippedLines);
        EXPECT_EQ(a.columns, b.columns);
        ASSERT_EQ(static_cast<int>(records.size()), kept.GetCount());
        for (int i = 0; i < kept.GetCount(); i += 97) {
            const CMeasRecord x = kept.GetSample(i);
            for (int p = 0; p < kParamCount; ++p)
                ASSERT_EQ(GetParam(x, p), GetParam(records[static_cast<std::size_t>(i)], p))
                    << i << " " << p;
        }
        EXPECT_EQ(streamed.StartTime(), kept.StartTime());
        if (!text) {
            EXPECT_EQ(startAtFirst, 1796540703);
        }
        // A taker that cannot go on stops the reading, and the load fails.
        int calls = 0;
        const RecordBatchFn refuse = [&](const CMeasRecord*, int, SLoadReport& r) {
            r.error = "cannot write";
            return ++calls < 2;
        };
        EXPECT_EQ(StreamExperimentFile(streamed, path, refuse, nullptr, b), 0);
        EXPECT_EQ(calls, 2);
        EXPECT_EQ(b.error, "cannot write");
    }
}

}  // namespace
}  // namespace dravmer::testing_files
