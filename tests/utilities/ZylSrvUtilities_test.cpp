// The distribution creators of ZylSrvUtilities (axes, drawer CSets, chunks,
// types, recolouring of shared collections, zero fill), LimitChunkSize2GB,
// Write1DIntDistribution, and what refused or failing calls leave behind.
#include "support/AllocationSweep.h"
#include "support/DatabaseTest.h"
#include "support/FamilyError.h"

#include <mtx/ZylSrvUtilities.h>
#include <mtx/ZylSrvFindContiguousRanges.h>
#include <platform/mem.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <iterator>
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
    // The context's distributions by number, then the temporary ones (found by their numbers).
    std::vector<std::int64_t> Distributions(bool temporaries = true) const
    {
        std::vector<std::int64_t> numbers;
        const ZylDorvArray<ZylDorvDistributionID> ids = Context().DistributionIDs();
        for (int i = 0; i < ids.Size(); ++i)
            numbers.push_back(ids[i].Number());
        for (std::int64_t n = -1; temporaries && n > -30; --n)
            try {
                numbers.push_back(ZylDorvDistribution(ZylDorvDistributionID(ctx, n)).ID().Number());
            } catch (const ZylDorvException&) {}
        return numbers;
    }
    // What callers see of the context: each collection's count and CSets, each distribution and its drawers.
    std::vector<std::int64_t> Contents(bool temporaries = true) const
    {
        std::vector<std::int64_t> seen;
        const ZylDorvArray<ZylDorvCollectionID> collections = Context().CollectionIDs();
        for (int i = 0; i < collections.Size(); ++i)
            seen.insert(seen.end(), {collections[i].Minor(), ZylDorvCollection(collections[i]).Count(), ZylDorvCollection(collections[i]).CSetIDs().Size()});
        for (const std::int64_t n : Distributions(temporaries))
            seen.insert(seen.end(), {n, DrawersOf(ZylDorvDistributionID(ctx, n)).Size()});
        return seen;
    }
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
    { // The caller's transaction, not committed, takes the distribution with it.
        ZylDorvTransaction transaction(ctx);
        ZylSrvUtilities::Create1DDistribution(transaction, at, -1, rc, 5);
    }
    EXPECT_EQ(NumPermanent(), permanent);
}

TEST_F(UtilitiesTest, RefusedCallsLeaveTheDatabaseAsItWas)
{
    const ZylDorvCollectionID shared = NewCollection(9);
    ZylDorvCSetID s1 = RunOf(shared, 0, 3), s2 = RunOf(shared, 3, 3), s3 = RunOf(shared, 6, 3), given = s2;
    const ZylDorvCSetID a = AllOf(NewCollection(3)), b = AllOf(NewCollection(4)), c = AllOf(NewCollection(5));
    const int labels[] = {2, 0}, values[] = {1, 2, 3, 4, 5};
    const ZylDorvCSetID temp = ZylDorvCollection(a.CollectionID()).CreateTempOrderedCSet(labels, 2);
    using Axes = ZylDorvArray<ZylDorvCSetID>;
    using U = ZylSrvUtilities;
    ZylDorvTransaction tx(ctx), committed(ctx), elsewhere(db.CreateContext(ZylDorvNamespaceID::AllBits()));
    committed.Commit(); // tx stays open: what a refused call made inside it would show
    // What, call, error number (0: the null identifier returned), fragment of the message.
    const std::tuple<const char*, std::function<void()>, int, const char*> table[] = {
        {"1-D chunk 0", [&] { U::Create1DDistribution(a, 0); }, ZylDorvError_InvalidChunking, "chunk"},
        {"1-D chunk -2, transaction", [&] { U::Create1DDistribution(tx, at, -1, a, -2); }, ZylDorvError_InvalidChunking, "chunk"},
        {"1-D over a temporary CSet", [&] { U::Create1DDistribution(temp, -1); }, ZylDorvError_TemporaryInPermanent, ""},
        {"2-D chunk 0", [&] { U::Create2DDistribution(a, b, 0, 5); }, ZylDorvError_InvalidChunking, "chunk size 0"},
        {"2-D column chunk -3, transaction", [&] { U::Create2DDistribution(tx, at, -1, a, b, 2, -3); }, ZylDorvError_InvalidChunking, "chunk"},
        {"2-D temporary rows", [&] { U::Create2DDistribution(tx, at, -1, temp, b, -1, -1); }, ZylDorvError_TemporaryInPermanent, ""},
        {"N-D chunk 0", [&] { U::CreateDistribution(tx, at, -1, Axes{a, b}, ZylDorvArray<int>{0, 1}, false); }, ZylDorvError_InvalidChunking, "chunk"},
        {"N-D temporary, chunk -4", [&] { U::CreateDistribution(tx, at, -1, Axes{a, b}, ZylDorvArray<int>{1, -4}, true); }, ZylDorvError_InvalidChunking, "chunk"},
        {"N-D over a temporary CSet", [&] { U::CreateDistribution(tx, at, -1, Axes{temp}, ZylDorvArray<int>(), false); }, ZylDorvError_TemporaryInPermanent, ""},
        {"N-D short chunks", [&] { U::CreateDistribution(tx, at, -1, Axes{a, b, c}, ZylDorvArray<int>{2, 2}, true); }, 206, "ZylSrvMatrix::CreateDistribution - Illegal input."},
        {"N-D three shared pairs, before the chunks", [&] { EXPECT_TRUE(U::CreateDistribution(tx, at, -1, Axes{s1, s2, s3}, ZylDorvArray<int>{1}, false).IsNull()); }, 0, ""},
        {"sparse, no such type", [&] { U::CreateSparseDistribution(tx, at, 3, s1, s2); }, ZylDorvError_TypeNotFound, ""},
        {"2-D, committed transaction", [&] { U::Create2DDistribution(committed, at, -1, a, b, 1, 1); }, ZylDorvError_TransactionNotActive, "ZylSrvPosition::CreateDistribution in context 1"},
        {"1-D typed, transaction on another context", [&] { U::Create1DDistribution(elsewhere, at, 0, a, 1); }, ZylDorvError_InvalidArgument, "ZylSrvPosition::CreateTypedDistribution in context 1 of database"},
        {"N-D temporary, null position", [&] { U::CreateDistribution(tx, ZylSrvPosition(), -1, Axes{a}, ZylDorvArray<int>(), true); }, ZylDorvError_NullIdentifier, "null context ID"},
        {"int over a temporary CSet", [&] { U::Write1DIntDistribution(temp, values, 2); }, ZylDorvError_TemporaryInPermanent, ""},
        {"int, count above the size", [&] { U::Write1DIntDistribution(b, values, 5); }, 206, "ZylSrvMatrix::Write1DIntDistribution - Illegal input."},
        {"int, no values", [&] { U::Write1DIntDistribution(b, nullptr, 4); }, 206, "ZylSrvMatrix::Write1DIntDistribution - Illegal input."},
    };
    for (const auto& row : table) {
        SCOPED_TRACE(std::get<0>(row));
        const std::vector<std::int64_t> before = Contents();
        int number = 0; std::string text;
        try { std::get<1>(row)(); } catch (const ZylBasException& e) { number = e.ErrorCode(), text = e.AsString().Chars(); }
        EXPECT_EQ(std::make_pair(number, Contents()), std::make_pair(std::get<2>(row), before));
        EXPECT_THAT(text, testing::HasSubstr(std::get<3>(row)));
    }
    EXPECT_EQ(s2, given) << "a refused sparse distribution leaves the caller's CSet alone";
}

// Each operation with its 1st, 2nd, ... allocation refused, then its n-th value write alone failing
// (error 70 passes through: no family error here), n = 1, 2, ... until it completes: no leak, the
// database and stored values as they were, a rerun succeeds. Then its n-th flush alone failing: error
// 13 reaches the caller, and the distribution, handed over before the flush, exists and reads. The
// file then reopens with everything committed.
TEST_F(UtilitiesTest, FailedAllocationsAndWritesUndoAndAFailedFlushKeepsTheDistribution)
{
    const zyltest::MatrixSetup stored = MakeMatrix(5, 3, 2, 2);
    const std::vector<double> values = FillRandom(stored, 7).v;
    const ZylDorvCSetID a = AllOf(NewCollection(6)), b = AllOf(NewCollection(4)), s = RunOf(a.CollectionID(), 1, 3);
    const int ints[] = {3, 1, 4, 1}, indices[] = {5, 6, 7, 10, 11};
    using Axes = ZylDorvArray<ZylDorvCSetID>;
    using U = ZylSrvUtilities;
    ZylDorvTransaction tx(ctx);
    const std::pair<const char*, std::function<void()>> table[] = {
        {"1-D", [&] { U::Create1DDistribution(a, 2); }},
        {"1-D, transaction", [&] { U::Create1DDistribution(tx, at, -1, b, -1); }},
        {"2-D", [&] { U::Create2DDistribution(a, b, 2, 3); }},
        {"2-D, transaction", [&] { U::Create2DDistribution(tx, at, -1, a, s, 4, 2); }},
        {"N-D", [&] { U::CreateDistribution(tx, at, -1, Axes{a, b}, ZylDorvArray<int>{2, 2}, false); }},
        {"N-D temporary", [&] { U::CreateDistribution(tx, at, -1, Axes{b, a}, ZylDorvArray<int>(), true); }},
        {"sparse", [&] { ZylDorvCSetID first = a, second = s; U::CreateSparseDistribution(first, second); }},
        {"sparse, transaction", [&] { ZylDorvCSetID first = a, second = b; U::CreateSparseDistribution(tx, at, -1, first, second); }},
        {"int vector", [&] { U::Write1DIntDistribution(b, ints, 4); }},
        {"chunk bound", [] { int row = 9, column = 9; U::LimitChunkSize2GB(row, column, 3, 4); }},
        {"ranges", [&] { int n = 0; mem_Free(ZylSrvFindContiguousRanges(indices, 5, 2, n)); }},
    };
    int refusals = 0, points[2] = {0, 0};
    for (const auto& op : table) {
        SCOPED_TRACE(op.first);
        std::vector<std::int64_t> before;
        refusals += zyltest::SweepAllocationFailures([&] { before = Contents(); }, op.second, [&](int) { EXPECT_EQ(Contents(), before); });
        for (const bool flush : {false, true})
            for (int n = 1;; ++n, ++points[flush]) {
                SCOPED_TRACE(testing::Message() << (flush ? "flush " : "value write ") << n);
                const std::vector<std::int64_t> had = Distributions();
                before = Contents();
                const int failure = flush ? ZylDorvError_FileFlushFailed : ZylDorvError_ValueWriteFailed;
                (flush ? ZylDorvTestSeam::FailFlushes : ZylDorvTestSeam::FailValueWrites)(1, failure, n - 1);
                int number = 0;
                try { op.second(); } catch (const ZylBasException& e) { number = e.ErrorCode(); }
                const bool completed = ZylDorvTestSeam::PendingFailures() > 0;
                ZylDorvTestSeam::Clear();
                if (completed)
                    break;
                EXPECT_EQ(std::make_pair(number, RawRead(stored).v), std::make_pair(failure, values));
                if (!flush) {
                    EXPECT_EQ(Contents(), before);
                    continue;
                }
                std::vector<std::int64_t> made = Distributions();
                for (const std::int64_t d : had)
                    made.erase(std::remove(made.begin(), made.end(), d), made.end());
                ASSERT_EQ(made.size(), 1u) << "the distribution was handed over";
                const ZylDorvDistributionID id(ctx, made[0]);
                const ZylDorvArray<ZylDorvPersistentDrawerDesc> drawers = DrawersOf(id);
                if (ZylDorvDistribution(id).RangeType() == ZylDorvRangeType(ZylDorvTypeKey::Int32)) {
                    EXPECT_EQ(zyltest::ReadValues<int>(id, 4), std::vector<int>(ints, ints + 4));
                } else if (!drawers.IsEmpty()) {
                    EXPECT_THAT(zyltest::ReadValues<double>(id, drawers[0].DataSizeItems(0)), testing::Each(0.0));
                }
            }
    }
    std::printf("%zu operations: %d allocations refused, %d value writes and %d flushes failed\n", std::size(table),
                refusals, points[0], points[1]);
    tx.Commit();
    const std::vector<std::int64_t> permanent = Contents(false);
    db.Close();
    db.OpenFile(ZylDroviUnicodeString(kPath), ZylDorvDatabase::OpenReadWrite);
    ctx = db.ContextIDs()[0];
    EXPECT_EQ(Contents(false), permanent);
    EXPECT_EQ(zyltest::ReadValues<double>(ZylDorvDistributionID(ctx, stored.id.Number()), 15), values);
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
    const ZylDorvDistributionID id = ZylSrvUtilities::Write1DIntDistribution(cset, values, 5);
    ZylDorvDistribution distribution(id);
    const ZylDorvArray<ZylDorvPersistentDrawerDesc> drawers = DrawersOf(id);
    ASSERT_EQ(drawers.Size(), 1);
    EXPECT_EQ(std::make_tuple(distribution.NumDimensions(), distribution.AxisCollectionID(0) == collection, distribution.RangeType() == ZylDorvRangeType(ZylDorvTypeKey::Int32),
                              distribution.TypeID().IsNull(), drawers[0].DimCSetID(0) == cset, NumPermanent()),
              std::make_tuple(1, true, true, true, true, 1));
    EXPECT_EQ(zyltest::ReadValues<int>(id, 5), std::vector<int>(values, values + 5));
}
