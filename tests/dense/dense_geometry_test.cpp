// Construction, views, block geometry and extension of ZylSrvDenseMatrix.
#include "DenseHelpers.h"

#include <gmock/gmock.h>

#include <array>
#include <numeric>
#include <vector>

namespace {

using namespace densetest;
using ::testing::ElementsAreArray;
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

// The geometry queries of one side.
struct Queries {
    int (ZylSrvDenseMatrix::*count)() const;
    int (ZylSrvDenseMatrix::*blocks)() const;
    int (ZylSrvDenseMatrix::*inBlock)(int) const;
    int (ZylSrvDenseMatrix::*largest)() const;
    int (ZylSrvDenseMatrix::*inRange)(int, int) const;
    int (ZylSrvDenseMatrix::*firstIn)(int) const;
    int (ZylSrvDenseMatrix::*containing)(int) const;
};
const Queries kRows{&ZylSrvDenseMatrix::NumberOfRows,        &ZylSrvDenseMatrix::NumberOfRowBlocks,
                    &ZylSrvDenseMatrix::NumberOfRowsInBlock, &ZylSrvDenseMatrix::MaxNumberOfRowsInBlock,
                    &ZylSrvDenseMatrix::NumberOfRowsInBlockRange, &ZylSrvDenseMatrix::FirstRowInBlock,
                    &ZylSrvDenseMatrix::BlockContainingRow};
const Queries kColumns{&ZylSrvDenseMatrix::NumberOfColumns,        &ZylSrvDenseMatrix::NumberOfColumnBlocks,
                       &ZylSrvDenseMatrix::NumberOfColumnsInBlock, &ZylSrvDenseMatrix::MaxNumberOfColumnsInBlock,
                       &ZylSrvDenseMatrix::NumberOfColumnsInBlockRange, &ZylSrvDenseMatrix::FirstColumnInBlock,
                       &ZylSrvDenseMatrix::BlockContainingColumn};

// Every query of one side against the list of block sizes, also for block
// numbers before the first and past the last block.
void ExpectSide(const ZylSrvDenseMatrix& m, const Queries& q, const Side& side)
{
    const std::vector<int>& s = side.sizes;
    const int blocks = static_cast<int>(s.size());
    ASSERT_EQ((m.*q.blocks)(), blocks);
    std::vector<int> first(s.size() + 1, 0);
    std::partial_sum(s.begin(), s.end(), first.begin() + 1);
    EXPECT_EQ((m.*q.count)(), first.back());
    EXPECT_EQ((m.*q.largest)(), blocks > 2 ? side.per : std::max(s.front(), s.back()));
    for (int b = -2; b <= blocks + 1; ++b) {
        SCOPED_TRACE(testing::Message() << "block " << b);
        EXPECT_EQ((m.*q.inBlock)(b), b < 0 ? 0 : s[static_cast<std::size_t>(std::min(b, blocks - 1))]);
        EXPECT_EQ((m.*q.firstIn)(b), b <= 0 ? 0 : b < blocks ? first[b] : s.front() + side.per * (b - 1));
        for (int e = -1; e < blocks; ++e)
            EXPECT_EQ((m.*q.inRange)(b, e), b < 0 || e < b || b >= blocks ? 0 : first[e + 1] - first[b]) << e;
    }
    for (int b = 0; b < blocks; ++b)
        for (int i = first[b]; i < first[b + 1]; ++i)
            EXPECT_EQ((m.*q.containing)(i), b) << "index " << i;
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
        const zyltest::MatrixSetup s = c.columns == 0 ? MakeVector(c.rows, c.rowChunk)
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
        zyltest::ExpectMatrixNear(values.Block(r0, r0 + rows - 1, c0, c0 + columns - 1), ReadThrough(m), "values");
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
    }
    ZylSrvMatrix one(1, 1);
    zyltest::ExpectFamilyError<ZylSrvMtxInvalidGetRange>([&] { empty.GetValues(0, 0, 0, 0, one); }, 203,
                                                         kGetRange, kSource);
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
        zyltest::ExpectIllegalInput(
            [&] { std::unique_ptr<ZylSrvDenseMatrix> v(c.of->Submatrix(c.r0, c.r1, c.c0, c.c1)); }, "Submatrix",
            kSource);
    }

    // No drawer; a drawer over an empty column CSet.
    const ZylDorvCollectionID rows = NewCollection(4), columns = NewCollection(3);
    const ZylDorvDistributionID bare = Context().CreateDistribution(
        ZylDorvGrid{columns, rows}, ZylDorvRangeType(ZylDorvTypeKey::Double), ZylDorvTypeID());
    zyltest::ExpectIllegalInput([&] { ZylSrvDenseMatrix m(bare); }, "AttachDistribution", kSource);
    const ZylDorvCSetID noColumns = ZylDorvCollection(columns).CreateCSetStrided(0, 0, 1, 1);
    const zyltest::MatrixSetup noMembers = MakeMatrixOver(AllOf(rows), noColumns, -1, -1);
    zyltest::ExpectIllegalInput([&] { ZylSrvDenseMatrix m(noMembers.id); }, "AttachDistribution", kSource);
}

TEST_F(DenseGeometry, ExtensionAddsMembersBlocksAndInitializedValues)
{
    // Rows of a one-block side past its chunk: a second block.
    const zyltest::MatrixSetup s = MakeMatrix(30, 4, 100, 2, 0.5, 1);
    const RefMatrix before = FillRandom(s, 2);
    ZylSrvDenseMatrix m(s.id);
    EXPECT_EQ(m.ExtendableDim(), 1);
    EXPECT_EQ(m.ExtendDim(1, 100, nullptr), 0);
    ExpectSide(m, kRows, {{100, 30}, 100});
    ExpectSide(m, kColumns, {{2, 2}, 2});
    EXPECT_FALSE(m.RowCSetID().IsTemporary());
    EXPECT_EQ(m.RowCSetID().CollectionID(), s.rows);
    EXPECT_THAT(MembersOf(m.RowCSetID()), ElementsAreArray(Labels(0, 130)));
    const RefMatrix expected = Placed(RefMatrix(130, 4, 0.5), before, 0, 0);
    zyltest::ExpectMatrixNear(expected, ReadThrough(m), "old values kept, new ones initialized");
    // Written across the old end, read by a matrix opened afresh.
    const RefMatrix band = zyltest::RandomMatrix(4, 4, 3);
    m.SetValues(28, 31, 0, 3, ToMatrix(band));
    const ZylSrvDenseMatrix reopened(s.id);
    zyltest::ExpectMatrixNear(Placed(expected, band, 28, 0), ReadThrough(reopened), "reopened");

    // Columns with given members, appended in their order.
    const zyltest::MatrixSetup w = MakeMatrix(5, 10, 2, 4);
    const RefMatrix wide = FillRandom(w, 4);
    ZylSrvDenseMatrix mw(w.id);
    const int added[] = {12, 10, 11};
    EXPECT_EQ(mw.ExtendDim(0, 3, added), 0);
    ExpectSide(mw, kColumns, {{4, 4, 4, 1}, 4});
    std::vector<int> labels = Labels(0, 10);
    labels.insert(labels.end(), std::begin(added), std::end(added));
    EXPECT_THAT(MembersOf(mw.ColumnCSetID()), ElementsAreArray(labels));
    zyltest::ExpectMatrixNear(Placed(RefMatrix(5, 13), wide, 0, 0), ReadThrough(mw), "extended");

    // An unchunked side keeps its block size.
    ZylSrvDenseMatrix whole(MakeMatrix(3, 2, -1, -1).id);
    EXPECT_EQ(whole.ExtendDim(1, 4, nullptr), 0);
    ExpectSide(whole, kRows, {{3, 3, 1}, 3});
}

TEST_F(DenseGeometry, ExtensionReportsEveryRefusalAndLeavesTheMatrixAlone)
{
    const zyltest::MatrixSetup s = MakeMatrix(6, 5, 4, 2);
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

} // namespace
