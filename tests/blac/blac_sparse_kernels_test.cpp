// The sparse multiply kernels against the dense product of the same matrix:
// random compressed-row patterns with empty rows and repeated columns, one
// without stored positions and one without rows, every vector count from 1 to
// 17 (two groups of eight and every remainder), and each vector compared bit
// for bit with the call that multiplies it alone.
#include <blac/blac.h>

#include "support/ReferenceMatrix.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <vector>

using zyltest::RandomMatrix;
using zyltest::RefMatrix;

namespace {

constexpr int kMaxVectors = 17;

// Compressed-row arrays; a column may appear twice in a row (each stored
// position counts), and about one row in four is empty.
struct Csr {
    int rows, cols;
    std::vector<unsigned int> offsets{0};
    std::vector<int> columns;
    std::vector<double> values;

    Csr(int r, int c, unsigned seed, int maxPerRow) : rows(r), cols(c)
    {
        std::mt19937 engine(seed);
        std::uniform_real_distribution<double> uniform(-1.0, 1.0);
        for (int i = 0; i < rows; ++i) {
            const int stored = engine() % 4 == 0 ? 0 : static_cast<int>(engine() % (maxPerRow + 1));
            for (int k = 0; k < stored; ++k) {
                columns.push_back(static_cast<int>(engine() % cols));
                values.push_back(uniform(engine));
            }
            offsets.push_back(static_cast<unsigned int>(columns.size()));
        }
    }
    // The dense matrix: repeated positions add up.
    RefMatrix Dense() const
    {
        RefMatrix d(rows, cols);
        for (int i = 0; i < rows; ++i)
            for (unsigned int k = offsets[i]; k < offsets[i + 1]; ++k)
                d(i, columns[k]) += values[k];
        return d;
    }
};

// One kernel bound to a matrix: its vector lengths, the call, and the dense
// matrix whose plain product it must give (op applied to `dense`).
struct Kernel {
    std::string name;
    int xLength, yLength;
    std::function<void(const double* x, double* y, int numVectors)> call;
    RefMatrix dense;
    bool transposed;
};

std::vector<Kernel> KernelsOn(const Csr& a, const std::vector<unsigned int>& rowList)
{
    const int listed = static_cast<int>(rowList.size());
    const RefMatrix dense = a.Dense();
    RefMatrix picked(listed, a.cols);
    for (int p = 0; p < listed; ++p)
        for (int c = 0; c < a.cols; ++c)
            picked(p, c) = dense(static_cast<int>(rowList[p]), c);
    auto umv = [&a](const double* x, double* y, int nv) {
        BLAC_SPARSE_UMV(a.values.data(), x, a.offsets.data(), a.columns.data(), y, &a.rows, &a.cols, &nv);
    };
    auto umtv = [&a](const double* x, double* y, int nv) {
        BLAC_SPARSE_UMTV(a.values.data(), x, a.offsets.data(), a.columns.data(), y, &a.rows, &a.cols, &nv);
    };
    auto sparse = [&a, rowList, listed](const double* x, double* y, int nv) {
        BLAC_SPARSE_SPARSE_UMTV(a.values.data(), x, a.offsets.data(), a.columns.data(), y, &listed, &a.cols, &nv,
                                rowList.data());
    };
    return {{"UMV", a.cols, a.rows, umv, dense, false},
            {"UMTV", a.rows, a.cols, umtv, dense, true},
            {"SPARSE_UMTV", listed, a.cols, sparse, picked, true}};
}

TEST(BlacSparseKernels, EveryVectorCountGivesTheDenseProductAndTheSingleVectorBits)
{
    const double kGarbage = std::numeric_limits<double>::quiet_NaN();
    struct Shape {
        Csr a;
        std::vector<unsigned int> rowList;
    };
    const Shape shapes[] = {
        {Csr(23, 11, 1, 9), {22, 0, 5, 22, 7}}, // row 22 listed twice
        {Csr(6, 40, 2, 30), {3, 3}},
        {Csr(5, 4, 3, 0), {4, 1}}, // no stored positions
        {Csr(0, 3, 4, 5), {}},     // no rows: the transposed kernels still zero y
    };
    for (const Shape& shape : shapes)
        for (const Kernel& kernel : KernelsOn(shape.a, shape.rowList)) {
            const std::string where = kernel.name + " on " + std::to_string(shape.a.rows) + " x " +
                                      std::to_string(shape.a.cols);
            SCOPED_TRACE(where);
            const RefMatrix x = RandomMatrix(kernel.xLength, kMaxVectors, 17);
            const RefMatrix want = zyltest::NaiveProduct(kernel.dense, kernel.transposed, x);
            const std::size_t yLength = static_cast<std::size_t>(kernel.yLength);
            // Each vector alone.
            std::vector<double> alone(yLength * kMaxVectors + 1, kGarbage);
            for (int v = 0; v < kMaxVectors; ++v)
                kernel.call(x.data() + kernel.xLength * v, alone.data() + yLength * v, 1);
            ASSERT_NO_FATAL_FAILURE(zyltest::ExpectMatrixNear(want, alone.data(), kernel.yLength, "one at a time"));
            for (int nv = -1; nv <= kMaxVectors; ++nv) {
                std::vector<double> y(yLength * kMaxVectors + 1, kGarbage);
                kernel.call(x.data(), y.data(), nv);
                const std::size_t written = yLength * std::max(nv, 0);
                EXPECT_EQ(0, std::memcmp(y.data(), alone.data(), written * sizeof(double)))
                    << nv << " vectors differ from one at a time";
                for (std::size_t p = written; p < y.size(); ++p)
                    ASSERT_TRUE(std::isnan(y[p])) << nv << " vectors wrote past their end at " << p;
            }
        }
}

// The order of the additions is part of the result: 1 + 1e16 rounds to 1e16,
// so (1 + 1e16) - 1e16 is 0 and any other order of these three terms gives 1.
// Rows 0..2 hold 1, 1e16, -1e16 in column 0, row 3 all three in that order.
TEST(BlacSparseKernels, AddInRowOrderStorageOrderAndListOrder)
{
    const std::vector<unsigned int> offsets = {0, 1, 2, 3, 6}, rowList = {1, 2, 0};
    const std::vector<int> columns(6, 0);
    const std::vector<double> values = {1.0, 1e16, -1e16, 1.0, 1e16, -1e16}, ones(4, 1.0);
    const int rows = 4, one = 1, listed = 3;
    double y[4] = {};
    BLAC_SPARSE_UMV(values.data(), ones.data(), offsets.data(), columns.data(), y, &rows, &one, &one);
    EXPECT_EQ(y[3], 0.0) << "storage order within a row";
    BLAC_SPARSE_UMTV(values.data(), ones.data(), offsets.data(), columns.data(), y, &rows, &one, &one);
    EXPECT_EQ(y[0], 0.0) << "row order";
    BLAC_SPARSE_SPARSE_UMTV(values.data(), ones.data(), offsets.data(), columns.data(), y, &listed, &one, &one,
                            rowList.data());
    EXPECT_EQ(y[0], 1.0) << "list order: 1e16 - 1e16 + 1";
}

} // namespace
