// Transactions (undo of abandoned work, nesting, commit), and a database
// reopened read-only with every committed record and value.
#include "support/DatabaseTest.h"
#include "support/FamilyError.h"

#include <tuple>

using zyltest::MatrixSetup;
using zyltest::RefMatrix;
using TransactionTest = zyltest::DatabaseTest;

TEST_F(TransactionTest, AbandonedWorkDisappearsAndTheReopenedDatabaseHasEveryCommittedRecordAndValue)
{
    ZylDorvContext context = Context();
    const int type = context.DefineType("shell"), labels[] = {9, 4, 1};
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
    auto sizes = [&](ZylDorvCollectionID c) {
        return std::make_tuple(Context().CollectionIDs().Size(), Context().DistributionIDs().Size(), ZylDorvCollection(c).Count(), ZylDorvCollection(c).CSetIDs().Size());
    };
    MatrixSetup m = zyltest::MatrixSetupOf(Context().DistributionIDs()[0]);
    ZylDorvCollectionID gone;
    {
        ZylDorvTransaction transaction(ctx);
        gone = NewCollection(3);
        ZylDorvCollection(m.rows).CreateCSetStrided(40, 5, 1, 1);
        EXPECT_EQ(ZylDorvCollection(m.rows).Count(), 45);
        FillRandom(MakeMatrixOver(m.rowCSet, AllOf(gone), 2, 2), 6); // usable before the end of the transaction
    }
    EXPECT_EQ(sizes(m.rows), std::make_tuple(3, 2, 40, 2));
    EXPECT_DORV_ERROR(ZylDorvCollection{gone}, ZylDorvError_CollectionNotFound, "collection 4 in context 1");

    db.Close();
    db.OpenFile(ZylDroviUnicodeString(kPath), ZylDorvDatabase::OpenReadOnly);
    ZylDorvContext again(ctx = db.ContextIDs()[0]);
    m = zyltest::MatrixSetupOf(Context().DistributionIDs()[0]);
    EXPECT_EQ(sizes(m.rows), std::make_tuple(3, 2, 40, 2));
    EXPECT_EQ(again.Schema().NumTypes(), 1);
    const ZylDorvArray<ZylDorvPersistentDrawerDesc> drawers = zyltest::DrawersOf(m.id);
    EXPECT_EQ(std::make_tuple(m.numRows, drawers[0].ChunkSize(0), drawers[0].ChunkSize(1), drawers[0].InitializationValue().AsDouble()), std::make_tuple(40, 7, 9, 0.25));
    EXPECT_EQ(RawRead(m, 10, 12, 20, 21).v, values.Block(10, 12, 20, 21).v);
    const ZylDorvCSetID reread = ZylDorvCollection(m.rows).CSetIDs()[1];
    EXPECT_EQ(zyltest::MembersOf(reread), (std::vector<int>{9, 4, 1}));
    EXPECT_EQ(reread.Number(), ordered.Number());
    ZylDorvDistribution typed(again.DistributionIDs()[1]);
    EXPECT_EQ(std::make_tuple(typed.TypeID().Value(), typed.RangeType().Key(), typed.AxisCollectionID(0).Type()), std::make_tuple(type, ZylDorvTypeKey::Int32, type));
    // Read-only: creation is refused, and a value write fails inside HDF5.
    EXPECT_DORV_ERROR(again.CreateCollection(1, -1), ZylDorvError_ReadOnlyDatabase, "database is read-only: CreateCollection of \"test.dorv\": opened read-only");
    EXPECT_DORV_ERROR(db.CreateContext(ZylDorvNamespaceID()), ZylDorvError_ReadOnlyDatabase, "CreateContext");
    EXPECT_DORV_ERROR(ZylDorvCollection(m.rows).CreateColorVariant(1), ZylDorvError_ReadOnlyDatabase, "CreateColorVariant");
    const double four[] = {1, 2, 3, 4};
    EXPECT_DORV_ERROR(RawWrite(m, 0, 1, 0, 1, four), ZylDorvError_ValueWriteFailed, "ExecWrite of distribution 1 in context 1 of \"test.dorv\", drawer 0: ");
    EXPECT_EQ(RawRead(m).v, values.v);
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
    NewCollection(2);
    db.Close();
    EXPECT_FALSE(live.IsActive());
    EXPECT_DORV_ERROR(live.Commit(), ZylDorvError_TransactionNotActive, "the database is closed");
    db.OpenFile(ZylDroviUnicodeString(kPath), ZylDorvDatabase::OpenReadWrite);
    EXPECT_EQ(ZylDorvContext(db.ContextIDs()[0]).CollectionIDs().Size(), 2);
    EXPECT_EQ(db.CreateContext(ZylDorvNamespaceID()).Number(), 2) << "the reopened file numbers on";
}

TEST_F(TransactionTest, AnAbandonedDrawerGivesItsIndexBackAndFailedUndoStepsAreSkipped)
{
    const ZylDorvCollectionID rows = NewCollection(3);
    const ZylDorvDistributionID id = Context().CreateDistribution(ZylDorvGrid{rows}, ZylDorvRangeType(), -1);
    auto make = [&] { ZylDorvTransfer t{ZylDorvDistribution(id)}; t.SetMakeNewDrawer(), t.SetWrite(), t.SetDim(0, AllOf(rows)), t.InitializePersistentDrawer(); };
    { ZylDorvTransaction abandoned(ctx); make(); make(); }
    make();
    EXPECT_EQ(std::make_pair(zyltest::DrawersOf(id).Size(), zyltest::ReadValues<double>(id, 3)), std::make_pair(1, std::vector<double>(3, 0.0))) << "drawer 0, the default one";
    // An undo step that fails (here the allocator, in the first step that
    // rewrites a record) is skipped and counted; the others still run.
    const long failed = ZylDorvTestSeam::FailedUndoStepsSoFar();
    {
        ZylDorvTransaction abandoned(ctx);
        ZylDorvCollection(rows).CreateCSetStrided(3, 2, 1, 1);
        NewCollection(1);
        ZylDorvTestSeam::FailRecordWrites(1, 0);
    }
    EXPECT_EQ(std::make_tuple(ZylDorvTestSeam::FailedUndoStepsSoFar() - failed, Context().CollectionIDs().Size(), ZylDorvCollection(rows).Count()), std::make_tuple(1, 1, 3));
}
