// The operations on assembled sparse matrices, general and symmetric form,
// against the dense matrix they stand for; their refusals and refused allocations.
#include "dense/DenseHelpers.h"
#include "support/AllocationSweep.h"
#include "support/SparseReference.h"

#include <functional>
#include <limits>
#include <numeric>
#include <set>
#include <tuple>

namespace {

using namespace zyltest;
using I = ZylSrvSparseMatrixInspector;
using Triplets = std::vector<ZylSrvSparseMatrixEntry>;
// Offsets, columns, values and diagonal, in storage order.
using Stored = std::tuple<std::vector<unsigned>, std::vector<int>, std::vector<double>, std::vector<double>>;
constexpr const char* kSource = "mtx/impl/ZylSrvSparseMatrix";

Stored StoredOf(const ZylSrvSparseMatrix& a)
{
    const int n = a.NumberOfRows();
    if (I::RowOffsets(a) == nullptr)
        return {};
    const unsigned k = I::RowOffsets(a)[n];
    const double* d = I::Diagonal(a);
    return {{I::RowOffsets(a), I::RowOffsets(a) + n + 1},
            {I::ColumnIndices(a), I::ColumnIndices(a) + k},
            {I::Values(a), I::Values(a) + k},
            d ? std::vector<double>(d, d + n) : std::vector<double>()};
}

bool RowsIncrease(const ZylSrvSparseMatrix& a)
{
    const auto [offsets, columns, values, diagonal] = StoredOf(a);
    for (int i = 0; i < a.NumberOfRows(); ++i)
        if (!std::is_sorted(columns.data() + offsets[i], columns.data() + offsets[i + 1], std::less_equal<int>()))
            return false;
    return true;
}

// The same matrix with every row stored in reverse column order.
SparseHolder Reversed(const ZylSrvSparseMatrix& a)
{
    auto [offsets, columns, values, diagonal] = StoredOf(a);
    for (int i = 0; i < a.NumberOfRows(); ++i) {
        std::reverse(columns.begin() + offsets[i], columns.begin() + offsets[i + 1]);
        std::reverse(values.begin() + offsets[i], values.begin() + offsets[i + 1]);
    }
    return SparseHolder(
        I::FromArrays(offsets, columns, values, diagonal, a.NumberOfNonzeros(), a.NumberOfRows(), a.NumberOfColumns()));
}

// Symmetric form: each off-diagonal pair stored once, above the diagonal when i + j is even.
SparseHolder SymmetricForm(int n, unsigned seed)
{
    std::vector<unsigned> offsets(1, 0);
    std::vector<int> columns;
    std::vector<double> values, diagonal;
    for (int i = 0; i < n; ++i) {
        for (int j = 0; j < n; ++j)
            if (j != i && (std::min(i, j) * 7 + std::max(i, j) * 5 + seed) % 3 == 0 && ((i + j) % 2 == 0) == (i < j))
                columns.push_back(j), values.push_back(std::sin(i + 3.0 * j + seed));
        offsets.push_back(static_cast<unsigned>(columns.size()));
        diagonal.push_back(std::cos(i + seed));
    }
    return SparseHolder(I::FromArrays(offsets, columns, values, diagonal, static_cast<int>(values.size()) + n, n, n));
}

TEST(SparseOperations, MultiplyMatchesTheDenseMatrixForEveryFormTransposeAndGroup)
{
    const SparseHolder general = AssembledOf(RandomTriplets(9, 7, 40, 3), 9, 7), symmetric = SymmetricForm(8, 4);
    for (const ZylSrvSparseMatrix* a : {general.get(), symmetric.get()})
        for (const bool transpose : {false, true}) {
            SCOPED_TRACE(testing::Message() << "rows " << a->NumberOfRows() << " transpose " << transpose);
            const int in = transpose ? a->NumberOfRows() : a->NumberOfColumns();
            const int out = transpose ? a->NumberOfColumns() : a->NumberOfRows();
            const RefMatrix x = RandomMatrix(in, 9, 11);
            RefMatrix y, singles(out, 9, 1e300);
            for (int nvec = 1; nvec <= 9; ++nvec) {
                y = RefMatrix(out, nvec, 1e300);
                a->Multiply(x.data(), nvec, y.data(), transpose);
                ExpectMatrixNear(NaiveProduct(DenseOf(*a), transpose, x.Block(0, in - 1, 0, nvec - 1)), y);
                a->Multiply(x.data() + in * (nvec - 1), 1, singles.data() + out * (nvec - 1), transpose);
            }
            EXPECT_EQ(y.v, singles.v) << "nine vectors at once give the bits of nine single calls";
        }
    ExpectMatrixNear(DenseOf(*general).Transposed(), DenseOf(*SparseHolder(general->Transpose())), "9 x 7 transposed");
    std::vector<double> y(8, 5.0); // nothing stored: y is left as it was, not zeroed
    for (const bool transpose : {false, true})
        AssembledOf({}, 3, 4)->Multiply(std::vector<double>(8, 1.0).data(), 2, y.data(), transpose);
    EXPECT_EQ(y, std::vector<double>(8, 5.0));
}

TEST(SparseOperations, ScaleAndSubtractFollowTheDenseArithmetic)
{
    const SparseHolder a = AssembledOf(RandomTriplets(6, 5, 20, 5), 6, 5), s = SymmetricForm(5, 7);
    for (const SparseHolder& m : {AssembledOf(RandomTriplets(6, 5, 20, 5), 6, 5), SymmetricForm(5, 7)}) {
        const RefMatrix before = DenseOf(*m);
        const std::vector<int> columns = std::get<1>(StoredOf(*m));
        m->Scale(-2.5);
        ExpectMatrixNear(Combine(-2.5, before, 0.0, before), DenseOf(*m), "Scale(-2.5)");
        m->Scale(0.0);
        EXPECT_EQ(std::get<1>(StoredOf(*m)), columns) << "every entry stays stored";
    }
    const SparseHolder b = AssembledOf(RandomTriplets(4, 7, 15, 6), 4, 7);
    const struct {
        const ZylSrvSparseMatrix *left, *right;
        int rows, cols;
        bool pending; // the receiver held a stored (1, 1) and has (8, 8) pending
    } cases[] = {{a.get(), b.get(), 6, 7, false}, {s.get(), a.get(), 6, 5, false}, {a.get(), s.get(), 9, 9, true}};
    for (const auto& c : cases) {
        ZylSrvSparseMatrix r(0, 0);
        if (c.pending)
            r.AddData(1, 1, 5.0), r.EndAssembly(), r.AddData(8, 8, 2.0);
        r.Subtract(*c.left, *c.right);
        RefMatrix expected = Combine(1.0, densetest::Placed(RefMatrix(c.rows, c.cols), DenseOf(*c.left), 0, 0), -1.0,
                                     densetest::Placed(RefMatrix(c.rows, c.cols), DenseOf(*c.right), 0, 0));
        if (c.pending)
            expected(8, 8) += 2.0;
        ExpectMatrixNear(expected, DenseOf(r), "A - B");
        EXPECT_EQ(I::Diagonal(r), nullptr) << "the difference is in the general form";
        EXPECT_TRUE(RowsIncrease(r));
    }
    ZylSrvSparseMatrix r(0, 0); // A - A keeps every position of A, with 0.0
    r.Subtract(*a, *a);
    EXPECT_TRUE(StoredOf(r) == Stored(std::get<0>(StoredOf(*a)), std::get<1>(StoredOf(*a)),
                                      std::vector<double>(a->NumberOfNonzeros(), 0.0), {}));
}

TEST(SparseOperations, PermuteAndPermuteRowsReadTheArrayOppositeWays)
{
    Triplets t;
    for (unsigned i = 0; i < 9; ++i)
        t.push_back({i / 3, i % 3, 10.0 * (i / 3) + i % 3 + 1});
    const SparseHolder a = AssembledOf(t, 3, 3), reversed = Reversed(*a);
    const int perm[] = {1, 2, 0};
    const RefMatrix d = DenseOf(*a);
    RefMatrix both(3, 3), rows(3, 3);
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            both(i, j) = d(perm[i], perm[j]), rows(perm[i], j) = d(i, j);
    ExpectMatrixNear(both, DenseOf(*SparseHolder(a->Permute(perm))), "Permute: new 0 = old 1");
    a->PermuteRows(perm);
    ExpectMatrixNear(rows, DenseOf(*a), "PermuteRows: old 0 to new 1");
    reversed->PermuteRows(perm); // the order within each row stays
    EXPECT_EQ(std::get<1>(StoredOf(*reversed)), std::vector<int>({2, 1, 0, 2, 1, 0, 2, 1, 0}));
}

// Rows stored in reverse order; rounds 0 and 3 use the identity, which sorts rows only.
TEST(SparseOperations, TransposePermuteAndPermuteInPlaceGiveSortedRowsOfTheRearrangedMatrix)
{
    std::mt19937 engine(17);
    for (int round = 0; round < 6; ++round) {
        const int n = round < 3 ? 40 : 23;
        const SparseHolder a =
            Reversed(*(round < 3 ? AssembledOf(RandomTriplets(n, n, 600, round), n, n) : SymmetricForm(n, round)));
        const Stored before = StoredOf(*a);
        const SparseHolder t(a->Transpose());
        ExpectMatrixNear(DenseOf(*a).Transposed(), DenseOf(*t), "Transpose");
        EXPECT_TRUE(RowsIncrease(*t) && StoredOf(*a) == before) << "Transpose leaves the source alone";
        std::vector<int> perm(n);
        std::iota(perm.begin(), perm.end(), 0);
        if (round % 3 != 0)
            std::shuffle(perm.begin(), perm.end(), engine);
        const RefMatrix d = DenseOf(*a);
        RefMatrix expected(n, n);
        for (int i = 0; i < n; ++i)
            for (int j = 0; j < n; ++j)
                expected(i, j) = d(perm[i], perm[j]);
        const SparseHolder p(a->Permute(perm.data()));
        ExpectMatrixNear(expected, DenseOf(*p), "Permute");
        EXPECT_TRUE(RowsIncrease(*p)) << round;
        a->PermuteInPlace(perm.data());
        EXPECT_TRUE(StoredOf(*a) == StoredOf(*p)) << round;
        EXPECT_EQ(I::Symmetry(*a), round < 3 ? 0 : 1);
    }
}

TEST(SparseOperations, TransposeAndPermuteHandOutMatricesThatAPlainDeleteReleases)
{
    const SparseHolder general = AssembledOf(RandomTriplets(6, 6, 12, 3), 6, 6), symmetric = SymmetricForm(6, 4);
    const int perm[] = {5, 3, 1, 0, 2, 4};
    const long live = mem_LiveBlocks();
    for (const ZylSrvSparseMatrix* a : {general.get(), symmetric.get()}) {
        delete a->Transpose();
        delete a->Permute(perm);
    }
    EXPECT_EQ(mem_LiveBlocks(), live);
}

TEST(SparseOperations, IsSymmetricComparesEachPairRelativeToItsUpperElement)
{
    Triplets wide, offByOne; // rows of 30 for the binary search; (29, 28) off in the second
    for (unsigned k = 0; k < 900; ++k)
        wide.push_back({k % 30, k / 30, k % 30 * (k / 30) + 1.0}),
            offByOne.push_back({k % 30, k / 30, k == 869 ? 0.5 : wide[k].value});
    const struct {
        const char* name;
        Triplets t;
        bool symmetric;
    } cases[] = {
        {"no rows", {}, true},
        {"counts differ", {{1, 0, 2.0}}, false},
        {"mirror absent", {{0, 1, 1.0}, {2, 0, 1.0}}, false},
        {"one ulp apart", {{0, 1, 1.0}, {1, 0, std::nextafter(1.0, 2.0)}}, false},
        {"equal", {{0, 1, 1.0}, {1, 0, 1.0}, {2, 2, 3.0}}, true},
        {"upper 0.0: absolute", {{0, 1, 0.0}, {1, 0, 1e-17}}, true},
        {"lower 0.0: relative to the upper", {{0, 1, 1e-17}, {1, 0, 0.0}}, false},
        {"NaN passes", {{0, 1, std::numeric_limits<double>::quiet_NaN()}, {1, 0, 1.0}}, true},
        {"wide symmetric", wide, true},
        {"wide, one value off", offByOne, false},
    };
    for (const auto& c : cases) {
        const SparseHolder a = AssembledOf(c.t, 0, 0);
        EXPECT_EQ(a->IsSymmetric(), c.symmetric) << c.name;
        EXPECT_TRUE(I::Symmetry(*a) == (c.symmetric ? 0 : 2) && I::Diagonal(*a) == nullptr) << c.name << " recorded";
    }
    EXPECT_TRUE(SymmetricForm(5, 3)->IsSymmetric());
    // A negative answer is kept though zeroing makes the values symmetric; a
    // positive one is not, so zeroing one side is seen.
    const int both[] = {0, 1};
    for (const bool first : {false, true}) {
        const SparseHolder a = AssembledOf({{0, 1, 1.0}, {1, 0, first ? 1.0 : 2.0}}, 2, 2);
        EXPECT_EQ(a->IsSymmetric(), first);
        a->SetColumnsToZero(both, first ? 1 : 2);
        EXPECT_FALSE(a->IsSymmetric()) << first;
    }
}

TEST(SparseOperations, NontrivialRowsAndColumnsCountStoredEntriesWhateverTheirValue)
{
    Triplets t = RandomTriplets(11, 10, 12, 8);
    t.push_back({4, 2, 0.0});
    const SparseHolder a = AssembledOf(t, 11, 10);
    std::set<unsigned> rows, cols;
    for (const ZylSrvSparseMatrixEntry& e : t)
        rows.insert(e.row), cols.insert(e.column);
    const auto listed = [](unsigned* list, const int& count) { // count is read after the call
        std::vector<unsigned> v(list, list + count);
        mem_Free(list);
        return v;
    };
    int count = -1;
    EXPECT_EQ(listed(a->FindNontrivialRows(count), count), std::vector<unsigned>(rows.begin(), rows.end()));
    EXPECT_EQ(listed(a->FindNontrivialColumns(count), count), std::vector<unsigned>(cols.begin(), cols.end()));
    const int zeroed[] = {static_cast<int>(*cols.begin()), static_cast<int>(*cols.rbegin())};
    RefMatrix expected = DenseOf(*a);
    for (int i = 0; i < 11; ++i)
        expected(i, zeroed[0]) = expected(i, zeroed[1]) = 0.0;
    const Stored before = StoredOf(*a);
    a->SetColumnsToZero(zeroed, 2);
    ExpectMatrixNear(expected, DenseOf(*a), "SetColumnsToZero");
    EXPECT_EQ(std::get<1>(StoredOf(*a)), std::get<1>(before)) << "zeroed entries stay stored";
    const std::vector<unsigned> old = listed(a->EliminateTrivialColumns(count), count);
    ASSERT_EQ(old, std::vector<unsigned>(cols.begin(), cols.end()));
    EXPECT_EQ(a->NumberOfColumns(), count);
    const RefMatrix renumbered = DenseOf(*a);
    for (int k = 0; k < count * 11; ++k)
        EXPECT_EQ(renumbered(k % 11, k / 11), expected(k % 11, static_cast<int>(old[k / 11])));
}

TEST(SparseOperations, RefusalsRaiseTheirNumberAndChangeNothing)
{
    const SparseHolder s = SymmetricForm(6, 2), receiver = AssembledOf({{0, 0, 1.0}}, 1, 1);
    const SparseHolder open = AssembledOf(RandomTriplets(6, 6, 10, 1), 6, 6);
    open->BeginAssembly();
    const int perm[] = {1, 0, 2, 3, 4, 5};
    int count = 0;
    const struct {
        const char* operation;
        std::function<void()> call;
    } symmetricForm[] = {{"PermuteRows", [&] { s->PermuteRows(perm); }},
                         {"SetcolumnsToZero", [&] { s->SetColumnsToZero(perm, 2); }},
                         {"FindNontrivialColumns", [&] { mem_Free(s->FindNontrivialColumns(count)); }},
                         {"EliminateTrivialColumns", [&] { mem_Free(s->EliminateTrivialColumns(count)); }}},
      assemblyOpen[] = {{"Multiply", [&] { open->Multiply(nullptr, 1, nullptr, false); }},
                        {"Transpose", [&] { mem_Delete(open->Transpose()); }},
                        {"IsSymmetric", [&] { open->IsSymmetric(); }},
                        {"Subtract", [&] { receiver->Subtract(*s, *open); }}};
    const Stored before = StoredOf(*s), receiverBefore = StoredOf(*receiver);
    for (const auto& c : symmetricForm)
        ExpectFamilyError<ZylSrvMtxNoSymmetricTrue>(
            c.call, 201, std::string("ZylSrvSparseMatrix::") + c.operation + " symmetric:True not supported!", kSource);
    for (const auto& c : assemblyOpen)
        ExpectIllegalInput(c.call, c.operation, kSource);
    EXPECT_TRUE(StoredOf(*s) == before);
    EXPECT_TRUE(StoredOf(*receiver) == receiverBefore);
}

TEST(SparseOperations, RefusedAllocationsLeakNothingAndLeaveTheOperandsAlone)
{
    SparseHolder a;
    std::vector<double> x(12, 1.0), y(12);
    const int perm[] = {3, 1, 0, 2, 4, 5, 6, 7, 8, 9, 11, 10};
    int count = 0;
    const struct {
        const char* name;
        bool symmetric, changesA;
        std::function<void()> op;
    } ops[] = {{"Multiply", true, false, [&] { a->Multiply(x.data(), 1, y.data(), false); }},
               {"Subtract", true, false, [&] { ZylSrvSparseMatrix(3, 3).Subtract(*a, *a); }},
               {"Transpose", true, false, [&] { mem_Delete(a->Transpose()); }},
               {"Permute", true, false, [&] { mem_Delete(a->Permute(perm)); }},
               {"PermuteRows", false, true, [&] { a->PermuteRows(perm); }},
               {"PermuteInPlace", true, true, [&] { a->PermuteInPlace(perm); }},
               {"EliminateTrivialColumns", false, true, [&] { mem_Free(a->EliminateTrivialColumns(count)); }},
               {"SetColumnsToZero", false, true, [&] { a->SetColumnsToZero(perm, 2); }}};
    for (const auto& o : ops) {
        SCOPED_TRACE(testing::Message() << o.name << (o.symmetric ? " symmetric form" : ""));
        Stored before;
        const auto prepare = [&] {
            a = o.symmetric ? SymmetricForm(12, 5) : AssembledOf(RandomTriplets(12, 12, 40, 5), 12, 12);
            before = StoredOf(*a);
        };
        const auto check = [&](int) { EXPECT_TRUE(o.changesA || StoredOf(*a) == before); };
        EXPECT_GT(SweepAllocationFailures(prepare, o.op, check), 0);
    }
}

} // namespace
