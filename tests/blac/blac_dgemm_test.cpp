// BLAC_DGEMM2 (the reference DGEMM algorithm of the bridge) and the BLAC_DGEMM
// forwarder against the naive product: the four transpose cases, the argument
// checks with their numbers, the quick returns and the BETA = 0 rule.
#include <blac/blac.h>

#include "BlacTestSupport.h"

#include <cstring>
#include <limits>

using blactest::Padded;
using zyltest::RandomMatrix;
using zyltest::RefMatrix;

namespace {

using GemmFunction = decltype(&BLAC_DGEMM2);

const double kNaN = std::numeric_limits<double>::quiet_NaN();

// Operands of an m x n x k product with op(A) and op(B) as the options say.
struct Gemm {
    char ta, tb;
    int m = 5, n = 3, k = 4;
    RefMatrix a, b, c;
    Gemm(char transa, char transb, unsigned seed)
        : ta(transa), tb(transb), a(RandomMatrix(ta == 'N' ? m : k, ta == 'N' ? k : m, seed)),
          b(RandomMatrix(tb == 'N' ? k : n, tb == 'N' ? n : k, seed + 1)), c(RandomMatrix(m, n, seed + 2))
    {
    }
    RefMatrix Product() const { return zyltest::NaiveProduct(a, ta != 'N', b, tb != 'N'); }
    // Runs f with A, B and C padded by `pad` rows; returns C.
    Padded Run(GemmFunction f, double alpha, double beta, const RefMatrix& c0, int pad) const
    {
        Padded pa(a, pad + 1), pb(b, pad + 2), pc(c0, pad);
        f(&ta, &tb, &m, &n, &k, &alpha, pa.data(), &pa.ld, pb.data(), &pb.ld, &beta, pc.data(), &pc.ld);
        return pc;
    }
};

const char kTransposes[][2] = {{'N', 'N'}, {'N', 't'}, {'T', 'N'}, {'C', 'T'}};

} // namespace

TEST(BlacDgemm2, FourTransposeCasesMatchTheNaiveProduct)
{
    const double pairs[][2] = {{1.5, -0.75}, {-2.0, 1.0}, {0.0, -2.5}}; // {alpha, beta}
    unsigned seed = 10;
    for (const auto& t : kTransposes)
        for (const auto& ab : pairs)
            for (GemmFunction f : {BLAC_DGEMM2, BLAC_DGEMM}) {
                const Gemm g(t[0], t[1], seed += 3);
                SCOPED_TRACE(testing::Message() << (f == BLAC_DGEMM ? "DGEMM " : "DGEMM2 ") << t[0] << t[1]
                                                << " alpha " << ab[0] << " beta " << ab[1]);
                RefMatrix want = g.Product();
                for (std::size_t p = 0; p < want.v.size(); ++p)
                    want.v[p] = ab[0] * want.v[p] + ab[1] * g.c.v[p];
                const Padded c = g.Run(f, ab[0], ab[1], g.c, 2);
                zyltest::ExpectMatrixNear(want, c.data(), c.ld, "C", 1e-13);
                EXPECT_TRUE(c.Intact());
            }
}

TEST(BlacDgemm2, BetaZeroOverwritesNaNInC)
{
    // Leading dimensions exactly the row counts: the smallest ones accepted.
    unsigned seed = 50;
    for (const auto& t : kTransposes)
        for (double alpha : {0.5, 0.0}) {
            const Gemm g(t[0], t[1], seed += 3);
            SCOPED_TRACE(testing::Message() << t[0] << t[1] << " alpha " << alpha);
            RefMatrix want = g.Product();
            for (double& x : want.v)
                x *= alpha;
            const Padded c = g.Run(BLAC_DGEMM2, alpha, 0.0, RefMatrix(g.m, g.n, kNaN), 0);
            zyltest::ExpectMatrixNear(want, c.data(), c.ld, "C", 1e-13);
        }
}

TEST(BlacDgemm2, QuickReturnsLeaveCBitForBitAndReportNothing)
{
    const Gemm g('N', 'N', 70);
    RefMatrix c0 = g.c;
    c0(1, 1) = kNaN;
    struct Case {
        int m, n, k;
        double alpha, beta;
    };
    // M = 0; N = 0; K = 0 with BETA = 1; ALPHA = 0 with BETA = 1.
    for (const Case& q : {Case{0, 3, 4, 3.0, 0.0}, {5, 0, 4, 3.0, 0.0}, {5, 3, 0, 3.0, 1.0}, {5, 3, 4, 0.0, 1.0}}) {
        SCOPED_TRACE(testing::Message() << q.m << " " << q.n << " " << q.k << " " << q.alpha << " " << q.beta);
        Padded pa(g.a, 1), pb(g.b, 1), pc(c0, 1);
        const std::vector<double> before = pc.v;
        const std::string printed = blactest::CaptureStdout([&] {
            BLAC_DGEMM2("N", "N", &q.m, &q.n, &q.k, &q.alpha, pa.data(), &pa.ld, pb.data(), &pb.ld, &q.beta,
                        pc.data(), &pc.ld);
        });
        EXPECT_EQ(printed, "");
        EXPECT_EQ(std::memcmp(pc.v.data(), before.data(), before.size() * sizeof(double)), 0); // NaN too
    }
}

TEST(BlacDgemm2, ReportsTheFirstBadArgumentAsDgemmAndLeavesCUntouched)
{
    struct Bad {
        int argument;
        char ta, tb;
        int m, n, k, lda, ldb, ldc;
    };
    // Valid shapes: M = 4, N = 3, K = 5; A is 4 x 5 ('N') or 5 x 4 ('T').
    const Bad cases[] = {
        {1, 'X', 'N', 4, 3, 5, 7, 7, 8},
        {1, 'X', 'Y', -1, 3, 5, 7, 7, 8}, // the first bad argument wins
        {2, 'N', 'x', 4, 3, 5, 7, 7, 8},
        {3, 'N', 'N', -1, 3, 5, 7, 7, 8},
        {4, 'N', 'N', 4, -1, 5, 7, 7, 8},
        {5, 'N', 'N', 4, 3, -1, 7, 7, 8},
        {8, 'N', 'N', 4, 3, 5, 3, 7, 8},  // LDA < M
        {8, 'T', 'T', 4, 3, 5, 4, 7, 8},  // LDA < K when A is transposed
        {8, 'N', 'N', 0, 3, 5, 0, 7, 1},  // LDA < 1 even for M = 0
        {10, 'N', 'N', 4, 3, 5, 7, 4, 8}, // LDB < K
        {10, 'T', 'T', 4, 3, 5, 7, 2, 8}, // LDB < N when B is transposed
        {13, 'N', 'N', 4, 3, 5, 7, 7, 3}, // LDC < M
        {13, 'N', 'N', 0, 3, 5, 7, 7, 0}, // LDC < 1 even for M = 0
    };
    const double alpha = 2.0, beta = 0.5;
    std::vector<double> a(64, 1.0), b(64, 2.0);
    for (const Bad& bad : cases) {
        SCOPED_TRACE(testing::Message() << "argument " << bad.argument);
        std::vector<double> c(64, 3.0);
        const std::string printed = blactest::CaptureStdout([&] {
            BLAC_DGEMM2(&bad.ta, &bad.tb, &bad.m, &bad.n, &bad.k, &alpha, a.data(), &bad.lda, b.data(), &bad.ldb,
                        &beta, c.data(), &bad.ldc);
        });
        EXPECT_EQ(printed, blactest::Report("DGEMM ", bad.argument));
        EXPECT_EQ(c, std::vector<double>(64, 3.0));
    }
}
