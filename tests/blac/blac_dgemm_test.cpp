// BLAC_DGEMM (optimized BLAS) and BLAC_DGEMM2 (reference algorithm) against
// naive loops and against each other.
#include <blac/blac.h>

#include "BlacTestSupport.h"

#include <cmath>
#include <cstdint>
#include <limits>

using blactest::Matrix;

namespace {

bool IsTranspose(char t)
{
    return t != 'N' && t != 'n';
}

// op(X)(i, j) for a stored matrix X.
double Op(const Matrix& x, char trans, int i, int j)
{
    return IsTranspose(trans) ? x(j, i) : x(i, j);
}

// C := alpha * op(A) * op(B) + beta * C by the textbook triple loop.
Matrix NaiveGemm(char ta, char tb, int m, int n, int k, double alpha, const Matrix& a,
                 const Matrix& b, double beta, const Matrix& c)
{
    Matrix r = c;
    for (int i = 0; i < m; ++i)
        for (int j = 0; j < n; ++j) {
            double sum = 0.0;
            for (int l = 0; l < k; ++l)
                sum += Op(a, ta, i, l) * Op(b, tb, l, j);
            r(i, j) = alpha * sum + beta * c(i, j);
        }
    return r;
}

struct GemmCase {
    char ta;
    char tb;
    int m, n, k;
    Matrix a, b, c;

    GemmCase(char transa, char transb, int rows, int cols, int inner, std::mt19937& gen)
        : ta(transa), tb(transb), m(rows), n(cols), k(inner),
          a(IsTranspose(transa) ? inner : rows, IsTranspose(transa) ? rows : inner,
            (IsTranspose(transa) ? inner : rows) + 3),
          b(IsTranspose(transb) ? cols : inner, IsTranspose(transb) ? inner : cols,
            (IsTranspose(transb) ? cols : inner) + 2),
          c(rows, cols, rows + 4)
    {
        a.FillRandom(gen);
        b.FillRandom(gen);
        c.FillRandom(gen);
    }
};

using GemmFunction = void (*)(const char*, const char*, const int*, const int*, const int*,
                              const double*, const double*, const int*, const double*,
                              const int*, const double*, double*, const int*);

void RunGemm(GemmFunction f, GemmCase& g, double alpha, double beta, Matrix& c)
{
    f(&g.ta, &g.tb, &g.m, &g.n, &g.k, &alpha, g.a.data(), &g.a.ld, g.b.data(), &g.b.ld, &beta,
      c.data(), &c.ld);
}

void ExpectNear(const Matrix& got, const Matrix& want, double tol)
{
    ASSERT_EQ(got.rows, want.rows);
    ASSERT_EQ(got.cols, want.cols);
    for (int j = 0; j < got.cols; ++j)
        for (int i = 0; i < got.rows; ++i)
            EXPECT_NEAR(got(i, j), want(i, j), tol) << "at (" << i << ", " << j << ")";
    EXPECT_TRUE(got.PaddingIntact());
}

std::uint64_t Bits(double x)
{
    std::uint64_t u;
    std::memcpy(&u, &x, sizeof u);
    return u;
}

const char kTrans[][2] = {{'N', 'N'}, {'N', 'T'}, {'T', 'N'}, {'T', 'T'},
                          {'n', 't'}, {'C', 'n'}, {'t', 'c'}};

} // namespace

TEST(BlacDgemm, MatchesNaiveLoopsForEveryTransposeCombination)
{
    std::mt19937 gen(11);
    for (const auto& t : kTrans) {
        GemmCase g(t[0], t[1], 7, 5, 9, gen);
        const double alpha = 1.5, beta = -0.75;
        const Matrix want = NaiveGemm(g.ta, g.tb, g.m, g.n, g.k, alpha, g.a, g.b, beta, g.c);
        Matrix c = g.c;
        RunGemm(BLAC_DGEMM, g, alpha, beta, c);
        SCOPED_TRACE(std::string("TRANSA=") + g.ta + " TRANSB=" + g.tb);
        ExpectNear(c, want, 1e-13);
    }
}

TEST(BlacDgemm2, MatchesNaiveLoopsAndDgemmForEveryTransposeCombination)
{
    std::mt19937 gen(12);
    const double alphas[] = {1.5, -2.0, 1.0};
    const double betas[] = {-0.75, 0.0, 1.0, 3.0};
    for (const auto& t : kTrans) {
        for (double alpha : alphas)
            for (double beta : betas) {
                GemmCase g(t[0], t[1], 13, 6, 11, gen);
                const Matrix want =
                    NaiveGemm(g.ta, g.tb, g.m, g.n, g.k, alpha, g.a, g.b, beta, g.c);
                Matrix c2 = g.c;
                Matrix c1 = g.c;
                RunGemm(BLAC_DGEMM2, g, alpha, beta, c2);
                RunGemm(BLAC_DGEMM, g, alpha, beta, c1);
                SCOPED_TRACE(std::string("TRANSA=") + g.ta + " TRANSB=" + g.tb +
                             " alpha=" + std::to_string(alpha) + " beta=" + std::to_string(beta));
                ExpectNear(c2, want, 1e-13);
                ExpectNear(c2, c1, 1e-13);
            }
    }
}

TEST(BlacDgemm2, ReportsEachBadArgumentAsDgemmAndLeavesCUntouched)
{
    std::mt19937 gen(13);
    GemmCase g('N', 'N', 4, 3, 5, gen);
    GemmCase gt('T', 'T', 4, 3, 5, gen); // A is 5 x 4, B is 3 x 5
    const double alpha = 2.0, beta = 0.5;

    struct Bad {
        int expected;
        char ta, tb;
        int m, n, k, lda, ldb, ldc;
        bool transposed;
        bool optimizedAgrees; // OpenBLAS numbers this case the same way
    };
    const Bad cases[] = {
        {1, 'X', 'N', 4, 3, 5, 7, 7, 8, false, true},
        {1, 'X', 'Y', -1, 3, 5, 7, 7, 8, false, true},  // the first bad argument wins
        {2, 'N', 'x', 4, 3, 5, 7, 7, 8, false, true},
        {3, 'N', 'N', -1, 3, 5, 7, 7, 8, false, true},
        {4, 'N', 'N', 4, -1, 5, 7, 7, 8, false, true},
        {5, 'N', 'N', 4, 3, -1, 7, 7, 8, false, true},
        {8, 'N', 'N', 4, 3, 5, 3, 7, 8, false, true},   // LDA < M
        {8, 'T', 'T', 4, 3, 5, 4, 7, 8, true, true},    // LDA < K when A is transposed
        {8, 'N', 'N', 0, 3, 5, 0, 7, 1, false, false},  // LDA < 1 even for M = 0
        {10, 'N', 'N', 4, 3, 5, 7, 4, 8, false, true},  // LDB < K
        {10, 'T', 'T', 4, 3, 5, 7, 2, 8, true, true},   // LDB < N when B is transposed
        {13, 'N', 'N', 4, 3, 5, 7, 7, 3, false, true},  // LDC < M
        {13, 'N', 'N', 0, 3, 5, 7, 7, 0, false, false}, // LDC < 1 even for M = 0
    };
    for (const Bad& bad : cases) {
        GemmCase& use = bad.transposed ? gt : g;
        Matrix c = use.c;
        const std::vector<double> before = c.v;
        const auto reports = blactest::CaptureReports([&] {
            BLAC_DGEMM2(&bad.ta, &bad.tb, &bad.m, &bad.n, &bad.k, &alpha, use.a.data(),
                        &bad.lda, use.b.data(), &bad.ldb, &beta, c.data(), &bad.ldc);
        });
        SCOPED_TRACE("expected argument " + std::to_string(bad.expected));
        EXPECT_ONE_REPORT(reports, "DGEMM ", bad.expected);
        EXPECT_EQ(c.v, before);

        // The optimized DGEMM numbers the same arguments the same way (except
        // that OpenBLAS lets LDA = 0 and LDC = 0 pass when M = 0).
        if (!bad.optimizedAgrees)
            continue;
        Matrix c1 = use.c;
        const auto reports1 = blactest::CaptureReports([&] {
            BLAC_DGEMM(&bad.ta, &bad.tb, &bad.m, &bad.n, &bad.k, &alpha, use.a.data(),
                       &bad.lda, use.b.data(), &bad.ldb, &beta, c1.data(), &bad.ldc);
        });
        ASSERT_EQ(reports1.size(), 1u);
        EXPECT_EQ(reports1[0].argument, bad.expected);
    }
}

TEST(BlacDgemm2, QuickReturnsLeaveCUntouched)
{
    std::mt19937 gen(14);
    GemmCase g('N', 'N', 4, 3, 5, gen);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (int j = 0; j < g.c.cols; ++j)
        g.c(0, j) = nan;
    const std::vector<double> before = g.c.v;
    const auto same = [&](const Matrix& c) {
        for (size_t i = 0; i < before.size(); ++i)
            if (Bits(c.v[i]) != Bits(before[i]))
                return false;
        return true;
    };

    for (GemmFunction f : {BLAC_DGEMM2, BLAC_DGEMM}) {
        // M = 0 and N = 0: nothing to compute, whatever ALPHA and BETA are.
        for (int which = 0; which < 2; ++which) {
            const int zero = 0;
            const double alpha = 3.0, beta = 0.0;
            Matrix c = g.c;
            const auto reports = blactest::CaptureReports([&] {
                f(&g.ta, &g.tb, which == 0 ? &zero : &g.m, which == 0 ? &g.n : &zero, &g.k,
                  &alpha, g.a.data(), &g.a.ld, g.b.data(), &g.b.ld, &beta, c.data(), &c.ld);
            });
            EXPECT_TRUE(reports.empty());
            EXPECT_TRUE(same(c)) << (which == 0 ? "M = 0" : "N = 0");
        }
    }

    // K = 0 or ALPHA = 0 with BETA = 1: C stays as it is, NaN included.
    {
        const int zero = 0;
        const double alpha = 3.0, beta = 1.0;
        Matrix c = g.c;
        BLAC_DGEMM2(&g.ta, &g.tb, &g.m, &g.n, &zero, &alpha, g.a.data(), &g.a.ld, g.b.data(),
                    &g.b.ld, &beta, c.data(), &c.ld);
        EXPECT_TRUE(same(c)) << "K = 0, BETA = 1";
    }
    {
        const double alpha = 0.0, beta = 1.0;
        Matrix c = g.c;
        g.a(0, 0) = nan; // A is not even looked at
        BLAC_DGEMM2(&g.ta, &g.tb, &g.m, &g.n, &g.k, &alpha, g.a.data(), &g.a.ld, g.b.data(),
                    &g.b.ld, &beta, c.data(), &c.ld);
        EXPECT_TRUE(same(c)) << "ALPHA = 0, BETA = 1";
    }
}

TEST(BlacDgemm2, AlphaZeroScalesCAndBetaZeroGivesExactZerosOverNaN)
{
    std::mt19937 gen(15);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (const auto& t : kTrans) {
        GemmCase g(t[0], t[1], 5, 4, 3, gen);
        g.a(0, 0) = nan; // with ALPHA = 0 neither A nor B is used
        g.b(0, 0) = nan;
        Matrix c = g.c;
        c(1, 1) = nan;
        c(4, 3) = -std::numeric_limits<double>::infinity();
        RunGemm(BLAC_DGEMM2, g, 0.0, 0.0, c);
        for (int j = 0; j < c.cols; ++j)
            for (int i = 0; i < c.rows; ++i)
                EXPECT_EQ(Bits(c(i, j)), Bits(0.0)) << "at (" << i << ", " << j << ")";
        EXPECT_TRUE(c.PaddingIntact());

        Matrix c2 = g.c;
        RunGemm(BLAC_DGEMM2, g, 0.0, -2.5, c2);
        for (int j = 0; j < c2.cols; ++j)
            for (int i = 0; i < c2.rows; ++i)
                EXPECT_EQ(c2(i, j), -2.5 * g.c(i, j));
        EXPECT_TRUE(c2.PaddingIntact());
    }
}

TEST(BlacDgemm2, BetaZeroOverwritesNaNInCWithTheProduct)
{
    std::mt19937 gen(16);
    for (const auto& t : kTrans) {
        GemmCase g(t[0], t[1], 6, 5, 4, gen);
        const double nan = std::numeric_limits<double>::quiet_NaN();
        for (int j = 0; j < g.c.cols; ++j)
            for (int i = 0; i < g.c.rows; ++i)
                g.c(i, j) = nan;
        Matrix zero(g.m, g.n, g.m);
        const Matrix want = NaiveGemm(g.ta, g.tb, g.m, g.n, g.k, 0.5, g.a, g.b, 0.0, zero);
        Matrix c = g.c;
        RunGemm(BLAC_DGEMM2, g, 0.5, 0.0, c);
        SCOPED_TRACE(std::string("TRANSA=") + g.ta + " TRANSB=" + g.tb);
        for (int j = 0; j < c.cols; ++j)
            for (int i = 0; i < c.rows; ++i)
                EXPECT_NEAR(c(i, j), want(i, j), 1e-14);
    }
}
