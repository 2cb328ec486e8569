// ZylSrvDenseMatrix apart from its products: construction, views, block
// geometry, extension, data access, copies between matrices, packed
// triangles, range errors and database failures.
#include "DenseHelpers.h"

#include <gmock/gmock.h>

#include <array>
#include <numeric>
#include <string>
#include <vector>

namespace {

using namespace densetest;
using ::testing::ElementsAreArray;
using zyltest::ExpectFamilyError;
using zyltest::ExpectMatrixNear;
using zyltest::MatrixSetup;
using zyltest::MembersOf;

std::vector<int> Labels(int first, int count)
{
    std::vector<int> v(static_cast<std::size_t>(count));
    std::iota(v.begin(), v.end(), first);
    return v;
}

// One side of a matrix: its block sizes in order and the per-block size (the
// drawer's chunk, which a side with one or two blocks does not show).
struct Side {
    std::vector<int> sizes;
    int per;
};

constexpr bool kRows = true, kColumns = false;

// Every geometry query of one side (rows or columns) against the list of
// block sizes, also for block numbers before the first and past the last.
void ExpectSide(const ZylSrvDenseMatrix& m, bool rows, const Side& side)
{
    const auto inBlock = [&](int b) { return rows ? m.NumberOfRowsInBlock(b) : m.NumberOfColumnsInBlock(b); };
    const auto firstIn = [&](int b) { return rows ? m.FirstRowInBlock(b) : m.FirstColumnInBlock(b); };
    const auto inRange = [&](int b, int e) {
        return rows ? m.NumberOfRowsInBlockRange(b, e) : m.NumberOfColumnsInBlockRange(b, e);
    };
    const auto containing = [&](int i) { return rows ? m.BlockContainingRow(i) : m.BlockContainingColumn(i); };
    const std::vector<int>& s = side.sizes;
    const int blocks = static_cast<int>(s.size());
    ASSERT_EQ(rows ? m.NumberOfRowBlocks() : m.NumberOfColumnBlocks(), blocks);
    std::vector<int> first(s.size() + 1, 0);
    std::partial_sum(s.begin(), s.end(), first.begin() + 1);
    EXPECT_EQ(rows ? m.NumberOfRows() : m.NumberOfColumns(), first.back());
    EXPECT_EQ(rows ? m.MaxNumberOfRowsInBlock() : m.MaxNumberOfColumnsInBlock(),
              blocks > 2 ? side.per : std::max(s.front(), s.back()));
    for (int b = -2; b <= blocks + 1; ++b) {
        SCOPED_TRACE(testing::Message() << (rows ? "row" : "column") << " block " << b);
        EXPECT_EQ(inBlock(b), b < 0 ? 0 : s[static_cast<std::size_t>(std::min(b, blocks - 1))]);
        EXPECT_EQ(firstIn(b), b <= 0 ? 0 : b < blocks ? first[b] : s.front() + side.per * (b - 1));
        for (int e = -1; e < blocks; ++e)
            EXPECT_EQ(inRange(b, e), b < 0 || e < b || b >= blocks ? 0 : first[e + 1] - first[b]) << e;
    }
    for (int b = 0; b < blocks; ++b)
        for (int i = first[b]; i < first[b + 1]; ++i)
            EXPECT_EQ(containing(i), b) << "index " << i;
}

struct GeometryCase {
    const char* name;
    int rows, columns, rowChunk, columnChunk; // columns 0: one-dimensional
    std::vector<std::array<int, 4>> cuts;     // views of views, each in its parent's coordinates
    Side rowSide, columnSide;
};

using DenseGeometry = DenseTest;

TEST_F(DenseGeometry, EveryQueryOfRootsAndViewsFollowsTheBlocks)
{
    const std::vector<GeometryCase> cases = {
        {"chunked 4 x 3", 10, 7, 4, 3, {}, {{4, 4, 2}, 4}, {{3, 3, 1}, 3}},
        {"unchunked", 10, 7, -1, -1, {}, {{10}, 10}, {{7}, 7}},
        {"chunk longer than the side", 30, 5, 100, 2, {}, {{30}, 100}, {{2, 2, 1}, 2}},
        {"view cut inside blocks", 10, 7, 4, 3, {{5, 8, 0, 6}}, {{3, 1}, 4}, {{3, 3, 1}, 3}},
        {"view of the whole", 10, 7, 4, 3, {{0, 9, 0, 6}}, {{4, 4, 2}, 4}, {{3, 3, 1}, 3}},
        {"uneven view", 23, 17, 5, 4, {{3, 21, 2, 15}}, {{2, 5, 5, 5, 2}, 5}, {{2, 4, 4, 4}, 4}},
        {"view of a view", 23, 17, 5, 4, {{3, 21, 2, 15}, {4, 13, 1, 9}}, {{3, 5, 2}, 5}, {{1, 4, 4}, 4}},
        {"single value", 23, 17, 5, 4, {{3, 21, 2, 15}, {4, 13, 1, 9}, {4, 4, 2, 2}}, {{1}, 5}, {{1}, 4}},
        {"one-dimensional", 9, 0, 4, -1, {}, {{4, 4, 1}, 4}, {{1}, 1}},
        {"one-dimensional view", 9, 0, 4, -1, {{2, 6, 0, 0}}, {{2, 3}, 4}, {{1}, 1}},
        {"one-dimensional unchunked", 5, 0, -1, -1, {}, {{5}, 5}, {{1}, 1}},
    };
    for (const GeometryCase& c : cases) {
        SCOPED_TRACE(c.name);
        const MatrixSetup s = c.columns == 0 ? MakeVector(c.rows, c.rowChunk)
                                                      : MakeMatrix(c.rows, c.columns, c.rowChunk, c.columnChunk);
        const RefMatrix values = FillRandom(s, 1);
        std::vector<std::unique_ptr<ZylSrvDenseMatrix>> chain;
        chain.push_back(std::make_unique<ZylSrvDenseMatrix>(s.id));
        int r0 = 0, c0 = 0;
        for (const auto& cut : c.cuts) {
            chain.emplace_back(chain.back()->Submatrix(cut[0], cut[1], cut[2], cut[3]));
            r0 += cut[0];
            c0 += cut[2];
        }
        const ZylSrvDenseMatrix& m = *chain.back();
        EXPECT_EQ(m.DistributionID(), s.id);
        ExpectSide(m, kRows, c.rowSide);
        ExpectSide(m, kColumns, c.columnSide);

        // Row 0 of a view is row r0 of the distribution, through its CSets too.
        const int rows = m.NumberOfRows(), columns = m.NumberOfColumns();
        ExpectMatrixNear(values.Block(r0, r0 + rows - 1, c0, c0 + columns - 1), ReadThrough(m), "values");
        EXPECT_THAT(MembersOf(m.RowCSetID()), ElementsAreArray(Labels(r0, rows)));
        EXPECT_EQ(m.RowCSetID() == s.rowCSet, rows == s.numRows) << "a cut side has a CSet of its own";
        EXPECT_EQ(m.RowCSetID().IsTemporary(), rows != s.numRows);
        if (c.columns == 0) {
            EXPECT_TRUE(m.ColumnCSetID().IsNull());
        } else {
            EXPECT_THAT(MembersOf(m.ColumnCSetID()), ElementsAreArray(Labels(c0, columns)));
            EXPECT_EQ(m.ColumnCSetID() == s.columnCSet, columns == s.numColumns);
        }
        if (c.cuts.empty()) // the handle constructor sees the same
            ExpectSide(ZylSrvDenseMatrix(ZylDorvDistribution(s.id)), kRows, c.rowSide);
    }
}

TEST_F(DenseGeometry, NullMatrixHasNothingAndAClosedDatabaseMakesMatricesNull)
{
    const ZylSrvDenseMatrix empty, fromNullID{ZylDorvDistributionID()};
    for (const ZylSrvDenseMatrix* m : {&empty, &fromNullID}) {
        EXPECT_TRUE(m->IsNull());
        EXPECT_EQ(m->NumberOfRows() + m->NumberOfColumns() + m->NumberOfRowBlocks() + m->MaxNumberOfRowsInBlock(), 0);
        EXPECT_TRUE(m->RowCSetID().IsNull() && m->ColumnCSetID().IsNull() && m->DistributionID().IsNull());
        EXPECT_EQ(m->ExtendableDim(), -1);
    }
    ZylSrvMatrix one(1, 1);
    ExpectFamilyError<ZylSrvMtxInvalidGetRange>([&] { empty.GetValues(0, 0, 0, 0, one); }, 203, kGetRange, kSource);
    const ZylSrvDenseMatrix m(MakeMatrix(4, 4, 2, 2).id);
    EXPECT_FALSE(m.IsNull());
    db.Close();
    EXPECT_TRUE(m.IsNull());
}

TEST_F(DenseGeometry, ViewsOutsideTheParentAndBareDistributionsAreRefused)
{
    const ZylSrvDenseMatrix parent(MakeMatrix(10, 7, 4, 3).id), vector(MakeVector(9, 4).id), empty;
    struct Cut {
        const ZylSrvDenseMatrix* of;
        int r0, r1, c0, c1;
    };
    for (const Cut& c : {Cut{&parent, -1, 3, 0, 6}, Cut{&parent, 4, 3, 0, 6}, Cut{&parent, 0, 10, 0, 6},
                         Cut{&parent, 0, 9, -1, 6}, Cut{&parent, 0, 9, 3, 2}, Cut{&parent, 0, 9, 0, 7},
                         Cut{&vector, 2, 6, 0, 1}, Cut{&vector, 2, 6, 1, 1}, Cut{&empty, 0, 0, 0, 0}}) {
        SCOPED_TRACE(testing::Message() << c.r0 << ".." << c.r1 << " x " << c.c0 << ".." << c.c1);
        zyltest::ExpectIllegalInput([&] { delete c.of->Submatrix(c.r0, c.r1, c.c0, c.c1); }, "Submatrix", kSource);
    }

    // No drawer; a chunked drawer over an empty column CSet.
    const ZylDorvCollectionID rows = NewCollection(4), columns = NewCollection(3);
    const ZylDorvDistributionID bare = Context().CreateDistribution(
        ZylDorvGrid{columns, rows}, ZylDorvRangeType(ZylDorvTypeKey::Double), ZylDorvTypeID());
    zyltest::ExpectIllegalInput([&] { ZylSrvDenseMatrix m(bare); }, "AttachDistribution", kSource);
    const ZylDorvCSetID noColumns = ZylDorvCollection(columns).CreateCSetStrided(0, 0, 1, 1);
    const MatrixSetup noMembers = MakeMatrixOver(AllOf(rows), noColumns, 2, 2);
    zyltest::ExpectIllegalInput([&] { ZylSrvDenseMatrix m(noMembers.id); }, "AttachDistribution", kSource);
    // Integers, drawer and all: their 4 bytes cannot be read as doubles.
    const ZylDorvDistributionID ints = Context().CreateDistribution(
        ZylDorvGrid{columns, rows}, ZylDorvRangeType(ZylDorvTypeKey::Int32), ZylDorvTypeID());
    ZylDorvTransfer make{ZylDorvDistribution(ints)};
    make.SetMakeNewDrawer();
    make.SetWrite();
    make.SetDim(0, AllOf(columns));
    make.SetDim(1, AllOf(rows));
    make.SetInitializationValue(ZylDorvRangeValue(std::int32_t{7}));
    make.InitializePersistentDrawer();
    zyltest::ExpectIllegalInput([&] { ZylSrvDenseMatrix m(ints); }, "AttachDistribution", kSource);

    // The packed triangles need a square matrix.
    std::vector<double> untouched(70, -1.0);
    zyltest::ExpectIllegalInput([&] { parent.GetUpperValues(untouched.data()); }, "GetUpperValues", kSource);
    zyltest::ExpectIllegalInput([&] { parent.GetLowerValues(untouched.data()); }, "GetLowerValues", kSource);
    zyltest::ExpectIllegalInput([&] { parent.GetSymmetricValues(untouched.data()); }, "GetSymmetricValues", kSource);
    EXPECT_THAT(untouched, ElementsAreArray(std::vector<double>(70, -1.0)));
}

TEST_F(DenseGeometry, ExtensionAddsMembersBlocksAndInitializedValues)
{
    // Rows of a one-block side past its chunk: a second block (its values are a
    // row of the products' table, which also runs the fault sweeps).
    ZylSrvDenseMatrix m(MakeMatrix(30, 4, 100, 2, 0.5, 1).id);
    EXPECT_EQ(m.ExtendableDim(), 1);
    EXPECT_EQ(m.ExtendDim(1, 100, nullptr), 0);
    ExpectSide(m, kRows, {{100, 30}, 100});
    ExpectSide(m, kColumns, {{2, 2}, 2});
    EXPECT_THAT(MembersOf(m.RowCSetID()), ElementsAreArray(Labels(0, 130)));

    // Columns with given members, appended in their order.
    const MatrixSetup w = MakeMatrix(5, 10, 2, 4);
    const RefMatrix wide = FillRandom(w, 4);
    ZylSrvDenseMatrix mw(w.id);
    const int added[] = {12, 10, 11};
    EXPECT_EQ(mw.ExtendDim(0, 3, added), 0);
    ExpectSide(mw, kColumns, {{4, 4, 4, 1}, 4});
    EXPECT_THAT(MembersOf(mw.ColumnCSetID()), ElementsAreArray({0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 12, 10, 11}));
    ExpectMatrixNear(Placed(RefMatrix(5, 13), wide, 0, 0), ReadThrough(mw), "extended");
}

TEST_F(DenseGeometry, ExtensionReportsEveryRefusalAndLeavesTheMatrixAlone)
{
    const MatrixSetup s = MakeMatrix(6, 5, 4, 2);
    ZylSrvDenseMatrix m(s.id);
    const auto unchanged = [&] {
        EXPECT_EQ(m.RowCSetID(), s.rowCSet);
        EXPECT_EQ(m.ColumnCSetID(), s.columnCSet);
        ExpectSide(m, kRows, {{4, 2}, 4});
        ExpectSide(m, kColumns, {{2, 2, 1}, 2});
    };
    EXPECT_EQ(m.ExtendDim(2, 3, nullptr), 3);
    EXPECT_EQ(m.ExtendDim(-1, 3, nullptr), 3);
    EXPECT_EQ(m.ExtendDim(1, 0, nullptr), 2);
    const int none[] = {0};
    EXPECT_EQ(m.ExtendDim(0, 0, none), 2);
    unchanged();
    const int overlapping[] = {7, 3};
    ZylDorvCollection rowCollection(s.rows);
    const int csetsBefore = rowCollection.CSetIDs().Size();
    EXPECT_EQ(m.ExtendDim(1, 2, overlapping), 4);
    EXPECT_EQ(rowCollection.CSetIDs().Size(), csetsBefore + 1) << "the CSet made before the refusal stays";
    unchanged();
    EXPECT_EQ(m.ExtendableDim(), 0);

    std::unique_ptr<ZylSrvDenseMatrix> view(m.Submatrix(1, 4, 0, 4));
    EXPECT_EQ(view->ExtendDim(1, 2, nullptr), 1);
    EXPECT_EQ(view->ExtendDim(1, 0, nullptr), 1) << "a view is refused before the empty extension";
    EXPECT_EQ(view->NumberOfRows(), 4);

    // The columns of a one-dimensional matrix have no collection to grow;
    // its rows extend like any other side.
    ZylSrvDenseMatrix column(MakeVector(5, 2).id);
    EXPECT_EQ(column.ExtendDim(0, 2, nullptr), 3);
    EXPECT_EQ(column.NumberOfColumns(), 1);
    EXPECT_EQ(column.ExtendDim(1, 2, nullptr), 0);
    ExpectSide(column, kRows, {{2, 2, 2, 1}, 2});
}

using DenseAccess = DenseTest;

TEST_F(DenseAccess, RectanglesArePackedAtTheStartOfTheBufferAndRangesOutsideAreRefused)
{
    const MatrixSetup s = MakeMatrix(10, 7, 4, 3);
    const RefMatrix values = FillRandom(s, 1);
    ZylSrvDenseMatrix m(s.id);
    // Ranges that start and end inside, on and across block borders.
    for (const auto& r : {std::pair<int, int>{0, 0}, {2, 5}, {3, 4}, {4, 9}, {0, 9}})
        for (const auto& c : {std::pair<int, int>{0, 2}, {1, 4}, {2, 3}, {6, 6}}) {
            SCOPED_TRACE(testing::Message() << r.first << ".." << r.second << " x " << c.first << ".." << c.second);
            const int h = r.second - r.first + 1, w = c.second - c.first + 1;
            ZylSrvMatrix out(h + 2, w + 1); // packed with leading dimension h
            out = -1.0;
            m.GetValues(r.first, r.second, c.first, c.second, out);
            ExpectMatrixNear(values.Block(r.first, r.second, c.first, c.second), out.Values(), h);
            for (int i = h * w; i < (h + 2) * (w + 1); ++i)
                ASSERT_EQ(out.Values()[i], -1.0) << i;
        }

    // Ranges outside: 203 and 204 before anything is read or written.
    ZylSrvMatrix buffer(20, 20);
    buffer = 3.0;
    const int bad[][4] = {{2, 1, 0, 0}, {-1, 0, 0, 0}, {0, 10, 0, 0}, {0, 0, -1, 0},
                          {0, 0, 3, 2}, {0, 0, 0, 7},  {10, 10, 0, 0}};
    for (const auto& r : bad) {
        SCOPED_TRACE(testing::Message() << r[0] << ".." << r[1] << " x " << r[2] << ".." << r[3]);
        ExpectFamilyError<ZylSrvMtxInvalidGetRange>([&] { m.GetValues(r[0], r[1], r[2], r[3], buffer); }, 203,
                                                    kGetRange, kSource);
        ExpectFamilyError<ZylSrvMtxInvalidSetRange>([&] { m.SetValues(r[0], r[1], r[2], r[3], buffer); }, 204,
                                                    kSetRange, kSource);
    }
    EXPECT_EQ(buffer.Values()[0], 3.0);
    ExpectMatrixNear(values, RawRead(s), "unchanged");

    // A one-dimensional matrix writes and reads its one column.
    const MatrixSetup v = MakeVector(7, 3);
    ZylSrvDenseMatrix vector(v.id);
    const RefMatrix column = zyltest::RandomMatrix(7, 1, 6);
    vector.SetValues(0, 6, 0, 0, MatrixOf(column));
    ExpectMatrixNear(column, RawRead(v), "one-dimensional");
    ExpectFamilyError<ZylSrvMtxInvalidGetRange>([&] { vector.GetValues(0, 1, 0, 1, buffer); }, 203, kGetRange, kSource);
}

TEST_F(DenseAccess, DatabaseFailures)
{
    const MatrixSetup s = MakeMatrix(6, 4, 4, 3);
    const RefMatrix values = FillRandom(s, 1);
    ZylSrvDenseMatrix m(s.id);
    // The description a raw write gives with the seam armed.
    ZylDorvTestSeam::FailValueWrites(1, 70);
    const std::string description = zyltest::CatchDorv([&] { RawWrite(s, 0, 0, 0, 0, values.data()); }).Description();

    // A failed write of values (70) becomes 208 with the database's text.
    const ZylSrvMatrix block = MatrixOf(RefMatrix(2, 2, 9.0));
    ZylDorvTestSeam::FailValueWrites(1, 70);
    ExpectFamilyError<ZylSrvMtxFileWriteFailure>(
        [&] { m.SetValues(1, 2, 1, 2, block); }, 208,
        "Error at writing to file: ZylSrvDenseMatrix::SetValues\n" + description, kSource);
    ExpectMatrixNear(values, RawRead(s), "unchanged");

    // Read failures pass through; the matrix works normally afterwards.
    ZylSrvMatrix out(6, 4);
    ZylDorvTestSeam::FailValueReads(1, 71);
    EXPECT_DORV_ERROR(m.GetValues(0, 5, 0, 3, out), 71, "failure forced by the test seam");
    m.SetValues(1, 2, 1, 2, block);
    ExpectMatrixNear(Placed(values, RefOf(block), 1, 1), ReadThrough(m), "written afterwards");
}

TEST_F(DenseAccess, GetSubmatrixAndCopyValuesFillTheDestinationOrWriteNothing)
{
    const MatrixSetup s = MakeMatrix(10, 7, 4, 3);
    const RefMatrix values = FillRandom(s, 1);
    const ZylSrvDenseMatrix m(s.id);
    // A destination with fewer rows than the range takes its leading rows
    // (the other copies are rows of the products' table of operations).
    const MatrixSetup d = MakeMatrix(3, 3, 4, 2, -1.0);
    ZylSrvDenseMatrix dest(d.id);
    m.GetSubmatrix(dest, 2, 7, 4, 6);
    ExpectMatrixNear(values.Block(2, 4, 4, 6), RawRead(d), "leading rows of the range");
    // A taller destination, or a range outside this matrix.
    struct Refusal {
        int rows, chunk, r0, r1, c0, c1;
    };
    for (const Refusal& r : {Refusal{8, 3, 2, 7, 4, 6}, Refusal{6, 4, 5, 10, 4, 6}, Refusal{6, 4, 2, 7, 5, 7}}) {
        SCOPED_TRACE(testing::Message() << r.rows << " rows, rows " << r.r0 << ".." << r.r1);
        const MatrixSetup t = MakeMatrix(r.rows, 3, r.chunk, 2, -1.0);
        ZylSrvDenseMatrix target(t.id);
        ExpectFamilyError<ZylSrvMtxInvalidGetRange>([&] { m.GetSubmatrix(target, r.r0, r.r1, r.c0, r.c1); }, 203,
                                                    kGetRange, kSource);
        ExpectMatrixNear(RefMatrix(r.rows, 3, -1.0), RawRead(t), "nothing written");
    }

    // CopyValues refuses a source of another row count or more columns.
    std::unique_ptr<ZylSrvDenseMatrix> view(m.Submatrix(1, 8, 2, 6));
    for (const auto& shape : {std::pair<int, int>{9, 7}, {7, 7}, {8, 4}}) {
        const MatrixSetup o = MakeMatrix(shape.first, shape.second, 3, 3, -1.0);
        ZylSrvDenseMatrix other(o.id);
        ExpectFamilyError<ZylSrvMtxInvalidSetRange>([&] { other.CopyValues(view.get()); }, 204, kSetRange,
                                                    kSource);
        ExpectMatrixNear(RefMatrix(shape.first, shape.second, -1.0), RawRead(o), "nothing written");
    }
}

TEST_F(DenseAccess, CopyMappedRowsFollowsMemberLabelsClearingOrKeepingRowsWithoutSource)
{
    // Source rows: labels 3, 2, 1, 5 of a collection of 8; 5 columns in blocks of 2.
    const MatrixSetup all = MakeMatrix(8, 5, 3, 2);
    const int sourceLabels[] = {3, 2, 1, 5};
    const MatrixSetup s = MakeMatrixOver(ZylDorvCollection(all.rows).CreateOrderedCSet(sourceLabels, 4),
                                         all.columnCSet, 2, 2);
    const RefMatrix values = FillRandom(s, 5);
    const ZylSrvDenseMatrix src(s.id);
    // Destination rows 6, 1, 3: label 6 has no source row, labels 2 and 5 no place.
    const int destLabels[] = {6, 1, 3};
    const ZylDorvCSetID destRows = ZylDorvCollection(all.rows).CreateOrderedCSet(destLabels, 3);
    const MatrixSetup d = MakeMatrixOver(destRows, all.columnCSet, 2, 3);
    const RefMatrix expected =
        Placed(Placed(FillRandom(d, 6), values.Block(2, 2, 0, 4), 1, 0), values.Block(0, 0, 0, 4), 2, 0);
    ZylSrvDenseMatrix dest(d.id);
    dest.CopyMappedRows(&src, false);
    ExpectMatrixNear(expected, RawRead(d), "row without source kept");
    dest.CopyMappedRows(&src, true);
    ExpectMatrixNear(Placed(expected, RefMatrix(1, 5), 0, 0), RawRead(d), "row without source cleared", 0.0);

    // A source with more columns than this matrix writes nothing.
    const MatrixSetup n = MakeMatrixOver(destRows, AllOf(NewCollection(4)), 2, 2, -1.0);
    ZylSrvDenseMatrix narrow(n.id);
    ExpectFamilyError<ZylSrvMtxInvalidSetRange>([&] { narrow.CopyMappedRows(&src, true); }, 204, kSetRange,
                                                kSource);
    ExpectMatrixNear(RefMatrix(3, 4, -1.0), RawRead(n), "nothing written");
}

} // namespace
