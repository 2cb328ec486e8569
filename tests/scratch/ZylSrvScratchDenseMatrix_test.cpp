// ZylSrvScratchDenseMatrix: its own database file, block geometry, CSets,
// views sharing the file, refusals and clean failure.
#include "support/AllocationSweep.h"
#include "support/DatabaseTest.h"
#include "support/FamilyError.h"
#include "support/ReferenceMatrix.h"

#include <mtx/ZylSrvMatrix.h>
#include <mtx/ZylSrvScratchDenseMatrix.h>

#include <gmock/gmock.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;
using zyltest::ExpectMatrixNear;
using zyltest::MembersOf;

constexpr const char* kSource = "mtx/impl/ZylSrvScratchDenseMatrix";

// The files in the current directory but the fixture's own database, sorted.
std::vector<std::string> ScratchFiles()
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator("."))
        if (entry.path().filename() != "test.dorv")
            names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// The file name of a scratch matrix at `address`, built independently.
std::string FileNameOf(const void* address)
{
    char text[64];
    std::snprintf(text, sizeof text, "%p", address);
    return std::string("ZylSrvScratchDenseMatrix") + text + ".dorv";
}

ZylDorvPersistentDrawerDesc DrawerOf(const ZylSrvDenseMatrix& m)
{
    const ZylDorvArray<ZylDorvPersistentDrawerDesc> drawers = zyltest::DrawersOf(m.DistributionID());
    EXPECT_EQ(drawers.Size(), 1);
    return drawers.IsEmpty() ? ZylDorvPersistentDrawerDesc() : drawers[0];
}

// Values rows r0..r1, columns c0..c1 of m, read with one transfer.
zyltest::RefMatrix Read(const ZylSrvDenseMatrix& m, int r0, int r1, int c0, int c1)
{
    zyltest::RefMatrix v(r1 - r0 + 1, c1 - c0 + 1, 99.0);
    ZylSrvMatrix wrapped(v.rows, v.cols, v.data());
    m.GetValues(r0, r1, c0, c1, wrapped);
    return v;
}

void Write(ZylSrvDenseMatrix& m, int r0, int c0, zyltest::RefMatrix values)
{
    ZylSrvMatrix wrapped(values.rows, values.cols, values.data());
    m.SetValues(r0, r0 + values.rows - 1, c0, c0 + values.cols - 1, wrapped);
}

// The fixture's database serves as the caller's own database.
using ScratchDense = zyltest::DatabaseTest;

TEST_F(ScratchDense, BlocksAreTheAskedSizesCutToTheSideAndToTheTwoGibibyteBoundAndReadZero)
{
    struct Case {
        int rows, columns, rowBlock, columnBlock; // asked
        int rowChunk, columnChunk;                // expected blocks, 0: not chunked
    };
    // 300000 rows: a block of columns across all rows holds at most
    // 2^28 / 300000 = 894 columns.
    for (const Case& c : {Case{1000, 10, 300, 4, 300, 4}, Case{1000, 10, -1, -1, 0, 0},
                          Case{1000, 10, -1, 4, 1000, 4}, Case{1000, 10, 5000, 5000, 1000, 10},
                          Case{300000, 1000, 1000, 1000, 1000, 894}}) {
        SCOPED_TRACE(testing::Message() << c.rows << " x " << c.columns << " in " << c.rowBlock << " x "
                                        << c.columnBlock);
        const ZylSrvScratchDenseMatrix m(c.rows, c.columns, c.rowBlock, c.columnBlock);
        const ZylDorvPersistentDrawerDesc drawer = DrawerOf(m);
        ASSERT_EQ(drawer.IsChunked(), c.rowChunk > 0);
        if (c.rowChunk > 0) {
            EXPECT_THAT(std::vector<int>(drawer.ChunkSizes().Data(), drawer.ChunkSizes().Data() + 2),
                        ElementsAre(c.columnChunk, c.rowChunk));
        }
        EXPECT_EQ(m.NumberOfRowsInBlock(0), c.rowChunk > 0 ? c.rowChunk : c.rows);
        EXPECT_EQ(m.NumberOfColumnsInBlock(0), c.rowChunk > 0 ? c.columnChunk : c.columns);
        EXPECT_EQ(drawer.DimCSetID(1), m.RowCSetID());
        ExpectMatrixNear(zyltest::RefMatrix(1000, 10, 0.0),
                         Read(m, c.rows - 1000, c.rows - 1, c.columns - 10, c.columns - 1), "zeros");
    }
}

TEST_F(ScratchDense, BuiltFromCallerCSetsReportsThemAndItsViewsReportScratchCSets)
{
    const int rowLabels[12] = {49, 3, 17, 8, 41, 0, 22, 35, 9, 14, 30, 6};
    const ZylDorvCSetID rowCSet = ZylDorvCollection(NewCollection(50)).CreateOrderedCSet(rowLabels, 12);
    const ZylDorvCSetID columnCSet = ZylDorvCollection(NewCollection(20)).CreateCSetStrided(3, 8, 1, 1); // 3..10
    ZylSrvScratchDenseMatrix m(rowCSet, columnCSet, 5, 3);
    EXPECT_EQ(m.NumberOfRows(), 12);
    EXPECT_EQ(m.NumberOfColumnsInBlock(2), 2);
    EXPECT_EQ(m.RowCSetID(), rowCSet);
    EXPECT_EQ(m.ColumnCSetID(), columnCSet);
    // The values are addressed through scratch CSets with the same members.
    const ZylDorvCSetID scratchRows = m.ZylSrvDenseMatrix::RowCSetID();
    const ZylDorvCSetID scratchColumns = m.ZylSrvDenseMatrix::ColumnCSetID();
    EXPECT_NE(scratchRows.CollectionID().Context(), ctx);
    EXPECT_THAT(MembersOf(scratchRows), ElementsAreArray(rowLabels));
    EXPECT_THAT(MembersOf(scratchColumns), ElementsAre(3, 4, 5, 6, 7, 8, 9, 10));
    // A view (a scratch matrix too) reports the scratch CSets, not the outer ones.
    std::unique_ptr<ZylSrvDenseMatrix> whole(m.Submatrix(0, 11, 0, 7));
    ASSERT_NE(dynamic_cast<ZylSrvScratchDenseMatrix*>(whole.get()), nullptr);
    EXPECT_EQ(whole->RowCSetID(), scratchRows);
    EXPECT_EQ(whole->ColumnCSetID(), scratchColumns);
    // The caller's database gained nothing.
    EXPECT_EQ(Context().DistributionIDs().Size(), 0);
    EXPECT_EQ(Context().CollectionIDs().Size(), 2);
}

TEST_F(ScratchDense, EachMatrixHasItsOwnFileUntilItAndEveryViewAreGone)
{
    const ZylSrvScratchDenseMatrix none;
    EXPECT_TRUE(none.IsNull());
    EXPECT_TRUE(none.RowCSetID().IsNull());
    EXPECT_TRUE(none.ColumnCSetID().IsNull());
    EXPECT_THAT(ScratchFiles(), IsEmpty());

    // Two live matrices: two files named after the objects, independent values.
    auto first = std::make_unique<ZylSrvScratchDenseMatrix>(6, 4, 3, 3);
    const ZylSrvScratchDenseMatrix second(6, 4, 3, 3);
    std::vector<std::string> names = {FileNameOf(first.get()), FileNameOf(&second)};
    std::sort(names.begin(), names.end());
    EXPECT_THAT(ScratchFiles(), ElementsAreArray(names));
    Write(*first, 5, 3, zyltest::RefMatrix(1, 1, 7.0));
    EXPECT_EQ(Read(second, 5, 5, 3, 3)(0, 0), 0.0);
    EXPECT_EQ(Read(*first, 5, 5, 3, 3)(0, 0), 7.0);
    first.reset();
    EXPECT_THAT(ScratchFiles(), ElementsAre(FileNameOf(&second)));

    // Views share the file: it goes with the last holder.
    auto* m = new ZylSrvScratchDenseMatrix(10, 7, 4, 3);
    const std::vector<std::string> both = ScratchFiles();
    const zyltest::RefMatrix values = zyltest::RandomMatrix(10, 7, 2);
    Write(*m, 0, 0, values);
    std::unique_ptr<ZylSrvDenseMatrix> view(m->Submatrix(5, 8, 2, 6));
    std::unique_ptr<ZylSrvDenseMatrix> viewOfView(view->Submatrix(1, 3, 0, 0)); // rows 6..8, column 2
    zyltest::ExpectIllegalInput([&] { std::unique_ptr<ZylSrvDenseMatrix> v(m->Submatrix(0, 10, 0, 0)); },
                                "Submatrix");
    EXPECT_EQ(ScratchFiles(), both) << "views and refused views make no file";
    delete m;
    EXPECT_EQ(ScratchFiles(), both) << "matrix gone, views alive";
    ExpectMatrixNear(values.Block(6, 8, 2, 2), Read(*viewOfView, 0, 2, 0, 0), "read by a view");
    view.reset();
    EXPECT_EQ(ScratchFiles(), both) << "one view left";
    viewOfView.reset();
    EXPECT_THAT(ScratchFiles(), ElementsAre(FileNameOf(&second)));
}

TEST_F(ScratchDense, SizesAndBlockSizesAreRefusedBeforeAnyFileIsMade)
{
    const long live = mem_LiveBlocks();
    struct Refusal {
        int rows, columns, rowBlock, columnBlock;
    };
    for (const Refusal& r : {Refusal{0, 10, 4, 4}, Refusal{10, 0, 4, 4}, Refusal{-3, 5, 4, 4}, Refusal{5, -1, 4, 4},
                             Refusal{5, 5, 0, 4}, Refusal{5, 5, 4, 0}, Refusal{5, 5, -2, 4}, Refusal{5, 5, 4, -7}}) {
        SCOPED_TRACE(testing::Message() << r.rows << " x " << r.columns << " in " << r.rowBlock << " x "
                                        << r.columnBlock);
        zyltest::ExpectIllegalInput([&] { ZylSrvScratchDenseMatrix m(r.rows, r.columns, r.rowBlock, r.columnBlock); },
                                    "ZylSrvScratchDenseMatrix", kSource);
    }
    // An empty CSet of the caller's database gives an empty side; a null
    // CSet is the database's to refuse.
    const ZylDorvCSetID all = AllOf(NewCollection(4));
    const ZylDorvCSetID empty = ZylDorvCollection(NewCollection(4)).CreateCSetStrided(0, 0, 1, 1);
    zyltest::ExpectIllegalInput([&] { ZylSrvScratchDenseMatrix m(empty, all, 2, 2); }, "ZylSrvScratchDenseMatrix",
                                kSource);
    zyltest::ExpectIllegalInput([&] { ZylSrvScratchDenseMatrix m(all, empty, 2, 2); }, "ZylSrvScratchDenseMatrix",
                                kSource);
    EXPECT_DORV_ERROR(ZylSrvScratchDenseMatrix m(ZylDorvCSetID(), all, 2, 2), ZylDorvError_NullIdentifier, "");
    EXPECT_THAT(ScratchFiles(), IsEmpty());
    EXPECT_EQ(mem_LiveBlocks(), live);
}

TEST_F(ScratchDense, ConstructorThatFailsPartWayLeavesNoFile)
{
    const long live = mem_LiveBlocks();
    // The drawer or the context's record cannot be written; a label twice.
    ZylDorvTestSeam::FailValueWrites(1, ZylDorvError_DrawerCreateFailed);
    EXPECT_DORV_ERROR(ZylSrvScratchDenseMatrix m(100, 20, 10, 10), ZylDorvError_DrawerCreateFailed,
                      "ZylSrvScratchDenseMatrix");
    ZylDorvTestSeam::FailRecordWrites(1, ZylDorvError_MetadataWriteFailed);
    EXPECT_DORV_ERROR(ZylSrvScratchDenseMatrix m(100, 20, 10, 10), ZylDorvError_MetadataWriteFailed, "");
    const int twice[3] = {1, 4, 1};
    EXPECT_DORV_ERROR(ZylSrvScratchDenseMatrix m(3, 2, twice, nullptr, 2, 2), ZylDorvError_DuplicateLabel, "");
    EXPECT_THAT(ScratchFiles(), IsEmpty());
    EXPECT_EQ(mem_LiveBlocks(), live);

    // Every allocation of the construction refused in turn.
    const int allocations = zyltest::SweepAllocationFailures(
        [] {}, [] { ZylSrvScratchDenseMatrix m(30, 20, 7, 6); },
        [](int) { EXPECT_THAT(ScratchFiles(), IsEmpty()); });
    EXPECT_GT(allocations, 2);
}

} // namespace
