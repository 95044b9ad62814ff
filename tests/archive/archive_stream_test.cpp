// The archive one device at a time: files archived and exported straight, experiments loaded
// back into stores device by device, with the same results as holding the whole experiment.
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "archive/archive_io.h"
#include "archive/db.h"
#include "archive_fixture.h"
#include "bench/bench.h"
#include "bench/bench_archive.h"
#include "files/experiment_scan.h"
#include "platform/page_file.h"

namespace dravmer::testing_archive {
namespace {

class ArchiveStream : public ArchiveTest {
protected:
    SGroupDescription Group(const fs::path& folder) {
        CExperimentList list;
        list.Scan(folder.string());
        return list.Describe(0);
    }
    std::string Fingerprint(std::int64_t id) {
        std::string error;
        auto raw = GetParam() == "sqlite" ? archive::OpenSqlite(url.substr(7), error)
                                          : archive::OpenPostgres(url, error);
        EXPECT_TRUE(raw) << error;
        std::vector<archive::SDbRow> rows;
        if (!raw || !raw->Exec("SELECT fingerprint FROM experiments WHERE id = $1",
                               {archive::SDbValue::Int(id)}, &rows) ||
            rows.empty())
            return {};
        return rows[0][0].AsText();
    }
};

TEST_P(ArchiveStream, FilesArchivedOneByOneAreTheExperimentOfTheFilesAndComeBackAsTheyWere) {
    for (bool text : {false, true}) {
        SCOPED_TRACE(text ? "txt" : "adc");
        const fs::path in = dir / (text ? "txt" : "adc");
        // Addresses out of order: the devices keep the files' order, the fingerprint its own.
        WriteExperiment(in, "261206", text ? 4 : 3, {305, 101, 202}, 9000, text);
        const SGroupDescription g = Group(in);
        ASSERT_EQ(g.files.size(), 3u);
        auto archive = OpenArchive();
        ASSERT_TRUE(archive);
        std::string error;
        std::shared_ptr<CPageFile> cache =
            CPageFile::Create(dir / "cache", CDeviceData::kPageBytes, &error);
        ASSERT_TRUE(cache) << error;
        cache->SetReserveBytes(0);
        SArchivedHeader header;
        std::int64_t id = 0;
        std::vector<int> steps;
        ASSERT_EQ(ArchiveFiles(*archive, g.files, g.time, g.label, SArchiveDefaults(), cache,
                               header, id, error,
                               [&](int done, int total) {
                                   steps.push_back(done);
                                   return total == 3;
                               }),
                  kArchiveOk)
            << error << archive->LastError();
        EXPECT_EQ(steps, (std::vector<int>{1, 2, 3}));
        EXPECT_EQ(cache->BytesInUse(), 0u);  // the scratch store gave its blocks back

        // What the whole experiment in memory would have stored.
        SArchivedExperiment whole;
        ASSERT_EQ(ExperimentFromFiles(g.files, g.time, g.label, SArchiveDefaults(), whole, error),
                  kArchiveOk);
        EXPECT_EQ(Fingerprint(id), ExperimentFingerprint(whole));
        SArchivedExperiment back;
        ASSERT_EQ(archive->Get(id, back), kArchiveOk) << archive->LastError();
        EXPECT_EQ(back.columns, whole.columns);
        EXPECT_EQ(back.text, text);
        EXPECT_EQ(back.duration, whole.duration);
        EXPECT_EQ(back.ky, whole.ky);
        EXPECT_EQ(back.fileDecimals, whole.fileDecimals);
        EXPECT_EQ(back.comment, "Калибровка стенда");
        ASSERT_EQ(back.devices.size(), 3u);
        for (std::size_t k = 0; k < 3; ++k) {
            EXPECT_EQ(back.devices[k].address, whole.devices[k].address);
            EXPECT_EQ(back.devices[k].recordCount, whole.devices[k].recordCount);
            EXPECT_EQ(back.devices[k].n, whole.devices[k].n);
            EXPECT_EQ(back.devices[k].stats, whole.devices[k].stats);
            EXPECT_EQ(back.devices[k].values.size(), whole.devices[k].values.size());
            EXPECT_EQ(0, std::memcmp(back.devices[k].values.data(), whole.devices[k].values.data(),
                                     whole.devices[k].values.size() * sizeof(double)));
        }
        // Exported straight from the archive: the very bytes of the files.
        std::vector<std::string> written;
        ASSERT_EQ(ExportArchived(*archive, id, (dir / "out" / in.filename()).string(), "",
                                 written, error),
                  kArchiveOk)
            << error;
        ASSERT_EQ(written.size(), 4u);  // three devices and the label
        for (const auto& p : g.files)
            EXPECT_EQ(ReadAll((dir / "out" / in.filename() / fs::path(p).filename()).string()),
                      ReadAll(p))
                << p;
        // Archiving it again, from the experiment in memory, finds the copy.
        std::int64_t again = 0;
        EXPECT_EQ(archive->Add(whole, again), kArchiveDuplicate);
        EXPECT_EQ(again, id);
    }
}

TEST_P(ArchiveStream, AFileThatDoesNotBelongStopsTheArchivingWithNothingWritten) {
    auto paths = WriteExperiment(dir / "in", "261206", 7, {11, 12, 13}, 300, false);
    // The last device's file with other columns: noticed only when it is read.
    {
        CDeviceData store;
        FillStore(store, 300, 5);
        SFileOptions options;
        ASSERT_EQ(SaveStoreAs(store, paths[2], false, options.Columns(), options), 0);
    }
    auto archive = OpenArchive();
    ASSERT_TRUE(archive);
    SArchivedHeader header;
    std::int64_t id = 0;
    std::string error;
    EXPECT_EQ(ArchiveFiles(*archive, paths, 0, "", SArchiveDefaults(), nullptr, header, id, error),
              kArchiveFileError);
    EXPECT_NE(error.find("other columns"), std::string::npos) << error;
    std::int64_t count = -1;
    ASSERT_EQ(archive->Count(count), kArchiveOk);
    EXPECT_EQ(count, 0);
    // Names that are not one experiment are refused before anything is read.
    fs::copy_file(paths[0], dir / "in" / "261207-007-000014.adc");
    paths[2] = (dir / "in" / "261207-007-000014.adc").string();
    EXPECT_EQ(ArchiveFiles(*archive, paths, 0, "", SArchiveDefaults(), nullptr, header, id, error),
              kArchiveFileError);
    EXPECT_NE(error.find("another experiment"), std::string::npos) << error;
}

TEST_P(ArchiveStream, AnExportThatMeetsDamagedRecordsLeavesNoFile) {
    WriteExperiment(dir / "in", "261213", 2, {31, 32, 33}, 400, false);
    auto archive = OpenArchive();
    ASSERT_TRUE(archive);
    const SGroupDescription g = Group(dir / "in");
    SArchivedHeader header;
    std::int64_t id = 0;
    std::string error;
    ASSERT_EQ(ArchiveFiles(*archive, g.files, g.time, g.label, SArchiveDefaults(), nullptr,
                           header, id, error),
              kArchiveOk);
    auto raw = GetParam() == "sqlite" ? archive::OpenSqlite(url.substr(7), error)
                                      : archive::OpenPostgres(url, error);
    ASSERT_TRUE(raw) << error;
    ASSERT_TRUE(raw->Exec("UPDATE devices SET records = $1 WHERE address = 32",
                          {archive::SDbValue::Blob(std::string("\x78\x01garbage", 10))}));
    std::vector<std::string> written;
    EXPECT_EQ(ExportArchived(*archive, id, (dir / "out").string(), "", written, error),
              kArchiveBadData);
    EXPECT_NE(error.find("device 32"), std::string::npos) << error;
    EXPECT_TRUE(written.empty());
    EXPECT_TRUE(fs::is_empty(dir / "out"));
    EXPECT_EQ(ExportArchived(*archive, id + 1000, (dir / "none").string(), "", written, error),
              kArchiveNotFound);
}

TEST_P(ArchiveStream, StoresFilledDeviceByDeviceHoldWhatTheWholeExperimentGives) {
    WriteExperiment(dir / "in", "261214", 3, {41, 42}, 5000, true);
    auto archive = OpenArchive();
    ASSERT_TRUE(archive);
    const SGroupDescription g = Group(dir / "in");
    SArchivedHeader header;
    std::int64_t id = 0;
    std::string error;
    ASSERT_EQ(ArchiveFiles(*archive, g.files, g.time, g.label, SArchiveDefaults(), nullptr,
                           header, id, error),
              kArchiveOk);
    SArchivedExperiment whole, described;
    ASSERT_EQ(archive->Get(id, whole), kArchiveOk);
    ASSERT_EQ(archive->Describe(id, described), kArchiveOk);
    for (const auto& d : described.devices) EXPECT_TRUE(d.values.empty());
    CMemorySettingsStore settings;
    CBench bench(settings);
    const std::vector<std::uint32_t> addresses = {41, 42};
    std::vector<CDeviceData*> stores = bench.PrepareLoad(addresses);
    ASSERT_EQ(stores.size(), 2u);
    EXPECT_EQ(LoadArchivedPrepared(bench, *archive, described, stores), 2);
    EXPECT_FALSE(bench.IsLoading());
    for (std::size_t k = 0; k < 2; ++k) {
        CDeviceData expected;
        ASSERT_TRUE(FillStoreFromArchive(whole, k, expected));
        const CDeviceData& got = *stores[k];
        ASSERT_EQ(got.GetCount(), expected.GetCount());
        for (int i = 0; i < got.GetCount(); i += 7) {
            const CMeasRecord a = got.GetSample(i), b = expected.GetSample(i);
            for (int p = 0; p < kParamCount; ++p)
                ASSERT_EQ(::dravmer::GetParam(a, p), ::dravmer::GetParam(b, p)) << i;
            ASSERT_EQ(a.kg, b.kg);
        }
        for (int p = kStatFirstParam; p < kParamCount; ++p)
            EXPECT_EQ(got.GetStatValue(StatKind::Sigma, p), expected.GetStatValue(StatKind::Sigma, p));
        EXPECT_EQ(got.Title(), expected.Title());
        EXPECT_EQ(got.StartTime(), expected.StartTime());
    }
}

INSTANTIATE_TEST_SUITE_P(Backends, ArchiveStream, ::testing::Values("sqlite", "postgresql"),
                         BackendName);

}  // namespace
}  // namespace dravmer::testing_archive
