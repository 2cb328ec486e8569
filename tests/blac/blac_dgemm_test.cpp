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
        Padded pa(a, pad + pad / 2), pb(b, 2 * pad), pc(c0, pad);
        f(&ta, &tb, &m, &n, &k, &alpha, pa.data(), &pa.ld, pb.data(), &pb.ld, &beta, pc.data(), &pc.ld);
        return pc;
    }
};

const char kTransposes[][2] = {{'N', 'N'}, {'N', 't'}, {'T', 'N'}, {'C', 'T'}};

} // namespace

TEST(BlacDgemm2, FourTransposeCasesMatchTheNaiveProduct)
{
    // {alpha, beta}. With BETA = 0, C starts as NaN, which must be overwritten,
    // and the leading dimensions are the smallest ones accepted.
    const double pairs[][2] = {{1.5, -0.75}, {-2.0, 1.0}, {0.0, -2.5}, {0.5, 0.0}, {0.0, 0.0}};
    unsigned seed = 10;
    for (const auto& t : kTransposes)
        for (const auto& ab : pairs)
            for (GemmFunction f : {BLAC_DGEMM2, BLAC_DGEMM}) {
                const Gemm g(t[0], t[1], seed += 3);
                SCOPED_TRACE(testing::Message() << (f == BLAC_DGEMM ? "DGEMM " : "DGEMM2 ") << t[0] << t[1]
                                                << " alpha " << ab[0] << " beta " << ab[1]);
                const int pad = ab[1] == 0.0 ? 0 : 2;
                RefMatrix want = g.Product();
                for (std::size_t p = 0; p < want.v.size(); ++p)
                    want.v[p] = ab[0] * want.v[p] + (pad ? ab[1] * g.c.v[p] : 0.0);
                const Padded c = g.Run(f, ab[0], ab[1], pad ? g.c : RefMatrix(g.m, g.n, kNaN), pad);
                zyltest::ExpectMatrixNear(want, c.data(), c.ld, "C", 1e-13);
                EXPECT_TRUE(c.Intact());
            }
}

TEST(BlacDgemm2, ReportsTheFirstBadArgumentOrReturnsQuicklyLeavingCUntouched)
{
    struct Case {
        int argument; // 0: a quick return, nothing reported
        char ta, tb;
        int m, n, k, lda, ldb, ldc;
        double alpha, beta;
    };
    // Valid shapes: M = 4, N = 3, K = 5; A is 4 x 5 ('N') or 5 x 4 ('T').
    const Case cases[] = {
        {1, 'X', 'N', 4, 3, 5, 7, 7, 8, 2, 0.5},
        {1, 'X', 'Y', -1, 3, 5, 7, 7, 8, 2, 0.5}, // the first bad argument wins
        {2, 'N', 'x', 4, 3, 5, 7, 7, 8, 2, 0.5},
        {3, 'N', 'N', -1, 3, 5, 7, 7, 8, 2, 0.5},
        {4, 'N', 'N', 4, -1, 5, 7, 7, 8, 2, 0.5},
        {5, 'N', 'N', 4, 3, -1, 7, 7, 8, 2, 0.5},
        {8, 'N', 'N', 4, 3, 5, 3, 7, 8, 2, 0.5},  // LDA < M
        {8, 'T', 'T', 4, 3, 5, 4, 7, 8, 2, 0.5},  // LDA < K when A is transposed
        {8, 'N', 'N', 0, 3, 5, 0, 7, 1, 2, 0.5},  // LDA < 1 even for M = 0
        {10, 'N', 'N', 4, 3, 5, 7, 4, 8, 2, 0.5}, // LDB < K
        {10, 'T', 'T', 4, 3, 5, 7, 2, 8, 2, 0.5}, // LDB < N when B is transposed
        {13, 'N', 'N', 4, 3, 5, 7, 7, 3, 2, 0.5}, // LDC < M
        {13, 'N', 'N', 0, 3, 5, 7, 7, 0, 2, 0.5}, // LDC < 1 even for M = 0
        {0, 'N', 'N', 0, 3, 5, 1, 5, 1, 3, 0.0},  // M = 0, smallest LDA and LDC
        {0, 'N', 'N', 4, 0, 5, 4, 5, 4, 3, 0.0},  // N = 0
        {0, 'N', 'N', 4, 3, 0, 4, 1, 4, 3, 1.0},  // K = 0 and BETA = 1, smallest LDB
        {0, 'N', 'N', 4, 3, 5, 4, 5, 4, 0, 1.0},  // ALPHA = 0 and BETA = 1
    };
    std::vector<double> a(64, 1.0), b(64, 2.0);
    for (const Case& q : cases) {
        SCOPED_TRACE(testing::Message() << "argument " << q.argument << " M " << q.m << " N " << q.n << " K " << q.k);
        std::vector<double> c(64, 3.0);
        c[1] = kNaN;
        const std::vector<double> before = c;
        const std::string printed = blactest::CaptureStdout([&] {
            BLAC_DGEMM2(&q.ta, &q.tb, &q.m, &q.n, &q.k, &q.alpha, a.data(), &q.lda, b.data(), &q.ldb, &q.beta,
                        c.data(), &q.ldc);
        });
        EXPECT_EQ(printed, q.argument ? blactest::Report("DGEMM ", q.argument) : "");
        EXPECT_EQ(std::memcmp(c.data(), before.data(), before.size() * sizeof(double)), 0); // NaN too
    }
}
