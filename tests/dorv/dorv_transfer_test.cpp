#include "DorvTestSupport.h"

#include <chrono>
#include <random>
#include <sys/stat.h>

namespace {

// Reference: the whole matrix in memory, column-major, updated by naive loops.
struct Model {
    int rows, columns;
    std::vector<double> values;
    Model(int r, int c, double init) : rows(r), columns(c), values(static_cast<std::size_t>(r * c), init) {}
    double& At(int r, int c) { return values[static_cast<std::size_t>(r + rows * c)]; }
};

// Writes random rectangles (some spanning chunks, some single values, some
// whole bands) to the distribution and the model, then compares the whole
// matrix and random rectangles.
void CheckRandomRectangles(const MatrixSetup& m, Model& model, unsigned seed)
{
    std::mt19937 random(seed);
    auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    for (int round = 0; round < 40; ++round) {
        int r0 = pick(model.rows), r1 = pick(model.rows), c0 = pick(model.columns), c1 = pick(model.columns);
        if (round % 10 == 0) { // full row band
            c0 = 0;
            c1 = model.columns - 1;
        } else if (round % 10 == 5) { // full column band
            r0 = 0;
            r1 = model.rows - 1;
        } else if (round % 10 == 7) { // one value
            r1 = r0;
            c1 = c0;
        }
        if (r0 > r1)
            std::swap(r0, r1);
        if (c0 > c1)
            std::swap(c0, c1);
        std::vector<double> block;
        for (int c = c0; c <= c1; ++c)
            for (int r = r0; r <= r1; ++r) {
                const double v = round * 100000.0 + r * 100.0 + c + 0.5;
                block.push_back(v);
                model.At(r, c) = v;
            }
        WriteBlock(m, r0, r1, c0, c1, block);
    }
    EXPECT_EQ(ReadBlock(m, 0, model.rows - 1, 0, model.columns - 1), model.values);
    for (int round = 0; round < 20; ++round) {
        int r0 = pick(model.rows), r1 = pick(model.rows), c0 = pick(model.columns), c1 = pick(model.columns);
        if (r0 > r1)
            std::swap(r0, r1);
        if (c0 > c1)
            std::swap(c0, c1);
        std::vector<double> expected;
        for (int c = c0; c <= c1; ++c)
            for (int r = r0; r <= r1; ++r)
                expected.push_back(model.At(r, c));
        ASSERT_EQ(ReadBlock(m, r0, r1, c0, c1), expected) << "rows " << r0 << ".." << r1 << ", columns " << c0 << ".." << c1;
    }
}

} // namespace

using TransferTest = DorvTest;

TEST_F(TransferTest, ChunkedMatrixRoundTripsRectanglesAcrossChunks)
{
    // 37 x 23 in chunks of 5 columns x 7 rows: edge chunks are short both ways.
    const MatrixSetup m = MakeMatrix(ctx, 37, 23, {5, 7});
    Model model(37, 23, 0.0);
    CheckRandomRectangles(m, model, 1);
}

TEST_F(TransferTest, UnchunkedMatrixRoundTripsRectangles)
{
    const MatrixSetup m = MakeMatrix(ctx, 19, 11, {});
    Model model(19, 11, 0.0);
    CheckRandomRectangles(m, model, 2);
}

TEST_F(TransferTest, LargeChunksTakeTheSelectionPathForSmallRanges)
{
    // 300 x 200 in one block: small ranges touch a fraction of a storage chunk.
    const MatrixSetup m = MakeMatrix(ctx, 300, 200, {200, 300}, -1.0);
    Model model(300, 200, -1.0);
    WriteBlock(m, 5, 5, 7, 7, {42.0});
    model.At(5, 7) = 42.0;
    EXPECT_EQ(ReadBlock(m, 4, 6, 6, 8), (std::vector<double>{-1, -1, -1, -1, 42, -1, -1, -1, -1}));
    CheckRandomRectangles(m, model, 3);
}

TEST_F(TransferTest, DrawerDescriptionReportsCSetsSizesAndChunks)
{
    const MatrixSetup chunked = MakeMatrix(ctx, 10, 7, {3, 4});
    ZylDorvArray<ZylDorvPersistentDrawerDesc> drawers;
    chunked.distribution.QueryDrawers(drawers);
    ASSERT_EQ(drawers.Size(), 1);
    const ZylDorvPersistentDrawerDesc& d = drawers[0];
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
    EXPECT_EQ(chunked.distribution.NumDimensions(), 2);
    EXPECT_EQ(chunked.distribution.RangeType().Key(), ZylDorvTypeKey::Double);
    EXPECT_TRUE(chunked.distribution.TypeID().IsNull());

    const MatrixSetup plain = MakeMatrix(ctx, 5, 2, {});
    plain.distribution.QueryDrawers(drawers);
    ASSERT_EQ(drawers.Size(), 1);
    EXPECT_FALSE(drawers[0].IsChunked());
    EXPECT_TRUE(drawers[0].ChunkSizes().IsEmpty());
    EXPECT_EQ(drawers[0].ChunkSize(1), 5) << "unchunked: one block of the whole dimension";
}

TEST_F(TransferTest, NeverWrittenValuesReadAsTheInitializationValue)
{
    const MatrixSetup m = MakeMatrix(ctx, 9, 8, {3, 2}, 2.5);
    EXPECT_EQ(ReadBlock(m, 0, 8, 0, 7), std::vector<double>(72, 2.5));
    WriteBlock(m, 1, 2, 1, 1, {7.0, 8.0});
    const std::vector<double> column1 = ReadBlock(m, 0, 8, 1, 1);
    EXPECT_EQ(column1, (std::vector<double>{2.5, 7.0, 8.0, 2.5, 2.5, 2.5, 2.5, 2.5, 2.5}));
    ZylDorvArray<ZylDorvPersistentDrawerDesc> drawers;
    m.distribution.QueryDrawers(drawers);
    EXPECT_EQ(drawers[0].InitializationValue().AsDouble(), 2.5);
}

TEST_F(TransferTest, ZeroFilledHugeDistributionCostsNoTimeAndNoSpace)
{
    const auto start = std::chrono::steady_clock::now();
    const MatrixSetup m = MakeMatrix(ctx, 100000, 100000, {1000, 1000});
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_LT(seconds, 2.0) << "80 GB of zeros are not written";
    db.Flush();
    struct stat info;
    ASSERT_EQ(::stat("t.dorv", &info), 0);
    EXPECT_LT(info.st_size, 1 << 20);
    EXPECT_EQ(ReadBlock(m, 99990, 99999, 99998, 99999), std::vector<double>(20, 0.0));
    WriteBlock(m, 99999, 99999, 99999, 99999, {3.0});
    EXPECT_EQ(ReadBlock(m, 99998, 99999, 99999, 99999), (std::vector<double>{0.0, 3.0}));
}

TEST_F(TransferTest, OrdinalsArePositionsInTheDrawersCSetWhateverTheLabels)
{
    ZylDorvContext context(ctx);
    const ZylDorvCollectionID rows = context.CreateCollection(6, ZylDorvTypeID());
    const ZylDorvCollectionID columns = context.CreateCollection(2, ZylDorvTypeID());
    const int reversed[] = {5, 4, 3, 2, 1, 0};
    const ZylDorvCSetID rowCSet = ZylDorvCollection(rows).CreateOrderedCSet(reversed, 6);
    const ZylDorvCSetID columnCSet = ZylDorvCollection(columns).BiggestCSetID();
    MatrixSetup m;
    m.rows = rows;
    m.columns = columns;
    m.rowCSet = rowCSet;
    m.columnCSet = columnCSet;
    m.distribution = ZylDorvDistribution(context.CreateDistribution(ZylDorvGrid{columns, rows}, ZylDorvRangeType(), -1));
    ZylDorvTransfer make(m.distribution);
    make.SetMakeNewDrawer();
    make.SetWrite();
    make.SetDim(0, columnCSet);
    make.SetDim(1, rowCSet);
    make.CheckView();
    make.InitializePersistentDrawer();
    WriteBlock(m, 0, 5, 0, 1, {0, 1, 2, 3, 4, 5, 10, 11, 12, 13, 14, 15});
    EXPECT_EQ(ReadBlock(m, 1, 2, 1, 1), (std::vector<double>{11, 12})) << "rows 1 and 2 are labels 4 and 3";

    // Selecting by a CSet that is a run of the drawer's members: labels 3, 2, 1 are rows 2..4.
    const int run[] = {3, 2, 1};
    const ZylDorvCSetID part = ZylDorvCollection(rows).CreateTempOrderedCSet(run, 3);
    std::vector<double> got(3);
    ZylDorvTransfer t = Prepared(m.distribution);
    t.SetDim(1, part);
    t.SetDimOrdinalRange(0, columns, 1, 1);
    t.SetBuffer(0, got.data(), 24);
    t.ExecRead();
    EXPECT_EQ(got, (std::vector<double>{12, 13, 14}));

    const int notRun[] = {3, 1};
    ZylDorvTransfer bad = Prepared(m.distribution);
    bad.SetDim(1, ZylDorvCollection(rows).CreateTempOrderedCSet(notRun, 2));
    EXPECT_DORV_ERROR(bad.CheckView(), ZylDorvError_SelectionNotContiguous,
                      "ZylDorv error 34: selection not contiguous: CheckView of distribution 1 in context 1 of \"t.dorv\", "
                      "drawer 0: dimension 1: CSet -2 is not a run of the drawer's members");
}

TEST_F(TransferTest, BufferLargerThanTheRangeIsPackedAtItsStart)
{
    const MatrixSetup m = MakeMatrix(ctx, 6, 4, {2, 3});
    std::vector<double> all(24);
    std::iota(all.begin(), all.end(), 1.0);
    WriteBlock(m, 0, 5, 0, 3, all);
    std::vector<double> big(50, -7.0);
    ZylDorvTransfer t = Prepared(m.distribution);
    t.SetDimOrdinalRange(0, m.columns, 1, 2);
    t.SetDimOrdinalRange(1, m.rows, 2, 4);
    t.SetBuffer(0, big.data(), 50 * 8);
    t.ExecRead();
    EXPECT_EQ(std::vector<double>(big.begin(), big.begin() + 7), (std::vector<double>{9, 10, 11, 15, 16, 17, -7}))
        << "leading dimension is the range's row count";
}

TEST_F(TransferTest, CopiesOfAPreparedTransferAreIndependent)
{
    const MatrixSetup m = MakeMatrix(ctx, 4, 3, {});
    std::vector<double> all(12);
    std::iota(all.begin(), all.end(), 0.0);
    WriteBlock(m, 0, 3, 0, 2, all);
    ZylDorvTransfer prepared = Prepared(m.distribution);
    {
        ZylDorvTransfer copy(prepared);
        copy.SetDimOrdinalRange(0, m.columns, 2, 2);
        std::vector<double> one(4);
        copy.SetBuffer(0, one.data(), 32);
        copy.ExecRead();
        EXPECT_EQ(one, (std::vector<double>{8, 9, 10, 11}));
    }
    std::vector<double> whole(12);
    ZylDorvTransfer copy(prepared);
    // The copy took no buffer from the earlier copy.
    EXPECT_DORV_ERROR_HAS(copy.ExecRead(), ZylDorvError_BufferMissing, "buffer 0 is not set");
    copy.SetBuffer(0, whole.data(), 96);
    copy.ExecRead();
    EXPECT_EQ(whole, all) << "the prepared transfer kept no range";
    ZylDorvTransfer assigned = prepared;
    assigned = copy;
    EXPECT_EQ(assigned.Distribution().ID(), m.distribution.ID());
}

TEST_F(TransferTest, OneDimensionalAndIntegerDistributions)
{
    ZylDorvContext context(ctx);
    const ZylDorvCollectionID items = context.CreateCollection(50, ZylDorvTypeID());
    const ZylDorvCSetID all = ZylDorvCollection(items).BiggestCSetID();

    // Doubles, chunked by 8.
    ZylDorvDistribution vector(context.CreateDistribution(ZylDorvGrid{items}, ZylDorvRangeType(ZylDorvTypeKey(2)), -1));
    ZylDorvTransfer make(vector);
    make.SetMakeNewDrawerChunked(ZylDorvArray<int>{8});
    make.SetWrite();
    make.SetDim(0, all);
    make.SetInitializationValue(ZylDorvRangeValue(1.0));
    make.InitializePersistentDrawer();
    std::vector<double> part = {5, 6, 7, 8, 9, 10, 11, 12, 13, 14};
    ZylDorvTransfer w = Prepared(vector);
    w.SetDimOrdinalRange(0, items, 5, 14);
    w.SetBuffer(0, part.data(), 80);
    w.ExecWrite();
    std::vector<double> expected(50, 1.0), got(50);
    for (int i = 5; i <= 14; ++i)
        expected[static_cast<std::size_t>(i)] = i;
    ZylDorvTransfer r = Prepared(vector);
    r.SetBuffer(0, got.data(), 400);
    r.ExecRead();
    EXPECT_EQ(got, expected);

    // Integers written whole when the drawer is made (the Write1DIntDistribution pattern).
    ZylDorvDistribution ints(context.CreateDistribution(ZylDorvGrid{items}, ZylDorvRangeType(ZylDorvTypeKey(1)), -1));
    std::vector<int> values(50);
    for (int i = 0; i < 50; ++i)
        values[static_cast<std::size_t>(i)] = i * i - 7;
    ZylDorvTransfer wi(ints);
    wi.SetMakeNewDrawer();
    wi.SetBufferPadding(false);
    wi.SetWrite();
    wi.SetDim(0, all);
    wi.CheckView();
    wi.SetBuffer(0, static_cast<const int*>(values.data()), 200);
    wi.ExecWrite();
    wi.RelinquishBuffers();
    ZylDorvArray<ZylDorvPersistentDrawerDesc> drawers;
    ints.QueryDrawers(drawers);
    ASSERT_EQ(drawers.Size(), 1) << "one drawer made, then written";
    EXPECT_EQ(drawers[0].RangeType().ItemBytes(), 4);
    EXPECT_EQ(drawers[0].InitializationValue().AsInt(), 0);
    std::vector<int> back(50, -1);
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
    ZylDorvDistribution filled(context.CreateDistribution(ZylDorvGrid{items}, ZylDorvRangeType(ZylDorvTypeKey(1)), -1));
    ZylDorvTransfer mf(filled);
    mf.SetMakeNewDrawerChunked(ZylDorvArray<int>{7});
    mf.SetWrite();
    mf.SetDim(0, all);
    mf.SetInitializationValue(ZylDorvRangeValue(std::int32_t(-3)));
    mf.InitializePersistentDrawer();
    ZylDorvTransfer rf = Prepared(filled);
    rf.SetBuffer(0, back.data(), 200);
    rf.ExecRead();
    EXPECT_EQ(back, std::vector<int>(50, -3));
}

TEST_F(TransferTest, ThreeDimensionalDistributionKeepsTheLastAxisFastest)
{
    ZylDorvContext context(ctx);
    const ZylDorvCollectionID a = context.CreateCollection(3, -1), b = context.CreateCollection(4, -1),
                              c = context.CreateCollection(5, -1);
    ZylDorvDistribution cube(context.CreateDistribution(ZylDorvGrid{a, b, c}, ZylDorvRangeType(), -1));
    ZylDorvTransfer make(cube);
    make.SetMakeNewDrawerChunked(ZylDorvArray<int>{2, 3, 2});
    make.SetWrite();
    make.SetDim(0, ZylDorvCollection(a).BiggestCSetID());
    make.SetDim(1, ZylDorvCollection(b).BiggestCSetID());
    make.SetDim(2, ZylDorvCollection(c).BiggestCSetID());
    make.InitializePersistentDrawer();
    std::vector<double> all(60);
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 4; ++j)
            for (int k = 0; k < 5; ++k)
                all[static_cast<std::size_t>((i * 4 + j) * 5 + k)] = i * 100 + j * 10 + k;
    ZylDorvTransfer w = Prepared(cube);
    w.SetBuffer(0, all.data(), 480);
    w.ExecWrite();
    std::vector<double> box(2 * 2 * 3);
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
    const MatrixSetup m = MakeMatrix(ctx, 3, 2, {}, 1.0);
    ZylDorvTransfer second(m.distribution);
    second.SetMakeNewDrawerChunked(ZylDorvArray<int>{1, 2});
    second.SetExtendableDim(1);
    second.SetWrite();
    second.SetDim(0, m.columnCSet);
    second.SetDim(1, m.rowCSet);
    second.SetInitializationValue(ZylDorvRangeValue(2.0));
    second.InitializePersistentDrawer();
    ZylDorvArray<ZylDorvPersistentDrawerDesc> drawers;
    m.distribution.QueryDrawers(drawers);
    ASSERT_EQ(drawers.Size(), 2);
    EXPECT_EQ(drawers[1].DrawerIndex(), 1);
    EXPECT_EQ(drawers[1].ExtendableDim(), 1);
    std::vector<double> v(6);
    ZylDorvTransfer r = Prepared(m.distribution);
    r.SetDrawer(1);
    r.SetBuffer(0, v.data(), 48);
    r.ExecRead();
    EXPECT_EQ(v, std::vector<double>(6, 2.0));
    EXPECT_EQ(ReadBlock(m, 0, 2, 0, 1), std::vector<double>(6, 1.0)) << "drawer 0 by default";
    ZylDorvTransfer none = Prepared(m.distribution);
    none.SetDrawer(5);
    EXPECT_DORV_ERROR(none.CheckView(), ZylDorvError_DrawerNotFound,
                      "ZylDorv error 24: drawer not found: CheckView of distribution 1 in context 1 of \"t.dorv\": no "
                      "drawer 5 (the distribution has 2)");
}

TEST_F(TransferTest, TemporaryDistributionsWorkAndEndWithTheDatabase)
{
    ZylDorvContext context(ctx);
    const ZylDorvCollectionID items = context.CreateCollection(10, -1);
    const int labels[] = {2, 3, 4};
    const ZylDorvCSetID temp = ZylDorvCollection(items).CreateTempOrderedCSet(labels, 3);
    const ZylDorvDistributionID id = context.CreateTempDistribution(ZylDorvGrid{items}, ZylDorvRangeType(), -1);
    EXPECT_TRUE(id.IsTemporary());
    ZylDorvDistribution d(id);
    ZylDorvTransfer make(d);
    make.SetMakeNewDrawerChunked(ZylDorvArray<int>{2});
    make.SetWrite();
    make.SetDim(0, temp);
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
    db.OpenFile(ZylDroviUnicodeString("t.dorv"), ZylDorvDatabase::OpenReadWrite);
    const ZylDorvContextID again = db.ContextIDs()[0];
    EXPECT_DORV_ERROR_HAS(ZylDorvDistribution(ZylDorvDistributionID(again, id.Number())), ZylDorvError_DistributionNotFound,
                          "distribution -1");
}
