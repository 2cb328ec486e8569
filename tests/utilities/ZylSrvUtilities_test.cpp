// The distribution creators of ZylSrvUtilities (axes, drawer CSets, chunks,
// types, recolouring of shared collections, zero fill), LimitChunkSize2GB,
// Write1DIntDistribution and ZylSrvPosition.
#include "support/DatabaseTest.h"
#include "support/FamilyError.h"

#include <mtx/ZylSrvUtilities.h>
#include <platform/mem.h>

#include <climits>
#include <functional>
#include <tuple>
#include <vector>

namespace {

using zyltest::DrawersOf;

constexpr const char* kSource = "mtx/impl/ZylSrvUtilities";

ZylDorvCollectionID ColourOne(ZylDorvCollectionID c) { return ZylDorvCollectionID(c.Context(), ZylDorvCollectionID::SetColor(c.Minor(), 1), c.Type()); }
ZylDorvCSetID ColourOne(ZylDorvCSetID cset) { return ZylDorvCSetID(cset, ColourOne(cset.CollectionID())); }

} // namespace

TEST(ZylSrvUtilitiesLimitChunkSize2GB, BoundsEachChunkByTheOtherSideAndRefusesEmptySides)
{
    const int cases[][6] = { // row chunk, column chunk, rows, columns, expected row chunk, expected column chunk
        {1000, 1000, 100000, 1000000, 268, 1000}, // 2^28 / 10^6 and 2^28 / 10^5 = 2684 above 1000
        {INT_MAX, INT_MAX, 3, 1, 268435456, 268435456 / 3}, {10, -1, 1, 1, 10, -1}, {-1, 10, 7, 3, -1, 10},
        {10, 10, 268435456, 1, 10, 1}, {10, 10, INT_MAX, INT_MAX, 0, 0}, // so large that the bound is 0
    };
    for (const auto& c : cases) {
        int rowChunk = c[0], columnChunk = c[1];
        ZylSrvUtilities::LimitChunkSize2GB(rowChunk, columnChunk, c[2], c[3]);
        EXPECT_EQ(std::make_pair(rowChunk, columnChunk), std::make_pair(c[4], c[5])) << c[2] << " x " << c[3];
    }
    for (const auto& side : {std::make_pair(0, 5), {5, 0}, {0, 0}, {-1, 5}, {5, INT_MIN}, {1, 0}}) {
        int rowChunk = 33, columnChunk = -1;
        zyltest::ExpectIllegalInput([&] { ZylSrvUtilities::LimitChunkSize2GB(rowChunk, columnChunk, side.first, side.second); }, "LimitChunkSize2GB", kSource);
        EXPECT_EQ(std::make_pair(rowChunk, columnChunk), std::make_pair(33, -1));
    }
}

class UtilitiesTest : public zyltest::DatabaseTest {
protected:
    ZylDorvCSetID RunOf(ZylDorvCollectionID c, int first, int count) { return ZylDorvCollection(c).CreateCSetStrided(first, count, 1, 1); }
    int NumPermanent() const { return Context().DistributionIDs().Size(); }
    void SetUp() override { DatabaseTest::SetUp(), at = ZylSrvPosition(ctx); }
    ZylSrvPosition at;
};

TEST_F(UtilitiesTest, CreatorsMakeTheirAxesDrawerAndChunksZeroFilled)
{
    const ZylDorvCollectionID rows = NewCollection(30), columns = NewCollection(60), narrow = NewCollection(20);
    const ZylDorvCollectionID shared = NewCollection(40), a = NewCollection(6), b = NewCollection(4);
    const ZylDorvCSetID run = RunOf(rows, 3, 15), rc = AllOf(rows), cc = RunOf(columns, 0, 60), nc = AllOf(narrow);
    const ZylDorvCSetID sr = RunOf(shared, 0, 25), sc = RunOf(shared, 25, 15), ca = AllOf(a), cb = AllOf(b), s1 = RunOf(shared, 0, 3), s2 = RunOf(shared, 3, 3);
    const int type = Context().DefineType("matrix");
    using Axes = ZylDorvArray<ZylDorvCSetID>;
    using Chunks = ZylDorvArray<int>;
    using U = ZylSrvUtilities;
    ZylDorvTransaction tx(ctx), finished(ctx); // the temporary route does not use the transaction
    finished.Commit();
    // What, maker, the drawer's CSets (the axes are their collections), chunks (empty: unchunked), type, temporary.
    const std::tuple<const char*, std::function<ZylDorvDistributionID()>, std::vector<ZylDorvCSetID>, std::vector<int>, int, bool> table[] = {
        {"1-D chunked", [&] { return U::Create1DDistribution(run, 4); }, {run}, {4}, -1, false},
        {"1-D whole", [&] { return U::Create1DDistribution(run, -1); }, {run}, {}, -1, false},
        {"1-D in a transaction", [&] { return U::Create1DDistribution(tx, at, -1, rc, 5); }, {rc}, {5}, -1, false},
        {"1-D typed", [&] { return U::Create1DDistribution(tx, at, type, rc, -1); }, {rc}, {}, type, false},
        {"2-D, columns on axis 0", [&] { return U::Create2DDistribution(rc, cc, 7, 9); }, {cc, rc}, {9, 7}, -1, false},
        {"2-D unchunked", [&] { return U::Create2DDistribution(rc, cc, -1, -1); }, {cc, rc}, {}, -1, false},
        {"2-D whole rows", [&] { return U::Create2DDistribution(rc, cc, -1, 50); }, {cc, rc}, {50, 30}, -1, false},
        {"2-D whole columns", [&] { return U::Create2DDistribution(rc, cc, 6, -1); }, {cc, rc}, {60, 6}, -1, false},
        {"2-D, row chunk = side", [&] { return U::Create2DDistribution(tx, at, -1, rc, nc, 30, 4); }, {nc, rc}, {4, 30}, -1, false},
        {"2-D, column chunk > side", [&] { return U::Create2DDistribution(tx, at, -1, rc, nc, 8, 500); }, {nc, rc}, {20, 8}, -1, false},
        {"2-D, both whole, typed", [&] { return U::Create2DDistribution(tx, at, type, rc, nc, 30, 20); }, {nc, rc}, {}, type, false},
        {"2-D, chunks side - 1", [&] { return U::Create2DDistribution(tx, at, -1, rc, nc, 29, 19); }, {nc, rc}, {19, 29}, -1, false},
        {"2-D over one collection", [&] { return U::Create2DDistribution(sr, sc, 10, 5); }, {ColourOne(sc), sr}, {5, 10}, -1, false},
        {"2-D shared, transaction", [&] { return U::Create2DDistribution(tx, at, -1, sr, sc, 10, 5); }, {ColourOne(sc), sr}, {5, 10}, -1, false},
        {"N-D reversed", [&] { return U::CreateDistribution(tx, at, -1, Axes{ca, cb}, Chunks{3, 2}, false); }, {cb, ca}, {2, 3}, -1, false},
        {"N-D unchunked", [&] { return U::CreateDistribution(tx, at, -1, Axes{ca, cb}, Chunks(), false); }, {cb, ca}, {}, -1, false},
        {"N-D first n chunks", [&] { return U::CreateDistribution(tx, at, -1, Axes{ca, cb}, Chunks{5, 1, 99}, false); }, {cb, ca}, {1, 5}, -1, false},
        {"N-D one shared pair", [&] { return U::CreateDistribution(tx, at, -1, Axes{s1, s2, cb}, Chunks(), false); }, {cb, s2, ColourOne(s1)}, {}, -1, false},
        {"N-D temp", [&] { return U::CreateDistribution(finished, at, -1, Axes{ca, cb}, Chunks{2, 1}, true); }, {cb, ca}, {1, 2}, -1, true},
        {"N-D temp typed", [&] { return U::CreateDistribution(finished, at, type, Axes{ca}, Chunks(), true); }, {ca}, {}, type, true},
    };
    int permanent = 0;
    for (const auto& row : table) {
        SCOPED_TRACE(std::get<0>(row));
        const ZylDorvDistributionID id = std::get<1>(row)();
        const std::vector<ZylDorvCSetID>& dims = std::get<2>(row);
        permanent += std::get<5>(row) ? 0 : 1;
        ZylDorvDistribution distribution(id);
        EXPECT_EQ(std::make_tuple(id.IsTemporary(), id.Context() == ctx, distribution.RangeType() == ZylDorvRangeType(ZylDorvTypeKey::Double)),
                  std::make_tuple(std::get<5>(row), true, true));
        EXPECT_EQ(distribution.TypeID(), std::get<4>(row) < 0 ? ZylDorvTypeID() : Context().Schema().TypeID(std::get<4>(row)));
        const ZylDorvArray<ZylDorvPersistentDrawerDesc> drawers = DrawersOf(id);
        ASSERT_EQ(drawers.Size(), 1);
        ASSERT_EQ(distribution.NumDimensions(), static_cast<int>(dims.size()));
        std::size_t values = 1;
        for (int k = 0; k < distribution.NumDimensions(); ++k) {
            values *= static_cast<std::size_t>(drawers[0].DimSize(k));
            const ZylDorvCSetID& dim = dims[static_cast<std::size_t>(k)];
            EXPECT_EQ(distribution.AxisCollectionID(k), dim.CollectionID()) << "axis " << k;
            EXPECT_EQ(drawers[0].DimCSetID(k), dim) << "dimension " << k;
            EXPECT_EQ(drawers[0].DimSize(k), ZylDorvCSet(dim).Size());
        }
        EXPECT_EQ(std::vector<int>(drawers[0].ChunkSizes().Data(), drawers[0].ChunkSizes().Data() + drawers[0].ChunkSizes().Size()), std::get<3>(row));
        EXPECT_EQ(std::make_pair(drawers[0].IsChunked(), drawers[0].InitializationValue().Key()), std::make_pair(!std::get<3>(row).empty(), ZylDorvTypeKey::Double));
        EXPECT_THAT(zyltest::ReadValues<double>(id, values), testing::Each(0.0));
    }
    tx.Commit();
    EXPECT_EQ(NumPermanent(), permanent);
    // Not committed: gone with the transaction.
    ZylDorvDistributionID abandoned;
    {
        ZylDorvTransaction transaction(ctx);
        EXPECT_TRUE(ZylDorvDistribution(abandoned = ZylSrvUtilities::Create1DDistribution(transaction, at, -1, rc, 5)).IsValid());
    }
    EXPECT_EQ(NumPermanent(), permanent);
    EXPECT_DORV_ERROR(ZylDorvDistribution{abandoned}, ZylDorvError_DistributionNotFound, "distribution");
}

TEST_F(UtilitiesTest, CreatorsRefuseWhatTheyCannotMake)
{
    const ZylDorvCollectionID shared = NewCollection(9);
    const ZylDorvCSetID s1 = RunOf(shared, 0, 3), s2 = RunOf(shared, 3, 3), s3 = RunOf(shared, 6, 3);
    const ZylDorvCSetID a = AllOf(NewCollection(3)), b = AllOf(NewCollection(4)), c = AllOf(NewCollection(5));
    const int values[] = {1, 2, 3, 4, 5};
    ZylDorvTransaction transaction(ctx);
    for (bool temporary : {false, true}) {
        SCOPED_TRACE(temporary);
        EXPECT_TRUE(ZylSrvUtilities::CreateDistribution(transaction, at, -1, ZylDorvArray<ZylDorvCSetID>{s1, s2, s3}, ZylDorvArray<int>{1}, temporary).IsNull()) << "three shared pairs, before the chunks are looked at";
        zyltest::ExpectIllegalInput([&] { ZylSrvUtilities::CreateDistribution(transaction, at, -1, ZylDorvArray<ZylDorvCSetID>{a, b, c}, ZylDorvArray<int>{2, 2}, temporary); }, "CreateDistribution", kSource);
    }
    for (int count : {3, 5, 0, -1, 4})
        zyltest::ExpectIllegalInput([&] { ZylSrvUtilities::Write1DIntDistribution(b, count == 4 ? nullptr : values, count); }, "Write1DIntDistribution", kSource);
    transaction.Commit();
    EXPECT_EQ(NumPermanent(), 0);
    EXPECT_DORV_ERROR(ZylSrvUtilities::Create2DDistribution(a, b, 0, 5), ZylDorvError_InvalidChunking, "chunk size 0");
}

TEST_F(UtilitiesTest, CreateSparseDistributionRecoloursTheSecondCSetOnlyWhenSharing)
{
    const ZylDorvCollectionID rows = NewCollection(8), columns = NewCollection(5), shared = NewCollection(10);
    const ZylDorvCSetID all = AllOf(shared), rowCSet = AllOf(rows), columnCSet = AllOf(columns);
    const int type = Context().DefineType("sparse");
    for (int form = 0; form < 4; ++form) {
        SCOPED_TRACE(form);
        const bool sharing = form >= 2;
        ZylDorvCSetID first = sharing ? all : rowCSet, second = sharing ? all : columnCSet;
        ZylDorvTransaction transaction(ctx);
        const ZylDorvDistributionID id = form % 2 ? ZylSrvUtilities::CreateSparseDistribution(transaction, at, type, first, second) : ZylSrvUtilities::CreateSparseDistribution(first, second);
        transaction.Commit();
        EXPECT_TRUE(first == (sharing ? all : rowCSet) && second == (sharing ? ColourOne(all) : columnCSet));
        ZylDorvDistribution distribution(id);
        EXPECT_EQ(std::make_tuple(distribution.NumDimensions(), distribution.AxisCollectionID(0) == first.CollectionID(), distribution.AxisCollectionID(1) == second.CollectionID(),
                                  distribution.RangeType() == ZylDorvRangeType(ZylDorvTypeKey::Double), DrawersOf(id).Size()),
                  std::make_tuple(2, true, true, true, 0));
        EXPECT_EQ(distribution.TypeID(), form % 2 ? Context().Schema().TypeID(type) : ZylDorvTypeID());
    }
}

TEST_F(UtilitiesTest, Write1DIntDistributionStoresTheValuesInCSetOrder)
{
    const ZylDorvCollectionID collection = NewCollection(7);
    const int labels[] = {4, 0, 6, 2, 5}, values[] = {-3, 17, INT_MAX, 0, INT_MIN};
    const ZylDorvCSetID cset = ZylDorvCollection(collection).CreateOrderedCSet(labels, 5);
    const long live = mem_LiveBlocks();
    const ZylDorvDistributionID id = ZylSrvUtilities::Write1DIntDistribution(cset, values, 5);
    EXPECT_EQ(mem_LiveBlocks(), live);
    ZylDorvDistribution distribution(id);
    const ZylDorvArray<ZylDorvPersistentDrawerDesc> drawers = DrawersOf(id);
    ASSERT_EQ(drawers.Size(), 1);
    EXPECT_EQ(std::make_tuple(distribution.NumDimensions(), distribution.AxisCollectionID(0) == collection, distribution.RangeType() == ZylDorvRangeType(ZylDorvTypeKey::Int32),
                              distribution.TypeID().IsNull(), drawers[0].DimCSetID(0) == cset, NumPermanent()),
              std::make_tuple(1, true, true, true, true, 1));
    EXPECT_EQ(zyltest::ReadValues<int>(id, 5), std::vector<int>(values, values + 5));
}

TEST_F(UtilitiesTest, PositionCreatesOnlyInsideAnActiveTransactionOnItsContext)
{
    const ZylDorvGrid grid{NewCollection(3)};
    EXPECT_TRUE(at.ContextID() == ctx && at.Context().ID() == ctx);
    ZylDorvTransaction elsewhere(db.CreateContext(ZylDorvNamespaceID::AllBits()));
    EXPECT_DORV_ERROR(at.CreateDistribution(elsewhere, grid, ZylDorvRangeType()), ZylDorvError_InvalidArgument, "ZylSrvPosition::CreateDistribution in context 1 of database");
    ZylDorvTransaction committed(ctx);
    committed.Commit();
    EXPECT_DORV_ERROR(at.CreateTypedDistribution(committed, grid, 0, ZylDorvRangeType()), ZylDorvError_TransactionNotActive, "ZylSrvPosition::CreateTypedDistribution in context 1");
    EXPECT_DORV_ERROR(ZylSrvPosition().Context(), ZylDorvError_NullIdentifier, "null context ID");
    ZylDorvTransaction transaction(ctx);
    const ZylDorvDistributionID id = at.CreateTypedDistribution(transaction, grid, Context().DefineType("t"), ZylDorvRangeType(ZylDorvTypeKey::Int32));
    EXPECT_EQ(std::make_tuple(ZylDorvDistribution(id).RangeType() == ZylDorvRangeType(ZylDorvTypeKey::Int32), ZylDorvDistribution(id).TypeID() == Context().Schema().TypeID(0),
                              DrawersOf(id).Size()),
              std::make_tuple(true, true, 0));
    EXPECT_DORV_ERROR(at.CreateTypedDistribution(transaction, grid, 5, ZylDorvRangeType()), ZylDorvError_TypeNotFound, "TypeID 5");
    transaction.Commit();
    EXPECT_EQ(NumPermanent(), 1);
}
