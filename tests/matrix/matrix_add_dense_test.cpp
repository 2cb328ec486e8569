// ZylSrvMatrix::Add of a dense database matrix, against plain loops over the
// values written into the database.
#include "MatrixTestSupport.h"

#include <mtx/ZylSrvScratchDenseMatrix.h>
#include <platform/dorv/ZylDorvException.h>
#include <platform/dorv/ZylDorvTestSeam.h>
#include <platform/mem.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

using namespace matrix_test;

namespace {

struct Dense {
    Dense(const RefMatrix& values, int rowBlock, int columnBlock)
        : matrix(values.rows, values.cols, rowBlock, columnBlock)
    {
        matrix.SetValues(0, values.rows - 1, 0, values.cols - 1, MatrixOf(values));
    }
    ZylSrvScratchDenseMatrix matrix;
};

} // namespace

TEST(MatrixAddDense, AddsEveryBlockScaledOntoTheMatchingElements)
{
    // 7 x 5 in blocks of 3 x 2 (short last blocks on both sides) onto a
    // larger 9 x 6 target: the dense matrix lands top left.
    const RefMatrix d = RandomMatrix(7, 5, 1), start = RandomMatrix(9, 6, 2);
    Dense dense(d, 3, 2);
    ZylSrvMatrix target = MatrixOf(start);
    target.Add(-0.5, dense.matrix);
    RefMatrix expected = start;
    for (int c = 0; c < 5; ++c)
        for (int r = 0; r < 7; ++r)
            expected(r, c) += -0.5 * d(r, c);
    zyltest::ExpectMatrixNear(expected, RefOf(target), "target + -0.5 dense", 0.0);
}

TEST(MatrixAddDense, ASymmetricTargetReadsTheUpperBlockTriangleAndMirrorsIt)
{
    // 8 x 8 in blocks of 3 (3, 3, 2). The strict lower block triangle holds
    // NaNs that must never be read; the rest is symmetric.
    const int n = 8;
    RefMatrix d(n, n), start = RandomMatrix(n, n, 3);
    for (int c = 0; c < n; ++c)
        for (int r = 0; r < n; ++r) {
            d(r, c) = r / 3 > c / 3 ? std::nan("") : 1.0 + std::min(r, c) * 10.0 + std::max(r, c);
            start(r, c) = start(std::min(r, c), std::max(r, c));
        }
    Dense dense(d, 3, 3);
    ZylSrvMatrix target = MatrixOf(start, /*symmetric=*/true);
    target.Add(2.0, dense.matrix);
    RefMatrix expected(n, n);
    for (int c = 0; c < n; ++c)
        for (int r = 0; r < n; ++r)
            expected(r, c) = start(r, c) + 2.0 * d(std::min(r, c), std::max(r, c));
    zyltest::ExpectMatrixNear(expected, RefOf(target), "mirrored", 0.0);
}

TEST(MatrixAddDense, ReadsNothingForAZeroFactorAndReportsFailuresAndMisfitsBeforeAdding)
{
    Dense dense(RandomMatrix(4, 4, 4), 2, 2);
    ZylSrvMatrix smaller = MatrixOf(RandomMatrix(2, 2, 5)), target = MatrixOf(RandomMatrix(4, 4, 6));
    const std::string before = Snapshot(smaller);
    ZylDorvTestSeam::FailValueReads(1, 71);
    smaller.Add(0.0, dense.matrix); // and no size check either
    EXPECT_EQ(ZylDorvTestSeam::PendingFailures(), 1) << "no read was attempted";
    EXPECT_TRUE(Snapshot(smaller) == before);
    const long live = mem_LiveBlocks();
    try {
        target.Add(1.0, dense.matrix);
        ADD_FAILURE() << "the read failure must reach the caller";
    } catch (const ZylDorvException& e) {
        EXPECT_EQ(e.ErrorCode(), 71);
    }
    ZylDorvTestSeam::Clear();
    EXPECT_EQ(mem_LiveBlocks(), live) << "the block buffer is released";
    // A target the dense matrix does not fit is refused; a diagonal one is
    // refused by AddSlice, as the first block is added.
    ZylSrvMatrix tooFewRows = MatrixOf(RandomMatrix(3, 4, 8)), tooFewColumns = MatrixOf(RandomMatrix(4, 3, 9));
    ZylSrvMatrix diagonal = Diagonal({1, 2, 3, 4});
    ExpectRefusals({
        {"Add", [&] { tooFewRows.Add(1.0, dense.matrix); }, &tooFewRows},
        {"Add", [&] { tooFewColumns.Add(1.0, dense.matrix); }, &tooFewColumns},
        {"AddSlice", [&] { diagonal.Add(1.0, dense.matrix); }, &diagonal},
    });
}
