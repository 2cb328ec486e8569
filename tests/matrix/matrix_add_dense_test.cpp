// ZylSrvMatrix::Add of a dense database matrix, against plain loops over the
// values written into the database.
#include "MatrixTestSupport.h"

#include <mtx/ZylSrvScratchDenseMatrix.h>
#include <platform/dorv/ZylDorvException.h>
#include <platform/dorv/ZylDorvTestSeam.h>
#include <platform/mem.h>

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

TEST(MatrixAddDense, AddsEveryBlockOrForASymmetricTargetTheUpperBlockTriangleMirrored)
{
    // 7 x 5 in blocks of 3 x 2 (short last blocks) lands top left on a 9 x 6
    // target. A symmetric 8 x 8 target, blocks of 3: only the blocks on and
    // above the block diagonal are read (those below hold NaNs), then mirrored.
    struct Case {
        int rows, columns, rowBlock, columnBlock, targetRows, targetColumns;
        bool symmetric;
        double factor;
    };
    for (const Case& c : {Case{7, 5, 3, 2, 9, 6, false, -0.5}, Case{8, 8, 3, 3, 8, 8, true, 2.0}}) {
        SCOPED_TRACE(c.symmetric);
        RefMatrix d = RandomMatrix(c.rows, c.columns, 1), start = RandomMatrix(c.targetRows, c.targetColumns, 2);
        for (int j = 0; j < c.targetColumns && c.symmetric; ++j)
            for (int i = 0; i < c.targetRows; ++i) {
                start(i, j) = start(std::min(i, j), std::max(i, j));
                d(i, j) = i / 3 > j / 3 ? std::nan("") : d(i, j);
            }
        Dense dense(d, c.rowBlock, c.columnBlock);
        ZylSrvMatrix target = MatrixOf(start, c.symmetric);
        target.Add(c.factor, dense.matrix);
        RefMatrix expected = start;
        for (int j = 0; j < c.columns; ++j)
            for (int i = 0; i < c.rows; ++i)
                expected(i, j) += c.factor * (c.symmetric ? d(std::min(i, j), std::max(i, j)) : d(i, j));
        zyltest::ExpectMatrixNear(expected, RefOf(target), "target + factor dense", 0.0);
    }
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
    EXPECT_DORV_ERROR(target.Add(1.0, dense.matrix), 71, "");
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
