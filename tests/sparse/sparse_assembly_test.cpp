// Storage and assembly of sparse matrices, against the dense sum of the
// triplets they were built from.
#include <support/AllocationSweep.h>
#include <support/FamilyError.h>
#include <support/SparseReference.h>

#include <gtest/gtest.h>

#include <deque>
#include <set>
#include <utility>

namespace {

using namespace zyltest;
using I = ZylSrvSparseMatrixInspector;
using Triplets = std::vector<ZylSrvSparseMatrixEntry>;

// Offsets from 0 that never decrease, columns strictly increasing inside each
// row and below numColumns, numNonzeros counting the stored values.
void ExpectCompressedRows(const ZylSrvSparseMatrix& a)
{
    const unsigned* offsets = I::RowOffsets(a);
    ASSERT_EQ(offsets[0], 0u);
    for (int i = 0; i < a.NumberOfRows(); ++i) {
        ASSERT_LE(offsets[i], offsets[i + 1]) << "row " << i;
        for (unsigned k = offsets[i]; k < offsets[i + 1]; ++k) {
            ASSERT_LT(I::ColumnIndices(a)[k], a.NumberOfColumns());
            if (k > offsets[i]) {
                ASSERT_LT(I::ColumnIndices(a)[k - 1], I::ColumnIndices(a)[k]) << "row " << i;
            }
        }
    }
    EXPECT_EQ(static_cast<unsigned>(a.NumberOfNonzeros()), offsets[a.NumberOfRows()]);
}

int DistinctPositions(const Triplets& t)
{
    std::set<std::pair<unsigned, unsigned>> positions;
    for (const ZylSrvSparseMatrixEntry& e : t)
        positions.insert({e.row, e.column});
    return static_cast<int>(positions.size());
}

// Column keys that make every partition of a median-of-three quicksort split
// off a single key, so the row sort runs out of depth and heap-sorts.
std::vector<unsigned> QuicksortKiller(int n)
{
    std::vector<int> key(n, -1);
    std::deque<int> range;
    for (int p = 0; p < n; ++p)
        range.push_back(p);
    int next = 0;
    key[n - 1] = next++;
    while (range.size() > 16) {
        const int first = range.front();
        key[first] = next++;
        range.pop_front();
        range.pop_back();
        range.push_back(first);
    }
    for (int p = n - 1; p >= 0; --p)
        if (key[p] < 0)
            key[p] = next++;
    return std::vector<unsigned>(key.begin(), key.end());
}

struct Shape {
    int rows, cols, count;
    unsigned seed;
};
// Tiny, square, wide, rows far longer than 16 and 32 entries; triplets
// enough for several bands of rows; one row longer than a band.
const Shape kShapes[] = {{1, 1, 6, 1},           {9, 7, 60, 2},          {40, 30, 700, 3},
                         {5, 400, 4000, 4},      {300, 400, 200000, 5}, {3, 90000, 150000, 6}};

TEST(SparseAssembly, SumsRepeatedTripletsIntoSortedRows)
{
    for (const Shape& s : kShapes) {
        SCOPED_TRACE(testing::Message() << s.rows << " x " << s.cols << ", " << s.count << " triplets");
        const Triplets t = RandomTriplets(s.rows, s.cols, s.count, s.seed);
        const SparseHolder a = AssembledOf(t, s.rows, s.cols);
        ExpectCompressedRows(*a);
        EXPECT_EQ(a->NumberOfNonzeros(), DistinctPositions(t));
        ExpectMatrixNear(DenseOfTriplets(t, s.rows, s.cols), DenseOf(*a));
        EXPECT_EQ(I::Pending(*a), 0);
    }
}

TEST(SparseAssembly, GrowsDimensionsAndKeepsStoredZeros)
{
    ZylSrvSparseMatrix a(0, 0);
    for (double v : {1.0, 2.0, 3.0})
        a.AddData(0, 0, v);
    a.AddData(2, 1, 5.0);
    a.AddData(1, 1, 1.0);
    a.AddData(1, 1, -1.0);
    a.EndAssembly();
    ASSERT_EQ(a.NumberOfRows(), 3);
    ASSERT_EQ(a.NumberOfColumns(), 2);
    EXPECT_EQ(std::vector<unsigned>(I::RowOffsets(a), I::RowOffsets(a) + 4), (std::vector<unsigned>{0, 1, 2, 3}));
    EXPECT_EQ(std::vector<int>(I::ColumnIndices(a), I::ColumnIndices(a) + 3), (std::vector<int>{0, 1, 1}));
    EXPECT_EQ(std::vector<double>(I::Values(a), I::Values(a) + 3), (std::vector<double>{6.0, 0.0, 5.0}));
    EXPECT_FALSE(a.IsNull()) << "a stored 0.0 is an entry";

    ZylSrvSparseMatrix empty(4, 3);
    empty.EndAssembly();
    EXPECT_TRUE(I::IsAssembled(empty));
    EXPECT_EQ(empty.NumberOfNonzeros(), 0);
    EXPECT_EQ(std::vector<unsigned>(I::RowOffsets(empty), I::RowOffsets(empty) + 5), std::vector<unsigned>(5, 0u));
    EXPECT_TRUE(empty.IsNull());
}

TEST(SparseAssembly, TripletsAddedWhileAssembledWaitForTheNextAssembly)
{
    SparseHolder a = AssembledOf({{0, 0, 1.0}}, 1, 1);
    a->AddData(3, 2, 4.0);
    a->EndAssembly(); // still assembled: returns at once
    EXPECT_EQ(I::Pending(*a), 1);
    EXPECT_EQ(a->NumberOfNonzeros(), 1);
    EXPECT_EQ(a->NumberOfRows(), 4) << "dimensions grow at AddData";
    a->BeginAssembly();
    a->AddData(3, 2, 1.0);
    a->EndAssembly();
    ExpectMatrixNear(DenseOfTriplets({{3, 2, 5.0}}, 4, 3), DenseOf(*a));
}

TEST(SparseAssembly, ResetDataSortsAndMergesEveryRow)
{
    const int cols = 3000;
    Triplets t = RandomTriplets(12, 40, 900, 7); // rows of ~150 entries, many repeats
    for (unsigned row : {2u, 4u}) { // rows RandomTriplets leaves empty
        // Long rows the quicksort cannot split well: they end in its heap sort.
        const std::vector<unsigned> keys = QuicksortKiller(row == 2 ? cols : 100);
        for (std::size_t k = 0; k < keys.size(); ++k)
            t.push_back({row, keys[k], 0.5 + static_cast<double>(k)});
    }
    ZylSrvSparseMatrix a(0, 0);
    I::ResetData(a, t, 12, cols);
    ExpectCompressedRows(a);
    EXPECT_EQ(a.NumberOfNonzeros(), DistinctPositions(t));
    ExpectMatrixNear(DenseOfTriplets(t, 12, cols), DenseOf(a));
    EXPECT_EQ(I::Symmetry(a), 0);
}

// Repeats are summed inside the scattered arrays, which then give back their
// unused end: no allocation beyond those of a file without repeats.
TEST(SparseAssembly, ResetDataSumsRepeatsInTheScatteredArrays)
{
    const Triplets t = {{1, 4, 1.0}, {0, 2, 2.0}, {1, 3, 3.0}, {1, 0, 4.0}};
    Triplets repeated = t;
    repeated.push_back({1, 3, 1.0});
    SparseHolder a;
    const auto fresh = [&] { a.reset(mem_New<ZylSrvSparseMatrix>(0, 0)); };
    const auto nothing = [](int) {};
    const int plain = SweepAllocationFailures(fresh, [&] { I::ResetData(*a, t, 3, 5); }, nothing);
    EXPECT_EQ(plain, SweepAllocationFailures(fresh, [&] { I::ResetData(*a, repeated, 3, 5); }, nothing));
    I::ResetData(*a, t, 3, 5);
    EXPECT_EQ(std::vector<int>(I::ColumnIndices(*a), I::ColumnIndices(*a) + 4), (std::vector<int>{2, 0, 3, 4}));
    EXPECT_EQ(std::vector<double>(I::Values(*a), I::Values(*a) + 4), (std::vector<double>{2.0, 4.0, 3.0, 1.0}));
}

// A 3 x 3 symmetric-form matrix: diagonal 1, 0, 2 and stored (2, 0) = 5.
SparseHolder SymmetricForm()
{
    return SparseHolder(I::FromArrays({0, 0, 0, 1}, {0}, {5.0}, {1.0, 0.0, 2.0}, 4, 3, 3));
}

TEST(SparseAssembly, SymmetricFormExpandsDiagonalFirstAndTurnsGeneralOnReassembly)
{
    const SparseHolder s = SymmetricForm();
    int count = 0;
    const mem_Unique<ZylSrvSparseMatrixEntry> e(s->GetEntries(count));
    ASSERT_EQ(count, 3 + 2 * 1);
    const std::vector<std::pair<unsigned, unsigned>> order = {{0, 0}, {1, 1}, {2, 2}, {2, 0}, {0, 2}};
    for (int k = 0; k < count; ++k)
        EXPECT_EQ(std::make_pair(e.get()[k].row, e.get()[k].column), order[k]) << "entry " << k;
    EXPECT_FALSE(s->IsNull());
    EXPECT_TRUE(SparseHolder(I::FromArrays({0, 0, 0}, {}, {}, {0.0, 0.0}, 2, 2, 2))->IsNull());

    double y = 42.0;
    s->Multiply(nullptr, 0, &y, false);
    s->Multiply(nullptr, -1, &y, true);
    EXPECT_EQ(y, 42.0) << "no vectors, nothing written";

    // Waiting triplets leave the assembled matrix as it was, now in the
    // general form, with empty rows up to a row beyond the last.
    const RefMatrix before = DenseOf(*s);
    s->AddData(1, 1, 7.0);
    EXPECT_EQ(std::make_pair(I::Symmetry(*s), I::Diagonal(*s) == nullptr), std::make_pair(2, true));
    ExpectMatrixNear(before, DenseOf(*s));
    s->AddData(5, 0, 1.0);
    s->Scale(2.0);
    EXPECT_EQ(std::make_pair(s->NumberOfRows(), s->NumberOfNonzeros()), std::make_pair(6, 5));
    ExpectMatrixNear(Combine(2.0, before, 0.0, before), DenseOf(*s).Block(0, 2, 0, 2));
    s->BeginAssembly();
    s->EndAssembly();
    ExpectMatrixNear(DenseOfTriplets({{1, 1, 7.0}, {5, 0, 1.0}}, 6, 3), DenseOf(*s));

    // Triplets that waited through an import with smaller dimensions.
    s->AddData(9, 8, 2.0);
    I::ResetData(*s, {{0, 0, 1.0}}, 1, 1);
    s->BeginAssembly();
    s->EndAssembly();
    ExpectMatrixNear(DenseOfTriplets({{9, 8, 2.0}}, 10, 9), DenseOf(*s));
}

TEST(SparseAssembly, AMatrixOfTwoBillionColumnsAssemblesWithoutAColumnMap)
{
    ZylSrvSparseMatrix a(1, 0x7fffffff);
    a.AddData(0, 0x7ffffffe, 1.0);
    a.AddData(0, 5, 2.0);
    a.AddData(0, 0x7ffffffe, 3.0);
    a.EndAssembly();
    EXPECT_EQ(std::vector<int>(I::ColumnIndices(a), I::ColumnIndices(a) + 2), (std::vector<int>{5, 0x7ffffffe}));
    EXPECT_EQ(std::vector<double>(I::Values(a), I::Values(a) + 2), (std::vector<double>{2.0, 4.0}));
}

TEST(SparseAssembly, AnOpenAssemblyHasNoEntriesAndIsNullByItsCounts)
{
    // Pending triplets are not entries; IsNull reads numNonzeros and the
    // diagonal, both of which BeginAssembly keeps.
    const struct {
        const char* what;
        SparseHolder a;
        bool isNull;
    } rows[] = {
        {"constructed", SparseHolder(mem_New<ZylSrvSparseMatrix>(3, 3)), true},
        {"general, reopened", AssembledOf({{0, 1, 1.0}}, 2, 2), false},
        {"symmetric form of zeros, reopened", SparseHolder(I::FromArrays({0, 0, 0}, {}, {}, {0.0, 0.0}, 2, 2, 2)),
         true},
        {"symmetric form, reopened", SymmetricForm(), false},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        r.a->BeginAssembly();
        r.a->AddData(1, 1, 5.0);
        const long live = mem_LiveBlocks();
        int count = -1;
        ZylSrvSparseMatrixEntry* entries = r.a->GetEntries(count);
        EXPECT_EQ(count, 0);
        EXPECT_NE(entries, nullptr);
        mem_Free(entries);
        EXPECT_EQ(mem_LiveBlocks(), live);
        EXPECT_EQ(r.a->IsNull(), r.isNull);
    }
}

TEST(SparseAssembly, OperationsOnStoredValuesRefuseAnOpenAssemblyUnlessNothingIsStored)
{
    SparseHolder a = AssembledOf({{0, 1, 1.0}}, 2, 2);
    a->BeginAssembly();
    const std::string source = zyl_mtx::kSparseMatrixSource;
    double x[2] = {1.0, 1.0}, y[2] = {};
    ExpectIllegalInput([&] { a->Multiply(x, 1, y, false); }, "Multiply", source);
    ExpectIllegalInput([&] { mem_Delete(a->Transpose()); }, "Transpose", source);
    ZylSrvSparseMatrix fresh(2, 2);
    y[0] = y[1] = 42.0;
    fresh.Multiply(x, 1, y, true);
    EXPECT_EQ(y[0] + y[1], 84.0) << "nothing stored, nothing written";
    ExpectIllegalInput([&] { a->AddData(0x7fffffffu, 0, 1.0); }, "AddData", source);
    ExpectIllegalInput([&] { a->AddData(0, 0xffffffffu, 1.0); }, "AddData", source);
    a->AddData(0x7ffffffeu, 1, 1.0);
    EXPECT_EQ(std::make_pair(a->NumberOfRows(), ZylSrvSparseMatrixInspector::Pending(*a)), std::make_pair(0x7fffffff, 1L));
}

TEST(SparseAssembly, RefusedAllocationsLeakNothingAndLeaveAUsableMatrix)
{
    const Triplets t = RandomTriplets(30, 20, 400, 9);
    const RefMatrix expected = DenseOfTriplets(t, 30, 20);
    SparseHolder a;
    const auto assemble = [&] {
        a = AssembledOf({}, 30, 20);
        a->BeginAssembly();
        for (const ZylSrvSparseMatrixEntry& e : t)
            a->AddData(e.row, e.column, e.value);
    };
    // After a refusal the pending triplets still sum to the same matrix.
    const auto retry = [&](int) {
        a->EndAssembly();
        ExpectMatrixNear(expected, DenseOf(*a));
    };
    EXPECT_GT(SweepAllocationFailures(assemble, [&] { a->EndAssembly(); }, retry), 0);

    const auto reset = [&] { a = AssembledOf({{0, 0, 1.0}}, 1, 1); };
    const auto unchanged = [&](int) { ExpectMatrixNear(DenseOfTriplets({{0, 0, 1.0}}, 1, 1), DenseOf(*a)); };
    EXPECT_GT(SweepAllocationFailures(reset, [&] { I::ResetData(*a, t, 30, 20); }, unchanged), 0);
}

} // namespace
