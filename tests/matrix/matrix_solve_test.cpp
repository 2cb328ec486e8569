// ZylSrvMatrix factorization, solve, row permutation and the symmetric
// generalized eigenproblem, checked by residuals and hand-computed values;
// every refusal, empty and negative sizes included, in one table.
#include "MatrixTestSupport.h"

#include <platform/mem.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <type_traits>
#include <vector>

using namespace matrix_test;

namespace {

// Z^T B Z = I and A Z = B Z Lambda, eigenvalues ascending.
void CheckEigenpairs(const RefMatrix& a, const RefMatrix& b, const ZylSrvMatrix& values, const ZylSrvMatrix& vectors)
{
    const int n = a.rows;
    const RefMatrix z = RefOf(vectors), bz = NaiveProduct(b, false, z), az = NaiveProduct(a, false, z);
    RefMatrix identity(n, n), bzLambda = bz;
    for (int j = 0; j < n; ++j) {
        identity(j, j) = 1.0;
        for (int i = 0; i < n; ++i)
            bzLambda(i, j) *= values.Values()[j];
        EXPECT_LE(values.Values()[j > 0 ? j - 1 : 0], values.Values()[j]) << "ascending";
    }
    zyltest::ExpectMatrixNear(identity, NaiveProduct(z, true, bz), "Z^T B Z = I", 1e-12);
    zyltest::ExpectMatrixNear(bzLambda, az, "A Z = B Z Lambda", 1e-11);
}

} // namespace

TEST(MatrixFactorize, InvertsADiagonalAndStopsAtItsFirstZero)
{
    std::vector<int> pivots(3, -7);
    ZylSrvMatrix d = Diagonal({2, 4, std::numeric_limits<double>::quiet_NaN()});
    d.Factorize(pivots.data());
    EXPECT_TRUE(d.Values()[0] == 0.5 && d.Values()[1] == 0.25);
    EXPECT_TRUE(std::isnan(d.Values()[2])) << "a NaN is not a zero";
    EXPECT_EQ(pivots, std::vector<int>(3, -7)) << "pivots are not touched";
    for (double zero : {0.0, -0.0}) {
        ZylSrvMatrix z = Diagonal({2, zero, 4});
        zyltest::ExpectFamilyError<ZylSrvMtxDivByZero>([&] { z.Factorize(pivots.data()); }, 218,
                                                        "ZylSrvMatrix::Factorize - division by 0.", kSource);
        EXPECT_TRUE(z.Values()[0] == 0.5 && z.Values()[2] == 4.0) << "values before the zero are inverted";
    }
    // The reciprocals then solve directly, row by row.
    ZylSrvMatrix rhs = MatrixOf(RefMatrix(3, 2, 8.0));
    d = Diagonal({2, 4, -8});
    d.Factorize(pivots.data());
    d.ForwardBackwardPass(pivots.data(), rhs, false);
    EXPECT_EQ(RefOf(rhs).v, (std::vector<double>{4, 2, -1, 4, 2, -1}));
}

TEST(MatrixFactorize, SolvesWithLuOrTheLowerTriangleOfADeclaredSymmetricMatrix)
{
    // LU in both orientations with the same factors; a declared-symmetric
    // (indefinite) matrix reads and writes only its lower triangle, and
    // transpose is not consulted.
    const int n = 7;
    RefMatrix a = RandomMatrix(n, n, 101), stored = RandomSymmetric(n, 111, 4.0, true);
    const RefMatrix sym = stored, b = RandomMatrix(n, 3, 102);
    for (int j = 0; j < n; ++j) {
        a(j, j) += 3.0;
        for (int i = 0; i < j; ++i)
            stored(i, j) = 1e6;
    }
    ZylSrvMatrix lu = MatrixOf(a), m = MatrixOf(stored, /*symmetric=*/true);
    std::vector<int> pivots(n, 0), symPivots(n, 0);
    lu.Factorize(pivots.data());
    m.Factorize(symPivots.data());
    for (bool transpose : {false, true}) {
        ZylSrvMatrix x = MatrixOf(b), y = MatrixOf(b);
        lu.ForwardBackwardPass(pivots.data(), x, transpose);
        m.ForwardBackwardPass(symPivots.data(), y, transpose);
        zyltest::ExpectMatrixNear(b, NaiveProduct(a, transpose, RefOf(x)), "LU residual");
        zyltest::ExpectMatrixNear(b, NaiveProduct(sym, false, RefOf(y)), "symmetric residual");
    }
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < j; ++i)
            EXPECT_EQ(m.Element(i, j), 1e6) << "only the lower triangle is factorized";
    // A singular matrix factorizes without a report.
    ZylSrvMatrix singular = MatrixOf(RandomMatrix(4, 4, 104));
    std::fill(singular.Values() + 8, singular.Values() + 12, 0.0); // column 2
    EXPECT_NO_THROW(singular.Factorize(pivots.data()));
}

TEST(MatrixPermute, MovesEachRowToItsEntry)
{
    // Row i goes to row perm[i]; of repeated entries the later wins; unnamed rows stay.
    const RefMatrix a = RandomMatrix(4, 3, 131);
    ZylSrvMatrix m = MatrixOf(a), r = MatrixOf(a);
    const int perm[4] = {2, 0, 3, 1}, repeated[4] = {0, 0, 2, 3}, bad[4] = {1, 0, 4, 3}, negative[4] = {-1, 0, 1, 2};
    const long before = mem_LiveBlocks();
    m.PermuteRowsInPlace(perm, 4);
    r.PermuteRowsInPlace(repeated, 4);
    for (int j = 0; j < 3; ++j)
        for (int i = 0; i < 4; ++i) {
            EXPECT_EQ(m.Element(perm[i], j), a(i, j));
            EXPECT_EQ(r.Element(i, j), a(i == 0 ? 1 : i, j));
        }
    // An entry outside 0..rows-1: error 212, raised while the first column
    // moves, after the entries before it were applied to that column only.
    const std::string message = "ZylSrvMatrix::PermuteRowsInPlace - Illegal perm Vector.";
    m = MatrixOf(a);
    zyltest::ExpectFamilyError<ZylSrvMtxIllegalPermVect>([&] { m.PermuteRowsInPlace(bad, 4); }, 212, message, kSource);
    EXPECT_EQ(mem_LiveBlocks(), before) << "the temporary columns are released";
    RefMatrix expected = a;
    std::swap(expected(0, 0), expected(1, 0));
    zyltest::ExpectMatrixNear(expected, RefOf(m), "first column half moved", 0.0);
    zyltest::ExpectFamilyError<ZylSrvMtxIllegalPermVect>([&] { m.PermuteRowsInPlace(negative, 4); }, 212, message,
                                                         kSource);
}

TEST(MatrixEigenproblem, SolvesAKnownSpectrumAndGivesBOrthonormalEigenvectors)
{
    // Not a const member: host code built against the declared class links to this one.
    EXPECT_TRUE((std::is_same<decltype(&ZylSrvMatrix::SolveEigenproblemSymmetric),
                              void (ZylSrvMatrix::*)(const ZylSrvMatrix&, ZylSrvMatrix&, ZylSrvMatrix&)>::value));
    // A = diag(2, 8), B = diag(2, 2): eigenvalues 1 and 4, eigenvectors e_k / sqrt(2).
    ZylSrvMatrix values2(2, 1), vectors2(2, 2);
    Diagonal({2, 8}).SolveEigenproblemSymmetric(Diagonal({2, 2}), values2, vectors2);
    EXPECT_NEAR(values2.Values()[0], 1.0, 1e-15);
    EXPECT_NEAR(values2.Values()[1], 4.0, 1e-15);
    for (int k = 0; k < 4; ++k)
        EXPECT_NEAR(std::fabs(vectors2.Values()[k]), k % 3 == 0 ? 1.0 / std::sqrt(2.0) : 0.0, 1e-15);
    const int n = 10;
    const RefMatrix a = RandomSymmetric(n, 151, 0.0), b = RandomSymmetric(n, 152, 2.0 * n); // B definite
    ZylSrvMatrix am = MatrixOf(a);
    const ZylSrvMatrix bm = MatrixOf(b);
    ZylSrvMatrix values(n, 2), vectors(n, n);
    values = -5.0;
    const long before = mem_LiveBlocks();
    am.SolveEigenproblemSymmetric(bm, values, vectors);
    EXPECT_EQ(mem_LiveBlocks(), before) << "work space released";
    CheckEigenpairs(a, b, values, vectors);
    EXPECT_TRUE(Snapshot(bm) == Snapshot(MatrixOf(b)) && Snapshot(am) == Snapshot(MatrixOf(a))) << "inputs kept";
    for (int i = 0; i < n; ++i)
        EXPECT_EQ(values.Element(i, 1), -5.0) << "a wider eigenvalue matrix keeps its later columns";
    // An indefinite B is LAPACK's report, error 215.
    const long live = mem_LiveBlocks();
    zyltest::ExpectFamilyError<ZylSrvMtxSolveNotPositive>(
        [&] { Diagonal({1, 2}).SolveEigenproblemSymmetric(Diagonal({1, -1}), values2, vectors2); }, 215,
        "ZylSrvMatrix::SolveEigenproblemSymmetric - Matrix B is not positive-definite.", kSource);
    EXPECT_EQ(mem_LiveBlocks(), live) << "work space released on the error path";
}

TEST(MatrixSolve, RefusesBeforeWriting)
{
    const int n = 3;
    std::vector<int> pivots(8, -7), symPivots(n, 0);
    ZylSrvMatrix symWide(2, 3, nullptr, true, false), empty(0, 0), emptySym(0, 0, nullptr, true, false), noRows(0, 3);
    ZylSrvMatrix emptyRhs(0, 2), wide = MatrixOf(RandomMatrix(n, n + 1, 123)), d = Diagonal({2, 4, 8});
    ZylSrvMatrix lu = MatrixOf(RandomSymmetric(n, 121, 3.0)), sym = MatrixOf(RandomSymmetric(n, 142, 3.0, true), true);
    ZylSrvMatrix rhs4 = MatrixOf(RandomMatrix(4, 1, 122)), rhs3 = MatrixOf(RandomMatrix(n, 1, 124));
    ZylSrvMatrix diagRhs = Diagonal({1, 2, 3}), perm = MatrixOf(RandomMatrix(4, 3, 141));
    symWide = 1.0;
    lu.Factorize(pivots.data());
    sym.Factorize(symPivots.data());
    d.Factorize(pivots.data());
    double buffer[n] = {1.0, 2.0, 3.0};
    ZylSrvMatrix negative(n, -1, buffer), watchNegative(n, 1, buffer); // a rhs with -1 columns
    const int three[3] = {0, 1, 2};
    // The eigenproblem: A and B exactly symmetric, every shape n x n, diagonal
    // eigenvectors and eigenvalues without a column refused (our choices).
    ZylSrvMatrix a = MatrixOf(RandomSymmetric(n, 171, 0.0));
    const ZylSrvMatrix b = MatrixOf(RandomSymmetric(n, 172, 6.0));
    ZylSrvMatrix values(n, 1), vectors(n, n), aOff = a, bOff = b, emptyValues(0, 1);
    aOff.Values()[1] = std::nextafter(aOff.Values()[1], 10.0); // one unit in the last place
    bOff.Values()[n] = std::nextafter(bOff.Values()[n], -10.0);
    ZylSrvMatrix b4 = MatrixOf(RandomSymmetric(n + 1, 174, 8.0)), values4(n + 1, 1), vectorsWide(n, n + 1);
    ZylSrvMatrix vectorsTall(n + 1, n), noColumn(n, 0);
    const char *fbp = "ForwardBackwardPass", *eig = "SolveEigenproblemSymmetric";
    ExpectRefusals({
        {"Factorize", [&] { symWide.Factorize(pivots.data()); }, &symWide},
        // Without rows the leading dimension 0 is refused by DGETRF and DSYTRF.
        {"Factorize", [&] { empty.Factorize(pivots.data()); }, &empty},
        {"Factorize", [&] { emptySym.Factorize(pivots.data()); }, &emptySym},
        {"Factorize", [&] { noRows.Factorize(pivots.data()); }, &noRows},
        {fbp, [&] { lu.ForwardBackwardPass(pivots.data(), rhs4, false); }, &rhs4},
        {fbp, [&] { lu.ForwardBackwardPass(pivots.data(), diagRhs, false); }, &diagRhs},
        {fbp, [&] { wide.ForwardBackwardPass(pivots.data(), rhs3, false); }, &rhs3},
        // A 0 x 0 matrix with columns to solve, and a negative column count,
        // reach LAPACK, which refuses them; so does the diagonal solve.
        {fbp, [&] { empty.ForwardBackwardPass(pivots.data(), emptyRhs, false); }, &emptyRhs},
        {fbp, [&] { emptySym.ForwardBackwardPass(pivots.data(), emptyRhs, false); }, &emptyRhs},
        {fbp, [&] { lu.ForwardBackwardPass(pivots.data(), negative, false); }, &watchNegative},
        {fbp, [&] { sym.ForwardBackwardPass(symPivots.data(), negative, false); }, &watchNegative},
        {fbp, [&] { d.ForwardBackwardPass(pivots.data(), negative, false); }, &watchNegative},
        {"PermuteRowsInPlace", [&] { perm.PermuteRowsInPlace(three, 3); }, &perm},
        {"PermuteRowsInPlace", [&] { diagRhs.PermuteRowsInPlace(three, 3); }, &diagRhs},
        {eig, [&] { aOff.SolveEigenproblemSymmetric(b, values, vectors); }, &vectors},
        {eig, [&] { a.SolveEigenproblemSymmetric(bOff, values, vectors); }, &values},
        {eig, [&] { empty.SolveEigenproblemSymmetric(empty, emptyValues, empty); }, &empty},
        {eig, [&] { wide.SolveEigenproblemSymmetric(b, values, vectors); }, &vectors},
        {eig, [&] { a.SolveEigenproblemSymmetric(b4, values, vectors); }, &values},
        {eig, [&] { a.SolveEigenproblemSymmetric(wide, values, vectors); }, &vectors},
        {eig, [&] { a.SolveEigenproblemSymmetric(b, values4, vectors); }, &vectors},
        {eig, [&] { a.SolveEigenproblemSymmetric(b, values, vectorsWide); }, &values},
        {eig, [&] { a.SolveEigenproblemSymmetric(b, values, vectorsTall); }, &values},
        {eig, [&] { a.SolveEigenproblemSymmetric(b, values, diagRhs); }, &values},
        {eig, [&] { a.SolveEigenproblemSymmetric(b, noColumn, vectors); }, &vectors},
    });
    // Rows but no columns: LAPACK's quick return; a rhs without columns is left alone.
    ZylSrvMatrix noColumns(n, 0), none(0, 0);
    std::fill(pivots.begin(), pivots.end(), -7);
    EXPECT_NO_THROW(noColumns.Factorize(pivots.data()));
    EXPECT_EQ(pivots, std::vector<int>(8, -7));
    EXPECT_NO_THROW(lu.ForwardBackwardPass(pivots.data(), noColumns, false));
    EXPECT_NO_THROW(empty.ForwardBackwardPass(pivots.data(), none, false));
}
