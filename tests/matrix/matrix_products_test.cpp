// ZylSrvMatrix sums and products against plain loops, including exactly
// which blocks the blockwise symmetric forms compute and which they leave.
#include "MatrixTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

using namespace matrix_test;

namespace {

// Tolerance for a sum of k products of values in [-1, 1].
double Tol(int k) { return 1e-14 * (k + 1) * 4; }

void ExpectNearDense(const Dense& got, const Dense& want, double tol, const char* what)
{
    ASSERT_EQ(got.rows, want.rows) << what;
    ASSERT_EQ(got.cols, want.cols) << what;
    int bad = 0;
    for (int j = 0; j < want.cols; ++j)
        for (int i = 0; i < want.rows; ++i)
            if (!(std::fabs(got(i, j) - want(i, j)) <= tol) && ++bad <= 5)
                ADD_FAILURE() << what << ": (" << i << ", " << j << ") " << got(i, j) << " vs " << want(i, j);
}

ZylSrvMatrix Diagonal(std::initializer_list<double> values)
{
    const int n = static_cast<int>(values.size());
    ZylSrvMatrix d(n, n, nullptr, false, true);
    int k = 0;
    for (double v : values)
        d.Values()[k++] = v;
    return d;
}

} // namespace

TEST(MatrixSum, PlusAssignAddsFullAndDiagonalOperands)
{
    const Dense a = Random(3, 4, 1), b = Random(3, 4, 2);
    ZylSrvMatrix m = MatrixOf(a);
    m += MatrixOf(b);
    for (int k = 0; k < 12; ++k)
        EXPECT_EQ(m.Values()[k], a.v[k] + b.v[k]);

    const Dense s = Random(3, 3, 3);
    ZylSrvMatrix square = MatrixOf(s);
    square += Diagonal({1, 2, 3});
    for (int j = 0; j < 3; ++j)
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(square.Element(i, j), s(i, j) + (i == j ? i + 1.0 : 0.0));

    ZylSrvMatrix d = Diagonal({1, 2});
    d += Diagonal({10, 20});
    EXPECT_EQ(d.Values()[0], 11.0);
    EXPECT_EQ(d.Values()[1], 22.0);

    ExpectRejectedUnchanged([&] { m += m; }, "+=", m);
    ExpectRejectedUnchanged([&] { m += MatrixOf(Random(4, 3, 4)); }, "+=", m);
    ExpectRejectedUnchanged([&] { d += MatrixOf(Random(2, 2, 5)); }, "+=", d);
}

TEST(MatrixSum, AddScalesTheOtherMatrix)
{
    const Dense a = Random(4, 2, 6), b = Random(4, 2, 7);
    ZylSrvMatrix m = MatrixOf(a);
    m.Add(2.5, MatrixOf(b));
    for (int k = 0; k < 8; ++k)
        EXPECT_EQ(m.Values()[k], a.v[k] + 2.5 * b.v[k]);
    m = MatrixOf(a);
    m.Add(1.0, MatrixOf(b));
    for (int k = 0; k < 8; ++k)
        EXPECT_EQ(m.Values()[k], a.v[k] + b.v[k]);
    m = MatrixOf(a);
    m.Add(-1.0, MatrixOf(b));
    for (int k = 0; k < 8; ++k)
        EXPECT_EQ(m.Values()[k], a.v[k] - b.v[k]);

    // With itself: doubles every value.
    m = MatrixOf(a);
    m.Add(1.0, m);
    for (int k = 0; k < 8; ++k)
        EXPECT_EQ(m.Values()[k], 2.0 * a.v[k]);

    // A zero factor returns before any check.
    const Snapshot before(m);
    m.Add(0.0, MatrixOf(Random(7, 7, 8)));
    EXPECT_TRUE(Snapshot(m) == before);
    // A NaN factor goes on to the checks and the sum.
    ExpectRejectedUnchanged([&] { m.Add(std::nan(""), MatrixOf(Random(7, 7, 8))); }, "Add", m);

    // Full plus scaled diagonal, diagonal plus diagonal.
    const Dense s = Random(2, 2, 9);
    ZylSrvMatrix square = MatrixOf(s);
    square.Add(-3.0, Diagonal({1, 2}));
    EXPECT_EQ(square.Element(0, 0), s(0, 0) - 3.0);
    EXPECT_EQ(square.Element(1, 1), s(1, 1) - 6.0);
    EXPECT_EQ(square.Element(1, 0), s(1, 0));
    ZylSrvMatrix d = Diagonal({1, 2});
    d.Add(0.5, Diagonal({4, 8}));
    EXPECT_EQ(d.Values()[0], 3.0);
    EXPECT_EQ(d.Values()[1], 6.0);

    ExpectRejectedUnchanged([&] { d.Add(1.0, square); }, "Add", d);
    ExpectRejectedUnchanged([&] { m.Add(2.0, MatrixOf(Random(2, 4, 10))); }, "Add", m);
}

TEST(MatrixProduct, TimesAssignCoversColumnsDiagonalsAndSquares)
{
    // A 3 x 1 column times a full 3 x 3 m gives m times the column.
    const Dense mat = Random(3, 3, 11), col = Random(3, 1, 12);
    ZylSrvMatrix column = MatrixOf(col);
    column *= MatrixOf(mat);
    ExpectNearDense(DenseOf(column), NaiveProduct(mat, col), Tol(3), "m * column");

    // A column times a diagonal scales its values.
    ZylSrvMatrix column2 = MatrixOf(col);
    column2 *= Diagonal({2, 3, 4});
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(column2.Values()[i], col.v[i] * (i + 2));

    // A full 3 x 3 times a diagonal d scales its columns by d.
    ZylSrvMatrix square = MatrixOf(mat);
    square *= Diagonal({2, -1, 0.5});
    const double d[3] = {2, -1, 0.5};
    for (int j = 0; j < 3; ++j)
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(square.Element(i, j), mat(i, j) * d[j]);

    // Both diagonal: pairwise.
    ZylSrvMatrix diag = Diagonal({2, 3});
    diag *= Diagonal({5, 7});
    EXPECT_EQ(diag.Values()[0], 10.0);
    EXPECT_EQ(diag.Values()[1], 21.0);

    // Full square times full square: this * other.
    const Dense x = Random(6, 6, 13), y = Random(6, 6, 14);
    ZylSrvMatrix prod = MatrixOf(x);
    prod *= MatrixOf(y);
    ExpectNearDense(DenseOf(prod), NaiveProduct(x, y), Tol(6), "x * y");

    // Rejections.
    ZylSrvMatrix wide = MatrixOf(Random(2, 3, 15));
    ExpectRejectedUnchanged([&] { wide *= MatrixOf(Random(3, 2, 16)); }, "Multiply", wide);
    ExpectRejectedUnchanged([&] { wide *= MatrixOf(Random(3, 3, 17)); }, "*=", wide);
    ExpectRejectedUnchanged([&] { prod *= prod; }, "*=", prod);
    // Our choices: diagonal times full, and a full other that does not fit.
    ZylSrvMatrix diag3 = Diagonal({1, 2, 3});
    ExpectRejectedUnchanged([&] { diag3 *= MatrixOf(mat); }, "*=", diag3);
    ExpectRejectedUnchanged([&] { column *= MatrixOf(Random(4, 3, 18)); }, "Multiply", column);
    ZylSrvMatrix square3 = MatrixOf(mat);
    ExpectRejectedUnchanged([&] { square3 *= MatrixOf(Random(2, 3, 19)); }, "Multiply", square3);
}

TEST(MatrixProduct, MultiplyTwoMatricesIntoThisOne)
{
    const Dense a = Random(4, 3, 21), b = Random(3, 5, 22);
    ZylSrvMatrix result(4, 5);
    result = 99.0;
    result.Multiply(MatrixOf(a), MatrixOf(b));
    ExpectNearDense(DenseOf(result), NaiveProduct(a, b), Tol(3), "a * b");

    // Diagonal a and b into a full result: only the diagonal is non-zero.
    ZylSrvMatrix full(3, 3);
    full = 5.0;
    full.Multiply(Diagonal({1, 2, 3}), Diagonal({4, 5, 6}));
    for (int j = 0; j < 3; ++j)
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(full.Element(i, j), i == j ? (i + 1.0) * (i + 4.0) : 0.0);
    ZylSrvMatrix diagResult(3, 3, nullptr, false, true);
    diagResult.Multiply(Diagonal({1, 2, 3}), Diagonal({4, 5, 6}));
    EXPECT_EQ(diagResult.Values()[2], 18.0);

    // Full times diagonal, diagonal times full.
    const Dense sq = Random(3, 3, 23);
    ZylSrvMatrix fd(3, 3), df(3, 3);
    fd.Multiply(MatrixOf(sq), Diagonal({2, 3, 4}));
    df.Multiply(Diagonal({2, 3, 4}), MatrixOf(sq));
    for (int j = 0; j < 3; ++j)
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(fd.Element(i, j), sq(i, j) * (j + 2));
            EXPECT_EQ(df.Element(i, j), sq(i, j) * (i + 2));
        }

    // An empty inner dimension gives zeros; an empty result stays empty.
    ZylSrvMatrix zeroInner(2, 2);
    zeroInner = 3.0;
    zeroInner.Multiply(ZylSrvMatrix(2, 0), ZylSrvMatrix(0, 2));
    for (int k = 0; k < 4; ++k)
        EXPECT_EQ(zeroInner.Values()[k], 0.0);
    ZylSrvMatrix empty(0, 2);
    empty.Multiply(ZylSrvMatrix(0, 3), MatrixOf(Random(3, 2, 24)));

    // Rejections.
    ExpectRejectedUnchanged([&] { result.Multiply(MatrixOf(a), MatrixOf(Random(4, 5, 25))); },
                            "Multiply", result);
    ExpectRejectedUnchanged([&] { result.Multiply(MatrixOf(Random(3, 3, 26)), MatrixOf(b)); },
                            "Multiply", result);
    ExpectRejectedUnchanged([&] { result.Multiply(MatrixOf(a), MatrixOf(Random(3, 4, 27))); },
                            "Multiply", result);
    ExpectRejectedUnchanged([&] { diagResult.Multiply(MatrixOf(sq), Diagonal({1, 2, 3})); }, "Multiply",
                            diagResult);
    ExpectRejectedUnchanged([&] { diagResult.Multiply(Diagonal({1, 2, 3}), MatrixOf(sq)); }, "Multiply",
                            diagResult);
    // Our choice: a full product cannot be written over its operand.
    ZylSrvMatrix s = MatrixOf(sq);
    ZylSrvMatrix other = MatrixOf(sq);
    ExpectRejectedUnchanged([&] { s.Multiply(s, other); }, "Multiply", s);
    ExpectRejectedUnchanged([&] { s.Multiply(other, s); }, "Multiply", s);
    ZylSrvMatrix view(3, 3, other.Values(), false, false);
    ExpectRejectedUnchanged([&] { view.Multiply(s, other); }, "Multiply", view);
}

TEST(MatrixProduct, MultiplyIntoAResultWithAndWithoutAccumulation)
{
    const Dense a = Random(5, 7, 31), b = Random(7, 4, 32), c = Random(5, 4, 33);
    const Dense ab = NaiveProduct(a, b);
    ZylSrvMatrix result = MatrixOf(c);
    MatrixOf(a).Multiply(MatrixOf(b), result, 12345, 0);
    ExpectNearDense(DenseOf(result), ab, Tol(7), "result := a * b");
    result = MatrixOf(c);
    MatrixOf(a).Multiply(MatrixOf(b), result, 0, 1);
    Dense sum = ab;
    for (size_t k = 0; k < sum.v.size(); ++k)
        sum.v[k] += c.v[k];
    ExpectNearDense(DenseOf(result), sum, Tol(8), "result += a * b");
}

TEST(MatrixProduct, TransposeMultiplyWithOneGemm)
{
    const Dense a = Random(9, 5, 41), b = Random(9, 6, 42), c = Random(5, 6, 43);
    const Dense atb = NaiveProduct(a, b, true);
    ZylSrvMatrix result = MatrixOf(c);
    MatrixOf(a).TransposeMultiply(MatrixOf(b), result, 0, 0);
    ExpectNearDense(DenseOf(result), atb, Tol(9), "a^T b");
    result = MatrixOf(c);
    MatrixOf(a).TransposeMultiply(MatrixOf(b), result, 0, 7);
    Dense sum = atb;
    for (size_t k = 0; k < sum.v.size(); ++k)
        sum.v[k] += c.v[k];
    ExpectNearDense(DenseOf(result), sum, Tol(10), "a^T b + c");
}

namespace {

// Runs the blockwise symmetric TransposeMultiply of a (k x nA) and b (k x nB)
// into a result pre-filled with `fill` and checks every element: the blocks
// of 144 that `computed(i, j)` names hold a^T b (+ fill when accumulating),
// every other element still holds fill.
template <typename Computed>
void CheckBlockwiseTransposeMultiply(int k, int nA, int nB, int accumulate, Computed computed)
{
    const Dense a = Random(k, nA, 50 + nA), b = Random(k, nB, 60 + nB);
    const Dense want = NaiveProduct(a, b, true);
    const double fill = 7.0;
    ZylSrvMatrix result(nA, nB);
    result = fill;
    MatrixOf(a).TransposeMultiply(MatrixOf(b), result, 1, accumulate);
    int bad = 0;
    for (int j = 0; j < nB; ++j)
        for (int i = 0; i < nA; ++i) {
            const double got = result.Element(i, j);
            if (computed(i / 144, j / 144)) {
                const double expected = want(i, j) + (accumulate ? fill : 0.0);
                if (!(std::fabs(got - expected) <= Tol(k) + (accumulate ? 1e-14 * fill : 0.0)) && ++bad <= 5)
                    ADD_FAILURE() << "block (" << i / 144 << ", " << j / 144 << ") element (" << i << ", "
                                  << j << "): " << got << " vs " << expected;
            } else if (got != fill && ++bad <= 5) {
                ADD_FAILURE() << "block (" << i / 144 << ", " << j / 144 << ") must be left, element ("
                              << i << ", " << j << ") = " << got;
            }
        }
    EXPECT_EQ(bad, 0);
}

} // namespace

TEST(MatrixProduct, SymmetricTransposeMultiplyComputesTheLowerBlockTriangle)
{
    // nA = nB = 200: blocks of 144 and 56; (0, 0), (1, 0), (1, 1) only.
    auto lower = [](int i, int j) { return i >= j; };
    CheckBlockwiseTransposeMultiply(30, 200, 200, 0, lower);
    // With accumulation the computed blocks are added to what was there.
    CheckBlockwiseTransposeMultiply(30, 200, 200, 1, lower);
    // nA > nB: three row blocks (144, 144, 12) against two column blocks.
    CheckBlockwiseTransposeMultiply(17, 300, 150, 0, lower);
    // Exactly 288 columns: two full blocks, the last "remainder" is 144.
    CheckBlockwiseTransposeMultiply(5, 288, 288, 0, lower);
}

TEST(MatrixProduct, SymmetricTransposeMultiplyComputesTheUpperBlockTriangleWhenThisIsNarrower)
{
    // nA = 150 < nB = 300: blocks on and above the block diagonal only;
    // block (1, 0) is left.
    CheckBlockwiseTransposeMultiply(20, 150, 300, 0, [](int i, int j) { return j >= i; });
    CheckBlockwiseTransposeMultiply(20, 150, 300, 1, [](int i, int j) { return j >= i; });
}

TEST(MatrixProduct, SymmetricMultiplyFillsTheLowerBlockTriangleFirstBlockHoldingTheRemainder)
{
    // n = 130: blocks of 2 and then 128 rows. Block (0, 1), rows 0..1 and
    // columns 2..129, stays zero; everything else is the product.
    const int n = 130;
    const Dense a = Random(n, n, 71), b = Random(n, n, 72);
    const Dense ab = NaiveProduct(a, b);
    ZylSrvMatrix m(n, n);
    m = 123.0; // cleared first
    m.SymmetricMultiply(MatrixOf(a), MatrixOf(b));
    int bad = 0;
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) {
            const bool upperBlock = i < 2 && j >= 2;
            const double got = m.Element(i, j);
            if (upperBlock ? got != 0.0 : !(std::fabs(got - ab(i, j)) <= Tol(n))) {
                if (++bad <= 5)
                    ADD_FAILURE() << "(" << i << ", " << j << ") = " << got << ", product " << ab(i, j);
            }
        }
    EXPECT_EQ(bad, 0);
    // Mirroring the computed triangle gives the whole product when it is
    // symmetric: a * a^T.
    Dense at(n, n);
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i)
            at(i, j) = a(j, i);
    m.SymmetricMultiply(MatrixOf(a), MatrixOf(at));
    m.SetSymmetricResults();
    ExpectNearDense(DenseOf(m), NaiveProduct(a, at), Tol(n), "a a^T mirrored");

    // n = 256: two blocks of 128, block (0, 1) zero.
    const int n2 = 256;
    const Dense c = Random(n2, n2, 73), d = Random(n2, n2, 74);
    const Dense cd = NaiveProduct(c, d);
    ZylSrvMatrix m2(n2, n2);
    m2.SymmetricMultiply(MatrixOf(c), MatrixOf(d));
    bad = 0;
    for (int j = 0; j < n2; ++j)
        for (int i = 0; i < n2; ++i) {
            const bool upperBlock = i < 128 && j >= 128;
            const double got = m2.Element(i, j);
            if ((upperBlock ? got != 0.0 : !(std::fabs(got - cd(i, j)) <= Tol(n2))) && ++bad <= 5)
                ADD_FAILURE() << "(" << i << ", " << j << ") = " << got;
        }
    EXPECT_EQ(bad, 0);

    // A single block: the whole product.
    const Dense e = Random(5, 5, 75), f = Random(5, 5, 76);
    ZylSrvMatrix small(5, 5);
    small.SymmetricMultiply(MatrixOf(e), MatrixOf(f));
    ExpectNearDense(DenseOf(small), NaiveProduct(e, f), Tol(5), "single block");
}

TEST(MatrixProduct, SymmetricMultiplyRejectsShapesDiagonalsAndItsOwnOperands)
{
    ZylSrvMatrix m = MatrixOf(Random(3, 3, 81));
    ZylSrvMatrix a = MatrixOf(Random(3, 3, 82));
    ZylSrvMatrix b = MatrixOf(Random(3, 3, 83));
    ZylSrvMatrix wide = MatrixOf(Random(3, 4, 84));
    ExpectRejectedUnchanged([&] { wide.SymmetricMultiply(a, b); }, "SymmetricMultiply", wide);
    ExpectRejectedUnchanged([&] { m.SymmetricMultiply(MatrixOf(Random(3, 2, 85)), b); }, "SymmetricMultiply", m);
    ExpectRejectedUnchanged([&] { m.SymmetricMultiply(a, MatrixOf(Random(2, 3, 86))); }, "SymmetricMultiply", m);
    ExpectRejectedUnchanged([&] { m.SymmetricMultiply(MatrixOf(Random(4, 3, 87)), b); }, "SymmetricMultiply", m);
    ExpectRejectedUnchanged([&] { m.SymmetricMultiply(a, MatrixOf(Random(3, 4, 88))); }, "SymmetricMultiply", m);
    ExpectRejectedUnchanged([&] { m.SymmetricMultiply(Diagonal({1, 2, 3}), b); }, "SymmetricMultiply", m);
    ExpectRejectedUnchanged([&] { m.SymmetricMultiply(a, Diagonal({1, 2, 3})); }, "SymmetricMultiply", m);
    ZylSrvMatrix diag = Diagonal({1, 2, 3});
    ExpectRejectedUnchanged([&] { diag.SymmetricMultiply(a, b); }, "SymmetricMultiply", diag);
    // Our choice: the result is cleared first, so it cannot be an operand.
    ExpectRejectedUnchanged([&] { m.SymmetricMultiply(m, b); }, "SymmetricMultiply", m);
    ExpectRejectedUnchanged([&] { m.SymmetricMultiply(a, m); }, "SymmetricMultiply", m);
}
