// ZylSrvMatrix: the record, construction, assignment, comparison and the
// element and range operations, against hand-computed values or loops over
// a reference copy; every refusal of these operations in one table; and the
// allocation-failure sweep of every operation that allocates.
#include "MatrixTestSupport.h"
#include "support/AllocationSweep.h"

#include <platform/mem.h>

#include <cmath>
#include <cstdint>
#include <limits>

using namespace matrix_test;

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();

// 1, 2, 3, ... in storage order.
void FillCounting(ZylSrvMatrix& m, double start = 1.0)
{
    for (std::int64_t k = 0; k < m.NumberOfStoredValues(); ++k)
        m.Values()[k] = start + static_cast<double>(k);
}

using V = std::vector<double>;

V StoredValues(const ZylSrvMatrix& m)
{
    return V(m.Values(), m.Values() + m.NumberOfStoredValues());
}

} // namespace

TEST(MatrixRecord, OwnsOrWrapsItsStorageAndCanBeCopied)
{
    const long before = mem_LiveBlocks();
    double buffer[6] = {1, 2, 3, 4, 5, 6};
    {
        ZylSrvMatrix full(3, 4), diag(5, 5, nullptr, true, true), wrapped(2, 3, buffer, false, false);
        EXPECT_TRUE(full.NumberOfStoredValues() == 12 && full.OwnsValues() && !full.IsSymmetric());
        EXPECT_FALSE(full.IsDiagonal());
        EXPECT_TRUE(diag.NumberOfStoredValues() == 5 && diag.IsSymmetric() && diag.IsDiagonal());
        EXPECT_TRUE(!wrapped.OwnsValues() && wrapped.Values() == buffer && wrapped.Element(1, 2) == 6.0);
        EXPECT_EQ(mem_LiveBlocks(), before + 2) << "no allocation for a wrapped buffer";
        diag = 0.0;
        diag.Values()[2] = 7.0;
        EXPECT_TRUE(diag.Element(2, 2) == 7.0 && diag.Element(2, 3) == 0.0);
        // A copy owns its buffer, has the flags and keeps its values when the original changes.
        ZylSrvMatrix copy(wrapped), diagCopy(diag);
        buffer[4] = -1.0;
        EXPECT_TRUE(copy.OwnsValues() && copy.Values()[4] == 5.0 && !copy.IsDiagonal());
        EXPECT_TRUE(diagCopy.OwnsValues() && diagCopy.IsDiagonal() && diagCopy.IsSymmetric() && diagCopy == diag);
    }
    EXPECT_EQ(buffer[5], 6.0) << "destroying the matrix leaves the buffer alone";
    EXPECT_EQ(mem_LiveBlocks(), before) << "owned buffers are released";
    // A stored count beyond a 32-bit int (46341^2 > 2^31 - 1), or negative,
    // becomes the refused largest request; a diagonal stores only its order.
    for (const int n : {46341, 100000, -1})
        EXPECT_THAT([n] { ZylSrvMatrix tooLarge(n, n < 0 ? 4 : n); },
                    testing::Throws<mem_AllocationFailure>(testing::Property(&mem_AllocationFailure::RequestedSize, SIZE_MAX)));
    EXPECT_EQ(ZylSrvMatrix(100000, 100000, nullptr, false, true).NumberOfStoredValues(), 100000);
    EXPECT_EQ(mem_LiveBlocks(), before);
}

TEST(MatrixRecord, AssignsIntoItsBufferOrReshapes)
{
    ZylSrvMatrix a(2, 2), b(2, 2, nullptr, true, false);
    FillCounting(a);
    FillCounting(b, 10.0);
    const double* buffer = a.Values();
    a = a;
    EXPECT_EQ(StoredValues(a), (V{1, 2, 3, 4})) << "self-assignment does nothing";
    // Same shape: buffer and flags stay; a diagonal other gives its diagonal, zeros elsewhere.
    a = b;
    EXPECT_TRUE(a.Values() == buffer && !a.IsSymmetric() && StoredValues(a) == StoredValues(b));
    const ZylSrvMatrix d = Diagonal({7, 8});
    a = d;
    EXPECT_TRUE(a.Values() == buffer && !a.IsDiagonal() && StoredValues(a) == (V{7, 0, 0, 8}));
    // A diagonal receiving a full one, or another shape: new buffer, shape and flags.
    ZylSrvMatrix target(2, 2, nullptr, false, true), small(1, 1);
    target = b;
    EXPECT_TRUE(!target.IsDiagonal() && target.IsSymmetric() && target == b);
    const long before = mem_LiveBlocks();
    small = d;
    EXPECT_EQ(mem_LiveBlocks(), before) << "old buffer released, new one allocated";
    EXPECT_TRUE(small.IsDiagonal() && small.OwnsValues() && small == d);
    double wrapped[4] = {};
    ZylSrvMatrix view(2, 2, wrapped, false, false);
    view = b;
    EXPECT_TRUE(view.Values() == wrapped && wrapped[3] == 13.0);
    ZylSrvMatrix full(2, 3), diag(3, 3, nullptr, false, true);
    full = 2.5;
    diag = -1.0;
    EXPECT_EQ(StoredValues(full), V(6, 2.5));
    EXPECT_EQ(StoredValues(diag), V(3, -1.0));
}

TEST(MatrixRecord, ComparesShapeStorageKindAndExactValues)
{
    ZylSrvMatrix a(2, 2, nullptr, false, false), b(2, 2, nullptr, true, false), tall(3, 2), wide(2, 3), full(2, 2);
    FillCounting(a);
    FillCounting(b);
    FillCounting(tall);
    FillCounting(wide);
    const ZylSrvMatrix diag = Diagonal({1, 4});
    full = diag;
    EXPECT_TRUE(a == b) << "the symmetric flag is not compared";
    EXPECT_FALSE(a == tall || a == wide) << "the same leading values, one side longer";
    EXPECT_FALSE(diag == full || full == diag);
    b.Values()[3] = 5.0;
    testing::internal::CaptureStdout();
    EXPECT_FALSE(a == b);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), " m_dim1= 2, m_dim2= 2i= 3 ptr[i]= 4.000000  rhsPtr[i]= 5.000000")
        << "the first difference, without line ends";
    // NaN never equals, except through the same object.
    b = a;
    a.Values()[1] = b.Values()[1] = kNaN;
    EXPECT_FALSE(a == b);
    EXPECT_TRUE(a == a);
}

TEST(MatrixRecord, ExchangesPackedBlocks)
{
    // In: element (0, 0) alone, then rows 1..3, columns 2..4 packed with
    // leading dimension 3; from a matrix, its values in storage order.
    ZylSrvMatrix m(4, 5), source(10, 1), target(3, 3), row(1, 5);
    m = 0.0;
    const double one = 9.0, block[9] = {11, 21, 31, 12, 22, 32, 13, 23, 33};
    m.SetValues(0, 0, 0, 0, &one);
    EXPECT_EQ(StoredValues(m), (V{9, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    m.SetValues(1, 3, 2, 4, block);
    FillCounting(source, 100.0);
    m.SetValues(2, 3, 0, 1, source);
    m.SetRows(0, 0, source);
    EXPECT_EQ(StoredValues(m),
              (V{100, 0, 100, 101, 101, 0, 102, 103, 102, 11, 21, 31, 103, 12, 22, 32, 104, 13, 23, 33}));
    // Out: the block packed at the target's start; the rest and the shape stay.
    target = -1.0;
    m.GetValues(1, 3, 3, 4, target);
    EXPECT_EQ(StoredValues(target), (V{12, 22, 32, 13, 23, 33, -1, -1, -1}));
    m.GetRows(3, 3, row);
    EXPECT_EQ(StoredValues(row), (V{101, 103, 31, 32, 33}));
}

TEST(MatrixRecord, SetsAndAddsScaledSlicesAndDiagonals)
{
    // A full source, touching the last row and column.
    const RefMatrix src = RandomMatrix(2, 3, 11);
    ZylSrvMatrix m(4, 5);
    m = 1.0;
    m.SetSlice(-2.0, MatrixOf(src), 2, 2);
    m.AddSlice(0.75, MatrixOf(src), 1, 2);
    RefMatrix expected(4, 5, 1.0);
    for (int j = 0; j < 3; ++j)
        for (int i = 0; i < 2; ++i) {
            expected(2 + i, 2 + j) = -2.0 * src(i, j);
            expected(1 + i, 2 + j) += 0.75 * src(i, j);
        }
    zyltest::ExpectMatrixNear(expected, RefOf(m), "full slices", 0.0);
    // A diagonal source: SetSlice makes the block a scaled diagonal with
    // zeros; AddSlice touches only its diagonal; into a diagonal matrix both
    // are placed by the row offset alone.
    double dv[3] = {3, 5, 100}; // 100 lies beyond the source
    const ZylSrvMatrix diag(2, 2, dv, false, true);
    ZylSrvMatrix full(3, 4), bigDiag = Diagonal({1, 1, 1, 1});
    full = 1.0;
    full.SetSlice(2.0, diag, 1, 2);
    full.AddSlice(1.0, diag, 0, 0);
    EXPECT_EQ(StoredValues(full), (V{4, 1, 1, 1, 6, 1, 1, 6, 0, 1, 0, 10}));
    bigDiag.SetSlice(0.5, diag, 2, 99);
    bigDiag.AddSlice(-1.0, diag, 1, 99);
    EXPECT_EQ(StoredValues(bigDiag), (V{1, -2, -3.5, 2.5}));
    // += of the diagonal stops at its order: target[6] would be element (2, 2).
    double target[7] = {1, 1, 1, 1, 0, 0, 0};
    ZylSrvMatrix wrapped(2, 2, target, false, false);
    wrapped += diag;
    EXPECT_EQ(V(target, target + 7), (V{4, 1, 1, 6, 0, 0, 0}));
    // SetDiagonal from a full or a diagonal matrix writes the diagonal only.
    ZylSrvMatrix sq(3, 3), d3(3, 3, nullptr, false, true), source(3, 3);
    sq = 1.0;
    FillCounting(source);
    sq.SetDiagonal(source);
    EXPECT_EQ(StoredValues(sq), (V{1, 1, 1, 1, 5, 1, 1, 1, 9}));
    sq.SetDiagonal(Diagonal({-1, -2, -3}));
    d3.SetDiagonal(Diagonal({4, 5, 6}));
    EXPECT_EQ(StoredValues(sq), (V{-1, 1, 1, 1, -2, 1, 1, 1, -3}));
    EXPECT_EQ(StoredValues(d3), (V{4, 5, 6}));
}

TEST(MatrixRecord, TransposesInPlace)
{
    const RefMatrix sq = RandomMatrix(5, 5, 21), r = RandomMatrix(3, 7, 22);
    ZylSrvMatrix square = MatrixOf(sq), owned = MatrixOf(r);
    const long before = mem_LiveBlocks();
    square.Transpose();
    owned.Transpose();
    zyltest::ExpectMatrixNear(sq.Transposed(), RefOf(square), "square", 0.0);
    zyltest::ExpectMatrixNear(r.Transposed(), RefOf(owned), "3 x 7", 0.0);
    // A wrapped 2 x 3 buffer receives the 3 x 2 transpose in place.
    double wrapped[6] = {1, 2, 3, 4, 5, 6};
    ZylSrvMatrix w(2, 3, wrapped, false, false);
    w.Transpose();
    EXPECT_TRUE(w.Values() == wrapped && w.NumberOfRows() == 3 && StoredValues(w) == (V{1, 3, 5, 2, 4, 6}));
    EXPECT_EQ(mem_LiveBlocks(), before) << "the temporaries are released";
    // Diagonal and declared-symmetric matrices stay as they are.
    ZylSrvMatrix diag(3, 3, nullptr, false, true), sym(2, 3, nullptr, true, false);
    FillCounting(diag);
    FillCounting(sym);
    const std::string diagBefore = Snapshot(diag), symBefore = Snapshot(sym);
    diag.Transpose();
    sym.Transpose();
    EXPECT_TRUE(Snapshot(diag) == diagBefore && Snapshot(sym) == symBefore);
}

TEST(MatrixRecord, MirrorsOneTriangleOntoTheOtherAndTestsSymmetryExactly)
{
    // Square and tall: lower onto upper in the leading square block; wide:
    // upper onto lower. The skew form negates and keeps the diagonal.
    for (const RefMatrix& start : {RandomMatrix(4, 4, 31), RandomMatrix(4, 2, 33), RandomMatrix(2, 4, 32)}) {
        SCOPED_TRACE(testing::Message() << start.rows << " x " << start.cols);
        const bool lowerUp = start.rows >= start.cols;
        RefMatrix sym = start, skew = start;
        for (int j = 0; j < std::min(start.rows, start.cols); ++j)
            for (int k = 0; k < j; ++k) {
                (lowerUp ? sym(k, j) : sym(j, k)) = lowerUp ? start(j, k) : start(k, j);
                (lowerUp ? skew(k, j) : skew(j, k)) = -(lowerUp ? start(j, k) : start(k, j));
            }
        ZylSrvMatrix m = MatrixOf(start), s = MatrixOf(start);
        m.SetSymmetricResults();
        s.SetSkewSymmetricResults();
        zyltest::ExpectMatrixNear(sym, RefOf(m), "symmetric", 0.0);
        zyltest::ExpectMatrixNear(skew, RefOf(s), "skew", 0.0);
        EXPECT_EQ(m.IsSymmetricNumerically(), start.rows == start.cols);
    }
    ZylSrvMatrix zero(2, 2);
    zero = 0.0;
    zero.SetSkewSymmetricResults();
    EXPECT_TRUE(std::signbit(zero.Element(0, 1))) << "computed as -0.0 minus the value";
    // Exact: the diagonal is not compared; one ulp or a NaN pair off it is asymmetric.
    ZylSrvMatrix m = MatrixOf(RefMatrix(3, 3, 2.0)), diag(3, 3, nullptr, false, true);
    m.Values()[0] = kNaN;
    EXPECT_TRUE(m.IsSymmetricNumerically());
    m.Values()[7] = std::nextafter(2.0, 3.0); // element (1, 2)
    EXPECT_FALSE(m.IsSymmetricNumerically());
    m.Values()[7] = 2.0;
    m.Values()[3] = m.Values()[1] = kNaN; // elements (0, 1) and (1, 0)
    EXPECT_FALSE(m.IsSymmetricNumerically());
    diag = kNaN;
    EXPECT_TRUE(diag.IsSymmetricNumerically() && ZylSrvMatrix(0, 0).IsSymmetricNumerically());
}

TEST(MatrixRecord, InterpolatesAndScales)
{
    const RefMatrix ra = RandomMatrix(3, 2, 41), rb = RandomMatrix(3, 2, 42);
    const ZylSrvMatrix a = MatrixOf(ra), b = MatrixOf(rb);
    ZylSrvMatrix m(3, 2), diag = Diagonal({1.5, -3.0});
    m.Interpolate(0.0, a, b);
    EXPECT_TRUE(m == a);
    m.Interpolate(1.0, a, b);
    EXPECT_TRUE(m == b);
    ZylSrvMatrix scaled = a;
    scaled.Multiply(-2.0);
    diag.Multiply(2.0);
    m.Interpolate(0.25, a, b);
    for (int k = 0; k < 6; ++k) {
        EXPECT_EQ(m.Values()[k], 0.75 * ra.v[k] + 0.25 * rb.v[k]);
        EXPECT_EQ(scaled.Values()[k], -2.0 * ra.v[k]);
    }
    m.Interpolate(kNaN, a, b); // NaN passes the test
    EXPECT_TRUE(std::isnan(m.Values()[0]));
    EXPECT_EQ(StoredValues(diag), (V{3.0, -6.0}));
}

TEST(MatrixRecord, RefusesBeforeWriting)
{
    const double block[16] = {};
    ZylSrvMatrix m(4, 5), diag = Diagonal({1, 2, 3, 4}), d2 = Diagonal({1, 2}), tall(4, 2), wide(2, 4), sq(4, 4);
    for (ZylSrvMatrix* x : {&m, &tall, &wide, &sq})
        FillCounting(*x);
    double nonSquare[3] = {1, 2, 3};
    ZylSrvMatrix nonSquareDiag(3, 2, nonSquare, false, true), col(6, 1);
    double wrapped[4] = {};
    ZylSrvMatrix view(2, 2, wrapped, false, false);
    ExpectRefusals({
        {"Assignment operator", [&] { view = m; }, &view}, // a wrapped buffer cannot be reshaped
        // Ranges are inclusive, inside the matrix and not reversed; a
        // diagonal matrix on either side has no full layout (our choice).
        {"SetValues", [&] { m.SetValues(-1, 0, 0, 0, block); }, &m},
        {"SetValues", [&] { m.SetValues(0, 0, -1, 0, block); }, &m},
        {"SetValues", [&] { m.SetValues(0, 4, 0, 0, block); }, &m},
        {"SetValues", [&] { m.SetValues(0, 0, 0, 5, block); }, &m},
        {"SetValues", [&] { m.SetValues(2, 1, 0, 0, block); }, &m},
        {"SetValues", [&] { m.SetValues(0, 0, 3, 2, block); }, &m},
        {"SetValues", [&] { diag.SetValues(0, 0, 0, 0, block); }, &diag},
        {"SetValues", [&] { m.SetValues(0, 1, 0, 3, col); }, &m}, // 8 values from a source of 6
        {"SetValues", [&] { m.SetValues(0, 1, 0, 0, d2); }, &m},
        {"GetValues", [&] { m.GetValues(0, 4, 0, 0, sq); }, &sq},
        {"GetValues", [&] { m.GetValues(0, 2, 0, 2, tall); }, &tall}, // 9 values into 8
        {"GetValues", [&] { diag.GetValues(0, 0, 0, 0, sq); }, &sq},
        {"GetValues", [&] { m.GetValues(0, 0, 0, 0, diag); }, &diag},
        // Slices fit inside this matrix (our choice); a diagonal source is
        // square and a diagonal matrix takes no full one.
        {"SetSlice", [&] { diag.SetSlice(1.0, tall, 0, 0); }, &diag},
        {"SetSlice", [&] { m.SetSlice(1.0, nonSquareDiag, 0, 0); }, &m},
        {"SetSlice", [&] { m.SetSlice(1.0, tall, 1, 0); }, &m},
        {"SetSlice", [&] { m.SetSlice(1.0, tall, 0, 4); }, &m},
        {"SetSlice", [&] { m.SetSlice(1.0, tall, -1, 0); }, &m},
        {"SetSlice", [&] { m.SetSlice(1.0, tall, 0, -1); }, &m},
        {"SetSlice", [&] { diag.SetSlice(1.0, d2, 3, 0); }, &diag},
        {"SetSlice", [&] { diag.SetSlice(1.0, d2, -1, 0); }, &diag},
        {"AddSlice", [&] { m.AddSlice(1.0, d2, 3, 3); }, &m},
        // SetDiagonal wants square matrices of one order (our choice).
        {"SetDiagonal", [&] { tall.SetDiagonal(block); }, &tall},
        {"SetDiagonal", [&] { tall.SetDiagonal(sq); }, &tall},
        {"SetDiagonal", [&] { sq.SetDiagonal(tall); }, &sq},
        {"SetDiagonal", [&] { diag.SetDiagonal(sq); }, &diag},
        {"SetDiagonal", [&] { sq.SetDiagonal(d2); }, &sq},
        {"SetSymmetricResults", [&] { diag.SetSymmetricResults(); }, &diag},
        {"SetSkewSymmetricResults", [&] { diag.SetSkewSymmetricResults(); }, &diag},
        // Interpolate: shapes of this matrix, 0 <= t <= 1, no diagonal.
        {"Interpolate", [&] { tall.Interpolate(1.5, tall, tall); }, &tall},
        {"Interpolate", [&] { tall.Interpolate(-0.5, tall, tall); }, &tall},
        {"Interpolate", [&] { tall.Interpolate(0.5, m, tall); }, &tall},
        {"Interpolate", [&] { tall.Interpolate(0.5, tall, wide); }, &tall},
        {"Interpolate", [&] { sq.Interpolate(0.5, diag, diag); }, &sq},
        {"Interpolate", [&] { diag.Interpolate(0.5, sq, sq); }, &diag},
    });
}

TEST(MatrixAllocation, EveryAllocatingOperationSurvivesEachRefusal)
{
    // m starts as each row's `start`; every refusal leaves the watched matrices alone.
    double wrapped[6] = {1, 2, 3, 4, 5, 6};
    ZylSrvMatrix m(1, 1), values(3, 1), vectors(3, 3), view(2, 3, wrapped, false, false);
    ZylSrvMatrix sym = MatrixOf(RandomSymmetric(5, 9, 5.0), /*symmetric=*/true);
    ZylSrvMatrix a = MatrixOf(RefMatrix(3, 3, 1));
    const ZylSrvMatrix sq = MatrixOf(RandomMatrix(4, 4, 5)), b = Diagonal({4, 5, 6});
    const int perm[4] = {3, 2, 1, 0};
    std::vector<int> pivots(5, 0);
    struct Row {
        const char* what;
        RefMatrix start;
        std::function<void()> op;
        std::vector<const ZylSrvMatrix*> watched;
        int allocations;
    };
    const Row rows[] = {
        {"copy", {}, [&] { ZylSrvMatrix copy(sq); }, {&sq}, 1},
        {"reshaping assignment (the new buffer first)", RandomMatrix(2, 2, 2), [&] { m = sq; }, {&m, &sq}, 1},
        {"Transpose", RandomMatrix(3, 5, 3), [&] { m.Transpose(); }, {&m}, 1},
        {"Transpose of a wrapped buffer", {}, [&] { view.Transpose(); }, {&view}, 1},
        {"square *= square", RandomMatrix(4, 4, 6), [&] { m *= sq; }, {&m, &sq}, 1},
        {"column *= square", RandomMatrix(4, 1, 7), [&] { m *= sq; }, {&m, &sq}, 1},
        {"PermuteRowsInPlace", RandomMatrix(4, 3, 8), [&] { m.PermuteRowsInPlace(perm, 4); }, {&m}, 1},
        {"symmetric Factorize", {}, [&] { sym.Factorize(pivots.data()); }, {&sym}, 1},
        // The copy of B and the work array, both before anything is written.
        {"SolveEigenproblemSymmetric", {}, [&] { a.SolveEigenproblemSymmetric(b, values, vectors); },
         {&a, &b, &values, &vectors}, 2},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        m = MatrixOf(row.start);
        std::vector<std::string> before;
        for (const ZylSrvMatrix* w : row.watched)
            before.push_back(Snapshot(*w));
        const auto unchanged = [&](int) {
            for (std::size_t k = 0; k < before.size(); ++k)
                EXPECT_TRUE(Snapshot(*row.watched[k]) == before[k]) << "matrix " << k << " changed";
        };
        EXPECT_EQ(zyltest::SweepAllocationFailures([] {}, row.op, unchanged), row.allocations);
    }
}
