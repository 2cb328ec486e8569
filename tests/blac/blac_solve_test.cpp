// The composed drivers BLAC_DGESV and BLAC_DPPSV: solutions checked by their
// residual against the original matrix, every bad argument with its INFO and
// its report, and the positive INFO of a failed factorization.
#include <blac/blac.h>

#include "BlacTestSupport.h"

#include <cctype>

using blactest::Padded;
using zyltest::NaiveProduct;
using zyltest::RandomMatrix;
using zyltest::RefMatrix;

TEST(BlacDgesv, SolvesAGeneralSystemAndAcceptsZeroSizes)
{
    const int n = 9, nrhs = 3;
    RefMatrix a0 = RandomMatrix(n, n, 21);
    for (int i = 0; i < n; ++i)
        a0(i, i) += n;
    const RefMatrix b0 = RandomMatrix(n, nrhs, 22);
    Padded a(a0, 3), x(b0, 1);
    std::vector<int> ipiv(n, 0);
    int info = 99;
    EXPECT_EQ(blactest::CaptureStdout(
                  [&] { BLAC_DGESV(&n, &nrhs, a.data(), &a.ld, ipiv.data(), x.data(), &x.ld, &info); }),
              "");
    EXPECT_EQ(info, 0);
    zyltest::ExpectMatrixNear(b0, NaiveProduct(a0, false, x.Ref()), "A X", 1e-12);
    EXPECT_TRUE(x.Intact());
    EXPECT_TRUE(a.Intact());

    // N = 0 with LDA = LDB = 1, and NRHS = 0: nothing to do, nothing reported.
    const int sizes[][2] = {{0, 2}, {1, 0}}, one = 1;
    double a1 = 7.0, b1 = 8.0;
    int ipiv1 = -3;
    for (const auto& s : sizes) {
        info = 99;
        EXPECT_EQ(blactest::CaptureStdout([&] { BLAC_DGESV(&s[0], &s[1], &a1, &one, &ipiv1, &b1, &one, &info); }),
                  "");
        EXPECT_EQ(info, 0);
        EXPECT_EQ(b1, 8.0);
    }
}

TEST(BlacDgesv, ReportsTheFirstBadArgumentWithoutTouchingTheData)
{
    struct Bad {
        int n, nrhs, lda, ldb, info;
    };
    const Bad cases[] = {
        {-1, 1, 3, 3, -1},  // N < 0
        {-1, -1, 0, 0, -1}, // the first bad argument wins
        {3, -1, 3, 3, -2},  // NRHS < 0
        {3, 1, 2, 3, -4},   // LDA < max(1, N)
        {0, 1, 0, 1, -4},   // LDA < 1 even for N = 0
        {3, 1, 3, 2, -7},   // LDB < max(1, N)
        {0, 1, 1, 0, -7},
    };
    for (const Bad& bad : cases) {
        SCOPED_TRACE(testing::Message() << "INFO " << bad.info);
        std::vector<double> a(16, 5.0), b(16, 6.0);
        std::vector<int> ipiv(4, -9);
        int info = 99;
        EXPECT_EQ(blactest::CaptureStdout([&] {
                      BLAC_DGESV(&bad.n, &bad.nrhs, a.data(), &bad.lda, ipiv.data(), b.data(), &bad.ldb, &info);
                  }),
                  blactest::Report("DGESV ", -bad.info));
        EXPECT_EQ(info, bad.info);
        EXPECT_EQ(a, std::vector<double>(16, 5.0));
        EXPECT_EQ(b, std::vector<double>(16, 6.0));
        EXPECT_EQ(ipiv, std::vector<int>(4, -9));
    }
}

TEST(BlacDgesv, ReturnsTheZeroPivotWithoutSolving)
{
    // Rank one: the second pivot is exactly zero.
    const int n = 2, nrhs = 1;
    double a[4] = {1.0, 2.0, 2.0, 4.0}, b[2] = {1.0, -1.0};
    int ipiv[2], info = 99;
    EXPECT_EQ(blactest::CaptureStdout([&] { BLAC_DGESV(&n, &nrhs, a, &n, ipiv, b, &n, &info); }), "");
    EXPECT_EQ(info, 2);
    EXPECT_EQ(b[0], 1.0);
    EXPECT_EQ(b[1], -1.0);
}

TEST(BlacDppsv, SolvesPackedPositiveDefiniteSystemsInEitherTriangle)
{
    const int n = 8, nrhs = 2;
    const RefMatrix m = RandomMatrix(n, n, 23);
    RefMatrix a = NaiveProduct(m, true, m);
    for (int i = 0; i < n; ++i)
        a(i, i) += n;
    const RefMatrix b0 = RandomMatrix(n, nrhs, 24);
    for (char uplo : {'U', 'L', 'u', 'l'}) {
        SCOPED_TRACE(uplo);
        std::vector<double> ap = blactest::Pack(a, static_cast<char>(std::toupper(uplo)));
        Padded x(b0, 3);
        int info = 99;
        EXPECT_EQ(blactest::CaptureStdout(
                      [&] { BLAC_DPPSV(&uplo, &n, &nrhs, ap.data(), x.data(), &x.ld, &info); }),
                  "");
        EXPECT_EQ(info, 0);
        zyltest::ExpectMatrixNear(b0, NaiveProduct(a, false, x.Ref()), "A X", 1e-12);
        EXPECT_TRUE(x.Intact());
    }
}

TEST(BlacDppsv, ReportsTheFirstBadArgumentWithoutTouchingTheData)
{
    struct Bad {
        char uplo;
        int n, nrhs, ldb, info;
    };
    const Bad cases[] = {
        {'x', 3, 1, 3, -1},   // UPLO neither U nor L
        {'N', -1, -1, 0, -1}, // the first bad argument wins
        {'U', -1, 1, 3, -2},  // N < 0
        {'L', 3, -1, 3, -3},  // NRHS < 0
        {'u', 3, 1, 2, -6},   // LDB < max(1, N)
        {'l', 0, 1, 0, -6},   // LDB < 1 even for N = 0
    };
    for (const Bad& bad : cases) {
        SCOPED_TRACE(testing::Message() << "INFO " << bad.info);
        std::vector<double> ap(16, 5.0), b(16, 6.0);
        int info = 99;
        EXPECT_EQ(blactest::CaptureStdout(
                      [&] { BLAC_DPPSV(&bad.uplo, &bad.n, &bad.nrhs, ap.data(), b.data(), &bad.ldb, &info); }),
                  blactest::Report("DPPSV ", -bad.info));
        EXPECT_EQ(info, bad.info);
        EXPECT_EQ(ap, std::vector<double>(16, 5.0));
        EXPECT_EQ(b, std::vector<double>(16, 6.0));
    }
}

TEST(BlacDppsv, ReturnsTheOrderOfTheFailingMinorWithoutSolving)
{
    // [[1, 2], [2, 1]] has eigenvalues 3 and -1: the 2 x 2 minor fails.
    const int n = 2, nrhs = 1;
    double ap[3] = {1.0, 2.0, 1.0}, b[2] = {1.0, -1.0};
    int info = 99;
    EXPECT_EQ(blactest::CaptureStdout([&] { BLAC_DPPSV("U", &n, &nrhs, ap, b, &n, &info); }), "");
    EXPECT_EQ(info, 2);
    EXPECT_EQ(b[0], 1.0);
    EXPECT_EQ(b[1], -1.0);
}
