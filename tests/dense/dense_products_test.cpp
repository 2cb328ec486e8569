// Products and block-wise updates of ZylSrvDenseMatrix, each compared with a
// plain-loop product of values read back raw from the database. The operands
// are mostly views with offsets, so that their first and last blocks are
// short and the bands uneven.
#include "DenseTestSupport.h"

#include <platform/mem.h>

#include <gmock/gmock.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>
#include <vector>

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();

// A ZylSrvMatrix holding `v`.
ZylSrvMatrix ToMatrix(const Values& v)
{
    ZylSrvMatrix m(v.rows, v.columns);
    std::copy(v.v.begin(), v.v.end(), m.Values());
    return m;
}

Values FromMatrix(const ZylSrvMatrix& m)
{
    Values v{m.NumberOfRows(), m.NumberOfColumns(), {}};
    v.v.assign(m.Values(), m.Values() + m.NumberOfStoredValues());
    return v;
}

Values RandomValues(int rows, int columns, std::uint64_t seed)
{
    Lcg lcg(seed);
    return Values{rows, columns, lcg.Values(static_cast<std::size_t>(rows) * columns)};
}

Values Combine(double x, const Values& a, double y, const Values& b)
{
    Values c = a;
    for (std::size_t i = 0; i < c.v.size(); ++i)
        c.v[i] = x * a.v[i] + y * b.v[i];
    return c;
}

// A is rows 3..21 and columns 2..15 of a 23 x 17 matrix chunked 5 x 4: 19 x 14
// with row blocks 2, 5, 5, 5, 2 and column blocks 2, 4, 4, 4.
class DenseProducts : public DenseTest {
protected:
    void SetUp() override
    {
        DenseTest::SetUp();
        aSetup = Make(23, 17, 5, 4);
        FillRandom(aSetup, 1);
        aRoot = std::make_unique<ZylSrvDenseMatrix>(aSetup.id);
        a.reset(aRoot->Submatrix(3, 21, 2, 15));
        aValues = RawAll(aSetup).Block(3, 21, 2, 15);
    }
    void TearDown() override
    {
        a.reset();
        aRoot.reset();
        DenseTest::TearDown();
    }

    // A view of rows r0..r0+rows-1, columns c0..c0+columns-1 of a new parent
    // one larger on every side, filled with random values; its values in `values`.
    std::unique_ptr<ZylSrvDenseMatrix> RandomView(int rows, int columns, int rowChunk, int columnChunk, int r0,
                                                  int c0, std::uint64_t seed, Values& values)
    {
        const DenseSetup s = Make(r0 + rows + 1, c0 + columns + 1, rowChunk, columnChunk);
        FillRandom(s, seed);
        parents.push_back(std::make_unique<ZylSrvDenseMatrix>(s.id));
        values = RawAll(s).Block(r0, r0 + rows - 1, c0, c0 + columns - 1);
        return std::unique_ptr<ZylSrvDenseMatrix>(parents.back()->Submatrix(r0, r0 + rows - 1, c0, c0 + columns - 1));
    }

    static constexpr int m = 19;
    static constexpr int k = 14;
    DenseSetup aSetup;
    std::unique_ptr<ZylSrvDenseMatrix> aRoot;
    std::unique_ptr<ZylSrvDenseMatrix> a;
    Values aValues;
    std::vector<std::unique_ptr<ZylSrvDenseMatrix>> parents;
};

TEST_F(DenseProducts, OperandGeometryIsUneven)
{
    ASSERT_EQ(a->NumberOfRows(), m);
    ASSERT_EQ(a->NumberOfColumns(), k);
    EXPECT_EQ(a->NumberOfRowBlocks(), 5);
    EXPECT_EQ(a->NumberOfRowsInBlock(0), 2);
    EXPECT_EQ(a->NumberOfRowsInBlock(4), 2);
    EXPECT_EQ(a->NumberOfColumnBlocks(), 4);
    EXPECT_EQ(a->NumberOfColumnsInBlock(0), 2);
}

TEST_F(DenseProducts, ArrayProductAccumulatesIntoY)
{
    const Values x = RandomValues(k, 3, 2);
    const Values y0 = RandomValues(m, 3, 3);
    const Values ax = NaiveProduct(aValues, false, x);
    std::vector<double> y = y0.v;
    a->Multiply(x.v.data(), 3, y.data());
    ExpectClose(Combine(1.0, y0, 1.0, ax), y.data(), m, "Y + A X");
    a->Multiply(x.v.data(), 3, y.data());
    ExpectClose(Combine(1.0, y0, 2.0, ax), y.data(), m, "Y + 2 A X");
}

TEST_F(DenseProducts, ProductIntoAMatrixOverwritesC)
{
    const Values b = RandomValues(k, 4, 4);
    ZylSrvMatrix c(m, 4);
    c = kNaN;
    a->Multiply(ToMatrix(b), c);
    ExpectClose(NaiveProduct(aValues, false, b), FromMatrix(c), "A B");
}

TEST_F(DenseProducts, DenseByDenseIntoAnArray)
{
    Values bValues;
    // 14 x 9 with row blocks 2, 3, 3, 3, 3 and column blocks 2, 4, 3.
    std::unique_ptr<ZylSrvDenseMatrix> b = RandomView(k, 9, 3, 4, 1, 2, 5, bValues);
    std::vector<double> c(static_cast<std::size_t>(m) * 9, kNaN);
    a->Multiply(b.get(), c.data());
    ExpectClose(NaiveProduct(aValues, false, bValues), c.data(), m, "A B into an array");

    // Single blocks each way.
    const DenseSetup s1 = Make(4, 3, -1, -1);
    const DenseSetup s2 = Make(3, 2, -1, -1);
    const Values v1 = FillRandom(s1, 6);
    const Values v2 = FillRandom(s2, 7);
    const ZylSrvDenseMatrix m1(s1.id), m2(s2.id);
    std::vector<double> small(8, kNaN);
    m1.Multiply(&m2, small.data());
    ExpectClose(NaiveProduct(RawAll(s1), false, RawAll(s2)), small.data(), 4, "single blocks");
}

TEST_F(DenseProducts, DenseByDenseIntoADenseMatrix)
{
    Values bValues;
    std::unique_ptr<ZylSrvDenseMatrix> b = RandomView(k, 9, 3, 4, 1, 2, 8, bValues);
    // C: rows 2..20, columns 1..9 of a 22 x 11 matrix chunked 4 x 2, the rest untouched.
    const DenseSetup cs = Make(22, 11, 4, 2, -1.0);
    const ZylSrvDenseMatrix cRoot(cs.id);
    std::unique_ptr<ZylSrvDenseMatrix> c(cRoot.Submatrix(2, 20, 1, 9));
    a->Multiply(*b, *c);
    Values expected{22, 11, std::vector<double>(22 * 11, -1.0)};
    const Values ab = NaiveProduct(aValues, false, bValues);
    for (int j = 0; j < 9; ++j)
        for (int i = 0; i < m; ++i)
            expected.at(2 + i, 1 + j) = ab(i, j);
    ExpectClose(expected, RawAll(cs), "A B in the database");
}

TEST_F(DenseProducts, DenseByDenseBandsFromTheBudget)
{
    // Several bands of A's rows and of the depth (40 x 30 times 30 x 20 with
    // blocks 4 x 3 and 3 x 2), and several bands of B's columns when the
    // depth is thin (40 x 3 times 3 x 50 with blocks 8 x 3 and 3 x 4).
    struct Case {
        int m, k, n, pm, pk, pn;
    };
    for (const Case& t : {Case{40, 30, 20, 4, 3, 2}, Case{40, 3, 50, 8, 3, 4}, Case{7, 5, 6, -1, -1, -1}}) {
        Values av, bv;
        std::unique_ptr<ZylSrvDenseMatrix> left =
            t.pm > 0 ? RandomView(t.m, t.k, t.pm, t.pk, 1, 2, 9, av) : RandomView(t.m, t.k, -1, -1, 0, 0, 9, av);
        std::unique_ptr<ZylSrvDenseMatrix> right =
            t.pm > 0 ? RandomView(t.k, t.n, t.pk, t.pn, 2, 1, 10, bv) : RandomView(t.k, t.n, -1, -1, 0, 0, 10, bv);
        const DenseSetup cs = Make(t.m, t.n, 5, 3, kNaN);
        ZylSrvDenseMatrix c(cs.id);
        left->Multiply(*right, c);
        ExpectClose(NaiveProduct(av, false, bv), RawAll(cs), "budgeted bands");
    }
}

TEST_F(DenseProducts, AlphaBetaProductNeverReadsCWhenBetaIsZero)
{
    const Values b = RandomValues(k, 4, 11);
    const Values ab = NaiveProduct(aValues, false, b);
    // C reads NaN everywhere until written; its row blocks (3) differ from A's.
    const DenseSetup cs = Make(m, 4, 3, 4, kNaN);
    ZylSrvDenseMatrix c(cs.id);
    const ZylSrvMatrix bMatrix = ToMatrix(b);
    const long readsBefore = ZylDorvTestSeam::ValueReadsSoFar();
    a->Multiply(2.0, bMatrix, 0.0, c);
    EXPECT_EQ(ZylDorvTestSeam::ValueReadsSoFar() - readsBefore, c.NumberOfRowBlocks())
        << "one read of A per band of C, none of C";
    const Values first = RawAll(cs);
    ExpectClose(Combine(2.0, ab, 0.0, ab), first, "2 A B");

    const long readsBeforeBeta = ZylDorvTestSeam::ValueReadsSoFar();
    a->Multiply(-1.0, bMatrix, 0.5, c);
    EXPECT_EQ(ZylDorvTestSeam::ValueReadsSoFar() - readsBeforeBeta, 2 * c.NumberOfRowBlocks())
        << "with beta non-zero each band of C is read too";
    ExpectClose(Combine(-1.0, ab, 0.5, first), RawAll(cs), "-A B + C / 2");

    // A NaN beta counts as non-zero: C is read and scaled.
    a->Multiply(1.0, ToMatrix(b), kNaN, c);
    const Values poisoned = RawAll(cs);
    for (double v : poisoned.v)
        ASSERT_TRUE(std::isnan(v));
}

TEST_F(DenseProducts, AlphaBetaProductWithADiagonalB)
{
    const Values d = RandomValues(k, 1, 12);
    ZylSrvMatrix diagonal(k, k, nullptr, false, true);
    std::copy(d.v.begin(), d.v.end(), diagonal.Values());
    Values ad = aValues;
    for (int j = 0; j < k; ++j)
        for (int i = 0; i < m; ++i)
            ad.at(i, j) = aValues(i, j) * d.v[static_cast<std::size_t>(j)];

    const DenseSetup cs = Make(m, k, 6, 5, kNaN);
    ZylSrvDenseMatrix c(cs.id);
    a->Multiply(3.0, diagonal, 0.0, c);
    const Values first = RawAll(cs);
    ExpectClose(Combine(3.0, ad, 0.0, ad), first, "3 A D");
    a->Multiply(1.0, diagonal, 1.0, c);
    const Values second = RawAll(cs);
    ExpectClose(Combine(1.0, ad, 1.0, first), second, "A D + C");
    a->Multiply(-2.0, diagonal, -0.5, c);
    ExpectClose(Combine(-2.0, ad, -0.5, second), RawAll(cs), "-2 A D - C / 2");
}

TEST_F(DenseProducts, MultiplyAssignReplacesA)
{
    const Values b = RandomValues(k, k, 13);
    Values expected = RawAll(aSetup);
    const Values ab = NaiveProduct(aValues, false, b);
    for (int j = 0; j < k; ++j)
        for (int i = 0; i < m; ++i)
            expected.at(3 + i, 2 + j) = ab(i, j);
    a->MultiplyAssign(ToMatrix(b));
    ExpectClose(expected, RawAll(aSetup), "A := A B, the rest of the parent untouched");
}

TEST_F(DenseProducts, TransposeProductOfLeadingRowsAccumulates)
{
    const int nk = 11;
    const Values x = RandomValues(nk, 2, 14);
    const Values y0 = RandomValues(k, 2, 15);
    const Values atx = NaiveProduct(aValues.Block(0, nk - 1, 0, k - 1), true, x);
    std::vector<double> y = y0.v;
    a->TransposeMultiply(x.v.data(), 2, y.data(), nk);
    ExpectClose(Combine(1.0, y0, 1.0, atx), y.data(), k, "Y + A(0:nk)^T X");
    a->TransposeMultiply(x.v.data(), 2, y.data(), nk);
    ExpectClose(Combine(1.0, y0, 2.0, atx), y.data(), k, "twice");

    std::vector<double> unchanged = y;
    a->TransposeMultiply(x.v.data(), 2, y.data(), 0);
    EXPECT_EQ(y, unchanged);

    const Values full = RandomValues(m, 1, 16);
    std::vector<double> z(k, 0.0);
    a->TransposeMultiply(full.v.data(), 1, z.data(), m);
    ExpectClose(NaiveProduct(aValues, true, full), z.data(), k, "all rows");
}

TEST_F(DenseProducts, PermutedTransposeProduct)
{
    const Values b = RandomValues(m, 3, 17);
    const Values c0 = RandomValues(k, 3, 18);
    ZylSrvMatrix c = ToMatrix(c0);
    a->TransposeMultiply(nullptr, ToMatrix(b), c, 2.0, -1.0);
    const Values atb = NaiveProduct(aValues, true, b);
    ExpectClose(Combine(2.0, atb, -1.0, c0), FromMatrix(c), "2 A^T B - C");

    // Row i of A moves to row perm[i] first.
    std::vector<int> perm(m);
    for (int i = 0; i < m; ++i)
        perm[static_cast<std::size_t>(i)] = (7 * i + 3) % m;
    Values permuted = aValues;
    for (int j = 0; j < k; ++j)
        for (int i = 0; i < m; ++i)
            permuted.at(perm[static_cast<std::size_t>(i)], j) = aValues(i, j);
    c = ToMatrix(c0);
    a->TransposeMultiply(perm.data(), ToMatrix(b), c, 1.0, 0.0);
    ExpectClose(NaiveProduct(permuted, true, b), FromMatrix(c), "(P A)^T B");
    // A itself is not permuted.
    ExpectClose(aValues, ReadThrough(*a), "A unchanged");
}

TEST_F(DenseProducts, TransposeProductWithAnInMemoryB)
{
    const Values b = RandomValues(m, 5, 19);
    ZylSrvMatrix c(k, 5);
    c = kNaN;
    a->TransposeMultiply(ToMatrix(b), c, 0);
    ExpectClose(NaiveProduct(aValues, true, b), FromMatrix(c), "A^T B");

    std::vector<double> array(static_cast<std::size_t>(k) * 5, kNaN);
    a->TransposeMultiply(ToMatrix(b), array.data(), 0);
    ExpectClose(NaiveProduct(aValues, true, b), array.data(), k, "A^T B into an array");

    // Symmetric: A^T A is formed one triangle per band and mirrored.
    const Values ata = NaiveProduct(aValues, true, aValues);
    ZylSrvMatrix s(k, k);
    s = kNaN;
    a->TransposeMultiply(ToMatrix(aValues), s, 1);
    ExpectClose(ata, FromMatrix(s), "A^T A, symmetric");
    EXPECT_TRUE(s.IsSymmetricNumerically());
    std::vector<double> sArray(static_cast<std::size_t>(k) * k, kNaN);
    a->TransposeMultiply(ToMatrix(aValues), sArray.data(), 1);
    ExpectClose(ata, sArray.data(), k, "A^T A into an array, symmetric");

    // One band over the whole of an unchunked matrix.
    const DenseSetup u = Make(6, 4, -1, -1);
    const Values uv = FillRandom(u, 20);
    const ZylSrvDenseMatrix whole(u.id);
    const Values bu = RandomValues(6, 3, 21);
    ZylSrvMatrix cu(4, 3);
    cu = kNaN;
    whole.TransposeMultiply(ToMatrix(bu), cu, 0);
    ExpectClose(NaiveProduct(uv, true, bu), FromMatrix(cu), "single band");
}

TEST_F(DenseProducts, TransposeProductWithADenseB)
{
    Values bValues;
    // 19 x 7 with row blocks 2, 6, 6, 5 (chunk 6 from row 4).
    std::unique_ptr<ZylSrvDenseMatrix> b = RandomView(m, 7, 6, 3, 4, 1, 22, bValues);
    const Values atb = NaiveProduct(aValues, true, bValues);
    ZylSrvMatrix c(k, 7);
    c = kNaN;
    a->TransposeMultiply(b.get(), c, 0);
    ExpectClose(atb, FromMatrix(c), "A^T B");

    std::vector<double> array(static_cast<std::size_t>(k) * 7, kNaN);
    a->TransposeMultiply(b.get(), array.data(), 0);
    ExpectClose(atb, array.data(), k, "A^T B into an array");

    // Result stored in the leading columns of a dense matrix.
    const DenseSetup cs = Make(k, 9, 4, 4, -1.0);
    ZylSrvDenseMatrix cd(cs.id);
    a->TransposeMultiply(b.get(), &cd, 0);
    Values expected{k, 9, std::vector<double>(static_cast<std::size_t>(k) * 9, -1.0)};
    for (int j = 0; j < 7; ++j)
        for (int i = 0; i < k; ++i)
            expected.at(i, j) = atb(i, j);
    ExpectClose(expected, RawAll(cs), "A^T B in the database");

    // Symmetric with B = A: full symmetric C.
    const Values ata = NaiveProduct(aValues, true, aValues);
    ZylSrvMatrix s(k, k);
    s = kNaN;
    a->TransposeMultiply(a.get(), s, 1);
    ExpectClose(ata, FromMatrix(s), "A^T A, symmetric");
    EXPECT_TRUE(s.IsSymmetricNumerically());
    const DenseSetup ss = Make(k, k, 5, 5, kNaN);
    ZylSrvDenseMatrix sd(ss.id);
    a->TransposeMultiply(a.get(), &sd, 1);
    ExpectClose(ata, RawAll(ss), "A^T A in the database, symmetric");
}

TEST_F(DenseProducts, IndexedMultiplyComputesEveryGroup)
{
    const Values b = RandomValues(k, 3, 23);
    const DenseSetup cs = Make(12, 3, 5, 2, -1.0);
    ZylSrvDenseMatrix c(cs.id);
    // Groups: {4, 5, 6}; empty; {9, 2, 3, 3} (not consecutive: split into
    // runs); {18}; {0, 1}.
    const std::vector<int> rowIndex = {4, 5, 6, 9, 2, 3, 3, 18, 0, 1};
    const std::vector<int> groupStart = {0, 3, 3, 7, 8, 10};
    a->IndexedMultiply(ToMatrix(b), c, rowIndex.data(), groupStart.data(), 5);

    const Values ab = NaiveProduct(aValues, false, b);
    Values expected{12, 3, std::vector<double>(36, -1.0)};
    for (std::size_t i = 0; i < rowIndex.size(); ++i)
        for (int j = 0; j < 3; ++j)
            expected.at(static_cast<int>(i), j) = ab(rowIndex[i], j);
    ExpectClose(expected, RawAll(cs), "indexed rows");
}

TEST_F(DenseProducts, AddAssignAndScaleWorkBlockByBlock)
{
    Values bValues;
    std::unique_ptr<ZylSrvDenseMatrix> b = RandomView(m, k, 3, 3, 2, 2, 24, bValues);
    Values expected = RawAll(aSetup);
    a->AddAssign(*b);
    for (int j = 0; j < k; ++j)
        for (int i = 0; i < m; ++i)
            expected.at(3 + i, 2 + j) = aValues(i, j) + bValues(i, j);
    ExpectClose(expected, RawAll(aSetup), "A + B");

    a->Scale(-1.5);
    for (int j = 0; j < k; ++j)
        for (int i = 0; i < m; ++i)
            expected.at(3 + i, 2 + j) *= -1.5;
    ExpectClose(expected, RawAll(aSetup), "-1.5 (A + B)");

    // A smaller B writes nothing.
    std::unique_ptr<ZylSrvDenseMatrix> smaller(b->Submatrix(0, m - 2, 0, k - 1));
    ExpectFamilyError<ZylSrvMtxInvalidGetRange>([&] { a->AddAssign(*smaller); }, 203,
                                                "ZylSrvDenseMatrix::GetValues invalid range values.", 530);
    ExpectClose(expected, RawAll(aSetup), "unchanged");
}

TEST_F(DenseProducts, IsSymmetricComparesMirroredBlocks)
{
    const int n = 11;
    const DenseSetup s = Make(n, n, 4, 4);
    Values v = RandomValues(n, n, 25);
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < j; ++i)
            v.at(j, i) = v(i, j);
    RawWrite(s, 0, n - 1, 0, n - 1, v.v);
    const ZylSrvDenseMatrix sym(s.id);
    EXPECT_TRUE(sym.IsSymmetric());

    RawWrite(s, 1, 1, 9, 9, {v(1, 9) + 1e-9}); // a block off the diagonal
    EXPECT_FALSE(sym.IsSymmetric());
    RawWrite(s, 1, 1, 9, 9, {v(1, 9)});
    EXPECT_TRUE(sym.IsSymmetric());
    RawWrite(s, 5, 5, 6, 6, {v(5, 6) * 2.0 + 1.0}); // inside a diagonal block
    EXPECT_FALSE(sym.IsSymmetric());

    // A square view whose blocks are cut differently from the parent's.
    RawWrite(s, 5, 5, 6, 6, {v(5, 6)});
    std::unique_ptr<ZylSrvDenseMatrix> view(sym.Submatrix(1, 9, 1, 9));
    EXPECT_TRUE(view->IsSymmetric());

    // Non-square: false without reading any value.
    EXPECT_FALSE(a->IsSymmetric());
    ZylDorvTestSeam::FailValueReads(1, 71);
    EXPECT_FALSE(a->IsSymmetric());
    EXPECT_EQ(ZylDorvTestSeam::PendingFailures(), 1);
}

TEST_F(DenseProducts, StagingIsReleasedWhenAnErrorPasses)
{
    Values bValues;
    std::unique_ptr<ZylSrvDenseMatrix> b = RandomView(k, 9, 3, 4, 1, 2, 26, bValues);
    const DenseSetup cs = Make(m - 1, 9, 4, 2);
    ZylSrvDenseMatrix c(cs.id);
    ZylSrvMatrix s(k, k);
    const long withOperands = mem_LiveBlocks();
    // C with too few rows for the product.
    ExpectThrows<ZylSrvMtxInvalidSetRange>([&] { a->Multiply(*b, c); }, [](const ZylSrvMtxInvalidSetRange&) {});
    // A source row past the end of A.
    const std::vector<int> rowIndex = {0, 1, m};
    const std::vector<int> groupStart = {0, 3};
    ExpectThrows<ZylSrvMtxInvalidGetRange>(
        [&] { a->IndexedMultiply(ToMatrix(RandomValues(k, 9, 27)), c, rowIndex.data(), groupStart.data(), 1); },
        [](const ZylSrvMtxInvalidGetRange&) {});
    // A database read failure in the middle of a transposed product.
    ZylDorvTestSeam::FailValueReads(1, 71);
    ExpectThrows<ZylDorvException>([&] { a->TransposeMultiply(a.get(), s, 1); },
                                   [](const ZylDorvException& e) { EXPECT_EQ(e.Number(), 71); });
    EXPECT_EQ(mem_LiveBlocks(), withOperands);
}

} // namespace
