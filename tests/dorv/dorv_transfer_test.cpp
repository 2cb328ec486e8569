// Reading and writing values: rectangles of dense drawers against a model
// updated by naive loops, drawer descriptions, ordinals, buffers, 1-D, 3-D,
// integer, multi-drawer and temporary distributions.
#include "support/DatabaseTest.h"
#include "support/FamilyError.h"

#include <sys/stat.h>

#include <chrono>
#include <numeric>
#include <random>

using zyltest::MatrixSetup;
using zyltest::RefMatrix;
using TransferTest = zyltest::DatabaseTest;

namespace {

ZylDorvTransfer Prepared(const ZylDorvDistribution& d)
{
    ZylDorvTransfer t(d);
    t.SetRead();
    t.SetWrite();
    t.SetBufferPadding(false);
    return t;
}

ZylDorvPersistentDrawerDesc Drawer(const ZylDorvDistribution& d, int index = 0)
{
    ZylDorvArray<ZylDorvPersistentDrawerDesc> drawers;
    d.QueryDrawers(drawers);
    EXPECT_GT(drawers.Size(), index);
    return drawers.Size() > index ? drawers[index] : ZylDorvPersistentDrawerDesc();
}

} // namespace

TEST_F(TransferTest, RectanglesOfEveryShapeRoundTripAcrossChunks)
{
    struct Geometry {
        const char* what;
        int rows, columns, rowChunk, columnChunk;
    } const geometries[] = {
        {"edge chunks short both ways", 37, 23, 7, 5},
        {"unchunked", 19, 11, -1, -1},
        {"one chunk larger than small ranges", 300, 200, 300, 200},
    };
    unsigned seed = 1;
    for (const Geometry& g : geometries) {
        SCOPED_TRACE(g.what);
        const MatrixSetup m = MakeMatrix(g.rows, g.columns, g.rowChunk, g.columnChunk, -1.0);
        RefMatrix model(g.rows, g.columns, -1.0);
        std::mt19937 random(seed++);
        auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
        for (int round = 0; round < 60; ++round) {
            int r0 = pick(g.rows), r1 = pick(g.rows), c0 = pick(g.columns), c1 = pick(g.columns);
            if (r0 > r1)
                std::swap(r0, r1);
            if (c0 > c1)
                std::swap(c0, c1);
            switch (round % 4) {
            case 0: c0 = 0, c1 = g.columns - 1; break; // row band
            case 1: r0 = 0, r1 = g.rows - 1; break;    // column band
            case 2: r1 = r0, c1 = c0; break;           // one value
            default: break;                            // rectangle
            }
            if (round < 40) {
                RefMatrix block(r1 - r0 + 1, c1 - c0 + 1);
                for (int c = c0; c <= c1; ++c)
                    for (int r = r0; r <= r1; ++r)
                        model(r, c) = block(r - r0, c - c0) = round * 100000.0 + r * 100.0 + c + 0.5;
                RawWrite(m, r0, r1, c0, c1, block.data());
            } else {
                ASSERT_EQ(RawRead(m, r0, r1, c0, c1).v, model.Block(r0, r1, c0, c1).v)
                    << "rows " << r0 << ".." << r1 << ", columns " << c0 << ".." << c1;
            }
        }
        EXPECT_EQ(RawRead(m).v, model.v);
    }
}

TEST_F(TransferTest, DrawerDescriptionReportsCSetsSizesChunksAndInitialValue)
{
    const MatrixSetup chunked = MakeMatrix(10, 7, 4, 3, 2.5);
    const ZylDorvPersistentDrawerDesc d = Drawer(chunked.Distribution());
    EXPECT_EQ(d.DrawerIndex(), 0);
    EXPECT_EQ(d.NumDimensions(), 2);
    EXPECT_EQ(d.DimCSetID(0), chunked.columnCSet);
    EXPECT_EQ(d.DimCSetID(1), chunked.rowCSet);
    EXPECT_EQ(d.DimSize(0), 7);
    EXPECT_EQ(d.DimSize(1), 10);
    ASSERT_TRUE(d.IsChunked());
    EXPECT_EQ(d.ChunkSizes().Size(), 2);
    EXPECT_EQ(d.ChunkSize(0), 3);
    EXPECT_EQ(d.ChunkSize(1), 4);
    EXPECT_EQ(d.ExtendableDim(), 0);
    EXPECT_TRUE(d.Serialization().IsDense());
    EXPECT_EQ(d.RangeType(), ZylDorvRangeType(ZylDorvTypeKey::Double));
    EXPECT_EQ(d.DataSizeItems(0), 70);
    EXPECT_EQ(d.DataSizeItems(1), 0);
    EXPECT_EQ(d.InitializationValue().AsDouble(), 2.5);
    EXPECT_EQ(chunked.Distribution().NumDimensions(), 2);
    EXPECT_EQ(chunked.Distribution().RangeType().Key(), ZylDorvTypeKey::Double);
    EXPECT_TRUE(chunked.Distribution().TypeID().IsNull());
    // Never-written values read as the initialization value.
    EXPECT_EQ(RawRead(chunked).v, std::vector<double>(70, 2.5));
    const double two[] = {7.0, 8.0};
    RawWrite(chunked, 1, 2, 1, 1, two);
    EXPECT_EQ(RawRead(chunked, 0, 9, 1, 1).v, (std::vector<double>{2.5, 7, 8, 2.5, 2.5, 2.5, 2.5, 2.5, 2.5, 2.5}));

    const ZylDorvPersistentDrawerDesc plain = Drawer(MakeMatrix(5, 2, -1, -1).Distribution());
    EXPECT_FALSE(plain.IsChunked());
    EXPECT_TRUE(plain.ChunkSizes().IsEmpty());
    EXPECT_EQ(plain.ChunkSize(1), 5) << "unchunked: one block of the whole dimension";
}

TEST_F(TransferTest, ZeroFilledHugeDistributionCostsNoTimeAndNoSpace)
{
    const auto start = std::chrono::steady_clock::now();
    const MatrixSetup m = MakeMatrix(100000, 100000, 1000, 1000);
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 2.0)
        << "80 GB of zeros are not written";
    db.Flush();
    struct stat info;
    ASSERT_EQ(::stat(kPath, &info), 0);
    EXPECT_LT(info.st_size, 1 << 20);
    EXPECT_EQ(RawRead(m, 99990, 99999, 99998, 99999).v, std::vector<double>(20, 0.0));
    const double three = 3.0;
    RawWrite(m, 99999, 99999, 99999, 99999, &three);
    EXPECT_EQ(RawRead(m, 99998, 99999, 99999, 99999).v, (std::vector<double>{0.0, 3.0}));
}

TEST_F(TransferTest, OrdinalsArePositionsInTheDrawersCSetWhateverTheLabels)
{
    const ZylDorvCollectionID rows = NewCollection(6);
    const int reversed[] = {5, 4, 3, 2, 1, 0};
    const MatrixSetup m = MakeMatrixOver(ZylDorvCollection(rows).CreateOrderedCSet(reversed, 6), AllOf(NewCollection(2)),
                                         -1, -1);
    const RefMatrix all = zyltest::PatternMatrix(6, 2);
    RawWrite(m, all);
    EXPECT_EQ(RawRead(m, 1, 2, 1, 1).v, (std::vector<double>{1001, 2001})) << "rows 1 and 2 are labels 4 and 3";

    // Selecting by a CSet that is a run of the drawer's members: labels 3, 2, 1 are rows 2..4.
    const int run[] = {3, 2, 1}, notRun[] = {3, 1};
    std::vector<double> got(3);
    ZylDorvTransfer t = Prepared(m.Distribution());
    t.SetDim(1, ZylDorvCollection(rows).CreateTempOrderedCSet(run, 3));
    t.SetDimOrdinalRange(0, m.columns, 1, 1);
    t.SetBuffer(0, got.data(), 24);
    t.ExecRead();
    EXPECT_EQ(got, (std::vector<double>{2001, 3001, 4001}));
    ZylDorvTransfer bad = Prepared(m.Distribution());
    bad.SetDim(1, ZylDorvCollection(rows).CreateTempOrderedCSet(notRun, 2));
    EXPECT_DORV_ERROR(bad.CheckView(), ZylDorvError_SelectionNotContiguous,
                      "drawer 0: dimension 1: CSet -2 is not a run of the drawer's members");
}

TEST_F(TransferTest, BuffersArePackedAtTheirStartAndCopiesOfATransferAreIndependent)
{
    const MatrixSetup m = MakeMatrix(6, 4, 3, 2);
    const RefMatrix all = zyltest::PatternMatrix(6, 4);
    RawWrite(m, all);
    std::vector<double> big(50, -7.0);
    ZylDorvTransfer prepared = Prepared(m.Distribution());
    ZylDorvTransfer range(prepared);
    range.SetDimOrdinalRange(0, m.columns, 1, 2);
    range.SetDimOrdinalRange(1, m.rows, 2, 4);
    range.SetBuffer(0, big.data(), 50 * 8);
    range.ExecRead();
    EXPECT_EQ(std::vector<double>(big.begin(), big.begin() + 7), (std::vector<double>{2001, 3001, 4001, 2002, 3002, 4002, -7}))
        << "leading dimension is the range's row count";

    ZylDorvTransfer copy(prepared);
    EXPECT_DORV_ERROR(copy.ExecRead(), ZylDorvError_BufferMissing, "buffer 0 is not set"); // none from the other copy
    std::vector<double> whole(24);
    copy.SetBuffer(0, whole.data(), 24 * 8);
    copy.ExecRead();
    EXPECT_EQ(whole, all.v) << "the prepared transfer kept no range";
    ZylDorvTransfer assigned = prepared;
    assigned = copy;
    EXPECT_EQ(assigned.Distribution().ID(), m.id);
}

TEST_F(TransferTest, OneDimensionalIntegerAndThreeDimensionalDistributions)
{
    // Doubles, chunked by 8.
    const MatrixSetup vector = MakeVector(50, 8, 1.0);
    std::vector<double> part(10);
    std::iota(part.begin(), part.end(), 5.0);
    RawWrite(vector, 5, 14, 0, 0, part.data());
    std::vector<double> expected(50, 1.0);
    std::copy(part.begin(), part.end(), expected.begin() + 5);
    EXPECT_EQ(RawRead(vector).v, expected);

    // Integers written whole when the drawer is made (the Write1DIntDistribution pattern).
    ZylDorvContext context = Context();
    const ZylDorvCollectionID items = vector.rows;
    ZylDorvDistribution ints(context.CreateDistribution(ZylDorvGrid{items}, ZylDorvRangeType(ZylDorvTypeKey::Int32), -1));
    std::vector<int> values(50), back(50, -1);
    for (int i = 0; i < 50; ++i)
        values[static_cast<std::size_t>(i)] = i * i - 7;
    ZylDorvTransfer wi(ints);
    wi.SetMakeNewDrawer();
    wi.SetBufferPadding(false);
    wi.SetWrite();
    wi.SetDim(0, vector.rowCSet);
    wi.CheckView();
    wi.SetBuffer(0, static_cast<const int*>(values.data()), 200);
    wi.ExecWrite();
    const ZylDorvPersistentDrawerDesc d = Drawer(ints);
    EXPECT_EQ(d.RangeType().ItemBytes(), 4);
    EXPECT_EQ(d.InitializationValue().AsInt(), 0);
    ZylDorvTransfer ri = Prepared(ints);
    ri.SetBuffer(0, back.data(), 200);
    ri.ExecRead();
    EXPECT_EQ(back, values);
    std::vector<int> slice(3);
    ZylDorvTransfer rs = Prepared(ints);
    rs.SetDimOrdinalRange(0, items, 10, 12);
    rs.SetBuffer(0, slice.data(), 12);
    rs.ExecRead();
    EXPECT_EQ(slice, (std::vector<int>{93, 114, 137}));

    // An integer drawer with an integer initialization value.
    ZylDorvDistribution filled(context.CreateDistribution(ZylDorvGrid{items}, ZylDorvRangeType(ZylDorvTypeKey::Int32), -1));
    ZylDorvTransfer mf(filled);
    mf.SetMakeNewDrawerChunked(ZylDorvArray<int>{7});
    mf.SetWrite();
    mf.SetDim(0, vector.rowCSet);
    mf.SetInitializationValue(ZylDorvRangeValue(std::int32_t(-3)));
    mf.InitializePersistentDrawer();
    ZylDorvTransfer rf = Prepared(filled);
    rf.SetBuffer(0, back.data(), 200);
    rf.ExecRead();
    EXPECT_EQ(back, std::vector<int>(50, -3));

    // Three dimensions: the last axis runs fastest.
    const ZylDorvCollectionID a = NewCollection(3), b = NewCollection(4), c = NewCollection(5);
    ZylDorvDistribution cube(context.CreateDistribution(ZylDorvGrid{a, b, c}, ZylDorvRangeType(), -1));
    ZylDorvTransfer make(cube);
    make.SetMakeNewDrawerChunked(ZylDorvArray<int>{2, 3, 2});
    make.SetWrite();
    make.SetDim(0, AllOf(a));
    make.SetDim(1, AllOf(b));
    make.SetDim(2, AllOf(c));
    make.InitializePersistentDrawer();
    std::vector<double> all(60);
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 4; ++j)
            for (int k = 0; k < 5; ++k)
                all[static_cast<std::size_t>((i * 4 + j) * 5 + k)] = i * 100 + j * 10 + k;
    ZylDorvTransfer w = Prepared(cube);
    w.SetBuffer(0, all.data(), 480);
    w.ExecWrite();
    std::vector<double> box(12);
    ZylDorvTransfer r = Prepared(cube);
    r.SetDimOrdinalRange(0, a, 1, 2);
    r.SetDimOrdinalRange(1, b, 2, 3);
    r.SetDimOrdinalRange(2, c, 1, 3);
    r.SetBuffer(0, box.data(), 96);
    r.ExecRead();
    EXPECT_EQ(box, (std::vector<double>{121, 122, 123, 131, 132, 133, 221, 222, 223, 231, 232, 233}));
}

TEST_F(TransferTest, DistributionsCanHoldSeveralDrawers)
{
    const MatrixSetup m = MakeMatrix(3, 2, -1, -1, 1.0);
    ZylDorvTransfer second(m.Distribution());
    second.SetMakeNewDrawerChunked(ZylDorvArray<int>{1, 2});
    second.SetExtendableDim(1);
    second.SetWrite();
    second.SetDim(0, m.columnCSet);
    second.SetDim(1, m.rowCSet);
    second.SetInitializationValue(ZylDorvRangeValue(2.0));
    second.InitializePersistentDrawer();
    const ZylDorvPersistentDrawerDesc d = Drawer(m.Distribution(), 1);
    EXPECT_EQ(d.DrawerIndex(), 1);
    EXPECT_EQ(d.ExtendableDim(), 1);
    std::vector<double> v(6);
    ZylDorvTransfer r = Prepared(m.Distribution());
    r.SetDrawer(1);
    r.SetBuffer(0, v.data(), 48);
    r.ExecRead();
    EXPECT_EQ(v, std::vector<double>(6, 2.0));
    EXPECT_EQ(RawRead(m).v, std::vector<double>(6, 1.0)) << "drawer 0 by default";
    ZylDorvTransfer none = Prepared(m.Distribution());
    none.SetDrawer(5);
    EXPECT_DORV_ERROR(none.CheckView(), ZylDorvError_DrawerNotFound, "no drawer 5 (the distribution has 2)");
}

TEST_F(TransferTest, TemporaryDistributionsWorkAndEndWithTheDatabase)
{
    ZylDorvContext context = Context();
    const ZylDorvCollectionID items = NewCollection(10);
    const int labels[] = {2, 3, 4};
    const ZylDorvDistributionID id = context.CreateTempDistribution(ZylDorvGrid{items}, ZylDorvRangeType(), -1);
    EXPECT_TRUE(id.IsTemporary());
    ZylDorvDistribution d(id);
    ZylDorvTransfer make(d);
    make.SetMakeNewDrawerChunked(ZylDorvArray<int>{2});
    make.SetWrite();
    make.SetDim(0, ZylDorvCollection(items).CreateTempOrderedCSet(labels, 3));
    make.SetInitializationValue(ZylDorvRangeValue(4.0));
    make.InitializePersistentDrawer();
    std::vector<double> v(3);
    ZylDorvTransfer r = Prepared(d);
    r.SetBuffer(0, v.data(), 24);
    r.ExecRead();
    EXPECT_EQ(v, std::vector<double>(3, 4.0));
    EXPECT_EQ(context.DistributionIDs().Size(), 0) << "temporary distributions are not listed";
    db.Close();
    EXPECT_FALSE(d.IsValid());
    db.OpenFile(ZylDroviUnicodeString(kPath), ZylDorvDatabase::OpenReadWrite);
    EXPECT_DORV_ERROR(ZylDorvDistribution(ZylDorvDistributionID(db.ContextIDs()[0], id.Number())),
                      ZylDorvError_DistributionNotFound, "distribution -1");
}
