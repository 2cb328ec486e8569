// ZylSrvMatrix::Add of a dense database matrix, against plain loops over
// the values written into the database.
#include <mtx/ZylSrvMatrix.h>
#include <mtx/ZylSrvScratchDenseMatrix.h>
#include <mtx/impl/ZylSrvMtxErrors.h>
#include <platform/dorv/ZylDorvException.h>
#include <platform/dorv/ZylDorvTestSeam.h>

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

double DenseValue(int r, int c) { return 100.0 * r + c + 0.25; }

// Writes v(r, c) into every element of the dense matrix, one column at a time.
template <class Value>
void Fill(ZylSrvDenseMatrix& dense, Value v)
{
    std::vector<double> column(dense.NumberOfRows());
    for (int c = 0; c < dense.NumberOfColumns(); ++c) {
        for (int r = 0; r < dense.NumberOfRows(); ++r)
            column[r] = v(r, c);
        ZylSrvMatrix staged(dense.NumberOfRows(), 1, column.data(), false, false);
        dense.SetValues(0, dense.NumberOfRows() - 1, c, c, staged);
    }
}

ZylSrvMatrix Filled(int rows, int columns, bool symmetric, double base)
{
    ZylSrvMatrix m(rows, columns, nullptr, symmetric, false);
    for (int c = 0; c < columns; ++c)
        for (int r = 0; r < rows; ++r)
            m.SetValues(r, r, c, c, std::vector<double>{base + r - 2.0 * c}.data());
    return m;
}

} // namespace

TEST(ZylSrvMatrixAddDense, AddsEveryBlockScaledOntoTheMatchingElements)
{
    // 7 x 5 in blocks of 3 x 2: short last blocks on both sides.
    ZylSrvScratchDenseMatrix dense(7, 5, 3, 2);
    Fill(dense, DenseValue);
    ZylSrvMatrix target = Filled(9, 6, false, 1.0); // larger: the dense matrix lands top left
    const ZylSrvMatrix before(target);
    target.Add(-0.5, dense);
    for (int c = 0; c < 6; ++c)
        for (int r = 0; r < 9; ++r) {
            const double added = (r < 7 && c < 5) ? -0.5 * DenseValue(r, c) : 0.0;
            EXPECT_EQ(target.Element(r, c), before.Element(r, c) + added) << r << "," << c;
        }
}

TEST(ZylSrvMatrixAddDense, AZeroFactorReadsNothing)
{
    ZylSrvScratchDenseMatrix dense(4, 4, 2, 2);
    ZylSrvMatrix target = Filled(2, 2, false, 3.0); // smaller than the dense matrix
    const ZylSrvMatrix before(target);
    ZylDorvTestSeam::FailValueReads(1, 71);
    target.Add(0.0, dense);
    EXPECT_EQ(ZylDorvTestSeam::PendingFailures(), 1) << "no read was attempted";
    ZylDorvTestSeam::Clear();
    EXPECT_TRUE(target == before);
}

TEST(ZylSrvMatrixAddDense, ASymmetricTargetReadsTheUpperBlockTriangleAndMirrorsIt)
{
    // 8 x 8 in blocks of 3: blocks 3, 3, 2. The strict lower block triangle
    // holds values that must never be read; the rest is symmetric.
    const int n = 8;
    auto blockOf = [](int i) { return i / 3; };
    auto v = [&](int r, int c) {
        if (blockOf(r) > blockOf(c))
            return std::nan("");
        return 1.0 + std::min(r, c) * 10.0 + std::max(r, c);
    };
    ZylSrvScratchDenseMatrix dense(n, n, 3, 3);
    Fill(dense, v);
    ZylSrvMatrix target = Filled(n, n, true, 0.0);
    target.SetSymmetricResults(); // a symmetric start
    const ZylSrvMatrix before(target);
    target.Add(2.0, dense);
    for (int c = 0; c < n; ++c)
        for (int r = 0; r < n; ++r) {
            const int i = std::min(r, c), j = std::max(r, c);
            EXPECT_EQ(target.Element(r, c), before.Element(i, j) + 2.0 * v(i, j)) << r << "," << c;
        }
    EXPECT_TRUE(target.IsSymmetricNumerically());
}

TEST(ZylSrvMatrixAddDense, AFailedReadPassesTheDatabaseErrorAndLeaksNothing)
{
    ZylSrvScratchDenseMatrix dense(4, 4, 2, 2);
    ZylSrvMatrix target = Filled(4, 4, false, 0.0);
    const long live = mem_LiveBlocks();
    ZylDorvTestSeam::FailValueReads(1, 71);
    try {
        target.Add(1.0, dense);
        FAIL() << "the read failure must reach the caller";
    } catch (const ZylDorvException& e) {
        EXPECT_EQ(e.ErrorCode(), 71);
    }
    ZylDorvTestSeam::Clear();
    EXPECT_EQ(mem_LiveBlocks(), live);
}

TEST(ZylSrvMatrixAddDense, RefusesATargetTheDenseMatrixDoesNotFitBeforeAddingAnything)
{
    ZylSrvScratchDenseMatrix dense(4, 4, 2, 2);
    Fill(dense, DenseValue);
    auto expectRefused = [&](ZylSrvMatrix& target) {
        const ZylSrvMatrix before(target);
        try {
            target.Add(1.0, dense);
            FAIL() << "a target the dense matrix does not fit must be refused";
        } catch (const ZylBasException& e) {
            EXPECT_EQ(e.ErrorCode(), 206);
            EXPECT_STREQ(e.AsString().Chars(), "ZylSrvMatrix::Add - Illegal input.");
        }
        EXPECT_TRUE(target == before) << "nothing was added";
    };
    ZylSrvMatrix tooFewRows = Filled(3, 4, false, 0.0);
    expectRefused(tooFewRows);
    ZylSrvMatrix tooFewColumns = Filled(4, 3, false, 0.0);
    expectRefused(tooFewColumns);
    double diagonalValues[4] = {1, 2, 3, 4};
    ZylSrvMatrix diagonal(4, 4, diagonalValues, false, true);
    expectRefused(diagonal);
}
