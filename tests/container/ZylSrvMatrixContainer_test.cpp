// ZylSrvMatrixContainer and its Fortran entry points called from C: scratch
// files, ids and geometry, values, refusals, and the process timer across a
// shut-down of the library.
#include "support/AllocationSweep.h"
#include "support/DatabaseTest.h"
#include "support/FamilyError.h"

#include <mtx/ZylSrvLinearAlgebra.h>
#include <mtx/ZylSrvMatrixContainer.h>
#include <mtx/ZylSrvTimer.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <new>
#include <numeric>
#include <string>
#include <vector>

namespace {

constexpr const char* kSource = "mtx/impl/ZylSrvMatrixContainer";
namespace fs = std::filesystem;

std::string FileNameOf(const void* container)
{
    char address[64];
    std::snprintf(address, sizeof address, "%p", container);
    return std::string("ZylSrvMatrixContainer") + address + ".dorv";
}

std::int64_t HandleOf(ZylSrvMatrixContainer& c) { return reinterpret_cast<std::intptr_t>(&c); }

// All values through ZYLSRVMATRIXCONTAINERGETVALUES, the array filled with -1 first.
zyltest::RefMatrix ValuesOf(ZylSrvMatrixContainer& c, int id)
{
    zyltest::RefMatrix v(ZYLSRVMATRIXCONTAINERNUMROWS(HandleOf(c), &id),
                         ZYLSRVMATRIXCONTAINERNUMCOLUMNS(HandleOf(c), &id), -1.0);
    ZYLSRVMATRIXCONTAINERGETVALUES(HandleOf(c), &id, v.data());
    return v;
}

} // namespace

TEST(MatrixContainer, KeepsItsOwnFileReplacingAStaleOneAndDeletesIt)
{
    // The second container is placed where a stale file of its name waits.
    alignas(ZylSrvMatrixContainer) unsigned char room[sizeof(ZylSrvMatrixContainer)] = {};
    std::ofstream(FileNameOf(room)) << "left by an earlier run";
    auto* first = new ZylSrvMatrixContainer;
    const std::string firstFile = FileNameOf(first);
    auto* second = ::new (room) ZylSrvMatrixContainer;
    EXPECT_TRUE(fs::exists(firstFile));
    EXPECT_GT(fs::file_size(FileNameOf(second)), 100u) << "a database in place of the stale text";
    second->Create(1, 2, 2, -1, -1);
    delete first;
    EXPECT_FALSE(fs::exists(firstFile));
    ASSERT_TRUE(fs::exists(FileNameOf(second)));
    EXPECT_EQ(ValuesOf(*second, 1).v, std::vector<double>(4, 0.0)) << "the second database still works";
    second->~ZylSrvMatrixContainer();
    EXPECT_FALSE(fs::exists(FileNameOf(room)));
}

TEST(MatrixContainer, CreatesZeroMatricesOfTheAskedGeometryUnderAnyId)
{
    ZylSrvMatrixContainer c;
    struct Row { int id, rows, columns, rowBlock, columnBlock, rowBlocks, columnBlocks; };
    const Row rows[] = {{7, 3, 2, 100, 100, 1, 1}, {-4, 5, 4, 2, 3, 3, 2}, {0, 6, 1, -1, 1, 1, 1},
                        {2147483647, 1, 7, 1, 3, 1, 3}, {-2147483647 - 1, 4, 4, 4, -1, 1, 1}};
    for (const Row& r : rows) {
        SCOPED_TRACE(r.id);
        const ZylSrvDenseMatrix& made = c.Create(r.id, r.rows, r.columns, r.rowBlock, r.columnBlock);
        EXPECT_EQ(made.NumberOfRowBlocks(), r.rowBlocks);
        EXPECT_EQ(made.NumberOfColumnBlocks(), r.columnBlocks);
        const zyltest::RefMatrix values = ValuesOf(c, r.id);
        EXPECT_EQ(values.rows, r.rows);
        EXPECT_EQ(values.v, std::vector<double>(r.rows * r.columns, 0.0));
        std::vector<int> labels(r.rows); // without a member list: 0 .. n-1
        std::iota(labels.begin(), labels.end(), 0);
        EXPECT_EQ(zyltest::MembersOf(made.RowCSetID()), labels);
    }
    EXPECT_EQ(c.Size(), 5);
}

TEST(MatrixContainer, ReadsBackWhatWasWrittenMatrixByMatrix)
{
    ZylSrvMatrixContainer c;
    const int rowLabels[] = {9, 2, 5, 0};
    c.Create(3, 4, 5, rowLabels, nullptr, 3, 2);
    c.Create(-3, 5, 4, nullptr, rowLabels, 2, 2);
    EXPECT_EQ(zyltest::MembersOf(c.Get(3).RowCSetID()), std::vector<int>(rowLabels, rowLabels + 4));
    EXPECT_EQ(zyltest::MembersOf(c.Get(-3).ColumnCSetID()), std::vector<int>(rowLabels, rowLabels + 4));
    const zyltest::RefMatrix a = zyltest::PatternMatrix(4, 5), b = zyltest::RandomMatrix(5, 4, 11);
    ZylSrvMatrix wa = zyltest::MatrixOf(a), wb = zyltest::MatrixOf(b);
    c.Get(3).SetValues(0, 3, 0, 4, wa);
    c.Get(-3).SetValues(0, 4, 0, 3, wb);
    zyltest::ExpectMatrixNear(a, ValuesOf(c, 3), "id 3", 0.0);
    zyltest::ExpectMatrixNear(b, ValuesOf(c, -3), "id -3", 0.0);
}

TEST(MatrixContainer, RefusesUnknownAndTakenIdsAndForgetsRemovedOnes)
{
    ZylSrvMatrixContainer c;
    const ZylSrvDenseMatrix& first = c.Create(4, 3, 3, 2, 2);
    c.Create(-1, 2, 2, 1, 1);
    const ZylDorvCollectionID rows = first.RowCSetID().CollectionID();
    const int csets = ZylDorvCollection(rows).CSetIDs().Size();
    const int distributions = ZylDorvContext(rows.Context()).DistributionIDs().Size();
    zyltest::ExpectIllegalInput([&] { c.Get(5); }, "Get", kSource);
    zyltest::ExpectIllegalInput([&] { c.Create(4, 2, 2, 1, 1); }, "Create", kSource);
    zyltest::ExpectIllegalInput([&] { c.Create(6, 0, 2, 1, 1); }, "Create", kSource);
    EXPECT_EQ(ZylDorvCollection(rows).CSetIDs().Size(), csets) << "nothing made";
    EXPECT_EQ(ZylDorvContext(rows.Context()).DistributionIDs().Size(), distributions);
    EXPECT_EQ(&c.Get(4), &first);

    c.Remove(-1);
    c.Remove(99);
    EXPECT_EQ(c.Size(), 1);
    EXPECT_FALSE(c.IsMember(-1));
    zyltest::ExpectIllegalInput([&] { c.Get(-1); }, "Get", kSource);
    c.Create(-1, 1, 3, 1, 1); // free again; the destructor deletes each matrix once
    EXPECT_EQ(c.Get(-1).NumberOfColumns(), 3);
}

TEST(MatrixContainer, CreateRefusedAnywhereLeavesTheIdFreeAndLeaksNothing)
{
    std::unique_ptr<ZylSrvMatrixContainer> c;
    const int allocations = zyltest::SweepAllocationFailures(
        [&] { c.reset(new ZylSrvMatrixContainer); }, [&] { c->Create(2, 3, 4, 2, 2); },
        [&](int) {
            EXPECT_FALSE(c->IsMember(2));
            EXPECT_EQ(c->Size(), 0);
        });
    EXPECT_GT(allocations, 0);
}

TEST(MatrixContainerEntryPoints, EndTheProcessWithTheMessageOnAnUnknownId)
{
    // The container is made before the fork, so that the dying child leaves no file.
    const std::int64_t handle = ZYLSRVMATRIXCONTAINERCREATE();
    int unknown = 3;
    double value = 0;
    const char* message = "ZylSrvMatrix::Get - Illegal input.";
    EXPECT_EXIT(ZYLSRVMATRIXCONTAINERNUMROWS(handle, &unknown), testing::ExitedWithCode(1), message);
    EXPECT_EXIT(ZYLSRVMATRIXCONTAINERNUMCOLUMNS(handle, &unknown), testing::ExitedWithCode(1), message);
    EXPECT_EXIT(ZYLSRVMATRIXCONTAINERGETVALUES(handle, &unknown, &value), testing::ExitedWithCode(1), message);
    ZYLSRVMATRIXCONTAINERDELETE(handle);
    ZYLSRVMATRIXCONTAINERDELETE(0);
}

TEST(ProcessTimer, NeedsANewCreateTimerAfterEachStartUp)
{
    auto busy = [] {
        volatile double sink = 0;
        for (int i = 0; i < 20000000; ++i)
            sink = sink + 1e-9 * i;
    };
    double cpu = -1, wall = -1, later = -1;
    int tally = 0;
    for (int startUp = 0; startUp < 2; ++startUp) {
        SCOPED_TRACE(startUp);
        ZylSrvLinearAlgebra_initialize(tally);
        ZYLSRVGETCPUTIME(&cpu);
        ZYLSRVGETWALLTIME(&wall);
        EXPECT_EQ(cpu, 0.0) << "no timer yet";
        EXPECT_EQ(wall, 0.0);
        omi_Singleton<ZylSrvTimer>::Instance().CreateTimer();
        busy();
        ZYLSRVGETCPUTIME(&cpu);
        ZYLSRVGETWALLTIME(&wall);
        EXPECT_GT(cpu, 0.0);
        EXPECT_GT(wall, 0.5 * cpu) << "one busy thread";
        busy();
        ZYLSRVGETCPUTIME(&later);
        EXPECT_GT(later, cpu);
        omi_Singleton<ZylSrvTimer>::Instance().CreateTimer();
        ZYLSRVGETCPUTIME(&later);
        EXPECT_LT(later, cpu) << "a second CreateTimer starts afresh";
        ZylSrvLinearAlgebra_finalize(tally);
    }
}

TEST(ProcessTimer, ATimerMadeWithNewReplacesAndReleasesTheRegisteredOneAndFinalizeReleasesTheLast)
{
    int tally = 0;
    ZylSrvLinearAlgebra_initialize(tally);
    const long live = mem_LiveBlocks();
    auto* first = new ZylSrvTimer;
    first->CreateTimer();
    double wall = -1;
    ZYLSRVGETWALLTIME(&wall);
    EXPECT_GT(wall, 0.0) << "the entry points read the registered timer";
    auto* second = new ZylSrvTimer;
    EXPECT_EQ(mem_LiveBlocks(), live + 1) << "the first timer and its clock released";
    EXPECT_EQ(&omi_Singleton<ZylSrvTimer>::Instance(), second);
    ZYLSRVGETWALLTIME(&wall);
    EXPECT_EQ(wall, 0.0) << "the replacement runs no clock yet";
    second->CreateTimer();
    ZylSrvLinearAlgebra_finalize(tally);
    EXPECT_EQ(mem_LiveBlocks(), live);
}
