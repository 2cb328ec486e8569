#include "DorvTestSupport.h"

namespace {

ZylDorvContextID Reopen(ZylDorvDatabase& db, int flags = ZylDorvDatabase::OpenReadWrite)
{
    db.Close();
    db.OpenFile(ZylDroviUnicodeString("t.dorv"), flags);
    return db.ContextIDs()[0];
}

} // namespace

using TransactionTest = DorvTest;

TEST_F(TransactionTest, WorkOfAnAbandonedTransactionDisappears)
{
    ZylDorvContext context(ctx);
    const ZylDorvCollectionID kept = context.CreateCollection(5, -1);
    const ZylDorvCSetID keptCSet = ZylDorvCollection(kept).BiggestCSetID();
    ZylDorvCollectionID gone;
    ZylDorvDistributionID goneDistribution;
    {
        ZylDorvTransaction transaction(ctx);
        EXPECT_TRUE(transaction.IsActive());
        EXPECT_EQ(transaction.ContextID(), ctx);
        gone = context.CreateCollection(3, -1);
        ZylDorvCollection(kept).CreateCSetStrided(5, 5, 1, 1); // grows `kept` to 10
        EXPECT_EQ(ZylDorvCollection(kept).Count(), 10);
        MatrixSetup m;
        m.rows = kept;
        m.columns = gone;
        goneDistribution = context.CreateDistribution(ZylDorvGrid{gone, kept}, ZylDorvRangeType(), -1);
        ZylDorvTransfer make{ZylDorvDistribution(goneDistribution)};
        make.SetMakeNewDrawerChunked(ZylDorvArray<int>{2, 2});
        make.SetWrite();
        make.SetDim(0, ZylDorvCollection(gone).BiggestCSetID());
        make.SetDim(1, keptCSet);
        make.InitializePersistentDrawer();
        // Created inside: usable before the end of the transaction.
        EXPECT_TRUE(ZylDorvDistribution(goneDistribution).IsValid());
    }
    EXPECT_EQ(ZylDorvCollection(kept).Count(), 5);
    EXPECT_EQ(ZylDorvCollection(kept).CSetIDs().Size(), 1);
    EXPECT_EQ(context.CollectionIDs().Size(), 1);
    EXPECT_EQ(context.DistributionIDs().Size(), 0);
    EXPECT_DORV_ERROR_HAS(ZylDorvCollection{gone}, ZylDorvError_CollectionNotFound, "collection 2 in context 1");

    const ZylDorvContextID again = Reopen(db);
    ZylDorvContext reopened(again);
    EXPECT_EQ(reopened.CollectionIDs().Size(), 1);
    EXPECT_EQ(reopened.DistributionIDs().Size(), 0);
    EXPECT_EQ(ZylDorvCollection(reopened.CollectionIDs()[0]).Count(), 5);
}

TEST_F(TransactionTest, CommittedWorkStaysAndNestedWorkFollowsTheOuterTransaction)
{
    ZylDorvContext context(ctx);
    ZylDorvCollectionID committed, nestedInRolledBack;
    {
        ZylDorvTransaction transaction(ctx);
        committed = context.CreateCollection(2, -1);
        transaction.Commit();
        EXPECT_FALSE(transaction.IsActive());
        EXPECT_DORV_ERROR(transaction.Commit(), ZylDorvError_TransactionNotActive,
                          "ZylDorv error 62: transaction not active: Commit of a transaction on context 1 of \"t.dorv\": "
                          "already committed");
    }
    {
        ZylDorvTransaction outer(ctx);
        {
            ZylDorvTransaction inner(ctx);
            nestedInRolledBack = context.CreateCollection(4, -1);
            inner.Commit();
        }
        EXPECT_EQ(context.CollectionIDs().Size(), 2) << "handed to the outer transaction";
    }
    EXPECT_EQ(context.CollectionIDs().Size(), 1) << "the outer one was abandoned";
    {
        ZylDorvTransaction outer(ctx);
        {
            ZylDorvTransaction inner(ctx);
            context.CreateCollection(6, -1);
        }
        context.CreateCollection(7, -1);
        outer.Commit();
    }
    const ZylDorvArray<ZylDorvCollectionID> ids = context.CollectionIDs();
    ASSERT_EQ(ids.Size(), 2) << "the abandoned inner collection is gone, the outer one stays";
    EXPECT_EQ(ZylDorvCollection(ids[1]).Count(), 7);
}

TEST_F(TransactionTest, ClosingTheDatabaseDiscardsLiveTransactions)
{
    ZylDorvContext context(ctx);
    ZylDorvTransaction transaction(ctx);
    context.CreateCollection(2, -1);
    db.Close();
    EXPECT_FALSE(transaction.IsActive());
    EXPECT_DORV_ERROR(transaction.Commit(), ZylDorvError_TransactionNotActive,
                      "ZylDorv error 62: transaction not active: Commit of a transaction on context 1 of \"t.dorv\": the "
                      "database is closed");
    db.OpenFile(ZylDroviUnicodeString("t.dorv"), ZylDorvDatabase::OpenReadWrite);
    EXPECT_EQ(ZylDorvContext(db.ContextIDs()[0]).CollectionIDs().Size(), 0);
}

TEST_F(TransactionTest, ReopenedDatabaseHasEveryRecordAndValue)
{
    ZylDorvContext context(ctx);
    const int type = context.DefineType("shell");
    ZylDorvCSetID ordered;
    {
        ZylDorvTransaction transaction(ctx);
        const MatrixSetup m = MakeMatrix(ctx, 40, 30, {7, 9}, 0.25);
        std::vector<double> values(40 * 30);
        for (std::size_t i = 0; i < values.size(); ++i)
            values[i] = static_cast<double>(i) * 0.5;
        WriteBlock(m, 0, 39, 0, 29, values);
        const int labels[] = {9, 4, 1};
        ordered = ZylDorvCollection(m.rows).CreateOrderedCSet(labels, 3);
        const ZylDorvCollectionID typed = context.CreateCollection(3, context.Schema().TypeID(type));
        context.CreateDistribution(ZylDorvGrid{typed}, ZylDorvRangeType(ZylDorvTypeKey::Int32), context.Schema().TypeID(type));
        transaction.Commit();
    }
    const ZylDorvContextID again = Reopen(db, ZylDorvDatabase::OpenReadOnly);
    ZylDorvContext reopened(again);
    EXPECT_EQ(reopened.Schema().NumTypes(), 1);
    const ZylDorvArray<ZylDorvDistributionID> ids = reopened.DistributionIDs();
    ASSERT_EQ(ids.Size(), 2);
    ZylDorvDistribution matrix(ids[0]);
    ZylDorvArray<ZylDorvPersistentDrawerDesc> drawers;
    matrix.QueryDrawers(drawers);
    ASSERT_EQ(drawers.Size(), 1);
    EXPECT_EQ(drawers[0].DimSize(1), 40);
    EXPECT_EQ(drawers[0].ChunkSize(0), 7);
    EXPECT_EQ(drawers[0].ChunkSize(1), 9);
    EXPECT_EQ(drawers[0].InitializationValue().AsDouble(), 0.25);
    MatrixSetup m;
    m.distribution = matrix;
    m.columns = drawers[0].DimCSetID(0).CollectionID();
    m.rows = drawers[0].DimCSetID(1).CollectionID();
    const std::vector<double> block = ReadBlock(m, 10, 12, 20, 21);
    EXPECT_EQ(block, (std::vector<double>{(10 + 40 * 20) * 0.5, (11 + 40 * 20) * 0.5, (12 + 40 * 20) * 0.5,
                                          (10 + 40 * 21) * 0.5, (11 + 40 * 21) * 0.5, (12 + 40 * 21) * 0.5}));
    const ZylDorvArray<ZylDorvCSetID> csets = ZylDorvCollection(m.rows).CSetIDs();
    ASSERT_EQ(csets.Size(), 2);
    ZylDorvCSet back(csets[1]);
    std::vector<int> labels(3);
    back.OrderedMembers(labels.data());
    EXPECT_EQ(labels, (std::vector<int>{9, 4, 1}));
    EXPECT_EQ(csets[1].Number(), ordered.Number());
    ZylDorvDistribution typedDistribution(ids[1]);
    EXPECT_EQ(typedDistribution.TypeID().Value(), type);
    EXPECT_EQ(typedDistribution.RangeType().Key(), ZylDorvTypeKey::Int32);
    EXPECT_EQ(typedDistribution.AxisCollectionID(0).Type(), type);
}

TEST_F(TransactionTest, ReadOnlyDatabaseRefusesCreationAndFailsValueWrites)
{
    const MatrixSetup made = MakeMatrix(ctx, 4, 4, {2, 2});
    WriteBlock(made, 0, 0, 0, 0, {1.0});
    const ZylDorvContextID again = Reopen(db, ZylDorvDatabase::OpenReadOnly);
    EXPECT_DORV_ERROR(ZylDorvContext(again).CreateCollection(1, -1), ZylDorvError_ReadOnlyDatabase,
                      "ZylDorv error 63: database is read-only: CreateCollection of \"t.dorv\": opened read-only");
    EXPECT_DORV_ERROR_HAS(db.CreateContext(ZylDorvNamespaceID()), ZylDorvError_ReadOnlyDatabase, "CreateContext");
    MatrixSetup m;
    m.distribution = ZylDorvDistribution(ZylDorvContext(again).DistributionIDs()[0]);
    ZylDorvArray<ZylDorvPersistentDrawerDesc> drawers;
    m.distribution.QueryDrawers(drawers);
    m.columns = drawers[0].DimCSetID(0).CollectionID();
    m.rows = drawers[0].DimCSetID(1).CollectionID();
    EXPECT_EQ(ReadBlock(m, 0, 1, 0, 0), (std::vector<double>{1.0, 0.0}));
    // A real failure inside HDF5: the file has no write intent.
    EXPECT_DORV_ERROR_HAS(WriteBlock(m, 0, 1, 0, 1, {1, 2, 3, 4}), ZylDorvError_ValueWriteFailed,
                          "ZylDorv error 70: writing values failed: ExecWrite of distribution 1 in context 1 of \"t.dorv\", "
                          "drawer 0: ");
    EXPECT_EQ(ReadBlock(m, 0, 1, 0, 0), (std::vector<double>{1.0, 0.0}));
}
