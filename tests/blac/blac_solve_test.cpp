// The composed drivers BLAC_DGESV and BLAC_DPPSV: solutions checked by their
// residual against the original matrix, every bad argument with its INFO and
// its report, and the positive INFO of a failed factorization.
#include <blac/blac.h>

#include "BlacTestSupport.h"

using blactest::CaptureStdout;
using blactest::Padded;
using zyltest::NaiveProduct;
using zyltest::RandomMatrix;
using zyltest::RefMatrix;

TEST(BlacDrivers, SolveGeneralAndPackedPositiveDefiniteSystems)
{
    const int n = 8, nrhs = 3;
    const RefMatrix m = RandomMatrix(n, n, 21), b0 = RandomMatrix(n, nrhs, 22);
    RefMatrix a0 = NaiveProduct(m, true, m); // symmetric positive definite
    for (int i = 0; i < n; ++i)
        a0(i, i) += n;
    a0(0, n - 1) += 0.5; // DGESV gets a non-symmetric matrix
    Padded a(a0, 3), x(b0, 1);
    std::vector<int> ipiv(n, 0);
    int info = 99;
    EXPECT_EQ(CaptureStdout([&] { BLAC_DGESV(&n, &nrhs, a.data(), &a.ld, ipiv.data(), x.data(), &x.ld, &info); }), "");
    EXPECT_EQ(info, 0);
    zyltest::ExpectMatrixNear(b0, NaiveProduct(a0, false, x.Ref()), "DGESV", 1e-12);
    EXPECT_TRUE(x.Intact() && a.Intact());

    a0(0, n - 1) -= 0.5;
    for (char uplo : {'U', 'l'}) {
        std::vector<double> ap = blactest::Pack(a0, uplo == 'U' ? 'U' : 'L');
        Padded y(b0, 3);
        info = 99;
        EXPECT_EQ(CaptureStdout([&] { BLAC_DPPSV(&uplo, &n, &nrhs, ap.data(), y.data(), &y.ld, &info); }), "");
        EXPECT_EQ(info, 0);
        zyltest::ExpectMatrixNear(b0, NaiveProduct(a0, false, y.Ref()), "DPPSV", 1e-12);
        EXPECT_TRUE(y.Intact());
    }
}

TEST(BlacDrivers, ReportTheFirstBadArgumentWithoutTouchingTheData)
{
    struct Bad {
        char uplo; // 0: DGESV, else DPPSV
        int n, nrhs, lda, ldb, info;
    };
    const Bad cases[] = {
        {0, -1, 1, 3, 3, -1},   // N < 0
        {0, -1, -1, 0, 0, -1},  // the first bad argument wins
        {0, 3, -1, 3, 3, -2},   // NRHS < 0
        {0, 3, 1, 2, 3, -4},    // LDA < max(1, N)
        {0, 0, 1, 0, 1, -4},    // LDA < 1 even for N = 0
        {0, 3, 1, 3, 2, -7},    // LDB < max(1, N)
        {0, 0, 1, 1, 0, -7},
        {'x', 3, 1, 0, 3, -1},  // UPLO neither U nor L
        {'N', -1, -1, 0, 0, -1}, // the first bad argument wins
        {'U', -1, 1, 0, 3, -2}, // N < 0
        {'L', 3, -1, 0, 3, -3}, // NRHS < 0
        {'u', 3, 1, 0, 2, -6},  // LDB < max(1, N)
        {'l', 0, 1, 0, 0, -6},  // LDB < 1 even for N = 0
    };
    for (const Bad& bad : cases) {
        SCOPED_TRACE(testing::Message() << (bad.uplo ? "DPPSV" : "DGESV") << " INFO " << bad.info);
        std::vector<double> a(16, 5.0), b(16, 6.0);
        std::vector<int> ipiv(4, -9);
        int info = 99;
        const std::string printed = CaptureStdout([&] {
            if (bad.uplo)
                BLAC_DPPSV(&bad.uplo, &bad.n, &bad.nrhs, a.data(), b.data(), &bad.ldb, &info);
            else
                BLAC_DGESV(&bad.n, &bad.nrhs, a.data(), &bad.lda, ipiv.data(), b.data(), &bad.ldb, &info);
        });
        EXPECT_EQ(printed, blactest::Report(bad.uplo ? "DPPSV " : "DGESV ", -bad.info));
        EXPECT_EQ(info, bad.info);
        EXPECT_EQ(a, std::vector<double>(16, 5.0));
        EXPECT_EQ(b, std::vector<double>(16, 6.0));
        EXPECT_EQ(ipiv, std::vector<int>(4, -9));
    }
}

TEST(BlacDrivers, ReturnAFailedFactorizationWithoutSolvingAndAcceptZeroSizes)
{
    // DGESV: rank one, the second pivot is exactly zero. DPPSV: [[1, 2],
    // [2, 1]] has eigenvalues 3 and -1, the 2 x 2 minor fails.
    const int n = 2, nrhs = 1, zero = 0, one = 1;
    double a[4] = {1.0, 2.0, 2.0, 4.0}, ap[3] = {1.0, 2.0, 1.0}, b[2] = {1.0, -1.0};
    int ipiv[2], info = 99, infoPp = 99;
    EXPECT_EQ(CaptureStdout([&] {
                  BLAC_DGESV(&n, &nrhs, a, &n, ipiv, b, &n, &info);
                  BLAC_DPPSV("U", &n, &nrhs, ap, b, &n, &infoPp);
              }),
              "");
    EXPECT_EQ(info, 2);
    EXPECT_EQ(infoPp, 2);
    EXPECT_EQ(b[0], 1.0);
    EXPECT_EQ(b[1], -1.0);

    // N = 0 with LDA = LDB = 1, and NRHS = 0: nothing to do, nothing reported.
    info = infoPp = 99;
    EXPECT_EQ(CaptureStdout([&] {
                  BLAC_DGESV(&zero, &n, a, &one, ipiv, b, &one, &info);
                  BLAC_DPPSV("L", &zero, &n, ap, b, &one, &infoPp);
              }),
              "");
    EXPECT_EQ(info + infoPp, 0);
    info = infoPp = 99;
    BLAC_DGESV(&one, &zero, a, &one, ipiv, b, &one, &info);
    BLAC_DPPSV("L", &one, &zero, ap, b, &one, &infoPp);
    EXPECT_EQ(info + infoPp, 0);
    EXPECT_EQ(b[0], 1.0);
}
