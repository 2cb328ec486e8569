// Transactions (undo of abandoned work, nesting, commit), and a database
// reopened read-write or read-only with every record and value.
#include "support/DatabaseTest.h"
#include "support/FamilyError.h"

#include <tuple>

using zyltest::MatrixSetup;
using zyltest::RefMatrix;

class TransactionTest : public zyltest::DatabaseTest {
protected:
    ZylDorvContext Reopen(int flags = ZylDorvDatabase::OpenReadWrite)
    {
        db.Close(), db.OpenFile(ZylDroviUnicodeString(kPath), flags);
        return ZylDorvContext(ctx = db.ContextIDs()[0]);
    }
    // The first distribution of the context as a matrix, as its drawer describes it.
    MatrixSetup Reopened() const
    {
        MatrixSetup m;
        m.id = Context().DistributionIDs()[0];
        ZylDorvArray<ZylDorvPersistentDrawerDesc> drawers;
        m.Distribution().QueryDrawers(drawers);
        m.columnCSet = drawers[0].DimCSetID(0), m.rowCSet = drawers[0].DimCSetID(1), m.columns = m.columnCSet.CollectionID(), m.rows = m.rowCSet.CollectionID();
        m.numColumns = drawers[0].DimSize(0), m.numRows = drawers[0].DimSize(1);
        return m;
    }
    std::tuple<int, int, int> Sizes(ZylDorvCollectionID c) const
    {
        return {Context().CollectionIDs().Size(), Context().DistributionIDs().Size(), ZylDorvCollection(c).Count()};
    }
};

TEST_F(TransactionTest, WorkOfAnAbandonedTransactionDisappears)
{
    const ZylDorvCollectionID kept = NewCollection(5);
    const ZylDorvCSetID keptCSet = AllOf(kept);
    const RefMatrix values = FillRandom(MakeMatrixOver(keptCSet, AllOf(NewCollection(2)), 2, 2), 5);
    ZylDorvCollectionID gone;
    {
        ZylDorvTransaction transaction(ctx);
        EXPECT_TRUE(transaction.IsActive() && transaction.ContextID() == ctx);
        gone = NewCollection(3);
        ZylDorvCollection(kept).CreateCSetStrided(5, 5, 1, 1);
        EXPECT_EQ(ZylDorvCollection(kept).Count(), 10);
        FillRandom(MakeMatrixOver(keptCSet, AllOf(gone), 2, 2), 6); // usable before the end of the transaction
    }
    EXPECT_EQ(Sizes(kept), std::make_tuple(2, 1, 5));
    EXPECT_EQ(ZylDorvCollection(kept).CSetIDs().Size(), 1);
    EXPECT_DORV_ERROR(ZylDorvCollection{gone}, ZylDorvError_CollectionNotFound, "collection 3 in context 1");
    EXPECT_EQ(RawRead(Reopened()).v, values.v);
    Reopen();
    EXPECT_EQ(Sizes(Context().CollectionIDs()[0]), std::make_tuple(2, 1, 5));
    EXPECT_EQ(RawRead(Reopened()).v, values.v);
}

TEST_F(TransactionTest, CommittedWorkStaysAndNestedWorkFollowsTheOuterTransaction)
{
    ZylDorvContext context = Context();
    ZylDorvTransaction committed(ctx);
    NewCollection(2);
    committed.Commit();
    EXPECT_FALSE(committed.IsActive());
    EXPECT_DORV_ERROR(committed.Commit(), ZylDorvError_TransactionNotActive, "transaction not active: Commit of a transaction on context 1 of \"test.dorv\": already committed");
    {
        ZylDorvTransaction outer(ctx);
        { ZylDorvTransaction inner(ctx); NewCollection(4); inner.Commit(); }
        EXPECT_EQ(context.CollectionIDs().Size(), 2) << "handed to the outer transaction";
    }
    EXPECT_EQ(context.CollectionIDs().Size(), 1) << "the outer one was abandoned";
    {
        ZylDorvTransaction outer(ctx);
        { ZylDorvTransaction inner(ctx); NewCollection(6); }
        NewCollection(7);
        outer.Commit();
    }
    const ZylDorvArray<ZylDorvCollectionID> ids = context.CollectionIDs();
    ASSERT_EQ(ids.Size(), 2) << "the abandoned inner collection is gone, the outer one stays";
    EXPECT_EQ(ZylDorvCollection(ids[1]).Count(), 7);
    // Closing the database discards live transactions.
    ZylDorvTransaction live(ctx);
    NewCollection(2), db.Close();
    EXPECT_FALSE(live.IsActive());
    EXPECT_DORV_ERROR(live.Commit(), ZylDorvError_TransactionNotActive, "the database is closed");
    db.OpenFile(ZylDroviUnicodeString(kPath), ZylDorvDatabase::OpenReadWrite);
    EXPECT_EQ(ZylDorvContext(db.ContextIDs()[0]).CollectionIDs().Size(), 2);
}

TEST_F(TransactionTest, ReopenedDatabaseHasEveryRecordAndValue)
{
    ZylDorvContext context = Context();
    const int type = context.DefineType("shell");
    const int labels[] = {9, 4, 1};
    ZylDorvCSetID ordered;
    RefMatrix values;
    {
        ZylDorvTransaction transaction(ctx);
        const MatrixSetup m = MakeMatrix(40, 30, 9, 7, 0.25);
        values = FillRandom(m, 11);
        ordered = ZylDorvCollection(m.rows).CreateOrderedCSet(labels, 3);
        const ZylDorvCollectionID typed = context.CreateCollection(3, context.Schema().TypeID(type));
        context.CreateDistribution(ZylDorvGrid{typed}, ZylDorvRangeType(ZylDorvTypeKey::Int32), context.Schema().TypeID(type));
        transaction.Commit();
    }
    ZylDorvContext reopened = Reopen(ZylDorvDatabase::OpenReadOnly);
    EXPECT_EQ(reopened.Schema().NumTypes(), 1);
    const ZylDorvArray<ZylDorvDistributionID> ids = reopened.DistributionIDs();
    ASSERT_EQ(ids.Size(), 2);
    const MatrixSetup m = Reopened();
    ZylDorvArray<ZylDorvPersistentDrawerDesc> drawers;
    m.Distribution().QueryDrawers(drawers);
    EXPECT_EQ(std::make_tuple(m.numRows, drawers[0].ChunkSize(0), drawers[0].ChunkSize(1), drawers[0].InitializationValue().AsDouble()),
              std::make_tuple(40, 7, 9, 0.25));
    EXPECT_EQ(RawRead(m, 10, 12, 20, 21).v, values.Block(10, 12, 20, 21).v);
    const ZylDorvArray<ZylDorvCSetID> csets = ZylDorvCollection(m.rows).CSetIDs();
    ASSERT_EQ(csets.Size(), 2);
    EXPECT_EQ(zyltest::MembersOf(csets[1]), (std::vector<int>{9, 4, 1}));
    EXPECT_EQ(csets[1].Number(), ordered.Number());
    ZylDorvDistribution typed(ids[1]);
    EXPECT_EQ(std::make_tuple(typed.TypeID().Value(), typed.RangeType().Key(), typed.AxisCollectionID(0).Type()),
              std::make_tuple(type, ZylDorvTypeKey::Int32, type));
    // Read-only: creation is refused, and a value write fails inside HDF5.
    EXPECT_DORV_ERROR(reopened.CreateCollection(1, -1), ZylDorvError_ReadOnlyDatabase, "database is read-only: CreateCollection of \"test.dorv\": opened read-only");
    EXPECT_DORV_ERROR(db.CreateContext(ZylDorvNamespaceID()), ZylDorvError_ReadOnlyDatabase, "CreateContext");
    EXPECT_DORV_ERROR(ZylDorvCollection(m.rows).CreateColorVariant(1), ZylDorvError_ReadOnlyDatabase, "CreateColorVariant");
    const double four[] = {1, 2, 3, 4};
    EXPECT_DORV_ERROR(RawWrite(m, 0, 1, 0, 1, four), ZylDorvError_ValueWriteFailed, "ExecWrite of distribution 1 in context 1 of \"test.dorv\", drawer 0: ");
    EXPECT_EQ(RawRead(m).v, values.v);
}
