// ZylSrvScratchDenseMatrix: its own database file, block geometry, CSets,
// views sharing the file, name variants at a reused address, planted links,
// refusals and the fault sweeps.
#include "support/AllocationSweep.h"
#include "support/DatabaseTest.h"
#include "support/FamilyError.h"

#include <mtx/ZylSrvMatrix.h>
#include <mtx/ZylSrvScratchDenseMatrix.h>

#include <gmock/gmock.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
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

// The file name of a scratch matrix at `address` (variant 0: the plain one), built independently.
std::string FileNameOf(const void* address, int variant = 0)
{
    char text[64];
    std::snprintf(text, sizeof text, "%p", address);
    return std::string("ZylSrvScratchDenseMatrix") + text + (variant ? "-" + std::to_string(variant) : "") + ".dorv";
}

// Room for a scratch matrix whose address, and so its file name, the test knows.
struct Placed {
    alignas(ZylSrvScratchDenseMatrix) unsigned char at[sizeof(ZylSrvScratchDenseMatrix)] = {};
    ZylSrvScratchDenseMatrix* Make() { return ::new (at) ZylSrvScratchDenseMatrix(4, 3, 2, 2); }
};

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
        SCOPED_TRACE(testing::Message() << c.rows << " x " << c.columns << " in " << c.rowBlock << " x " << c.columnBlock);
        const ZylSrvScratchDenseMatrix m(c.rows, c.columns, c.rowBlock, c.columnBlock);
        const ZylDorvPersistentDrawerDesc drawer = DrawerOf(m);
        ASSERT_EQ(drawer.IsChunked(), c.rowChunk > 0);
        if (c.rowChunk > 0) {
            EXPECT_THAT(std::vector<int>(drawer.ChunkSizes().Data(), drawer.ChunkSizes().Data() + 2),
                        ElementsAre(c.columnChunk, c.rowChunk));
        }
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
    EXPECT_TRUE(none.IsNull() && none.RowCSetID().IsNull());
    EXPECT_THAT(ScratchFiles(), IsEmpty());

    // Two live matrices: two files named after the objects.
    const ZylSrvScratchDenseMatrix first(6, 4, 3, 3), second(6, 4, 3, 3);
    std::vector<std::string> names = {FileNameOf(&first), FileNameOf(&second)};
    std::sort(names.begin(), names.end());
    EXPECT_EQ(ScratchFiles(), names);

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
    EXPECT_EQ(ScratchFiles(), names);
}

TEST_F(ScratchDense, SizesAndBlockSizesAreRefusedBeforeAnyFileIsMade)
{
    const long live = mem_LiveBlocks();
    struct Refusal {
        int rows, columns, rowBlock, columnBlock;
    };
    for (const Refusal& r : {Refusal{0, 10, 4, 4}, Refusal{10, 0, 4, 4}, Refusal{-3, 5, 4, 4}, Refusal{5, -1, 4, 4},
                             Refusal{5, 5, 0, 4}, Refusal{5, 5, 4, 0}, Refusal{5, 5, -2, 4}, Refusal{5, 5, 4, -7}}) {
        SCOPED_TRACE(testing::Message() << r.rows << " x " << r.columns << " in " << r.rowBlock << " x " << r.columnBlock);
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

TEST_F(ScratchDense, AMatrixAtTheAddressOfOneWhoseViewLivesOnTakesTheNextNameVariant)
{
    Placed place;
    std::vector<std::unique_ptr<ZylSrvDenseMatrix>> views;
    std::vector<std::string> names;
    for (int k = 0; k < 3; ++k) {
        ZylSrvScratchDenseMatrix* m = place.Make();
        Write(*m, 0, 0, zyltest::RefMatrix(4, 3, k + 1.0));
        views.emplace_back(m->Submatrix(1, 3, 1, 2));
        m->~ZylSrvScratchDenseMatrix();
        names.push_back(FileNameOf(place.at, k));
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(ScratchFiles(), names);
    for (int k = 0; k < 3; ++k)
        ExpectMatrixNear(zyltest::RefMatrix(3, 2, k + 1.0), Read(*views[k], 0, 2, 0, 1), "each view its own file");
    views.clear();
    EXPECT_THAT(ScratchFiles(), IsEmpty());
}

// Exclusive creation refuses the link and a variant is taken, or a database that replaces stale
// names replaces the link itself; either way its target is not created, opened for writing or changed.
TEST_F(ScratchDense, ALinkPlantedAtTheNameIsNeverFollowed)
{
    namespace fs = std::filesystem;
    Placed place;
    const std::string name = FileNameOf(place.at);
    for (const bool targetExists : {false, true}) {
        SCOPED_TRACE(targetExists ? "target exists" : "dangling link");
        if (targetExists) std::ofstream("target") << "theirs";
        fs::create_symlink("target", name);
        ZylSrvScratchDenseMatrix* m = place.Make();
        Write(*m, 3, 2, zyltest::RefMatrix(1, 1, 5.0));
        EXPECT_EQ(Read(*m, 3, 3, 2, 2)(0, 0), 5.0);
        m->~ZylSrvScratchDenseMatrix();
        std::string text;
        std::ifstream("target") >> text;
        EXPECT_EQ(std::make_pair(fs::exists("target"), text), std::make_pair(targetExists, std::string(targetExists ? "theirs" : "")));
        EXPECT_EQ(fs::is_symlink(name) ? fs::read_symlink(name) : "target", "target");
        fs::remove(name), fs::remove("target");
        EXPECT_THAT(ScratchFiles(), IsEmpty());
    }
}

// Each operation runs with its 1st, 2nd, ... allocation refused, then each
// constructor with its value write and with each of its record writes failed.
TEST_F(ScratchDense, FaultSweepsLeakNothingLeaveNoFileAndARerunSucceeds)
{
    const ZylDorvCSetID rowCSet = AllOf(NewCollection(9)), columnCSet = AllOf(NewCollection(5));
    const int rowMembers[3] = {2, 0, 1};
    std::unique_ptr<ZylSrvScratchDenseMatrix> m;
    std::unique_ptr<ZylSrvDenseMatrix> view;
    std::vector<std::string> files;
    const auto prepare = [&] {
        view.reset(), m = std::make_unique<ZylSrvScratchDenseMatrix>(rowCSet, columnCSet, 4, 2), Write(*m, 8, 4, zyltest::RefMatrix(1, 1, 3.0));
        view.reset(m->Submatrix(1, 8, 1, 4)), files = ScratchFiles();
    };
    const std::vector<std::pair<const char*, std::function<void()>>> operations = {
        {"size", [] { ZylSrvScratchDenseMatrix s(30, 20, 7, 6); }},
        {"members", [&] { ZylSrvScratchDenseMatrix s(3, 2, rowMembers, nullptr, 2, -1); }},
        {"CSets", [&] { ZylSrvScratchDenseMatrix s(rowCSet, columnCSet, -1, 3); }},
        {"Submatrix", [&] { std::unique_ptr<ZylSrvDenseMatrix> v(m->Submatrix(0, 2, 0, 1)); }},
        {"Submatrix of a view", [&] { std::unique_ptr<ZylSrvDenseMatrix> v(view->Submatrix(0, 2, 0, 1)); }},
        {"CSet IDs", [&] { (void)m->RowCSetID(), (void)m->ColumnCSetID(), (void)view->RowCSetID(); }},
        {"destruction with a live view", [&] { m.reset(); }},
        {"destruction of the last holder", [&] { m.reset(), view.reset(); }},
    };
    for (const auto& op : operations) {
        SCOPED_TRACE(op.first);
        zyltest::SweepAllocationFailures(prepare, op.second, [&](int) {
            EXPECT_EQ(std::make_pair(ScratchFiles(), Read(*view, 7, 7, 3, 3)(0, 0)), std::make_pair(files, 3.0));
        });
    }
    m.reset(), view.reset();

    // Database errors reach the caller unchanged: the one value write of a
    // construction, then its n-th record write alone, n = 1, 2, ... until the
    // construction completes (that run is the rerun).
    const long live = mem_LiveBlocks();
    for (int c = 0; c < 3; ++c)
        for (int n = 0;; ++n) {
            SCOPED_TRACE(testing::Message() << operations[c].first << ": write " << n << " fails");
            (n == 0 ? ZylDorvTestSeam::FailValueWrites : ZylDorvTestSeam::FailRecordWrites)(1, 70, n - 1);
            int number = 0;
            try { operations[c].second(); } catch (const ZylDorvException& e) { number = e.Number(); }
            const bool completed = ZylDorvTestSeam::PendingFailures() > 0;
            ZylDorvTestSeam::Clear();
            EXPECT_EQ(std::make_pair(ScratchFiles().size(), mem_LiveBlocks()), std::make_pair(std::size_t(0), live));
            if (completed && n > 0)
                break;
            EXPECT_EQ(number, ZylDorvError_ValueWriteFailed);
        }
    // A refusal that leaves no file at the name is no reason to try a variant.
    ZylDorvTestSeam::FailRecordWrites(1, ZylDorvError_FileCreateFailed);
    EXPECT_DORV_ERROR(operations[0].second(), ZylDorvError_FileCreateFailed, "failure forced by the test seam");
    const int twice[3] = {1, 4, 1};
    EXPECT_DORV_ERROR(ZylSrvScratchDenseMatrix s(3, 2, twice, nullptr, 2, 2), ZylDorvError_DuplicateLabel, "");
    EXPECT_THAT(ScratchFiles(), IsEmpty());
}

} // namespace
