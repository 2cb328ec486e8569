// ZylSrvMatrix sums and products, each call a row against its naive oracle,
// and exactly which blocks the blockwise symmetric forms compute and leave.
#include "MatrixTestSupport.h"
#include "blac/BlacTestSupport.h"

#include <cmath>
#include <functional>

using namespace matrix_test;

TEST(MatrixProduct, EachFormMatchesTheNaiveOracle)
{
    const RefMatrix a = RandomMatrix(4, 3, 1), b = RandomMatrix(4, 3, 2), s = RandomMatrix(3, 3, 3);
    const RefMatrix col = RandomMatrix(3, 1, 4), x = RandomMatrix(6, 6, 5), y = RandomMatrix(6, 6, 6);
    const RefMatrix p = RandomMatrix(5, 7, 7), q = RandomMatrix(7, 4, 8), c = RandomMatrix(5, 4, 9);
    const RefMatrix t = RandomMatrix(9, 5, 10), u = RandomMatrix(9, 4, 11);
    const ZylSrvMatrix A = MatrixOf(a), B = MatrixOf(b), S = MatrixOf(s), D = Diagonal({2, -1, 0.5});
    const ZylSrvMatrix D2 = Diagonal({3, 4, 5}), C = MatrixOf(c), P = MatrixOf(p), Q = MatrixOf(q);
    const ZylSrvMatrix T = MatrixOf(t), U = MatrixOf(u), X = MatrixOf(x), Y = MatrixOf(y);
    const RefMatrix d = RefOf(D), d2 = RefOf(D2);
    struct Row {
        const char* what;
        ZylSrvMatrix start;
        std::function<void(ZylSrvMatrix&)> op;
        RefMatrix oracle;
    };
    const Row rows[] = {
        {"a += b", A, [&](ZylSrvMatrix& m) { m += B; }, Combine(1, a, 1, b)},
        {"s += diagonal", S, [&](ZylSrvMatrix& m) { m += D; }, Combine(1, s, 1, d)},
        {"diagonal += diagonal", D, [&](ZylSrvMatrix& m) { m += D2; }, Combine(1, d, 1, d2)},
        {"Add(2.5, b)", A, [&](ZylSrvMatrix& m) { m.Add(2.5, B); }, Combine(1, a, 2.5, b)},
        {"Add(1, b)", A, [&](ZylSrvMatrix& m) { m.Add(1.0, B); }, Combine(1, a, 1, b)},
        {"Add(-1, b)", A, [&](ZylSrvMatrix& m) { m.Add(-1.0, B); }, Combine(1, a, -1, b)},
        {"Add(1, itself)", A, [&](ZylSrvMatrix& m) { m.Add(1.0, m); }, Combine(1, a, 1, a)},
        {"Add(0, another shape) checks nothing", A, [&](ZylSrvMatrix& m) { m.Add(0.0, S); }, a},
        {"s.Add(-3, diagonal)", S, [&](ZylSrvMatrix& m) { m.Add(-3.0, D); }, Combine(1, s, -3, d)},
        {"diagonal.Add(0.5, diagonal)", D, [&](ZylSrvMatrix& m) { m.Add(0.5, D2); }, Combine(1, d, 0.5, d2)},
        // *= : a column is multiplied from the left, a square from the right.
        {"column *= s", MatrixOf(col), [&](ZylSrvMatrix& m) { m *= S; }, NaiveProduct(s, false, col)},
        {"column *= diagonal", MatrixOf(col), [&](ZylSrvMatrix& m) { m *= D; }, NaiveProduct(d, false, col)},
        {"s *= diagonal", S, [&](ZylSrvMatrix& m) { m *= D; }, NaiveProduct(s, false, d)},
        {"diagonal *= diagonal", D, [&](ZylSrvMatrix& m) { m *= D2; }, NaiveProduct(d, false, d2)},
        {"x *= y", X, [&](ZylSrvMatrix& m) { m *= Y; }, NaiveProduct(x, false, y)},
        {"p q", C, [&](ZylSrvMatrix& m) { m.Multiply(P, Q); }, NaiveProduct(p, false, q)},
        {"full := diagonal diagonal", S, [&](ZylSrvMatrix& m) { m.Multiply(D, D2); }, NaiveProduct(d, false, d2)},
        {"diagonal := diagonal diagonal", D2, [&](ZylSrvMatrix& m) { m.Multiply(D, D2); }, NaiveProduct(d, false, d2)},
        {"s diagonal", S, [&](ZylSrvMatrix& m) { m.Multiply(S, D); }, NaiveProduct(s, false, d)},
        {"diagonal s", S, [&](ZylSrvMatrix& m) { m.Multiply(D, S); }, NaiveProduct(d, false, s)},
        // The unchecked forms into a given result, with and without accumulation.
        {"result := p q", C, [&](ZylSrvMatrix& r) { P.Multiply(Q, r, 12345, 0); }, NaiveProduct(p, false, q)},
        {"result += p q", C, [&](ZylSrvMatrix& r) { P.Multiply(Q, r, 0, 1); }, Combine(1, NaiveProduct(p, false, q), 1, c)},
        {"result := t^T u", C, [&](ZylSrvMatrix& r) { T.TransposeMultiply(U, r, 0, 0); }, NaiveProduct(t, true, u)},
        {"result += t^T u", C, [&](ZylSrvMatrix& r) { T.TransposeMultiply(U, r, 0, 7); },
         Combine(1, NaiveProduct(t, true, u), 1, c)},
        {"one-block SymmetricMultiply", X, [&](ZylSrvMatrix& m) { m.SymmetricMultiply(Y, X); },
         NaiveProduct(y, false, x)},
    };
    for (const Row& row : rows) {
        ZylSrvMatrix m(row.start);
        row.op(m);
        zyltest::ExpectMatrixNear(row.oracle, RefOf(m), row.what);
    }
}

TEST(MatrixProduct, EmptyDimensionsReachBlasWhichScalesLeavesOrReports)
{
    // Sizes and leading dimensions reach DGEMM as they are: an empty inner
    // dimension makes the result beta * result, an empty result stays, and an
    // impossible argument is reported on standard output with nothing written.
    // Every result wraps `held` (six 7s), so any write shows.
    const ZylSrvMatrix a30(3, 0), a02(0, 2), a03(0, 3), b20(2, 0), b23 = MatrixOf(RandomMatrix(2, 3, 9));
    const ZylSrvMatrix a32 = MatrixOf(RandomMatrix(3, 2, 10));
    double spare[4] = {};
    const ZylSrvMatrix negativeColumns(2, -1, spare), negativeA(2, -2, spare);
    struct Row {
        const char* what;
        int rows, columns; // of the result
        std::function<void(ZylSrvMatrix&)> op;
        double value; // of the result's values afterwards; the rest of held stays 7
        int reported; // the DGEMM argument reported, 0 for none
    };
    const Row rows[] = {
        {"inner 0", 3, 2, [&](ZylSrvMatrix& r) { a30.Multiply(a02, r, 0, 0); }, 0.0, 0},
        {"inner 0, checked", 3, 2, [&](ZylSrvMatrix& r) { r.Multiply(a30, a02); }, 0.0, 0},
        {"inner 0, transposed", 2, 3, [&](ZylSrvMatrix& r) { a02.TransposeMultiply(a03, r, 0, 0); }, 0.0, 0},
        {"inner 0, 2 result rows for 3", 2, 2, [&](ZylSrvMatrix& r) { a30.Multiply(a02, r, 0, 0); }, 7.0, 13},
        {"inner 0, transposed, 1 row for 2", 1, 3, [&](ZylSrvMatrix& r) { a02.TransposeMultiply(a03, r, 0, 0); }, 7.0, 13},
        {"M 0", 0, 3, [&](ZylSrvMatrix& r) { a02.Multiply(b23, r, 0, 0); }, 7.0, 0},
        {"N 0", 3, 0, [&](ZylSrvMatrix& r) { a32.Multiply(b20, r, 0, 0); }, 7.0, 0},
        {"N 0, 1 result row for 3", 1, 0, [&](ZylSrvMatrix& r) { a32.Multiply(b20, r, 0, 0); }, 7.0, 13},
        {"0 x 0 *= 0 x 0", 0, 0, [&](ZylSrvMatrix& r) { r *= ZylSrvMatrix(0, 0); }, 7.0, 0},
        {"N -1", 0, 3, [&](ZylSrvMatrix& r) { a02.Multiply(negativeColumns, r, 0, 0); }, 7.0, 4},
        {"M -2, transposed", 1, 1, [&](ZylSrvMatrix& r) { negativeA.TransposeMultiply(b20, r, 0, 1); }, 7.0, 3},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        double held[6] = {7, 7, 7, 7, 7, 7};
        ZylSrvMatrix result(row.rows, row.columns, held);
        EXPECT_EQ(blactest::CaptureStdout([&] { row.op(result); }),
                  row.reported ? blactest::Report("DGEMM ", row.reported) : "");
        for (int k = 0; k < 6; ++k)
            EXPECT_EQ(held[k], k < row.rows * row.columns ? row.value : 7.0) << k;
    }
}

TEST(MatrixProduct, SymmetricTransposeMultiplyComputesOnlyOneBlockTriangle)
{
    // Blocks of 144 columns, the last holding the remainder: on and below the
    // block diagonal when this matrix has at least as many columns as b, on
    // and above it otherwise; the other blocks keep what they held (7).
    struct Case {
        int k, nA, nB, accumulate;
    };
    for (const Case c : {Case{30, 200, 200, 0}, Case{30, 200, 200, 1}, Case{17, 300, 150, 0}, Case{5, 288, 288, 0},
                         Case{20, 150, 300, 0}, Case{20, 150, 300, 1}}) {
        SCOPED_TRACE(testing::Message() << c.nA << " x " << c.nB << ", accumulate " << c.accumulate);
        const RefMatrix a = RandomMatrix(c.k, c.nA, 50 + c.nA), b = RandomMatrix(c.k, c.nB, 60 + c.nB);
        RefMatrix want = NaiveProduct(a, true, b);
        for (int j = 0; j < c.nB; ++j)
            for (int i = 0; i < c.nA; ++i) {
                const bool computed = c.nA >= c.nB ? i / 144 >= j / 144 : j / 144 >= i / 144;
                want(i, j) = computed ? want(i, j) + (c.accumulate ? 7.0 : 0.0) : 7.0;
            }
        ZylSrvMatrix result(c.nA, c.nB);
        result = 7.0;
        // A block past the last would reach DGEMM with a negative size, which
        // BLAS reports on standard output and otherwise ignores.
        EXPECT_EQ(blactest::CaptureStdout([&] { MatrixOf(a).TransposeMultiply(MatrixOf(b), result, 1, c.accumulate); }),
                  "");
        zyltest::ExpectMatrixNear(want, RefOf(result), "blockwise");
    }
}

TEST(MatrixProduct, SymmetricMultiplyFillsTheLowerBlockTriangleFirstBlockHoldingTheRemainder)
{
    // Blocks of 128 with the remainder first: n = 130 is 2 + 128, n = 256 is
    // 128 + 128. The result is cleared first and its upper block stays zero.
    for (int n : {130, 256}) {
        const int first = n % 128 == 0 ? 128 : n % 128;
        const RefMatrix a = RandomMatrix(n, n, 71), b = RandomMatrix(n, n, 72);
        RefMatrix want = NaiveProduct(a, false, b);
        for (int j = first; j < n; ++j)
            for (int i = 0; i < first; ++i)
                want(i, j) = 0.0;
        ZylSrvMatrix m(n, n);
        m = 123.0;
        m.SymmetricMultiply(MatrixOf(a), MatrixOf(b));
        zyltest::ExpectMatrixNear(want, RefOf(m), n == 130 ? "n = 130" : "n = 256");
    }
}

TEST(MatrixProduct, RefusesBeforeWriting)
{
    ZylSrvMatrix m = MatrixOf(RandomMatrix(3, 3, 81)), sq = MatrixOf(RandomMatrix(3, 3, 82));
    ZylSrvMatrix wide = MatrixOf(RandomMatrix(2, 3, 83)), col = MatrixOf(RandomMatrix(3, 1, 84));
    ZylSrvMatrix diag = Diagonal({1, 2, 3}), view(3, 3, sq.Values(), false, false);
    const ZylSrvMatrix a43 = MatrixOf(RandomMatrix(4, 3, 85)), a32 = MatrixOf(RandomMatrix(3, 2, 86));
    const ZylSrvMatrix a23 = MatrixOf(RandomMatrix(2, 3, 87)), a34 = MatrixOf(RandomMatrix(3, 4, 88));
    ExpectRefusals({
        {"+=", [&] { m += m; }, &m},
        {"+=", [&] { m += a43; }, &m},
        {"+=", [&] { wide += a32; }, &wide},
        {"+=", [&] { diag += sq; }, &diag},
        {"Add", [&] { m.Add(std::nan(""), a43); }, &m}, // only 0 skips the checks
        {"Add", [&] { m.Add(2.0, a34); }, &m},
        {"Add", [&] { diag.Add(1.0, sq); }, &diag},
        // *= : a column takes a square other; otherwise other's columns match
        // this matrix's rows, and a diagonal matrix takes no full one.
        {"Multiply", [&] { wide *= a32; }, &wide},
        {"*=", [&] { wide *= sq; }, &wide},
        {"*=", [&] { m *= m; }, &m},
        {"*=", [&] { diag *= sq; }, &diag},
        {"Multiply", [&] { col *= a43; }, &col},
        {"Multiply", [&] { m *= a23; }, &m},
        // Multiply(a, b): fitting shapes; a diagonal result wants diagonal
        // operands; a full product cannot be written over an operand.
        {"Multiply", [&] { m.Multiply(sq, a23); }, &m},
        {"Multiply", [&] { m.Multiply(a43, sq); }, &m},
        {"Multiply", [&] { m.Multiply(sq, a34); }, &m},
        {"Multiply", [&] { diag.Multiply(sq, diag); }, &diag},
        {"Multiply", [&] { diag.Multiply(diag, sq); }, &diag},
        {"Multiply", [&] { m.Multiply(m, sq); }, &m},
        {"Multiply", [&] { m.Multiply(sq, m); }, &m},
        {"Multiply", [&] { view.Multiply(m, sq); }, &view},
        // SymmetricMultiply: three full n x n matrices, the result none of them.
        {"SymmetricMultiply", [&] { wide.SymmetricMultiply(sq, sq); }, &wide},
        {"SymmetricMultiply", [&] { m.SymmetricMultiply(a32, sq); }, &m},
        {"SymmetricMultiply", [&] { m.SymmetricMultiply(sq, a23); }, &m},
        {"SymmetricMultiply", [&] { m.SymmetricMultiply(a43, sq); }, &m},
        {"SymmetricMultiply", [&] { m.SymmetricMultiply(sq, a34); }, &m},
        {"SymmetricMultiply", [&] { m.SymmetricMultiply(diag, sq); }, &m},
        {"SymmetricMultiply", [&] { m.SymmetricMultiply(sq, diag); }, &m},
        {"SymmetricMultiply", [&] { diag.SymmetricMultiply(sq, sq); }, &diag},
        {"SymmetricMultiply", [&] { m.SymmetricMultiply(m, sq); }, &m},
        {"SymmetricMultiply", [&] { m.SymmetricMultiply(sq, m); }, &m},
    });
}
