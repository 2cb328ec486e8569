// Construction, views, block geometry and extension of ZylSrvDenseMatrix.
#include "DenseTestSupport.h"

#include <gmock/gmock.h>

#include <algorithm>
#include <vector>

namespace {

using ::testing::ElementsAreArray;

// The blocks of rows first..last of a root side cut every `chunk` members:
// the sizes in order.
std::vector<int> AlignedBlocks(int first, int last, int chunk)
{
    std::vector<int> sizes;
    int start = first;
    while (start <= last) {
        const int end = std::min(last, (start / chunk + 1) * chunk - 1);
        sizes.push_back(end - start + 1);
        start = end + 1;
    }
    return sizes;
}

std::vector<int> RowBlocksOf(const ZylSrvDenseMatrix& m)
{
    std::vector<int> sizes;
    for (int b = 0; b < m.NumberOfRowBlocks(); ++b)
        sizes.push_back(m.NumberOfRowsInBlock(b));
    return sizes;
}

std::vector<int> ColumnBlocksOf(const ZylSrvDenseMatrix& m)
{
    std::vector<int> sizes;
    for (int b = 0; b < m.NumberOfColumnBlocks(); ++b)
        sizes.push_back(m.NumberOfColumnsInBlock(b));
    return sizes;
}

// Every block query of one side agrees with the list of block sizes.
void ExpectRowGeometry(const ZylSrvDenseMatrix& m, const std::vector<int>& sizes)
{
    ASSERT_EQ(m.NumberOfRowBlocks(), static_cast<int>(sizes.size()));
    EXPECT_THAT(RowBlocksOf(m), ElementsAreArray(sizes));
    int first = 0;
    for (int b = 0; b < static_cast<int>(sizes.size()); ++b) {
        EXPECT_EQ(m.FirstRowInBlock(b), first) << "block " << b;
        for (int r = first; r < first + sizes[b]; ++r)
            EXPECT_EQ(m.BlockContainingRow(r), b) << "row " << r;
        first += sizes[b];
    }
    EXPECT_EQ(m.NumberOfRows(), first);
    EXPECT_EQ(m.NumberOfRowsInBlockRange(0, m.NumberOfRowBlocks() - 1), first);
}

void ExpectColumnGeometry(const ZylSrvDenseMatrix& m, const std::vector<int>& sizes)
{
    ASSERT_EQ(m.NumberOfColumnBlocks(), static_cast<int>(sizes.size()));
    EXPECT_THAT(ColumnBlocksOf(m), ElementsAreArray(sizes));
    int first = 0;
    for (int b = 0; b < static_cast<int>(sizes.size()); ++b) {
        EXPECT_EQ(m.FirstColumnInBlock(b), first) << "block " << b;
        for (int c = first; c < first + sizes[b]; ++c)
            EXPECT_EQ(m.BlockContainingColumn(c), b) << "column " << c;
        first += sizes[b];
    }
    EXPECT_EQ(m.NumberOfColumns(), first);
    EXPECT_EQ(m.NumberOfColumnsInBlockRange(0, m.NumberOfColumnBlocks() - 1), first);
}

using DenseGeometry = DenseTest;

TEST_F(DenseGeometry, TenBySevenChunkedFourByThreeHasTheWorkedGeometry)
{
    const DenseSetup s = Make(10, 7, 4, 3);
    const ZylSrvDenseMatrix m(s.id);
    EXPECT_FALSE(m.IsNull());
    EXPECT_EQ(m.DistributionID(), s.id);
    EXPECT_EQ(m.RowCSetID(), s.rowCSet);
    EXPECT_EQ(m.ColumnCSetID(), s.columnCSet);
    EXPECT_EQ(m.NumberOfRows(), 10);
    EXPECT_EQ(m.NumberOfColumns(), 7);
    ExpectRowGeometry(m, {4, 4, 2});
    ExpectColumnGeometry(m, {3, 3, 1});
    EXPECT_EQ(m.BlockContainingRow(8), 2);
    EXPECT_EQ(m.FirstRowInBlock(2), 8);
    EXPECT_EQ(m.MaxNumberOfRowsInBlock(), 4);
    EXPECT_EQ(m.MaxNumberOfColumnsInBlock(), 3);

    // Out-of-range block numbers.
    EXPECT_EQ(m.NumberOfRowsInBlock(-1), 0);
    EXPECT_EQ(m.NumberOfRowsInBlock(3), 2);
    EXPECT_EQ(m.NumberOfRowsInBlock(100), 2);
    EXPECT_EQ(m.NumberOfColumnsInBlock(-1), 0);
    EXPECT_EQ(m.NumberOfColumnsInBlock(9), 1);
    EXPECT_EQ(m.FirstRowInBlock(-3), 0);
    EXPECT_EQ(m.FirstRowInBlock(1), 4);
    EXPECT_EQ(m.FirstRowInBlock(7), 4 + 4 * 6); // no upper bound
    EXPECT_EQ(m.FirstColumnInBlock(5), 3 + 3 * 4);

    // Block ranges.
    EXPECT_EQ(m.NumberOfRowsInBlockRange(0, 0), 4);
    EXPECT_EQ(m.NumberOfRowsInBlockRange(1, 2), 6);
    EXPECT_EQ(m.NumberOfRowsInBlockRange(0, 2), 10);
    EXPECT_EQ(m.NumberOfRowsInBlockRange(2, 1), 0);
    EXPECT_EQ(m.NumberOfRowsInBlockRange(-1, 1), 0);
    EXPECT_EQ(m.NumberOfColumnsInBlockRange(1, 2), 4);
    EXPECT_EQ(m.NumberOfColumnsInBlockRange(0, 1), 6);
}

TEST_F(DenseGeometry, UnchunkedMatrixIsOneBlockEachWay)
{
    const DenseSetup s = Make(10, 7, -1, -1);
    const ZylSrvDenseMatrix m(s.id);
    ExpectRowGeometry(m, {10});
    ExpectColumnGeometry(m, {7});
    EXPECT_EQ(m.NumberOfRowsInBlock(0), 10);
    EXPECT_EQ(m.NumberOfRowsInBlock(4), 10);
    EXPECT_EQ(m.NumberOfColumnsInBlock(2), 7);
    EXPECT_EQ(m.MaxNumberOfRowsInBlock(), 10);
    EXPECT_EQ(m.MaxNumberOfColumnsInBlock(), 7);
    EXPECT_EQ(m.BlockContainingRow(9), 0);
    EXPECT_EQ(m.BlockContainingColumn(6), 0);
    EXPECT_EQ(m.FirstRowInBlock(0), 0);
}

TEST_F(DenseGeometry, ChunkLargerThanTheSideGivesOneBlockOfTheSide)
{
    const DenseSetup s = Make(30, 5, 100, 2);
    const ZylSrvDenseMatrix m(s.id);
    ExpectRowGeometry(m, {30});
    ExpectColumnGeometry(m, {2, 2, 1});
    EXPECT_EQ(m.MaxNumberOfRowsInBlock(), 30);
}

TEST_F(DenseGeometry, NullMatrixHasNothing)
{
    const ZylSrvDenseMatrix empty;
    EXPECT_TRUE(empty.IsNull());
    EXPECT_EQ(empty.NumberOfRows(), 0);
    EXPECT_EQ(empty.NumberOfColumns(), 0);
    EXPECT_EQ(empty.NumberOfRowBlocks(), 0);
    EXPECT_EQ(empty.NumberOfColumnBlocks(), 0);
    EXPECT_EQ(empty.MaxNumberOfRowsInBlock(), 0);
    EXPECT_TRUE(empty.RowCSetID().IsNull());
    EXPECT_TRUE(empty.ColumnCSetID().IsNull());
    EXPECT_TRUE(empty.DistributionID().IsNull());

    const ZylSrvDenseMatrix fromNullID{ZylDorvDistributionID()};
    EXPECT_TRUE(fromNullID.IsNull());
    EXPECT_EQ(fromNullID.NumberOfRows(), 0);

    ZylSrvMatrix one(1, 1);
    ExpectFamilyError<ZylSrvMtxInvalidGetRange>([&] { empty.GetValues(0, 0, 0, 0, one); }, 203,
                                                "ZylSrvDenseMatrix::GetValues invalid range values.", 530);
}

TEST_F(DenseGeometry, HandleAndIdentifierConstructorsAgree)
{
    const DenseSetup s = Make(9, 5, 4, 2);
    const ZylSrvDenseMatrix byID(s.id);
    const ZylSrvDenseMatrix byHandle{ZylDorvDistribution(s.id)};
    EXPECT_EQ(byHandle.DistributionID(), s.id);
    EXPECT_THAT(RowBlocksOf(byHandle), ElementsAreArray(RowBlocksOf(byID)));
    EXPECT_THAT(ColumnBlocksOf(byHandle), ElementsAreArray(ColumnBlocksOf(byID)));
    EXPECT_EQ(byHandle.RowCSetID(), byID.RowCSetID());
    EXPECT_EQ(byHandle.ColumnCSetID(), byID.ColumnCSetID());
}

TEST_F(DenseGeometry, MatrixBecomesNullWhenItsDatabaseCloses)
{
    const DenseSetup s = Make(4, 4, 2, 2);
    const ZylSrvDenseMatrix m(s.id);
    EXPECT_FALSE(m.IsNull());
    db.Close();
    EXPECT_TRUE(m.IsNull());
}

TEST_F(DenseGeometry, ViewOfRowsFiveToEightHasTwoBlocksAndATemporaryCSet)
{
    const DenseSetup s = Make(10, 7, 4, 3);
    FillPattern(s);
    const ZylSrvDenseMatrix parent(s.id);
    std::unique_ptr<ZylSrvDenseMatrix> view(parent.Submatrix(5, 8, 0, 6));
    EXPECT_FALSE(view->IsNull());
    EXPECT_EQ(view->DistributionID(), s.id);
    ExpectRowGeometry(*view, {3, 1});
    ExpectColumnGeometry(*view, {3, 3, 1});
    EXPECT_EQ(view->MaxNumberOfRowsInBlock(), 3);

    const ZylDorvCSetID rows = view->RowCSetID();
    EXPECT_TRUE(rows.IsTemporary());
    EXPECT_EQ(rows.CollectionID(), s.rows);
    EXPECT_THAT(MembersOf(rows), ElementsAreArray(Labels(5, 4)));
    EXPECT_EQ(view->ColumnCSetID(), s.columnCSet); // all columns: the parent's CSet

    // Row 0 of the view is row 5 of the distribution.
    const Values through = ReadThrough(*view);
    ExpectClose(RawRead(s, 5, 8, 0, 6), through, "view values");
}

TEST_F(DenseGeometry, ViewOfTheWholeParentReusesItsCSets)
{
    const DenseSetup s = Make(10, 7, 4, 3);
    const ZylSrvDenseMatrix parent(s.id);
    std::unique_ptr<ZylSrvDenseMatrix> view(parent.Submatrix(0, 9, 0, 6));
    EXPECT_EQ(view->RowCSetID(), s.rowCSet);
    EXPECT_EQ(view->ColumnCSetID(), s.columnCSet);
    ExpectRowGeometry(*view, {4, 4, 2});
    ExpectColumnGeometry(*view, {3, 3, 1});
}

TEST_F(DenseGeometry, ViewsOfViewsComposeAndStayAligned)
{
    const DenseSetup s = Make(23, 17, 5, 4);
    FillPattern(s);
    const ZylSrvDenseMatrix parent(s.id);
    std::unique_ptr<ZylSrvDenseMatrix> outer(parent.Submatrix(3, 21, 2, 15));
    ExpectRowGeometry(*outer, AlignedBlocks(3, 21, 5));
    ExpectColumnGeometry(*outer, AlignedBlocks(2, 15, 4));
    EXPECT_THAT(MembersOf(outer->RowCSetID()), ElementsAreArray(Labels(3, 19)));

    std::unique_ptr<ZylSrvDenseMatrix> inner(outer->Submatrix(4, 13, 1, 9)); // rows 7..16, columns 3..11
    ExpectRowGeometry(*inner, AlignedBlocks(7, 16, 5));
    ExpectColumnGeometry(*inner, AlignedBlocks(3, 11, 4));
    EXPECT_THAT(MembersOf(inner->RowCSetID()), ElementsAreArray(Labels(7, 10)));
    EXPECT_THAT(MembersOf(inner->ColumnCSetID()), ElementsAreArray(Labels(3, 9)));
    ExpectClose(RawRead(s, 7, 16, 3, 11), ReadThrough(*inner), "view of a view");

    // One block inside one chunk; a single row.
    std::unique_ptr<ZylSrvDenseMatrix> single(inner->Submatrix(4, 4, 2, 2)); // row 11, column 5
    ExpectRowGeometry(*single, {1});
    ExpectColumnGeometry(*single, {1});
    ExpectClose(RawRead(s, 11, 11, 5, 5), ReadThrough(*single), "single value");
}

TEST_F(DenseGeometry, ViewsOutsideTheParentAreRefused)
{
    const DenseSetup s = Make(10, 7, 4, 3);
    const ZylSrvDenseMatrix parent(s.id);
    const auto refused = [&](int r0, int r1, int c0, int c1) {
        ExpectIllegalInput([&] { std::unique_ptr<ZylSrvDenseMatrix> v(parent.Submatrix(r0, r1, c0, c1)); },
                           "Submatrix");
    };
    refused(-1, 3, 0, 6);
    refused(4, 3, 0, 6);
    refused(0, 10, 0, 6);
    refused(0, 9, -1, 6);
    refused(0, 9, 3, 2);
    refused(0, 9, 0, 7);
    const ZylSrvDenseMatrix empty;
    ExpectIllegalInput([&] { std::unique_ptr<ZylSrvDenseMatrix> v(empty.Submatrix(0, 0, 0, 0)); }, "Submatrix");
}

TEST_F(DenseGeometry, OneDimensionalDistributionIsOneColumn)
{
    const DenseSetup s = Make1D(9, 4);
    FillPattern(s);
    const ZylSrvDenseMatrix m(s.id);
    EXPECT_EQ(m.NumberOfRows(), 9);
    EXPECT_EQ(m.NumberOfColumns(), 1);
    ExpectRowGeometry(m, {4, 4, 1});
    ExpectColumnGeometry(m, {1});
    EXPECT_EQ(m.RowCSetID(), s.rowCSet);
    EXPECT_TRUE(m.ColumnCSetID().IsNull());
    ExpectClose(RawAll(s), ReadThrough(m), "one-dimensional values");

    // A view keeps the one column; any other column range is refused.
    std::unique_ptr<ZylSrvDenseMatrix> view(m.Submatrix(2, 6, 0, 0));
    EXPECT_EQ(view->NumberOfColumns(), 1);
    EXPECT_TRUE(view->ColumnCSetID().IsNull());
    ExpectRowGeometry(*view, {2, 3});
    ExpectClose(RawRead(s, 2, 6, 0, 0), ReadThrough(*view), "one-dimensional view");
    ExpectIllegalInput([&] { std::unique_ptr<ZylSrvDenseMatrix> v(m.Submatrix(2, 6, 0, 1)); }, "Submatrix");
    ExpectIllegalInput([&] { std::unique_ptr<ZylSrvDenseMatrix> v(m.Submatrix(2, 6, 1, 1)); }, "Submatrix");

    const DenseSetup unchunked = Make1D(5, -1);
    const ZylSrvDenseMatrix whole(unchunked.id);
    ExpectRowGeometry(whole, {5});
}

TEST_F(DenseGeometry, DistributionsWithoutDrawerOrMembersAreRefused)
{
    ZylDorvContext context(ctx);
    const ZylDorvCollectionID rows = context.CreateCollection(4, ZylDorvTypeID());
    const ZylDorvCollectionID columns = context.CreateCollection(3, ZylDorvTypeID());
    const ZylDorvDistributionID bare =
        context.CreateDistribution(ZylDorvGrid{columns, rows}, ZylDorvRangeType(ZylDorvTypeKey::Double), ZylDorvTypeID());
    ExpectIllegalInput([&] { ZylSrvDenseMatrix m(bare); }, "AttachDistribution");

    // An unchunked drawer over an empty column CSet.
    const ZylDorvCSetID noColumns = ZylDorvCollection(columns).CreateCSetStrided(0, 0, 1, 1);
    const DenseSetup empty = MakeOver(ZylDorvCollection(rows).BiggestCSetID(), noColumns, -1, -1);
    ExpectIllegalInput([&] { ZylSrvDenseMatrix m(empty.id); }, "AttachDistribution");
}

TEST_F(DenseGeometry, ExtendingAOneBlockSidePastItsChunkAddsABlock)
{
    const DenseSetup s = Make(30, 4, 100, 2, 0.5, 1);
    FillPattern(s);
    ZylSrvDenseMatrix m(s.id);
    EXPECT_EQ(m.ExtendableDim(), 1);
    ExpectRowGeometry(m, {30});

    EXPECT_EQ(m.ExtendDim(1, 100, nullptr), 0);
    EXPECT_EQ(m.NumberOfRows(), 130);
    ExpectRowGeometry(m, {100, 30});
    ExpectColumnGeometry(m, {2, 2});
    EXPECT_EQ(m.MaxNumberOfRowsInBlock(), 100);
    EXPECT_FALSE(m.RowCSetID().IsTemporary());
    EXPECT_EQ(m.RowCSetID().CollectionID(), s.rows);
    EXPECT_THAT(MembersOf(m.RowCSetID()), ElementsAreArray(Labels(0, 130)));

    // Old values stay, new rows read as the initialization value; the
    // extended matrix reads and writes across the old end.
    const Values all = ReadThrough(m);
    for (int c = 0; c < 4; ++c)
        for (int r = 0; r < 130; ++r)
            ASSERT_EQ(all(r, c), r < 30 ? V(r, c) : 0.5) << r << ", " << c;
    ZylSrvMatrix band(4, 4);
    for (int i = 0; i < 16; ++i)
        band.Values()[i] = -i;
    m.SetValues(28, 31, 0, 3, band);
    const ZylSrvDenseMatrix reopened(s.id);
    EXPECT_EQ(reopened.NumberOfRows(), 130);
    ZylSrvMatrix back(4, 4);
    reopened.GetValues(28, 31, 0, 3, back);
    EXPECT_TRUE(back == band);
}

TEST_F(DenseGeometry, ExtendingColumnsWithGivenMembersAppendsThemInOrder)
{
    const DenseSetup s = Make(5, 10, 2, 4);
    FillPattern(s);
    ZylSrvDenseMatrix m(s.id);
    const int added[] = {12, 10, 11};
    EXPECT_EQ(m.ExtendDim(0, 3, added), 0);
    EXPECT_EQ(m.NumberOfColumns(), 13);
    ExpectColumnGeometry(m, {4, 4, 4, 1});
    std::vector<int> expected = Labels(0, 10);
    expected.insert(expected.end(), {12, 10, 11});
    EXPECT_THAT(MembersOf(m.ColumnCSetID()), ElementsAreArray(expected));
    ExpectRowGeometry(m, {2, 2, 1});
    const Values all = ReadThrough(m);
    EXPECT_EQ(all(4, 9), V(4, 9));
    EXPECT_EQ(all(4, 12), 0.0);
}

TEST_F(DenseGeometry, ExtensionReportsEveryRefusalAndLeavesTheMatrixAlone)
{
    const DenseSetup s = Make(6, 5, 4, 2);
    ZylSrvDenseMatrix m(s.id);
    const auto unchanged = [&] {
        EXPECT_EQ(m.NumberOfRows(), 6);
        EXPECT_EQ(m.NumberOfColumns(), 5);
        EXPECT_EQ(m.RowCSetID(), s.rowCSet);
        EXPECT_EQ(m.ColumnCSetID(), s.columnCSet);
        ExpectRowGeometry(m, {4, 2});
    };

    EXPECT_EQ(m.ExtendDim(2, 3, nullptr), 3);
    EXPECT_EQ(m.ExtendDim(-1, 3, nullptr), 3);
    unchanged();
    EXPECT_EQ(m.ExtendDim(1, 0, nullptr), 2);
    const int none[] = {0};
    EXPECT_EQ(m.ExtendDim(0, 0, none), 2);
    unchanged();
    const int overlapping[] = {7, 3};
    ZylDorvCollection rowCollection(s.rowCSet.CollectionID());
    const int csetsBefore = rowCollection.CSetIDs().Size();
    EXPECT_EQ(m.ExtendDim(1, 2, overlapping), 4);
    unchanged();
    EXPECT_EQ(rowCollection.CSetIDs().Size(), csetsBefore + 1) << "the CSet made before the refusal stays";

    std::unique_ptr<ZylSrvDenseMatrix> view(m.Submatrix(1, 4, 0, 4));
    EXPECT_EQ(view->ExtendDim(1, 2, nullptr), 1);
    EXPECT_EQ(view->ExtendDim(1, 0, nullptr), 1) << "a view is refused before the empty extension";
    EXPECT_EQ(view->NumberOfRows(), 4);

    // The columns of a one-dimensional matrix have no collection to grow.
    const DenseSetup vector = Make1D(5, 2);
    ZylSrvDenseMatrix column(vector.id);
    EXPECT_EQ(column.ExtendDim(0, 2, nullptr), 3);
    EXPECT_EQ(column.NumberOfColumns(), 1);
    // Its rows extend like any other side.
    EXPECT_EQ(column.ExtendDim(1, 2, nullptr), 0);
    EXPECT_EQ(column.NumberOfRows(), 7);
    ExpectRowGeometry(column, {2, 2, 2, 1});
    EXPECT_EQ(m.ExtendableDim(), 0);
}

TEST_F(DenseGeometry, ExtensionOfAnUnchunkedSideKeepsItsBlockSize)
{
    const DenseSetup s = Make(3, 2, -1, -1);
    ZylSrvDenseMatrix m(s.id);
    EXPECT_EQ(m.ExtendDim(1, 4, nullptr), 0);
    ExpectRowGeometry(m, {3, 3, 1});
    ExpectColumnGeometry(m, {2});
}

} // namespace
