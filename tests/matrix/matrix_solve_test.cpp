// ZylSrvMatrix factorization, solve, row permutation and the symmetric
// generalized eigenproblem, checked by residuals and hand-computed values.
#include "MatrixTestSupport.h"

#include <platform/mem.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

using namespace matrix_test;

namespace {

ZylSrvMatrix Diagonal(std::initializer_list<double> values)
{
    const int n = static_cast<int>(values.size());
    ZylSrvMatrix d(n, n, nullptr, false, true);
    int k = 0;
    for (double v : values)
        d.Values()[k++] = v;
    return d;
}

double MaxAbsDifference(const Dense& x, const Dense& y)
{
    double m = 0.0;
    for (size_t k = 0; k < x.v.size(); ++k)
        m = std::max(m, std::fabs(x.v[k] - y.v[k]));
    return m;
}

// Symmetric, well conditioned: random symmetric part plus `shift` on the
// diagonal with alternating signs when `indefinite`.
Dense RandomSymmetric(int n, unsigned seed, double shift, bool indefinite)
{
    Dense r = Random(n, n, seed);
    Dense s(n, n);
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i)
            s(i, j) = 0.5 * (r(i, j) + r(j, i));
    for (int i = 0; i < n; ++i)
        s(i, i) += (indefinite && i % 2 == 1) ? -shift : shift;
    return s;
}

} // namespace

TEST(MatrixFactorize, InvertsADiagonalAndStopsAtItsFirstZero)
{
    std::vector<int> pivots(3, -7);
    ZylSrvMatrix d = Diagonal({2, 4});
    d.Factorize(pivots.data());
    EXPECT_EQ(d.Values()[0], 0.5);
    EXPECT_EQ(d.Values()[1], 0.25);
    EXPECT_EQ(pivots[0], -7) << "pivots are not touched";

    ZylSrvMatrix z = Diagonal({2, 0, 4});
    ExpectError<ZylSrvMtxDivByZero>([&] { z.Factorize(pivots.data()); }, 218,
                                    "ZylSrvMatrix::Factorize - division by 0.");
    EXPECT_EQ(z.Values()[0], 0.5) << "values before the zero are already inverted";
    EXPECT_EQ(z.Values()[1], 0.0);
    EXPECT_EQ(z.Values()[2], 4.0);

    // Caught as the base type, as hosts do.
    ZylSrvMatrix negativeZero = Diagonal({-0.0});
    try {
        negativeZero.Factorize(pivots.data());
        FAIL() << "-0.0 compares equal to 0.0";
    } catch (const ZylBasException& e) {
        EXPECT_EQ(e.ErrorCode(), 218);
        EXPECT_STREQ(e.AsString().Chars(), "ZylSrvMatrix::Factorize - division by 0.");
    }
    ZylSrvMatrix nan = Diagonal({std::numeric_limits<double>::quiet_NaN(), 2});
    nan.Factorize(pivots.data()); // a NaN is not a zero
    EXPECT_TRUE(std::isnan(nan.Values()[0]));
    EXPECT_EQ(nan.Values()[1], 0.5);
}

TEST(MatrixFactorize, SolvesWithLuInBothOrientations)
{
    const int n = 7, nrhs = 3;
    Dense a = Random(n, n, 101);
    for (int i = 0; i < n; ++i)
        a(i, i) += 3.0;
    const Dense b = Random(n, nrhs, 102);
    ZylSrvMatrix lu = MatrixOf(a);
    std::vector<int> pivots(n, 0);
    lu.Factorize(pivots.data());
    for (int p : pivots) {
        EXPECT_GE(p, 1);
        EXPECT_LE(p, n);
    }
    EXPECT_FALSE(DenseOf(lu).v == a.v) << "the matrix now holds its factors";

    ZylSrvMatrix x = MatrixOf(b);
    lu.ForwardBackwardPass(pivots.data(), x, false);
    EXPECT_LT(MaxAbsDifference(NaiveProduct(a, DenseOf(x)), b), 1e-12);
    // The factors stay usable: solve the transposed system with them.
    ZylSrvMatrix xt = MatrixOf(b);
    lu.ForwardBackwardPass(pivots.data(), xt, true);
    EXPECT_LT(MaxAbsDifference(NaiveProduct(a, DenseOf(xt), true), b), 1e-12);
    EXPECT_GT(MaxAbsDifference(DenseOf(x), DenseOf(xt)), 1e-6) << "a is not symmetric";

    // A rectangular matrix factorizes too (DGETRF M x N).
    ZylSrvMatrix tall = MatrixOf(Random(5, 3, 103));
    std::vector<int> tallPivots(3, 0);
    tall.Factorize(tallPivots.data());
    for (int p : tallPivots)
        EXPECT_GE(p, 1);

    // A singular matrix returns normally (the zero pivot is not reported).
    Dense singular = Random(4, 4, 104);
    for (int i = 0; i < 4; ++i)
        singular(i, 2) = 0.0;
    ZylSrvMatrix s = MatrixOf(singular);
    std::vector<int> sp(4, 0);
    EXPECT_NO_THROW(s.Factorize(sp.data()));
}

TEST(MatrixFactorize, SolvesADeclaredSymmetricMatrixFromItsLowerTriangle)
{
    const int n = 9, nrhs = 2;
    const Dense sym = RandomSymmetric(n, 111, 4.0, true); // indefinite
    Dense stored = sym;
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < j; ++i)
            stored(i, j) = 1e6; // the strict upper triangle is not read
    ZylSrvMatrix m = MatrixOf(stored, /*symmetric=*/true);
    std::vector<int> pivots(n, 0);
    m.Factorize(pivots.data());
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < j; ++i)
            EXPECT_EQ(m.Element(i, j), 1e6) << "only the lower triangle is factorized";

    const Dense b = Random(n, nrhs, 112);
    ZylSrvMatrix x = MatrixOf(b);
    m.ForwardBackwardPass(pivots.data(), x, false);
    EXPECT_LT(MaxAbsDifference(NaiveProduct(sym, DenseOf(x)), b), 1e-12);
    // transpose is not consulted for a declared-symmetric matrix.
    ZylSrvMatrix xt = MatrixOf(b);
    m.ForwardBackwardPass(pivots.data(), xt, true);
    EXPECT_TRUE(Snapshot(xt) == Snapshot(x));
}

TEST(MatrixFactorize, SolvesWithTheReciprocalsOfADiagonal)
{
    ZylSrvMatrix d = Diagonal({2, 4, -8});
    std::vector<int> pivots(3, 0);
    d.Factorize(pivots.data());
    ZylSrvMatrix rhs(3, 2);
    const double values[6] = {2, 4, 8, 1, 1, 1};
    std::memcpy(rhs.Values(), values, sizeof values);
    d.ForwardBackwardPass(pivots.data(), rhs, false);
    const double expected[6] = {1, 1, -1, 0.5, 0.25, -0.125};
    for (int k = 0; k < 6; ++k)
        EXPECT_EQ(rhs.Values()[k], expected[k]);
}

TEST(MatrixFactorize, RejectsWhatItCannotFactorizeOrSolve)
{
    std::vector<int> pivots(8, 0);
    // Our choices: a declared-symmetric matrix must be square; the solve
    // needs a square matrix and a full rhs with as many rows.
    ZylSrvMatrix symWide(2, 3, nullptr, true, false);
    symWide = 1.0;
    ExpectRejectedUnchanged([&] { symWide.Factorize(pivots.data()); }, "Factorize", symWide);

    ZylSrvMatrix lu = MatrixOf(RandomSymmetric(3, 121, 3.0, false));
    lu.Factorize(pivots.data());
    ZylSrvMatrix rhs = MatrixOf(Random(4, 1, 122));
    ExpectRejectedUnchanged([&] { lu.ForwardBackwardPass(pivots.data(), rhs, false); },
                            "ForwardBackwardPass", rhs);
    ZylSrvMatrix diagRhs = Diagonal({1, 2, 3});
    ExpectRejectedUnchanged([&] { lu.ForwardBackwardPass(pivots.data(), diagRhs, false); },
                            "ForwardBackwardPass", diagRhs);
    ZylSrvMatrix wide = MatrixOf(Random(3, 4, 123));
    ZylSrvMatrix rhs3 = MatrixOf(Random(3, 1, 124));
    ExpectRejectedUnchanged([&] { wide.ForwardBackwardPass(pivots.data(), rhs3, false); },
                            "ForwardBackwardPass", rhs3);

    // A rhs without columns: nothing to solve.
    ZylSrvMatrix noColumns(3, 0);
    EXPECT_NO_THROW(lu.ForwardBackwardPass(pivots.data(), noColumns, false));
}

TEST(MatrixFactorize, LeavesEmptyAndNegativeSizesToLapacksArgumentChecks)
{
    std::vector<int> pivots(8, -7);
    const std::vector<int> untouched = pivots;

    // No rows: the leading dimension 0 is refused by DGETRF and DSYTRF.
    ZylSrvMatrix empty(0, 0);
    ExpectIllegalInput([&] { empty.Factorize(pivots.data()); }, "Factorize");
    ZylSrvMatrix emptySym(0, 0, nullptr, true, false);
    ExpectIllegalInput([&] { emptySym.Factorize(pivots.data()); }, "Factorize");
    ZylSrvMatrix noRows(0, 3);
    ExpectIllegalInput([&] { noRows.Factorize(pivots.data()); }, "Factorize");
    // Rows but no columns: LAPACK's quick return, nothing written.
    ZylSrvMatrix noColumns(3, 0);
    EXPECT_NO_THROW(noColumns.Factorize(pivots.data()));
    EXPECT_EQ(pivots, untouched);

    // A 0 x 0 matrix with right-hand sides to solve: refused by LAPACK; with
    // none it returns at once.
    ZylSrvMatrix emptyRhs(0, 2);
    ExpectIllegalInput([&] { empty.ForwardBackwardPass(pivots.data(), emptyRhs, false); },
                       "ForwardBackwardPass");
    ExpectIllegalInput([&] { emptySym.ForwardBackwardPass(pivots.data(), emptyRhs, false); },
                       "ForwardBackwardPass");
    ZylSrvMatrix emptyNoRhs(0, 0);
    EXPECT_NO_THROW(empty.ForwardBackwardPass(pivots.data(), emptyNoRhs, false));

    // A rhs with a negative column count (a wrapped buffer) reaches DGETRS
    // and DSYTRS, which refuse NRHS; it is left unchanged.
    const int n = 3;
    ZylSrvMatrix lu = MatrixOf(RandomSymmetric(n, 141, 3.0, false));
    lu.Factorize(pivots.data());
    ZylSrvMatrix sym = MatrixOf(RandomSymmetric(n, 142, 3.0, true), true);
    std::vector<int> symPivots(n, 0);
    sym.Factorize(symPivots.data());
    double buffer[n] = {1.0, 2.0, 3.0};
    ZylSrvMatrix negative(n, -1, buffer);
    for (bool transpose : {false, true}) {
        ExpectRejectedUnchanged([&] { lu.ForwardBackwardPass(pivots.data(), negative, transpose); },
                                "ForwardBackwardPass", ZylSrvMatrix(n, 1, buffer));
        ExpectRejectedUnchanged([&] { sym.ForwardBackwardPass(symPivots.data(), negative, transpose); },
                                "ForwardBackwardPass", ZylSrvMatrix(n, 1, buffer));
    }
    // The same count is refused by the direct solve of a diagonal matrix.
    ZylSrvMatrix d = Diagonal({2, 4, 8});
    d.Factorize(pivots.data());
    ExpectRejectedUnchanged([&] { d.ForwardBackwardPass(pivots.data(), negative, false); },
                            "ForwardBackwardPass", ZylSrvMatrix(n, 1, buffer));
}

TEST(MatrixPermute, MovesEachRowToItsEntry)
{
    // (2, 0, 1): row 0 to row 2, row 1 to row 0, row 2 to row 1.
    const Dense a = Random(3, 4, 131);
    ZylSrvMatrix m = MatrixOf(a);
    const int perm[3] = {2, 0, 1};
    const long before = mem_LiveBlocks();
    m.PermuteRowsInPlace(perm, 3);
    EXPECT_EQ(mem_LiveBlocks(), before);
    for (int j = 0; j < 4; ++j) {
        EXPECT_EQ(m.Element(2, j), a(0, j));
        EXPECT_EQ(m.Element(0, j), a(1, j));
        EXPECT_EQ(m.Element(1, j), a(2, j));
    }

    // A repeated entry: the row nobody names keeps its old values.
    ZylSrvMatrix r = MatrixOf(a);
    const int repeated[3] = {0, 0, 2};
    r.PermuteRowsInPlace(repeated, 3);
    for (int j = 0; j < 4; ++j) {
        EXPECT_EQ(r.Element(0, j), a(1, j)) << "the later entry wins";
        EXPECT_EQ(r.Element(1, j), a(1, j));
        EXPECT_EQ(r.Element(2, j), a(2, j));
    }
}

TEST(MatrixPermute, RejectsAWrongLengthAndBadEntries)
{
    const Dense a = Random(4, 3, 141);
    ZylSrvMatrix m = MatrixOf(a);
    const int three[3] = {0, 1, 2};
    ExpectRejectedUnchanged([&] { m.PermuteRowsInPlace(three, 3); }, "PermuteRowsInPlace", m);
    ZylSrvMatrix diag = Diagonal({1, 2, 3});
    ExpectRejectedUnchanged([&] { diag.PermuteRowsInPlace(three, 3); }, "PermuteRowsInPlace", diag);

    // An entry equal to the row count: error 212, raised while the first
    // column moves, after the entries before it were applied to that column.
    const int bad[4] = {1, 0, 4, 3};
    const long before = mem_LiveBlocks();
    ExpectError<ZylSrvMtxIllegalPermVect>([&] { m.PermuteRowsInPlace(bad, 4); }, 212,
                                          "ZylSrvMatrix::PermuteRowsInPlace - Illegal perm Vector.");
    EXPECT_EQ(mem_LiveBlocks(), before) << "the temporary column is released";
    EXPECT_EQ(m.Element(1, 0), a(0, 0));
    EXPECT_EQ(m.Element(0, 0), a(1, 0));
    EXPECT_EQ(m.Element(2, 0), a(2, 0));
    EXPECT_EQ(m.Element(3, 0), a(3, 0));
    for (int j = 1; j < 3; ++j)
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(m.Element(i, j), a(i, j)) << "later columns are not touched";

    ZylSrvMatrix m2 = MatrixOf(a);
    const int negative[4] = {-1, 0, 1, 2};
    ExpectError<ZylSrvMtxIllegalPermVect>([&] { m2.PermuteRowsInPlace(negative, 4); }, 212,
                                          "ZylSrvMatrix::PermuteRowsInPlace - Illegal perm Vector.");
}

TEST(MatrixEigenproblem, SolvesATwoByTwoDiagonalPairByHand)
{
    // A = diag(2, 8), B = diag(2, 2): eigenvalues 1 and 4, eigenvectors
    // e_k / sqrt(2) (B-orthonormal).
    ZylSrvMatrix a = Diagonal({2, 8});
    ZylSrvMatrix b = Diagonal({2, 2});
    ZylSrvMatrix values(2, 1);
    ZylSrvMatrix vectors(2, 2);
    vectors = 42.0;
    a.SolveEigenproblemSymmetric(b, values, vectors);
    EXPECT_NEAR(values.Values()[0], 1.0, 1e-15);
    EXPECT_NEAR(values.Values()[1], 4.0, 1e-15);
    EXPECT_NEAR(std::fabs(vectors.Element(0, 0)), 1.0 / std::sqrt(2.0), 1e-15);
    EXPECT_NEAR(std::fabs(vectors.Element(1, 1)), 1.0 / std::sqrt(2.0), 1e-15);
    EXPECT_EQ(vectors.Element(1, 0), 0.0);
    EXPECT_EQ(vectors.Element(0, 1), 0.0);

    // n = 1: 6 x = lambda 2 x.
    ZylSrvMatrix a1(1, 1), b1(1, 1), v1(1, 1), z1(1, 1);
    a1 = 6.0;
    b1 = 2.0;
    a1.SolveEigenproblemSymmetric(b1, v1, z1);
    EXPECT_NEAR(v1.Values()[0], 3.0, 1e-15);
    EXPECT_NEAR(std::fabs(z1.Values()[0]), 1.0 / std::sqrt(2.0), 1e-15);
}

namespace {

// Z^T B Z = I and A Z = B Z Lambda, eigenvalues ascending.
void CheckEigenpairs(const Dense& a, const Dense& b, const ZylSrvMatrix& values, const ZylSrvMatrix& vectors)
{
    const int n = a.rows;
    const Dense z = DenseOf(vectors);
    const Dense bz = NaiveProduct(b, z);
    const Dense ztbz = NaiveProduct(z, bz, true);
    double orth = 0.0;
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i)
            orth = std::max(orth, std::fabs(ztbz(i, j) - (i == j ? 1.0 : 0.0)));
    EXPECT_LT(orth, 1e-12) << "Z^T B Z = I";
    const Dense az = NaiveProduct(a, z);
    double residual = 0.0;
    for (int j = 0; j < n; ++j) {
        if (j > 0) {
            EXPECT_LE(values.Values()[j - 1], values.Values()[j]) << "ascending";
        }
        for (int i = 0; i < n; ++i)
            residual = std::max(residual, std::fabs(az(i, j) - bz(i, j) * values.Values()[j]));
    }
    EXPECT_LT(residual, 1e-11) << "A Z = B Z Lambda";
}

} // namespace

TEST(MatrixEigenproblem, GivesBOrthonormalEigenvectorsWithSmallResiduals)
{
    const int n = 10;
    const Dense a = RandomSymmetric(n, 151, 0.0, false);
    const Dense b = RandomSymmetric(n, 152, 2.0 * n, false); // diagonally dominant: positive definite
    ZylSrvMatrix am = MatrixOf(a), bm = MatrixOf(b);
    ZylSrvMatrix values(n, 1), vectors(n, n);
    const long before = mem_LiveBlocks();
    am.SolveEigenproblemSymmetric(bm, values, vectors);
    EXPECT_EQ(mem_LiveBlocks(), before) << "work space released";
    CheckEigenpairs(a, b, values, vectors);
    EXPECT_TRUE(Snapshot(bm) == Snapshot(MatrixOf(b))) << "b is copied, not overwritten";
    EXPECT_TRUE(Snapshot(am) == Snapshot(MatrixOf(a)));

    // Diagonal A with full B, full A with diagonal B, and eigenvectors
    // sharing this matrix's storage.
    ZylSrvMatrix ad(n, n, nullptr, false, true);
    Dense adDense(n, n);
    for (int i = 0; i < n; ++i)
        adDense(i, i) = ad.Values()[i] = 1.0 + i;
    ad.SolveEigenproblemSymmetric(bm, values, vectors);
    CheckEigenpairs(adDense, b, values, vectors);

    ZylSrvMatrix bd(n, n, nullptr, false, true);
    Dense bdDense(n, n);
    for (int i = 0; i < n; ++i)
        bdDense(i, i) = bd.Values()[i] = 2.0 + 0.5 * i;
    ZylSrvMatrix inPlace = MatrixOf(a);
    inPlace.SolveEigenproblemSymmetric(bd, values, inPlace);
    CheckEigenpairs(a, bdDense, values, inPlace);

    // A wider eigenvalue matrix keeps its later columns.
    ZylSrvMatrix wideValues(n, 2);
    wideValues = -5.0;
    am.SolveEigenproblemSymmetric(bm, wideValues, vectors);
    for (int i = 0; i < n; ++i)
        EXPECT_EQ(wideValues.Element(i, 1), -5.0);
}

TEST(MatrixEigenproblem, ReportsAnIndefiniteB)
{
    ZylSrvMatrix a = Diagonal({1, 2});
    ZylSrvMatrix b = Diagonal({1, -1});
    ZylSrvMatrix values(2, 1), vectors(2, 2);
    const long before = mem_LiveBlocks();
    ExpectError<ZylSrvMtxSolveNotPositive>(
        [&] { a.SolveEigenproblemSymmetric(b, values, vectors); }, 215,
        "ZylSrvMatrix::SolveEigenproblemSymmetric - Matrix B is not positive-definite.");
    EXPECT_EQ(mem_LiveBlocks(), before) << "work space released on the error path";

    // A full B whose leading 2 x 2 minor is singular.
    ZylSrvMatrix a3 = MatrixOf(RandomSymmetric(3, 161, 1.0, false));
    ZylSrvMatrix b3(3, 3);
    const double bv[9] = {1, 1, 0, 1, 1, 0, 0, 0, 1};
    std::memcpy(b3.Values(), bv, sizeof bv);
    ZylSrvMatrix values3(3, 1), vectors3(3, 3);
    const long before3 = mem_LiveBlocks();
    ExpectError<ZylSrvMtxSolveNotPositive>(
        [&] { a3.SolveEigenproblemSymmetric(b3, values3, vectors3); }, 215,
        "ZylSrvMatrix::SolveEigenproblemSymmetric - Matrix B is not positive-definite.");
    EXPECT_EQ(mem_LiveBlocks(), before3);
}

TEST(MatrixEigenproblem, RejectsShapesAndInexactSymmetryBeforeWriting)
{
    const int n = 3;
    ZylSrvMatrix a = MatrixOf(RandomSymmetric(n, 171, 0.0, false));
    ZylSrvMatrix b = MatrixOf(RandomSymmetric(n, 172, 6.0, false));
    ZylSrvMatrix values(n, 1), vectors(n, n);
    values = 9.0;
    vectors = 9.0;
    const Snapshot valuesBefore(values), vectorsBefore(vectors);
    auto rejected = [&](auto call) {
        ExpectIllegalInput(call, "SolveEigenproblemSymmetric");
    };

    // One unit in the last place off symmetric.
    ZylSrvMatrix aOff = a;
    aOff.Values()[1] = std::nextafter(aOff.Values()[1], 10.0);
    rejected([&] { aOff.SolveEigenproblemSymmetric(b, values, vectors); });
    ZylSrvMatrix bOff = b;
    bOff.Values()[n] = std::nextafter(bOff.Values()[n], -10.0);
    rejected([&] { a.SolveEigenproblemSymmetric(bOff, values, vectors); });

    ZylSrvMatrix empty(0, 0), emptyValues(0, 1);
    rejected([&] { empty.SolveEigenproblemSymmetric(empty, emptyValues, empty); });
    ZylSrvMatrix wide = MatrixOf(Random(n, n + 1, 173));
    rejected([&] { wide.SolveEigenproblemSymmetric(b, values, vectors); });
    ZylSrvMatrix b4 = MatrixOf(RandomSymmetric(n + 1, 174, 8.0, false));
    rejected([&] { a.SolveEigenproblemSymmetric(b4, values, vectors); });
    ZylSrvMatrix bWide = MatrixOf(Random(n, n + 1, 175));
    rejected([&] { a.SolveEigenproblemSymmetric(bWide, values, vectors); });
    ZylSrvMatrix values4(n + 1, 1);
    rejected([&] { a.SolveEigenproblemSymmetric(b, values4, vectors); });
    ZylSrvMatrix vectorsWide(n, n + 1), vectorsTall(n + 1, n);
    rejected([&] { a.SolveEigenproblemSymmetric(b, values, vectorsWide); });
    rejected([&] { a.SolveEigenproblemSymmetric(b, values, vectorsTall); });
    // Our choices: diagonal eigenvectors and eigenvalues without a column.
    ZylSrvMatrix diagVectors = Diagonal({1, 2, 3});
    rejected([&] { a.SolveEigenproblemSymmetric(b, values, diagVectors); });
    ZylSrvMatrix noColumn(n, 0);
    rejected([&] { a.SolveEigenproblemSymmetric(b, noColumn, vectors); });

    EXPECT_TRUE(Snapshot(values) == valuesBefore);
    EXPECT_TRUE(Snapshot(vectors) == vectorsBefore);
}
