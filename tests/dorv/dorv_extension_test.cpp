#include "DorvTestSupport.h"

namespace {

std::vector<int> Members(ZylDorvCSetID id)
{
    ZylDorvCSet cset(id);
    std::vector<int> out(static_cast<std::size_t>(cset.Size()));
    cset.OrderedMembers(out.data());
    return out;
}

ZylDorvPersistentDrawerDesc Drawer0(const ZylDorvDistribution& d)
{
    ZylDorvArray<ZylDorvPersistentDrawerDesc> drawers;
    d.QueryDrawers(drawers);
    return drawers[0];
}

void Extend(const MatrixSetup& m, ZylDorvCSetID added)
{
    ZylDorvTransfer t = Prepared(m.distribution);
    t.SetDimExtension(added);
    t.CheckView();
    t.InitializeExtension();
    t.RelinquishBuffers();
}

} // namespace

using ExtensionTest = DorvTest;

TEST_F(ExtensionTest, RowsGrowPastAOneBlockSideAndReadAsTheInitializationValue)
{
    // 30 rows in blocks of 100, 4 columns; add 100 rows.
    const MatrixSetup m = MakeMatrix(ctx, 30, 4, {4, 100}, 0.5);
    std::vector<double> values(120);
    for (int i = 0; i < 120; ++i)
        values[static_cast<std::size_t>(i)] = i;
    WriteBlock(m, 0, 29, 0, 3, values);
    const ZylDorvCSetID added = ZylDorvCollection(m.rows).CreateCSetStrided(30, 100, 1, 1);
    EXPECT_EQ(ZylDorvCollection(m.rows).Count(), 130);
    Extend(m, added);

    const ZylDorvPersistentDrawerDesc d = Drawer0(m.distribution);
    EXPECT_EQ(d.DimSize(1), 130);
    EXPECT_EQ(d.DimSize(0), 4);
    EXPECT_EQ(d.ChunkSize(1), 100) << "the block geometry stays";
    EXPECT_NE(d.DimCSetID(1), m.rowCSet) << "the rows now have a CSet of old and new members";
    std::vector<int> expected(130);
    std::iota(expected.begin(), expected.end(), 0);
    EXPECT_EQ(Members(d.DimCSetID(1)), expected);

    EXPECT_EQ(ReadBlock(m, 0, 29, 0, 3), values) << "old values stay";
    EXPECT_EQ(ReadBlock(m, 30, 129, 0, 3), std::vector<double>(400, 0.5));
    WriteBlock(m, 129, 129, 3, 3, {9.0});
    EXPECT_EQ(ReadBlock(m, 128, 129, 3, 3), (std::vector<double>{0.5, 9.0}));
}

TEST_F(ExtensionTest, ColumnsGrowByAnOrderedCSetOfNewLabels)
{
    const MatrixSetup m = MakeMatrix(ctx, 3, 2, {}, 0.0);
    WriteBlock(m, 0, 2, 0, 1, {1, 2, 3, 4, 5, 6});
    const int labels[] = {7, 5};
    const ZylDorvCSetID added = ZylDorvCollection(m.columns).CreateOrderedCSet(labels, 2);
    Extend(m, added);
    const ZylDorvPersistentDrawerDesc d = Drawer0(m.distribution);
    EXPECT_EQ(d.DimSize(0), 4);
    EXPECT_FALSE(d.IsChunked());
    EXPECT_EQ(Members(d.DimCSetID(0)), (std::vector<int>{0, 1, 7, 5}));
    EXPECT_EQ(ReadBlock(m, 0, 2, 0, 3), (std::vector<double>{1, 2, 3, 4, 5, 6, 0, 0, 0, 0, 0, 0}));
    WriteBlock(m, 0, 2, 3, 3, {7, 8, 9});
    EXPECT_EQ(ReadBlock(m, 1, 1, 0, 3), (std::vector<double>{2, 5, 0, 8}));
}

TEST_F(ExtensionTest, ExtensionAfterPartialEdgeChunksKeepsTheInitializationValue)
{
    // 5 rows in chunks of 4: the edge chunk was written whole, its part past
    // the old extent must still read as the initialization value.
    const MatrixSetup m = MakeMatrix(ctx, 5, 3, {3, 4}, -2.0);
    WriteBlock(m, 0, 4, 0, 2, std::vector<double>(15, 1.0));
    Extend(m, ZylDorvCollection(m.rows).CreateCSetStrided(5, 6, 1, 1));
    std::vector<double> expected;
    for (int c = 0; c < 3; ++c)
        for (int r = 0; r < 11; ++r)
            expected.push_back(r < 5 ? 1.0 : -2.0);
    EXPECT_EQ(ReadBlock(m, 0, 10, 0, 2), expected);
}

TEST_F(ExtensionTest, RefusesEmptyForeignAndOverlappingExtensions)
{
    const MatrixSetup m = MakeMatrix(ctx, 4, 4, {2, 2});
    const ZylDorvCollectionID other = ZylDorvContext(ctx).CreateCollection(3, -1);
    EXPECT_DORV_ERROR(Extend(m, ZylDorvCollection(m.rows).CreateCSetStrided(4, 0, 1, 1)), ZylDorvError_ExtensionInvalid,
                      "ZylDorv error 56: extension invalid: InitializeExtension of distribution 1 in context 1 of "
                      "\"t.dorv\", drawer 0: the extension CSet is empty");
    EXPECT_DORV_ERROR(Extend(m, ZylDorvCollection(other).BiggestCSetID()), ZylDorvError_ExtensionInvalid,
                      "ZylDorv error 56: extension invalid: InitializeExtension of distribution 1 in context 1 of "
                      "\"t.dorv\", drawer 0: no dimension is collection 3");
    EXPECT_DORV_ERROR(Extend(m, ZylDorvCollection(m.rows).CreateCSetStrided(3, 2, 1, 1)), ZylDorvError_ExtensionInvalid,
                      "ZylDorv error 56: extension invalid: InitializeExtension of distribution 1 in context 1 of "
                      "\"t.dorv\", drawer 0: the extension CSet shares members with dimension 1");
    EXPECT_EQ(Drawer0(m.distribution).DimSize(1), 4) << "refused extensions change nothing";

    ZylDorvTransfer noExtension = Prepared(m.distribution);
    EXPECT_DORV_ERROR(noExtension.InitializeExtension(), ZylDorvError_TransferModeMissing,
                      "ZylDorv error 51: transfer mode missing: InitializeExtension: no extension is set (SetDimExtension)");
    ZylDorvTransfer readOnly(m.distribution);
    readOnly.SetRead();
    readOnly.SetDimExtension(ZylDorvCollection(m.rows).CreateCSetStrided(4, 1, 1, 1));
    EXPECT_DORV_ERROR_HAS(readOnly.InitializeExtension(), ZylDorvError_TransferModeMissing, "not set for writing");
}

TEST_F(ExtensionTest, ExtensionInsideATransactionIsUndoneWithIt)
{
    const MatrixSetup m = MakeMatrix(ctx, 6, 2, {2, 3}, 1.0);
    WriteBlock(m, 0, 5, 0, 1, std::vector<double>(12, 4.0));
    {
        ZylDorvTransaction transaction(ctx);
        Extend(m, ZylDorvCollection(m.rows).CreateCSetStrided(6, 3, 1, 1));
        EXPECT_EQ(Drawer0(m.distribution).DimSize(1), 9);
    }
    const ZylDorvPersistentDrawerDesc d = Drawer0(m.distribution);
    EXPECT_EQ(d.DimSize(1), 6);
    EXPECT_EQ(d.DimCSetID(1), m.rowCSet);
    EXPECT_EQ(ZylDorvCollection(m.rows).Count(), 6) << "the strided CSet and the growth went too";
    EXPECT_EQ(ReadBlock(m, 0, 5, 0, 1), std::vector<double>(12, 4.0));
    // Extending again after the rollback starts from the old size.
    Extend(m, ZylDorvCollection(m.rows).CreateCSetStrided(6, 1, 1, 1));
    EXPECT_EQ(ReadBlock(m, 6, 6, 0, 1), (std::vector<double>{1.0, 1.0}));
}
