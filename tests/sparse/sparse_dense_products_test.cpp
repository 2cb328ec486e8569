// Sparse matrices times dense matrices in the database (column blocks 2, 4, 3),
// into a dense matrix and into an array, against the naive product of raw values.
#include "dense/DenseHelpers.h"
#include "support/AllocationSweep.h"
#include "support/SparseReference.h"

#include <functional>

namespace {

using namespace densetest;
using namespace zyltest;

// Three triplets in each listed row of a rows x cols matrix.
SparseHolder OnRows(const std::vector<unsigned>& list, int rows, int cols)
{
    std::vector<ZylSrvSparseMatrixEntry> t;
    for (unsigned k = 0; k < 3 * list.size(); ++k)
        t.push_back({list[k / 3], (list[k / 3] * 7 + k % 3 * 3) % cols, 0.25 * list[k / 3] - k % 3 + 1.0});
    return AssembledOf(t, rows, cols);
}

class SparseDenseProducts : public DenseTest {
protected:
    // 5 x 5 in the symmetric form: (0, 3) stored above, (2, 1) and (4, 0) below.
    const SparseHolder symmetric = SparseHolder(ZylSrvSparseMatrixInspector::FromArrays(
        {0, 1, 1, 2, 2, 3}, {3, 1, 0}, {0.5, -1.5, 2.0}, {1, 2, 3, 4, 5}, 8, 5, 5));
    const SparseHolder general = OnRows({0, 1, 2, 5, 7, 8, 12}, 13, 11), empty = AssembledOf({}, 6, 4);
    RefMatrix dv, rv;
    // D: a view of `rows` x 9 whose column blocks are 2, 4, 3; R: column blocks 2, 3, 3, 1.
    ZylSrvDenseMatrix* D(int rows, unsigned seed) { return RandomView(rows, 9, 5, 4, 1, 2, seed, dv); }
    ZylSrvDenseMatrix* R(int rows) { return RandomView(rows, 9, 4, 3, 2, 1, 4, rv); }
};

TEST_F(SparseDenseProducts, IntoADenseMatrixWithExtraRowsZeroed)
{
    const struct {
        const ZylSrvSparseMatrix* a;
        bool transpose;
        int extraRows;
    } cases[] = {
        {general.get(), false, 3}, {general.get(), true, 0}, {symmetric.get(), true, 2}, {empty.get(), false, 2}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "rows " << c.a->NumberOfRows() << " transpose " << c.transpose);
        const int in = c.transpose ? c.a->NumberOfRows() : c.a->NumberOfColumns();
        const int out = c.transpose ? c.a->NumberOfColumns() : c.a->NumberOfRows();
        const ZylSrvDenseMatrix* d = D(in + 4, 3); // D's rows past the product's are not read
        ZylSrvDenseMatrix* r = R(out + c.extraRows);
        c.a->MultiplyDense(*d, *r, c.transpose);
        const RefMatrix product = NaiveProduct(DenseOf(*c.a), c.transpose, dv.Block(0, in - 1, 0, 8));
        ExpectMatrixNear(c.a == empty.get() ? rv : Placed(RefMatrix(out + c.extraRows, 9), product, 0, 0),
                         ReadThrough(*r), "R");
    }
}

TEST_F(SparseDenseProducts, IntoAnArrayReadingRunsOrWholeBlocks)
{
    std::vector<unsigned> many;
    for (unsigned r = 0; r < 2004; r += 2)
        many.push_back(r);
    const struct {
        std::vector<unsigned> rows;
        int numRows, runs;
    } cases[] = {{{0, 1, 2, 5, 7, 8, 12}, 13, 4}, {many, 2004, 1002}};
    for (const auto& c : cases) {
        const SparseHolder a = OnRows(c.rows, c.numRows, 11);
        const ZylSrvDenseMatrix* d = D(c.numRows + 2, 5);
        std::vector<double> out(11 * 9 + 1, -3.0);
        const long reads = ZylDorvTestSeam::ValueReadsSoFar();
        a->MultiplyDense(*d, out.data(), true);
        EXPECT_EQ(ZylDorvTestSeam::ValueReadsSoFar() - reads, (c.runs < 1000 ? c.runs : 1) * 3)
            << "one read per run or block";
        ExpectMatrixNear(NaiveProduct(DenseOf(*a), true, dv.Block(0, c.numRows - 1, 0, 8)), out.data(), 11, "A^T D");
        EXPECT_EQ(out.back(), -3.0) << "nothing past the product";
    }
}

TEST_F(SparseDenseProducts, RefusalsDenseErrorsAndRefusedAllocationsLeaveNothingBehind)
{
    const SparseHolder sparse = OnRows({1, 4, 9}, 13, 11);
    const ZylSrvDenseMatrix *d = D(13, 6), *shortD = D(8, 7);
    ZylSrvDenseMatrix* shortR = R(10);
    std::vector<double> out(13 * 9, -3.0);
    ZylSrvSparseMatrix fresh(13, 11);
    const SparseHolder reopened = OnRows({1}, 13, 11);
    reopened->BeginAssembly();
    const long live = mem_LiveBlocks();
    ExpectFamilyError<ZylSrvMtxNoTranspose>([&] { sparse->MultiplyDense(*d, out.data(), false); }, 211,
                                            "ZylSrvSparseMatrix::MultiplyIndexed transpose:False not supported!",
                                            "mtx/impl/ZylSrvSparseMatrix");
    ExpectFamilyError<ZylSrvMtxNoSymmetricTrue>([&] { symmetric->MultiplyDense(*d, out.data(), true); }, 201,
                                                "ZylSrvSparseMatrix::MultiplyDense symmetric:True not supported!",
                                                "mtx/impl/ZylSrvSparseMatrix");
    empty->MultiplyDense(*d, out.data(), false); // nothing stored: no refusal, no write
    // An open assembly: with nothing stored nothing is written; with values
    // stored (and released by BeginAssembly) both forms refuse.
    fresh.MultiplyDense(*d, out.data(), false);
    fresh.MultiplyDense(*d, *shortR, false);
    for (const bool intoArray : {true, false})
        ExpectIllegalInput([&] { intoArray ? reopened->MultiplyDense(*d, out.data(), true)
                                           : reopened->MultiplyDense(*d, *shortR, true); },
                           "MultiplyDense", "mtx/impl/ZylSrvSparseMatrix");
    // D short of rows (A's row 9 lies outside), R short of rows: the dense errors pass.
    ExpectFamilyError<ZylSrvMtxInvalidGetRange>([&] { sparse->MultiplyDense(*shortD, out.data(), true); }, 203,
                                                kGetRange, kSource);
    ExpectFamilyError<ZylSrvMtxInvalidGetRange>([&] { sparse->MultiplyDense(*shortD, *shortR, true); }, 203, kGetRange,
                                                kSource);
    ExpectFamilyError<ZylSrvMtxInvalidSetRange>([&] { sparse->MultiplyDense(*d, *shortR, true); }, 204, kSetRange,
                                                kSource);
    EXPECT_EQ(out, std::vector<double>(13 * 9, -3.0));
    ExpectMatrixNear(rv, ReadThrough(*shortR), "R untouched");
    EXPECT_EQ(mem_LiveBlocks(), live) << "buffers released on every path";
    ZylSrvDenseMatrix* r = R(11);
    const std::function<void()> products[] = {[&] { general->MultiplyDense(*d, *r, true); },
                                              [&] { symmetric->MultiplyDense(*d, *r, false); },
                                              [&] { general->MultiplyDense(*d, out.data(), true); }};
    for (const auto& product : products)
        EXPECT_GT(SweepAllocationFailures([] {}, product, [](int) {}), 0);
}

} // namespace
