// Curves of stores whose older records live in the page file: the same points, extents and
// drawing as from a store that keeps everything in memory.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QTemporaryDir>
#include <filesystem>
#include <initializer_list>

#include "graph/curve_series.h"
#include "graph/day_data.h"
#include "graph/graph_state.h"
#include "platform/page_file.h"

namespace dravmer::graph {
namespace {

TEST(PagedCurves, PointsExtentsAndPathsAreThoseOfAStoreInMemory) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    std::string error;
    std::shared_ptr<CPageFile> file =
        CPageFile::Create(dir.path().toStdString(), CDeviceData::kPageBytes, &error);
    ASSERT_TRUE(file) << error;
    file->SetReserveBytes(0);
    CDeviceData plain, paged;
    paged.SetPageFile(file);
    const int n = 6 * CDeviceData::kPageRecords + 1234;
    test::FillDay(plain, n, 8);
    test::FillDay(paged, n, 8);
    ASSERT_GT(paged.PagedCount(), 0);

    const SGraphLayout layout = LayoutGraph(1280, 800, 3);
    for (int param : std::initializer_list<int>{3, 9, 15, 1, 32}) {
        CCurveSeries a, b;
        a.Sync(plain, param);
        b.Sync(paged, param);
        ASSERT_EQ(a.Size(), static_cast<std::size_t>(n));
        ASSERT_EQ(b.Size(), a.Size());
        for (std::size_t i = 0; i < a.Size(); ++i) {
            ASSERT_EQ(a.Times()[i], b.Times()[i]);
            ASSERT_EQ(a.Values()[i], b.Values()[i]) << "param " << param << " point " << i;
            ASSERT_EQ(a.Odd()[i], b.Odd()[i]);
        }
        for (auto [whole, from, to] : {std::tuple<bool, int, int>{true, 0, 0}, {false, 5000, 20000}}) {
            double loA, hiA, loB, hiB;
            SeriesRange(a, whole, from, to, loA, hiA);
            SeriesRange(b, whole, from, to, loB, hiB);
            EXPECT_EQ(loA, loB);
            EXPECT_EQ(hiA, hiB);
        }
        const SAxis axis = AxisFromRange(0, 450, 8, 1.0);
        for (auto [first, last] : {std::pair<std::int64_t, std::int64_t>{0, n}, {3000, 9000}}) {
            const STimeWindow window = MakeTimeWindow(first, last, 11);
            for (bool reduce : {true, false}) {
                const auto begin = a.FirstAtOrAfter(plain, static_cast<std::uint32_t>(first));
                ASSERT_EQ(begin, b.FirstAtOrAfter(paged, static_cast<std::uint32_t>(first)));
                SCurvePath pa = BuildPath(a, begin, Parity::Odd, layout, window, axis, reduce);
                SCurvePath pb = BuildPath(b, begin, Parity::Odd, layout, window, axis, reduce);
                ASSERT_EQ(pa.segments.size(), pb.segments.size());
                for (std::size_t k = 0; k < pa.segments.size(); ++k) {
                    ASSERT_EQ(pa.segments[k].a, pb.segments[k].a);
                    ASSERT_EQ(pa.segments[k].b, pb.segments[k].b);
                }
            }
        }
    }
}

// A store emptied and filled again with as many records and the same seconds holds other values:
// the curve must show those, not the copy of the old ones.
TEST(PagedCurves, ACurveFollowsAStoreRefilledWithTheSameSeconds) {
    CDeviceData store;
    test::FillDay(store, 300, 4);
    CCurveSeries s;
    s.Sync(store, 7);
    ASSERT_EQ(s.Values()[10], GetParam(test::DayRecord(10, 4), 7));
    store.ResetData();
    test::FillDay(store, 300, 5);
    s.Sync(store, 7);
    ASSERT_EQ(s.Size(), 300u);
    EXPECT_EQ(s.Values()[10], GetParam(test::DayRecord(10, 5), 7));
}

}  // namespace
}  // namespace dravmer::graph
