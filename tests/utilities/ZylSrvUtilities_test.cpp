#include "DatabaseFixture.h"

#include <mtx/ZylSrvUtilities.h>
#include <platform/ZylBasException.h>

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

namespace {

// Runs `action`, which must raise ZylSrvMtxIllegalInput for `operation`.
template <typename Action>
void ExpectIllegalInput(Action action, const std::string& operation)
{
    try {
        action();
        ADD_FAILURE() << "no error raised for " << operation;
    } catch (const ZylBasException& e) {
        EXPECT_EQ(e.ErrorCode(), 206);
        EXPECT_STREQ(e.AsString().Chars(), ("ZylSrvMatrix::" + operation + " - Illegal input.").c_str());
        EXPECT_STREQ(e.File(), "mtx/impl/ZylSrvUtilities");
        EXPECT_GT(e.Line(), 0);
    }
}

std::vector<double> Zeros(std::size_t n) { return std::vector<double>(n, 0.0); }

} // namespace

// ---- LimitChunkSize2GB --------------------------------------------------

TEST(ZylSrvUtilitiesLimitChunkSize2GB, BoundsEachChunkByTheOtherSide)
{
    int rowChunk = 1000, columnChunk = 1000;
    ZylSrvUtilities::LimitChunkSize2GB(rowChunk, columnChunk, 100000, 1000000);
    EXPECT_EQ(rowChunk, 268);     // 268435456 / 1000000
    EXPECT_EQ(columnChunk, 1000); // 268435456 / 100000 = 2684 is above 1000

    rowChunk = INT_MAX;
    columnChunk = INT_MAX;
    ZylSrvUtilities::LimitChunkSize2GB(rowChunk, columnChunk, 3, 1);
    EXPECT_EQ(rowChunk, 268435456);
    EXPECT_EQ(columnChunk, 268435456 / 3);
    // The bound holds: rowChunk rows across all columns fit in 2^28 values.
    EXPECT_LE(static_cast<long long>(rowChunk) * 1, 268435456LL);
    EXPECT_LE(static_cast<long long>(columnChunk) * 3, 268435456LL);
}

TEST(ZylSrvUtilitiesLimitChunkSize2GB, NeverRaisesAChunkAndKeepsWholeSides)
{
    const int sizes[][2] = {{1, 1}, {7, 3}, {100000, 1000000}, {INT_MAX, INT_MAX}, {268435456, 1}};
    for (const auto& size : sizes) {
        int rowChunk = 10, columnChunk = -1;
        const int expectedRow = std::min(10, 268435456 / size[1]);
        ZylSrvUtilities::LimitChunkSize2GB(rowChunk, columnChunk, size[0], size[1]);
        EXPECT_EQ(rowChunk, expectedRow) << size[0] << " x " << size[1];
        EXPECT_LE(rowChunk, 10);
        EXPECT_EQ(columnChunk, -1);

        rowChunk = -1;
        columnChunk = 10;
        ZylSrvUtilities::LimitChunkSize2GB(rowChunk, columnChunk, size[0], size[1]);
        EXPECT_EQ(rowChunk, -1);
        EXPECT_LE(columnChunk, 10);
    }
    // Sides so large that the bound is 0 do lower a chunk to 0.
    int rowChunk = 10, columnChunk = 10;
    ZylSrvUtilities::LimitChunkSize2GB(rowChunk, columnChunk, INT_MAX, INT_MAX);
    EXPECT_EQ(rowChunk, 0);
    EXPECT_EQ(columnChunk, 0);
}

TEST(ZylSrvUtilitiesLimitChunkSize2GB, RefusesAnEmptySideAndLeavesTheChunksAlone)
{
    const int sides[][2] = {{0, 5}, {5, 0}, {0, 0}, {-1, 5}, {5, INT_MIN}};
    for (const auto& side : sides) {
        int rowChunk = 33, columnChunk = -1;
        ExpectIllegalInput([&] { ZylSrvUtilities::LimitChunkSize2GB(rowChunk, columnChunk, side[0], side[1]); },
                           "LimitChunkSize2GB");
        EXPECT_EQ(rowChunk, 33);
        EXPECT_EQ(columnChunk, -1);
    }
}

// ---- Create1DDistribution -----------------------------------------------

TEST_F(UtilitiesDatabaseTest, Create1DDistributionMakesOneZeroFilledAxis)
{
    const ZylDorvCollectionID collection = NewCollection(20);
    const ZylDorvCSetID cset = RunOf(collection, 3, 15);

    const ZylDorvDistributionID chunked = ZylSrvUtilities::Create1DDistribution(cset, 4);
    ASSERT_TRUE(chunked.IsValid());
    ZylDorvDistribution distribution(chunked);
    EXPECT_EQ(distribution.NumDimensions(), 1);
    EXPECT_EQ(distribution.AxisCollectionID(0), collection);
    EXPECT_EQ(distribution.RangeType(), ZylDorvRangeType(ZylDorvTypeKey::Double));
    EXPECT_TRUE(distribution.TypeID().IsNull());
    const ZylDorvPersistentDrawerDesc drawer = OnlyDrawer(chunked);
    EXPECT_EQ(drawer.DimCSetID(0), cset);
    EXPECT_EQ(drawer.DimSize(0), 15);
    EXPECT_EQ(ChunksOf(drawer), (std::vector<int>{4}));
    EXPECT_EQ(drawer.InitializationValue().Key(), ZylDorvTypeKey::Double);
    EXPECT_EQ(drawer.InitializationValue().AsDouble(), 0.0);
    EXPECT_EQ(ReadAll<double>(chunked), Zeros(15));

    const ZylDorvDistributionID whole = ZylSrvUtilities::Create1DDistribution(cset, -1);
    EXPECT_FALSE(OnlyDrawer(whole).IsChunked());
    EXPECT_EQ(ReadAll<double>(whole), Zeros(15));
    EXPECT_NE(whole, chunked);
    EXPECT_EQ(NumPermanentDistributions(), 2);
}

TEST_F(UtilitiesDatabaseTest, Create1DDistributionInATransactionBelongsToIt)
{
    const ZylDorvCollectionID collection = NewCollection(12);
    const ZylDorvCSetID cset = AllOf(collection);
    const int typeIndex = Context().DefineType("vector");
    const ZylSrvPosition position(ContextID());

    ZylDorvDistributionID untyped, typed;
    {
        ZylDorvTransaction transaction(ContextID());
        untyped = ZylSrvUtilities::Create1DDistribution(transaction, position, -1, cset, 5);
        typed = ZylSrvUtilities::Create1DDistribution(transaction, position, typeIndex, cset, -1);
        transaction.Commit();
    }
    EXPECT_TRUE(ZylDorvDistribution(untyped).TypeID().IsNull());
    EXPECT_EQ(ChunksOf(OnlyDrawer(untyped)), (std::vector<int>{5}));
    EXPECT_EQ(ReadAll<double>(untyped), Zeros(12));
    EXPECT_EQ(ZylDorvDistribution(typed).TypeID(), Context().Schema().TypeID(typeIndex));
    EXPECT_FALSE(OnlyDrawer(typed).IsChunked());
    EXPECT_EQ(ReadAll<double>(typed), Zeros(12));

    // Not committed: gone with the transaction.
    ZylDorvDistributionID abandoned;
    {
        ZylDorvTransaction transaction(ContextID());
        abandoned = ZylSrvUtilities::Create1DDistribution(transaction, position, -1, cset, 5);
        EXPECT_TRUE(ZylDorvDistribution(abandoned).IsValid());
    }
    EXPECT_EQ(NumPermanentDistributions(), 2);
    try {
        ZylDorvDistribution gone(abandoned);
        ADD_FAILURE() << "abandoned distribution still opens";
    } catch (const ZylDorvException& e) {
        EXPECT_EQ(e.Number(), ZylDorvError_DistributionNotFound);
    }
}

// ---- Create2DDistribution -----------------------------------------------

TEST_F(UtilitiesDatabaseTest, Create2DDistributionPutsColumnsOnAxisZero)
{
    const ZylDorvCollectionID rows = NewCollection(30);
    const ZylDorvCollectionID columns = NewCollection(60);
    const ZylDorvCSetID rowCSet = AllOf(rows);
    const ZylDorvCSetID columnCSet = RunOf(columns, 0, 60);

    const ZylDorvDistributionID id = ZylSrvUtilities::Create2DDistribution(rowCSet, columnCSet, 7, 9);
    ZylDorvDistribution distribution(id);
    ASSERT_EQ(distribution.NumDimensions(), 2);
    EXPECT_EQ(distribution.AxisCollectionID(0), columns);
    EXPECT_EQ(distribution.AxisCollectionID(1), rows);
    EXPECT_EQ(distribution.RangeType(), ZylDorvRangeType(ZylDorvTypeKey::Double));
    const ZylDorvPersistentDrawerDesc drawer = OnlyDrawer(id);
    EXPECT_EQ(drawer.DimCSetID(0), columnCSet);
    EXPECT_EQ(drawer.DimCSetID(1), rowCSet);
    EXPECT_EQ(drawer.DimSize(0), 60);
    EXPECT_EQ(drawer.DimSize(1), 30);
    EXPECT_EQ(ChunksOf(drawer), (std::vector<int>{9, 7}));
    EXPECT_EQ(ReadAll<double>(id), Zeros(30 * 60));
}

TEST_F(UtilitiesDatabaseTest, Create2DDistributionReplacesWholeSideChunksBySizes)
{
    const ZylDorvCSetID rowCSet = AllOf(NewCollection(30));
    const ZylDorvCSetID columnCSet = AllOf(NewCollection(60));

    const ZylDorvDistributionID unchunked = ZylSrvUtilities::Create2DDistribution(rowCSet, columnCSet, -1, -1);
    EXPECT_FALSE(OnlyDrawer(unchunked).IsChunked());
    EXPECT_EQ(ReadAll<double>(unchunked), Zeros(30 * 60));

    const ZylDorvDistributionID wholeRows = ZylSrvUtilities::Create2DDistribution(rowCSet, columnCSet, -1, 50);
    EXPECT_EQ(ChunksOf(OnlyDrawer(wholeRows)), (std::vector<int>{50, 30}));

    const ZylDorvDistributionID wholeColumns = ZylSrvUtilities::Create2DDistribution(rowCSet, columnCSet, 6, -1);
    EXPECT_EQ(ChunksOf(OnlyDrawer(wholeColumns)), (std::vector<int>{60, 6}));
    EXPECT_EQ(ReadAll<double>(wholeColumns), Zeros(30 * 60));

    // Other chunks are the database's to judge.
    try {
        ZylSrvUtilities::Create2DDistribution(rowCSet, columnCSet, 0, 5);
        ADD_FAILURE() << "chunk 0 accepted";
    } catch (const ZylDorvException& e) {
        EXPECT_EQ(e.Number(), ZylDorvError_InvalidChunking);
    }
}

TEST_F(UtilitiesDatabaseTest, Create2DDistributionInATransactionKeepsOnlyChunksThatSplitASide)
{
    const ZylDorvCollectionID rows = NewCollection(30);
    const ZylDorvCollectionID columns = NewCollection(20);
    const ZylDorvCSetID rowCSet = AllOf(rows);
    const ZylDorvCSetID columnCSet = AllOf(columns);
    const ZylSrvPosition position(ContextID());
    const int typeIndex = Context().DefineType("matrix");

    ZylDorvTransaction transaction(ContextID());
    // A chunk equal to its side's size counts as the whole side.
    const ZylDorvDistributionID equalRows =
        ZylSrvUtilities::Create2DDistribution(transaction, position, -1, rowCSet, columnCSet, 30, 4);
    EXPECT_EQ(ChunksOf(OnlyDrawer(equalRows)), (std::vector<int>{4, 30}));
    // Larger than the side: likewise.
    const ZylDorvDistributionID largerColumns =
        ZylSrvUtilities::Create2DDistribution(transaction, position, -1, rowCSet, columnCSet, 8, 500);
    EXPECT_EQ(ChunksOf(OnlyDrawer(largerColumns)), (std::vector<int>{20, 8}));
    // Both sides whole: unchunked.
    const ZylDorvDistributionID bothWhole =
        ZylSrvUtilities::Create2DDistribution(transaction, position, typeIndex, rowCSet, columnCSet, 30, 20);
    EXPECT_FALSE(OnlyDrawer(bothWhole).IsChunked());
    EXPECT_EQ(ZylDorvDistribution(bothWhole).TypeID(), Context().Schema().TypeID(typeIndex));
    // One below each size: kept.
    const ZylDorvDistributionID kept =
        ZylSrvUtilities::Create2DDistribution(transaction, position, -1, rowCSet, columnCSet, 29, 19);
    EXPECT_EQ(ChunksOf(OnlyDrawer(kept)), (std::vector<int>{19, 29}));
    EXPECT_EQ(ZylDorvDistribution(kept).AxisCollectionID(0), columns);
    EXPECT_EQ(ZylDorvDistribution(kept).AxisCollectionID(1), rows);
    EXPECT_EQ(ReadAll<double>(kept), Zeros(30 * 20));
    transaction.Commit();
    EXPECT_EQ(NumPermanentDistributions(), 4);
}

TEST_F(UtilitiesDatabaseTest, Create2DDistributionRecoloursTheColumnsOfASharedCollection)
{
    const ZylDorvCollectionID shared = NewCollection(40);
    const ZylDorvCSetID rowCSet = RunOf(shared, 0, 25);
    const ZylDorvCSetID columnCSet = RunOf(shared, 25, 15);
    const ZylDorvCSetID rowCopy = rowCSet, columnCopy = columnCSet;

    ZylDorvDistributionID ids[2];
    ids[0] = ZylSrvUtilities::Create2DDistribution(rowCSet, columnCSet, 10, 5);
    {
        ZylDorvTransaction transaction(ContextID());
        ids[1] = ZylSrvUtilities::Create2DDistribution(transaction, ZylSrvPosition(ContextID()), -1, rowCSet,
                                                       columnCSet, 10, 5);
        transaction.Commit();
    }
    for (const ZylDorvDistributionID& id : ids) {
        ZylDorvDistribution distribution(id);
        EXPECT_EQ(distribution.AxisCollectionID(0), ColourOne(shared));
        EXPECT_EQ(distribution.AxisCollectionID(0).Color(), 1);
        EXPECT_EQ(distribution.AxisCollectionID(1), shared);
        EXPECT_FALSE(ZylDorvDynamicID::Equal(distribution.AxisCollectionID(0), distribution.AxisCollectionID(1)));
        const ZylDorvPersistentDrawerDesc drawer = OnlyDrawer(id);
        EXPECT_EQ(drawer.DimCSetID(0), ColourOne(columnCSet));
        EXPECT_EQ(drawer.DimCSetID(1), rowCSet);
        EXPECT_EQ(drawer.DimSize(0), 15);
        EXPECT_EQ(drawer.DimSize(1), 25);
        EXPECT_EQ(ChunksOf(drawer), (std::vector<int>{5, 10}));
        EXPECT_EQ(ReadAll<double>(id), Zeros(25 * 15));
    }
    EXPECT_EQ(rowCSet, rowCopy);
    EXPECT_EQ(columnCSet, columnCopy);
}

// ---- CreateSparseDistribution -------------------------------------------

TEST_F(UtilitiesDatabaseTest, CreateSparseDistributionKeepsArgumentOrderAndMakesNoDrawer)
{
    const ZylDorvCollectionID rows = NewCollection(8);
    const ZylDorvCollectionID columns = NewCollection(5);
    ZylDorvCSetID first = AllOf(rows);
    ZylDorvCSetID second = AllOf(columns);
    const ZylDorvCSetID firstBefore = first, secondBefore = second;

    const ZylDorvDistributionID plain = ZylSrvUtilities::CreateSparseDistribution(first, second);
    EXPECT_EQ(first, firstBefore);
    EXPECT_EQ(second, secondBefore);
    ZylDorvDistribution distribution(plain);
    EXPECT_EQ(distribution.NumDimensions(), 2);
    EXPECT_EQ(distribution.AxisCollectionID(0), rows);
    EXPECT_EQ(distribution.AxisCollectionID(1), columns);
    EXPECT_EQ(distribution.RangeType(), ZylDorvRangeType(ZylDorvTypeKey::Double));
    EXPECT_EQ(NumDrawers(plain), 0);

    const int typeIndex = Context().DefineType("sparse");
    ZylDorvTransaction transaction(ContextID());
    const ZylDorvDistributionID typed =
        ZylSrvUtilities::CreateSparseDistribution(transaction, ZylSrvPosition(ContextID()), typeIndex, first, second);
    EXPECT_EQ(first, firstBefore);
    EXPECT_EQ(second, secondBefore);
    EXPECT_EQ(ZylDorvDistribution(typed).AxisCollectionID(0), rows);
    EXPECT_EQ(ZylDorvDistribution(typed).AxisCollectionID(1), columns);
    EXPECT_EQ(ZylDorvDistribution(typed).TypeID(), Context().Schema().TypeID(typeIndex));
    EXPECT_EQ(NumDrawers(typed), 0);
    transaction.Commit();
}

TEST_F(UtilitiesDatabaseTest, CreateSparseDistributionOverwritesTheSecondCSetOnlyWhenSharing)
{
    const ZylDorvCollectionID shared = NewCollection(10);
    const ZylDorvCSetID all = AllOf(shared);

    for (int form = 0; form < 2; ++form) {
        ZylDorvCSetID first = all;
        ZylDorvCSetID second = all;
        ZylDorvDistributionID id;
        if (form == 0) {
            id = ZylSrvUtilities::CreateSparseDistribution(first, second);
        } else {
            ZylDorvTransaction transaction(ContextID());
            id = ZylSrvUtilities::CreateSparseDistribution(transaction, ZylSrvPosition(ContextID()), -1, first,
                                                           second);
            transaction.Commit();
        }
        EXPECT_EQ(first, all) << "form " << form;
        EXPECT_NE(second, all) << "form " << form;
        EXPECT_EQ(second, ColourOne(all)) << "form " << form;
        EXPECT_EQ(second.Number(), all.Number()) << "form " << form;
        EXPECT_EQ(second.CollectionID().Color(), 1) << "form " << form;
        ZylDorvDistribution distribution(id);
        EXPECT_EQ(distribution.AxisCollectionID(0), shared);
        EXPECT_EQ(distribution.AxisCollectionID(1), second.CollectionID());
        EXPECT_EQ(NumDrawers(id), 0);
    }

    // The recoloured CSet is the one a sparse drawer binds to.
    ZylDorvCSetID first = all, second = all;
    const ZylDorvDistributionID id = ZylSrvUtilities::CreateSparseDistribution(first, second);
    ZylDorvTransfer write{ZylDorvDistribution(id)};
    ZylDorvSerializationType sparse;
    sparse.SetSparse();
    write.SetSerialization(sparse);
    write.SetMakeNewDrawer();
    write.SetBufferPadding(false);
    write.SetWrite();
    write.SetDim(0, first);
    write.SetDim(1, second);
    write.SetSparseNNonzero(1);
    double values[] = {2.5};
    int columnIndices[] = {3};
    std::vector<int> rowOffsets(11, 1);
    rowOffsets[0] = 0;
    write.CheckView();
    write.SetBuffer(0, static_cast<void*>(values), sizeof values);
    write.SetBuffer(1, static_cast<void*>(columnIndices), sizeof columnIndices);
    write.SetBuffer(2, static_cast<void*>(rowOffsets.data()), static_cast<std::int64_t>(rowOffsets.size() * sizeof(int)));
    write.ExecWrite();
    write.RelinquishBuffers();
    EXPECT_EQ(OnlyDrawer(id).DataSizeItems(0), 1);
}

// ---- CreateDistribution -------------------------------------------------

TEST_F(UtilitiesDatabaseTest, CreateDistributionReversesCSetsAndChunks)
{
    const ZylDorvCollectionID a = NewCollection(6);
    const ZylDorvCollectionID b = NewCollection(4);
    const ZylDorvCSetID csetA = AllOf(a);
    const ZylDorvCSetID csetB = AllOf(b);
    const ZylSrvPosition position(ContextID());

    ZylDorvTransaction transaction(ContextID());
    const ZylDorvDistributionID chunked = ZylSrvUtilities::CreateDistribution(
        transaction, position, -1, ZylDorvArray<ZylDorvCSetID>{csetA, csetB}, ZylDorvArray<int>{3, 2}, false);
    ASSERT_TRUE(chunked.IsValid());
    EXPECT_FALSE(chunked.IsTemporary());
    ZylDorvDistribution distribution(chunked);
    EXPECT_EQ(distribution.AxisCollectionID(0), b);
    EXPECT_EQ(distribution.AxisCollectionID(1), a);
    const ZylDorvPersistentDrawerDesc drawer = OnlyDrawer(chunked);
    EXPECT_EQ(drawer.DimCSetID(0), csetB);
    EXPECT_EQ(drawer.DimCSetID(1), csetA);
    EXPECT_EQ(ChunksOf(drawer), (std::vector<int>{2, 3}));
    EXPECT_EQ(ReadAll<double>(chunked), Zeros(24));

    // No chunks: unchunked. Longer chunk arrays use their first n entries.
    const ZylDorvDistributionID unchunked = ZylSrvUtilities::CreateDistribution(
        transaction, position, -1, ZylDorvArray<ZylDorvCSetID>{csetA, csetB}, ZylDorvArray<int>(), false);
    EXPECT_FALSE(OnlyDrawer(unchunked).IsChunked());
    const ZylDorvDistributionID longer = ZylSrvUtilities::CreateDistribution(
        transaction, position, -1, ZylDorvArray<ZylDorvCSetID>{csetA, csetB}, ZylDorvArray<int>{5, 1, 99}, false);
    EXPECT_EQ(ChunksOf(OnlyDrawer(longer)), (std::vector<int>{1, 5}));
    transaction.Commit();
    EXPECT_EQ(NumPermanentDistributions(), 3);
}

TEST_F(UtilitiesDatabaseTest, CreateDistributionAllowsOneSharedPairOnly)
{
    const ZylDorvCollectionID shared = NewCollection(9);
    const ZylDorvCollectionID other = NewCollection(2);
    const ZylDorvCSetID s1 = RunOf(shared, 0, 3);
    const ZylDorvCSetID s2 = RunOf(shared, 3, 3);
    const ZylDorvCSetID s3 = RunOf(shared, 6, 3);
    const ZylDorvCSetID o = AllOf(other);
    const ZylSrvPosition position(ContextID());

    ZylDorvTransaction transaction(ContextID());
    // Three CSets of one collection: three shared pairs, nothing made.
    for (bool temporary : {false, true}) {
        const ZylDorvDistributionID none = ZylSrvUtilities::CreateDistribution(
            transaction, position, -1, ZylDorvArray<ZylDorvCSetID>{s1, s2, s3}, ZylDorvArray<int>{1, 1, 1},
            temporary);
        EXPECT_TRUE(none.IsNull());
        EXPECT_EQ(none, ZylDorvDistributionID());
    }
    EXPECT_EQ(NumPermanentDistributions(), 0);

    // Exactly one pair: axes [o, s2, s1]; the later of the pair (s1) recoloured.
    const ZylDorvDistributionID id = ZylSrvUtilities::CreateDistribution(
        transaction, position, -1, ZylDorvArray<ZylDorvCSetID>{s1, s2, o}, ZylDorvArray<int>(), false);
    ASSERT_TRUE(id.IsValid());
    ZylDorvDistribution distribution(id);
    ASSERT_EQ(distribution.NumDimensions(), 3);
    EXPECT_EQ(distribution.AxisCollectionID(0), other);
    EXPECT_EQ(distribution.AxisCollectionID(1), shared);
    EXPECT_EQ(distribution.AxisCollectionID(2), ColourOne(shared));
    const ZylDorvPersistentDrawerDesc drawer = OnlyDrawer(id);
    EXPECT_EQ(drawer.DimCSetID(0), o);
    EXPECT_EQ(drawer.DimCSetID(1), s2);
    EXPECT_EQ(drawer.DimCSetID(2), ColourOne(s1));
    EXPECT_EQ(ReadAll<double>(id), Zeros(2 * 3 * 3));
    transaction.Commit();
    EXPECT_EQ(NumPermanentDistributions(), 1);
}

TEST_F(UtilitiesDatabaseTest, CreateDistributionRefusesAShortChunkArray)
{
    const ZylDorvCSetID a = AllOf(NewCollection(3));
    const ZylDorvCSetID b = AllOf(NewCollection(4));
    const ZylDorvCSetID c = AllOf(NewCollection(5));
    ZylDorvTransaction transaction(ContextID());
    for (bool temporary : {false, true}) {
        ExpectIllegalInput(
            [&] {
                ZylSrvUtilities::CreateDistribution(transaction, ZylSrvPosition(ContextID()), -1,
                                                    ZylDorvArray<ZylDorvCSetID>{a, b, c}, ZylDorvArray<int>{2, 2},
                                                    temporary);
            },
            "CreateDistribution");
    }
    transaction.Commit();
    EXPECT_EQ(NumPermanentDistributions(), 0);
}

TEST_F(UtilitiesDatabaseTest, CreateDistributionMakesTemporaryDistributionsInThePositionsContext)
{
    const ZylDorvCollectionID a = NewCollection(5);
    const ZylDorvCollectionID b = NewCollection(3);
    const int typeIndex = Context().DefineType("scratch");
    // The temporary route does not use the transaction: a committed one will do.
    ZylDorvTransaction finished(ContextID());
    finished.Commit();

    const ZylDorvDistributionID untyped = ZylSrvUtilities::CreateDistribution(
        finished, ZylSrvPosition(ContextID()), -1, ZylDorvArray<ZylDorvCSetID>{AllOf(a), AllOf(b)},
        ZylDorvArray<int>{2, 1}, true);
    ASSERT_TRUE(untyped.IsValid());
    EXPECT_TRUE(untyped.IsTemporary());
    EXPECT_EQ(untyped.Context(), ContextID());
    EXPECT_EQ(ZylDorvDistribution(untyped).AxisCollectionID(0), b);
    EXPECT_EQ(ZylDorvDistribution(untyped).AxisCollectionID(1), a);
    EXPECT_TRUE(ZylDorvDistribution(untyped).TypeID().IsNull());
    EXPECT_EQ(ChunksOf(OnlyDrawer(untyped)), (std::vector<int>{1, 2}));
    EXPECT_EQ(ReadAll<double>(untyped), Zeros(15));

    const ZylDorvDistributionID typed = ZylSrvUtilities::CreateDistribution(
        finished, ZylSrvPosition(ContextID()), typeIndex, ZylDorvArray<ZylDorvCSetID>{AllOf(a)}, ZylDorvArray<int>(),
        true);
    EXPECT_TRUE(typed.IsTemporary());
    EXPECT_EQ(ZylDorvDistribution(typed).TypeID(), Context().Schema().TypeID(typeIndex));
    EXPECT_EQ(ReadAll<double>(typed), Zeros(5));
    EXPECT_EQ(NumPermanentDistributions(), 0);
}

// ---- Write1DIntDistribution ---------------------------------------------

TEST_F(UtilitiesDatabaseTest, Write1DIntDistributionStoresTheValuesInCSetOrder)
{
    const ZylDorvCollectionID collection = NewCollection(7);
    const int labels[] = {4, 0, 6, 2, 5};
    const ZylDorvCSetID cset = ZylDorvCollection(collection).CreateOrderedCSet(labels, 5);
    const int values[] = {-3, 17, INT_MAX, 0, INT_MIN};

    const ZylDorvDistributionID id = ZylSrvUtilities::Write1DIntDistribution(cset, values, 5);
    ZylDorvDistribution distribution(id);
    EXPECT_EQ(distribution.NumDimensions(), 1);
    EXPECT_EQ(distribution.AxisCollectionID(0), collection);
    EXPECT_EQ(distribution.RangeType(), ZylDorvRangeType(ZylDorvTypeKey::Int32));
    EXPECT_TRUE(distribution.TypeID().IsNull());
    const ZylDorvPersistentDrawerDesc drawer = OnlyDrawer(id);
    EXPECT_EQ(drawer.DimCSetID(0), cset);
    EXPECT_EQ(ReadAll<int>(id), (std::vector<int>{-3, 17, INT_MAX, 0, INT_MIN}));

    // Label by label: the value of label 6 is the third one given.
    ZylDorvTransfer one{distribution};
    one.SetRead();
    one.SetBufferPadding(false);
    one.SetDimOrdinalRange(0, collection, 2, 2);
    int third = 0;
    one.CheckView();
    one.SetBuffer(0, static_cast<void*>(&third), sizeof third);
    one.ExecRead();
    one.RelinquishBuffers();
    EXPECT_EQ(third, INT_MAX);
    EXPECT_EQ(NumPermanentDistributions(), 1);
}

TEST_F(UtilitiesDatabaseTest, Write1DIntDistributionRefusesACountOtherThanTheCSetSize)
{
    const ZylDorvCSetID cset = AllOf(NewCollection(4));
    const int values[] = {1, 2, 3, 4, 5};
    for (int count : {3, 5, 0, -1})
        ExpectIllegalInput([&] { ZylSrvUtilities::Write1DIntDistribution(cset, values, count); },
                           "Write1DIntDistribution");
    ExpectIllegalInput([&] { ZylSrvUtilities::Write1DIntDistribution(cset, nullptr, 4); }, "Write1DIntDistribution");
    EXPECT_EQ(NumPermanentDistributions(), 0);
}

// ---- ZylSrvPosition -----------------------------------------------------

TEST_F(UtilitiesDatabaseTest, PositionCreatesOnlyInsideAnActiveTransactionOnItsContext)
{
    const ZylDorvGrid grid{NewCollection(3)};
    const ZylSrvPosition position(ContextID());
    EXPECT_EQ(position.ContextID(), ContextID());
    EXPECT_EQ(position.Context().ID(), ContextID());

    {
        ZylDorvTransaction elsewhere(NewContext());
        try {
            position.CreateDistribution(elsewhere, grid, ZylDorvRangeType());
            ADD_FAILURE() << "transaction on another context accepted";
        } catch (const ZylDorvException& e) {
            EXPECT_EQ(e.Number(), ZylDorvError_InvalidArgument);
        }
    }

    ZylDorvTransaction committed(ContextID());
    committed.Commit();
    try {
        position.CreateDistribution(committed, grid, ZylDorvRangeType());
        ADD_FAILURE() << "committed transaction accepted";
    } catch (const ZylDorvException& e) {
        EXPECT_EQ(e.Number(), ZylDorvError_TransactionNotActive);
    }

    try {
        ZylSrvPosition().Context();
        ADD_FAILURE() << "null position opened";
    } catch (const ZylDorvException& e) {
        EXPECT_EQ(e.Number(), ZylDorvError_NullIdentifier);
    }

    ZylDorvTransaction transaction(ContextID());
    const ZylDorvDistributionID id = position.CreateTypedDistribution(transaction, grid, Context().DefineType("t"),
                                                                      ZylDorvRangeType(ZylDorvTypeKey::Int32));
    EXPECT_EQ(ZylDorvDistribution(id).RangeType(), ZylDorvRangeType(ZylDorvTypeKey::Int32));
    EXPECT_EQ(ZylDorvDistribution(id).TypeID(), Context().Schema().TypeID(0));
    EXPECT_EQ(NumDrawers(id), 0);
    try {
        position.CreateTypedDistribution(transaction, grid, 5, ZylDorvRangeType());
        ADD_FAILURE() << "unknown type accepted";
    } catch (const ZylDorvException& e) {
        EXPECT_EQ(e.Number(), ZylDorvError_TypeNotFound);
    }
    transaction.Commit();
    EXPECT_EQ(NumPermanentDistributions(), 1);
}
