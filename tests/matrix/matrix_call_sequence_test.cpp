// The BLAS calls the blockwise products make, one per block and in order,
// seen through an interposed BLAC_DGEMM (see matrix_lapack_report_test.cpp
// for how the interposition works). The values themselves are checked
// against plain loops in matrix_products_test.cpp.
#include "MatrixTestSupport.h"

#include <blac/blac.h>

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cstdlib>
#include <tuple>
#include <utility>
#include <vector>

using namespace matrix_test;

namespace {

struct GemmCall {
    char transA, transB;
    int m, n, k;
    std::ptrdiff_t aOffset, bOffset, cOffset; // in doubles from the operands' starts
    int lda, ldb, ldc;
    double beta;
};

bool g_recording = false;
const double* g_a = nullptr;
const double* g_b = nullptr;
const double* g_c = nullptr;
std::vector<GemmCall> g_calls;

} // namespace

extern "C" void BLAC_DGEMM(const char* TRANSA, const char* TRANSB, const int* M, const int* N, const int* K,
                           const double* ALPHA, const double* A, const int* LDA, const double* B, const int* LDB,
                           const double* BETA, double* C, const int* LDC)
{
    using Gemm = decltype(&BLAC_DGEMM);
    static Gemm next = [] {
        void* symbol = dlsym(RTLD_NEXT, "BLAC_DGEMM");
        if (symbol == nullptr)
            std::abort();
        return reinterpret_cast<Gemm>(symbol);
    }();
    if (g_recording)
        g_calls.push_back({*TRANSA, *TRANSB, *M, *N, *K, A - g_a, B - g_b, C - g_c, *LDA, *LDB, *LDC, *BETA});
    next(TRANSA, TRANSB, M, N, K, ALPHA, A, LDA, B, LDB, BETA, C, LDC);
}

namespace {

template <typename F>
std::vector<GemmCall> Record(const ZylSrvMatrix& a, const ZylSrvMatrix& b, const ZylSrvMatrix& c, F f)
{
    g_calls.clear();
    g_a = a.Values();
    g_b = b.Values();
    g_c = c.Values();
    g_recording = true;
    f();
    g_recording = false;
    return g_calls;
}

// (m, n, k, a offset, b offset, c offset)
using Shape = std::tuple<int, int, int, std::ptrdiff_t, std::ptrdiff_t, std::ptrdiff_t>;

std::vector<Shape> Shapes(const std::vector<GemmCall>& calls)
{
    std::vector<Shape> s;
    for (const GemmCall& c : calls)
        s.emplace_back(c.m, c.n, c.k, c.aOffset, c.bOffset, c.cOffset);
    return s;
}

} // namespace

TEST(BlockwiseCalls, SymmetricTransposeMultiplyCallsOnceForEachLowerBlockColumnByColumn)
{
    const int k = 10, n = 200;
    const ZylSrvMatrix a = MatrixOf(Random(k, n, 1)), b = MatrixOf(Random(k, n, 2));
    ZylSrvMatrix c(n, n);
    c = 0.0;
    const auto calls = Record(a, b, c, [&] { a.TransposeMultiply(b, c, 1, 1); });
    ASSERT_EQ(calls.size(), 3u);
    for (const GemmCall& call : calls) {
        EXPECT_EQ(call.transA, 'T');
        EXPECT_EQ(call.transB, 'N');
        EXPECT_EQ(call.lda, k);
        EXPECT_EQ(call.ldb, k);
        EXPECT_EQ(call.ldc, n);
        EXPECT_EQ(call.beta, 1.0);
    }
    // Blocks (0, 0), (1, 0), (1, 1): 144 and 56 columns.
    const std::vector<Shape> expected = {
        Shape{144, 144, k, 0, 0, 0},
        Shape{56, 144, k, k * 144, 0, 144},
        Shape{56, 56, k, k * 144, k * 144, 144 + n * 144},
    };
    EXPECT_EQ(Shapes(calls), expected);

    // Three block columns (144, 144, 12): column by column.
    const int n3 = 300;
    const ZylSrvMatrix a3 = MatrixOf(Random(k, n3, 7)), b3 = MatrixOf(Random(k, n3, 8));
    ZylSrvMatrix c3(n3, n3);
    std::vector<std::pair<int, int>> blocks;
    for (const GemmCall& call : Record(a3, b3, c3, [&] { a3.TransposeMultiply(b3, c3, 1, 0); }))
        blocks.emplace_back(static_cast<int>(call.aOffset / (k * 144)), static_cast<int>(call.bOffset / (k * 144)));
    const std::vector<std::pair<int, int>> columnOrder = {{0, 0}, {1, 0}, {2, 0}, {1, 1}, {2, 1}, {2, 2}};
    EXPECT_EQ(blocks, columnOrder);

    // nA < nB: row by row, blocks on and above the diagonal.
    const ZylSrvMatrix narrow = MatrixOf(Random(k, 150, 3)), wide = MatrixOf(Random(k, 300, 4));
    ZylSrvMatrix r(150, 300);
    const auto rowCalls = Record(narrow, wide, r, [&] { narrow.TransposeMultiply(wide, r, 1, 0); });
    const std::vector<Shape> expectedRows = {
        Shape{144, 144, k, 0, 0, 0},
        Shape{144, 144, k, 0, k * 144, 150 * 144},
        Shape{144, 12, k, 0, k * 288, 150 * 288},
        Shape{6, 144, k, k * 144, k * 144, 144 + 150 * 144},
        Shape{6, 12, k, k * 144, k * 288, 144 + 150 * 288},
    };
    EXPECT_EQ(Shapes(rowCalls), expectedRows);
    EXPECT_EQ(rowCalls[0].beta, 0.0);

    // symmetric 0: one call for everything.
    const auto one = Record(a, b, c, [&] { a.TransposeMultiply(b, c, 0, 0); });
    ASSERT_EQ(one.size(), 1u);
    EXPECT_EQ(Shapes(one)[0], (Shape{n, n, k, 0, 0, 0}));
}

TEST(BlockwiseCalls, SymmetricMultiplyCallsForEachLowerBlockAndEveryInnerBlock)
{
    // n = 130: blocks of 2 then 128, all three loops over them.
    const int n = 130;
    const ZylSrvMatrix a = MatrixOf(Random(n, n, 5)), b = MatrixOf(Random(n, n, 6));
    ZylSrvMatrix c(n, n);
    const auto calls = Record(a, b, c, [&] { c.SymmetricMultiply(a, b); });
    const int s[2] = {0, 2};
    const int z[2] = {2, 128};
    std::vector<Shape> expected;
    for (int i = 0; i < 2; ++i)
        for (int j = 0; j <= i; ++j)
            for (int l = 0; l < 2; ++l)
                expected.emplace_back(z[i], z[j], z[l], s[i] + n * s[l], s[l] + n * s[j], s[i] + n * s[j]);
    EXPECT_EQ(Shapes(calls), expected);
    for (const GemmCall& call : calls) {
        EXPECT_EQ(call.transA, 'N');
        EXPECT_EQ(call.transB, 'N');
        EXPECT_EQ(call.lda, n);
        EXPECT_EQ(call.ldb, n);
        EXPECT_EQ(call.ldc, n);
        EXPECT_EQ(call.beta, 1.0);
    }
}

TEST(BlockwiseCalls, EmptyProductsSkipBlasUnlessASizeIsNegative)
{
    // Empty result with sizes that are all valid: no call.
    const ZylSrvMatrix noRows(0, 2), b = MatrixOf(Random(2, 3, 9));
    ZylSrvMatrix emptyResult(0, 3);
    EXPECT_TRUE(Record(noRows, b, emptyResult, [&] { noRows.Multiply(b, emptyResult, 0, 0); }).empty());

    // m = 0 beside a negative N or K (matrices wrapping a buffer): the call
    // goes to BLAS, which reports the bad size and computes nothing.
    double buffer[6] = {1, 2, 3, 4, 5, 6};
    const ZylSrvMatrix negativeColumns(2, -1, buffer); // N = -1
    const auto nCalls = Record(noRows, negativeColumns, emptyResult,
                               [&] { noRows.Multiply(negativeColumns, emptyResult, 0, 0); });
    ASSERT_EQ(nCalls.size(), 1u);
    EXPECT_EQ(nCalls[0].m, 0);
    EXPECT_EQ(nCalls[0].n, -1);

    const ZylSrvMatrix negativeRows(-1, 3, buffer); // K = -1
    const ZylSrvMatrix noRowsK(0, -1, buffer);
    const auto kCalls = Record(noRowsK, negativeRows, emptyResult,
                               [&] { noRowsK.Multiply(negativeRows, emptyResult, 0, 0); });
    ASSERT_EQ(kCalls.size(), 1u);
    EXPECT_EQ(kCalls[0].m, 0);
    EXPECT_EQ(kCalls[0].n, 3);
    EXPECT_EQ(kCalls[0].k, -1);

    // N = 0 beside a negative M, through the transposed product.
    const ZylSrvMatrix negativeA(2, -2, buffer), noColumnsB(2, 0, buffer);
    ZylSrvMatrix result(1, 1, buffer + 5);
    const auto mCalls = Record(negativeA, noColumnsB, result,
                               [&] { negativeA.TransposeMultiply(noColumnsB, result, 0, 1); });
    ASSERT_EQ(mCalls.size(), 1u);
    EXPECT_EQ(mCalls[0].m, -2);
    EXPECT_EQ(mCalls[0].n, 0);
    const double expected[6] = {1, 2, 3, 4, 5, 6};
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(buffer[i], expected[i]) << "BLAS refused and wrote nothing";
}
