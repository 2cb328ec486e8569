// Reading and writing values (broad round trips of bands and rectangles are in
// the dense-matrix tests): never-written values, ordinals, buffers, integer,
// 3-D, multi-drawer and temporary distributions; extension undone with its
// transaction (extension itself is in the dense-matrix tests, refusals in
// dorv_errors_test).
#include "support/DatabaseTest.h"
#include "support/FamilyError.h"

#include <fcntl.h>
#include <linux/io_uring.h>
#include <sys/syscall.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <tuple>

using zyltest::MatrixSetup;
using zyltest::RefMatrix;
using TransferTest = zyltest::DatabaseTest;

namespace {

ZylDorvTransfer Prepared(const ZylDorvDistribution& d)
{
    ZylDorvTransfer t(d);
    t.SetRead();
    t.SetWrite();
    return t;
}

ZylDorvPersistentDrawerDesc Drawer(const ZylDorvDistribution& d, int index = 0)
{
    const ZylDorvArray<ZylDorvPersistentDrawerDesc> drawers = zyltest::DrawersOf(d.ID());
    return drawers.Size() > index ? drawers[index] : ZylDorvPersistentDrawerDesc();
}

} // namespace

TEST_F(TransferTest, DrawerDescriptionAndNeverWrittenValues)
{
    const MatrixSetup m = MakeMatrix(10, 7, 4, 3, 2.5);
    const ZylDorvPersistentDrawerDesc d = Drawer(m.Distribution());
    EXPECT_EQ(std::make_tuple(d.DrawerIndex(), d.ExtendableDim(), d.Serialization().IsDense(), d.DataSizeItems(0), d.DataSizeItems(1), d.ChunkSize(0)),
              std::make_tuple(0, 0, true, 70, 0, 3));
    EXPECT_EQ(d.InitializationValue().AsDouble(), 2.5);
    const double two[] = {7.0, 8.0};
    RawWrite(m, 1, 2, 1, 1, two);
    EXPECT_EQ(RawRead(m, 0, 9, 1, 1).v, (std::vector<double>{2.5, 7, 8, 2.5, 2.5, 2.5, 2.5, 2.5, 2.5, 2.5}));
    EXPECT_EQ(Drawer(MakeMatrix(5, 2, -1, -1).Distribution()).ChunkSize(1), 5) << "unchunked: one block of the side";
    // A huge zero-filled distribution costs no space (its time is a benchmark's business).
    const MatrixSetup huge = MakeMatrix(100000, 100000, 1000, 1000);
    db.Flush();
    struct stat info {};
    ASSERT_EQ(::stat(kPath, &info), 0);
    EXPECT_LT(info.st_size, 1 << 20);
    const double three = 3.0;
    RawWrite(huge, 99999, 99999, 99999, 99999, &three);
    EXPECT_EQ(RawRead(huge, 99998, 99999, 99998, 99999).v, (std::vector<double>{0, 0, 0, 3}));
}

TEST_F(TransferTest, OrdinalsArePositionsAndBuffersArePackedAtTheirStart)
{
    const ZylDorvCollectionID rows = NewCollection(6);
    const int reversed[] = {5, 4, 3, 2, 1, 0}, run[] = {3, 2, 1}, notRun[] = {3, 1}, outside[] = {9}, gap[] = {0, 2};
    const MatrixSetup m = MakeMatrixOver(ZylDorvCollection(rows).CreateOrderedCSet(reversed, 6), AllOf(NewCollection(3)), 2, 2);
    const RefMatrix all = zyltest::PatternMatrix(6, 3);
    RawWrite(m, all);
    EXPECT_EQ(RawRead(m, 1, 2, 1, 1).v, (std::vector<double>{1001, 2001})) << "rows 1 and 2 are labels 4 and 3";
    // Labels 3, 2, 1 are a run of the drawer's members: rows 2..4; the leading dimension is the range's row count.
    std::vector<double> big(50, -7.0);
    const ZylDorvTransfer prepared = Prepared(m.Distribution());
    ZylDorvTransfer t(prepared);
    t.SetDim(1, ZylDorvCollection(rows).CreateTempOrderedCSet(run, 3));
    t.SetDimOrdinalRange(0, m.columns, 1, 2);
    t.SetBuffer(0, big.data(), 50 * 8);
    t.ExecRead();
    EXPECT_EQ(std::vector<double>(big.begin(), big.begin() + 7), (std::vector<double>{2001, 3001, 4001, 2002, 3002, 4002, -7}));
    ZylDorvTransfer bad = Prepared(m.Distribution());
    bad.SetDim(1, ZylDorvCollection(rows).CreateTempOrderedCSet(outside, 1));
    EXPECT_DORV_ERROR(bad.CheckView(), ZylDorvError_SelectionNotContiguous, "CSet -2 is not a run");
    bad.SetDim(1, ZylDorvCollection(rows).CreateTempOrderedCSet(notRun, 2));
    EXPECT_DORV_ERROR(bad.CheckView(), ZylDorvError_SelectionNotContiguous,
                      "selection not contiguous: CheckView of distribution 1 in context 1 of \"test.dorv\", drawer 0: dimension 1: CSet -3 is not a run of the drawer's members");
    bad.SetDim(1, ZylDorvCollection(rows).CreateTempOrderedCSet(notRun, 0));
    EXPECT_DORV_ERROR(bad.CheckView(), ZylDorvError_SelectionNotContiguous, "CSet -4 is not a run"); // empty
    ZylDorvTransfer gapped = Prepared(m.Distribution());
    gapped.SetDim(0, ZylDorvCollection(m.columns).CreateTempOrderedCSet(gap, 2));
    EXPECT_DORV_ERROR(gapped.CheckView(), ZylDorvError_SelectionNotContiguous, "dimension 0: CSet -5 is not a run");
    // Copies of a prepared transfer take no CSet, range or buffer from each other.
    ZylDorvTransfer second(prepared);
    EXPECT_DORV_ERROR(second.ExecRead(), ZylDorvError_BufferMissing, "buffer 0 is not set");
    std::vector<double> whole(18);
    second.SetBuffer(0, whole.data(), 18 * 8);
    second.ExecRead();
    EXPECT_EQ(whole, all.v);
    second = t;
    EXPECT_EQ(second.Distribution().ID(), m.id);
}

TEST_F(TransferTest, IntegerThreeDimensionalMultiDrawerAndTemporaryDistributions)
{
    ZylDorvContext context = Context();
    const ZylDorvCollectionID a = NewCollection(3), b = NewCollection(4), c = NewCollection(5);
    auto make = [&](ZylDorvDistributionID id, std::vector<ZylDorvCSetID> dims, ZylDorvArray<int> chunks, ZylDorvRangeValue init) {
        ZylDorvTransfer t{ZylDorvDistribution(id)};
        t.SetMakeNewDrawerChunked(chunks);
        t.SetWrite();
        for (std::size_t k = 0; k < dims.size(); ++k)
            t.SetDim(static_cast<int>(k), dims[k]);
        t.SetInitializationValue(init);
        t.InitializePersistentDrawer();
        return ZylDorvDistribution(id);
    };
    const ZylDorvDistribution ints = make(context.CreateDistribution(ZylDorvGrid{c}, ZylDorvRangeType(ZylDorvTypeKey::Int32), -1),
                                          {AllOf(c)}, ZylDorvArray<int>{2}, ZylDorvRangeValue(std::int32_t(7)));
    EXPECT_EQ(Drawer(ints).RangeType().ItemBytes(), 4);
    const std::vector<int> two = {11, 12};
    ZylDorvTransfer wi = Prepared(ints);
    wi.SetDimOrdinalRange(0, c, 1, 2);
    wi.SetBuffer(0, two.data(), 8);
    wi.ExecWrite();
    EXPECT_EQ(zyltest::ReadValues<int>(ints.ID(), 5), (std::vector<int>{7, 11, 12, 7, 7})) << "a fill whose first byte alone is not 0";
    // Three dimensions: the last axis runs fastest.
    const ZylDorvDistribution cube = make(context.CreateDistribution(ZylDorvGrid{a, b, c}, ZylDorvRangeType(), -1),
                                          {AllOf(a), AllOf(b), AllOf(c)}, ZylDorvArray<int>{2, 3, 2}, ZylDorvRangeValue(0.0));
    std::vector<double> all(60);
    for (int i = 0; i < 60; ++i)
        all[static_cast<std::size_t>(i)] = i / 20 * 100 + i / 5 % 4 * 10 + i % 5;
    ZylDorvTransfer w = Prepared(cube);
    w.SetBuffer(0, all.data(), 480);
    w.ExecWrite();
    EXPECT_EQ(zyltest::ReadValues<double>(cube.ID(), 12, {{{0, 1, 2}}, {{1, 2, 3}}, {{2, 1, 3}}}),
              (std::vector<double>{121, 122, 123, 131, 132, 133, 221, 222, 223, 231, 232, 233}));
    // A second drawer, addressed by SetDrawer.
    make(cube.ID(), {AllOf(a), AllOf(b), AllOf(c)}, ZylDorvArray<int>{1, 1, 5}, ZylDorvRangeValue(2.0));
    EXPECT_EQ(Drawer(cube, 1).DrawerIndex(), 1);
    EXPECT_EQ(zyltest::ReadValues<double>(cube.ID(), 60, {}, 1), std::vector<double>(60, 2.0));
    EXPECT_EQ(zyltest::ReadValues<double>(cube.ID(), 60), all) << "drawer 0 by default";
    EXPECT_DORV_ERROR(zyltest::ReadValues<double>(cube.ID(), 60, {}, 2), ZylDorvError_DrawerNotFound, "no drawer 2 (the distribution has 2)");
    // Temporary distributions and CSets are not listed and end with the database.
    const int labels[] = {2, 3, 4};
    const ZylDorvDistributionID id = context.CreateTempDistribution(ZylDorvGrid{c}, ZylDorvRangeType(), -1);
    const ZylDorvCSetID tempCSet = ZylDorvCollection(c).CreateTempOrderedCSet(labels, 3);
    const ZylDorvDistribution temp = make(id, {tempCSet}, ZylDorvArray<int>{2}, ZylDorvRangeValue(4.0));
    EXPECT_EQ(zyltest::ReadValues<double>(temp.ID(), 3), std::vector<double>(3, 4.0));
    EXPECT_EQ(context.DistributionIDs().Size(), 2);
    db.Close();
    EXPECT_FALSE(temp.IsValid());
    db.OpenFile(ZylDroviUnicodeString(kPath), ZylDorvDatabase::OpenReadWrite);
    const ZylDorvContextID again = db.ContextIDs()[0];
    EXPECT_DORV_ERROR(ZylDorvDistribution(ZylDorvDistributionID(again, id.Number())), ZylDorvError_DistributionNotFound, "distribution -1");
    EXPECT_DORV_ERROR(ZylDorvCSet(ZylDorvCSetID(ZylDorvCollectionID(again, c.Minor(), c.Type()), tempCSet.Number())), ZylDorvError_CSetNotFound, "CSet -1");
    // The file keeps the next drawer's index.
    const ZylDorvDistributionID cubeAgain(again, cube.ID().Number());
    const ZylDorvPersistentDrawerDesc first = zyltest::DrawersOf(cubeAgain)[0];
    make(cubeAgain, {first.DimCSetID(0), first.DimCSetID(1), first.DimCSetID(2)}, ZylDorvArray<int>{3, 4, 5},
         ZylDorvRangeValue(1.0));
    EXPECT_EQ(Drawer(ZylDorvDistribution(cubeAgain), 2).DrawerIndex(), 2);
}

TEST_F(TransferTest, ExtensionInsideATransactionIsUndoneWithIt)
{
    const MatrixSetup m = MakeMatrix(6, 2, 3, 2, 1.0);
    const RefMatrix values = FillRandom(m, 3);
    {
        ZylDorvTransaction transaction(ctx);
        Extend(m, ZylDorvCollection(m.rows).CreateCSetStrided(6, 3, 1, 1));
        EXPECT_EQ(Drawer(m.Distribution()).DimSize(1), 9);
    }
    EXPECT_TRUE(Drawer(m.Distribution()).DimSize(1) == 6 && Drawer(m.Distribution()).DimCSetID(1) == m.rowCSet);
    EXPECT_EQ(ZylDorvCollection(m.rows).Count(), 6) << "the strided CSet and the growth went too";
    EXPECT_EQ(RawRead(m).v, values.v);
    Extend(m, ZylDorvCollection(m.rows).CreateCSetStrided(6, 1, 1, 1));
    EXPECT_EQ(RawRead(m, 6, 6, 0, 1).v, (std::vector<double>{1.0, 1.0})) << "extending after the rollback starts from the old size";
}

// Read-ahead brings the chunk bytes of the selection, and no others, into the
// system's cache: counted with mincore after the file's pages were dropped.
TEST_F(TransferTest, ReadAheadBringsExactlyTheSelectionIntoTheCache)
{
    io_uring_params probe{};
    const long ring = ::syscall(__NR_io_uring_setup, 1, &probe);
    if (ring < 0)
        GTEST_SKIP() << "the kernel offers no io_uring here";
    ::close(static_cast<int>(ring));
    // 256 x 256 doubles in chunks of 64 rows x 256 columns (128 KiB each).
    const MatrixSetup s = MakeMatrix(256, 256, 64, 256);
    RawWrite(s, RefMatrix(256, 256, 1.5));
    const int fd = ::open(kPath, O_RDONLY);
    ASSERT_GE(fd, 0);
    const std::size_t size = static_cast<std::size_t>(::lseek(fd, 0, SEEK_END));
    void* map = ::mmap(nullptr, size, PROT_READ, MAP_SHARED, fd, 0);
    ASSERT_NE(map, MAP_FAILED);
    std::vector<unsigned char> pages((size + 4095) / 4096);
    const auto resident = [&] {
        ::mincore(map, size, pages.data());
        return std::count_if(pages.begin(), pages.end(), [](unsigned char p) { return (p & 1) != 0; });
    };
    const auto drop = [&] { ASSERT_EQ(::fdatasync(fd) | ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED), 0); };
    // A column's rows lie together in the file. Rows 64..127: one whole chunk,
    // 32 pages. Columns 10..19 of every row: 640 values (5120 bytes) in each
    // of the four chunks, two or three pages each.
    const std::array<std::array<int, 5>, 2> cases{{{64, 127, 0, 255, 32}, {0, 255, 10, 19, 8}}};
    for (const auto& [r0, r1, c0, c1, expected] : cases) {
        drop();
        ASSERT_EQ(resident(), 0);
        ZylDorvTransfer t = Prepared(s.Distribution());
        t.SetDimOrdinalRange(0, s.columns, c0, c1);
        t.SetDimOrdinalRange(1, s.rows, r0, r1);
        ZylDorvReadAhead ahead;
        t.ExecReadAhead(ahead);
        ahead.Finish();
        EXPECT_EQ(ZylDorvReadAhead::InFlight(), 0);
        for (int wait = 0; wait < 500 && resident() < expected; ++wait)
            ::usleep(10000);
        EXPECT_GE(resident(), expected) << r0 << ".." << r1 << " x " << c0 << ".." << c1;
        EXPECT_LE(resident(), expected + 4) << r0 << ".." << r1 << " x " << c0 << ".." << c1;
    }
    ::munmap(map, size);
    ::close(fd);
}
