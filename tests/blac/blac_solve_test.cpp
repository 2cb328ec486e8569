// The composed drivers BLAC_DGESV and BLAC_DPPSV: solutions checked by their
// residual against the original matrix, and every INFO code with the report
// that goes with it.
#include <blac/blac.h>

#include "BlacTestSupport.h"

#include <cmath>

using blactest::Matrix;

namespace {

// A well-conditioned general matrix: random entries plus a dominant diagonal.
Matrix GeneralMatrix(int n, int ld, std::mt19937& gen)
{
    Matrix a(n, n, ld);
    a.FillRandom(gen);
    for (int i = 0; i < n; ++i)
        a(i, i) += n;
    return a;
}

// max |A * X - B| over all entries, with A and B the originals.
double Residual(const Matrix& a, const Matrix& x, const Matrix& b)
{
    double worst = 0.0;
    for (int r = 0; r < b.cols; ++r)
        for (int i = 0; i < a.rows; ++i) {
            double sum = 0.0;
            for (int j = 0; j < a.cols; ++j)
                sum += a(i, j) * x(j, r);
            worst = std::fmax(worst, std::fabs(sum - b(i, r)));
        }
    return worst;
}

// A symmetric positive definite matrix: M^T M + n I.
Matrix SpdMatrix(int n, std::mt19937& gen)
{
    Matrix m(n, n, n);
    m.FillRandom(gen);
    Matrix a(n, n, n);
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) {
            double sum = 0.0;
            for (int l = 0; l < n; ++l)
                sum += m(l, i) * m(l, j);
            a(i, j) = sum + (i == j ? n : 0.0);
        }
    return a;
}

} // namespace

TEST(BlacDgesv, SolvesAGeneralSystemWithSeveralRightHandSides)
{
    std::mt19937 gen(21);
    const int n = 9, nrhs = 3, lda = 12, ldb = 10;
    const Matrix a0 = GeneralMatrix(n, lda, gen);
    Matrix b0(n, nrhs, ldb);
    b0.FillRandom(gen);

    Matrix a = a0;
    Matrix x = b0;
    std::vector<int> ipiv(n, 0);
    int info = 99;
    const auto reports = blactest::CaptureReports(
        [&] { BLAC_DGESV(&n, &nrhs, a.data(), &lda, ipiv.data(), x.data(), &ldb, &info); });
    EXPECT_TRUE(reports.empty());
    EXPECT_EQ(info, 0);
    EXPECT_LT(Residual(a0, x, b0), 1e-12);
    EXPECT_TRUE(x.PaddingIntact());
    EXPECT_TRUE(a.PaddingIntact());
    for (int p : ipiv) {
        EXPECT_GE(p, 1);
        EXPECT_LE(p, n);
    }
}

TEST(BlacDgesv, ZeroSizesAreAcceptedAndDoNothing)
{
    const int zero = 0, one = 1, nrhs = 2;
    double a = 7.0, b = 8.0;
    int ipiv = -3, info = 99;
    const auto reports = blactest::CaptureReports(
        [&] { BLAC_DGESV(&zero, &nrhs, &a, &one, &ipiv, &b, &one, &info); });
    EXPECT_TRUE(reports.empty());
    EXPECT_EQ(info, 0);
    EXPECT_EQ(a, 7.0);
    EXPECT_EQ(b, 8.0);

    const int n = 1;
    const auto reports2 = blactest::CaptureReports(
        [&] { BLAC_DGESV(&n, &zero, &a, &one, &ipiv, &b, &one, &info); });
    EXPECT_TRUE(reports2.empty());
    EXPECT_EQ(info, 0);
}

TEST(BlacDgesv, ReportsBadArgumentsAsDgesvWithoutTouchingTheData)
{
    struct Bad {
        int n, nrhs, lda, ldb, info;
    };
    const Bad cases[] = {
        {-1, 1, 3, 3, -1},  // N < 0
        {-1, -1, 0, 0, -1}, // the first bad argument wins
        {3, -1, 3, 3, -2},  // NRHS < 0
        {3, 1, 0, 3, -4},   // LDA < max(1, N)
        {3, 1, 2, 3, -4},
        {0, 1, 0, 1, -4},   // LDA < 1 even for N = 0
        {3, 1, 3, 2, -7},   // LDB < max(1, N)
        {0, 1, 1, 0, -7},
    };
    for (const Bad& bad : cases) {
        std::vector<double> a(16, 5.0), b(16, 6.0);
        std::vector<int> ipiv(4, -9);
        int info = 99;
        const auto reports = blactest::CaptureReports([&] {
            BLAC_DGESV(&bad.n, &bad.nrhs, a.data(), &bad.lda, ipiv.data(), b.data(), &bad.ldb,
                       &info);
        });
        SCOPED_TRACE("expected INFO " + std::to_string(bad.info));
        EXPECT_EQ(info, bad.info);
        EXPECT_ONE_REPORT(reports, "DGESV ", -bad.info);
        EXPECT_EQ(a, std::vector<double>(16, 5.0));
        EXPECT_EQ(b, std::vector<double>(16, 6.0));
        EXPECT_EQ(ipiv, std::vector<int>(4, -9));
    }
}

TEST(BlacDgesv, ReturnsTheZeroPivotOfASingularMatrixWithoutSolving)
{
    // Third column zero: after elimination U(3,3) is exactly zero.
    const int n = 3, nrhs = 1, ld = 3;
    Matrix a(n, n, ld);
    const double values[3][3] = {{2.0, 1.0, 0.0}, {4.0, -1.0, 0.0}, {1.0, 3.0, 0.0}};
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j)
            a(i, j) = values[i][j];
    std::vector<double> b = {1.0, 2.0, 3.0};
    std::vector<int> ipiv(n, 0);
    int info = 99;
    const auto reports = blactest::CaptureReports(
        [&] { BLAC_DGESV(&n, &nrhs, a.data(), &ld, ipiv.data(), b.data(), &ld, &info); });
    EXPECT_TRUE(reports.empty());
    EXPECT_EQ(info, 3);
    EXPECT_EQ(b, (std::vector<double>{1.0, 2.0, 3.0}));

    // Rank one 2 x 2: the second pivot is exactly zero.
    const int n2 = 2;
    double a2[4] = {1.0, 2.0, 2.0, 4.0};
    double b2[2] = {1.0, 1.0};
    int ipiv2[2];
    BLAC_DGESV(&n2, &nrhs, a2, &n2, ipiv2, b2, &n2, &info);
    EXPECT_EQ(info, 2);
    EXPECT_EQ(b2[0], 1.0);
    EXPECT_EQ(b2[1], 1.0);
}

TEST(BlacDppsv, SolvesPackedPositiveDefiniteSystemsInEitherTriangleAndCase)
{
    std::mt19937 gen(22);
    const int n = 8, nrhs = 2, ldb = 11;
    const Matrix a = SpdMatrix(n, gen);
    Matrix b0(n, nrhs, ldb);
    b0.FillRandom(gen);
    for (char uplo : {'U', 'L', 'u', 'l'}) {
        std::vector<double> ap = blactest::Pack(a, uplo);
        Matrix x = b0;
        int info = 99;
        const auto reports = blactest::CaptureReports(
            [&] { BLAC_DPPSV(&uplo, &n, &nrhs, ap.data(), x.data(), &ldb, &info); });
        SCOPED_TRACE(std::string("UPLO=") + uplo);
        EXPECT_TRUE(reports.empty());
        EXPECT_EQ(info, 0);
        EXPECT_LT(Residual(a, x, b0), 1e-12);
        EXPECT_TRUE(x.PaddingIntact());
    }
}

TEST(BlacDppsv, ReportsBadArgumentsAsDppsvWithoutTouchingTheData)
{
    struct Bad {
        char uplo;
        int n, nrhs, ldb, info;
    };
    const Bad cases[] = {
        {'x', 3, 1, 3, -1},  // UPLO neither U nor L
        {'N', -1, -1, 0, -1}, // the first bad argument wins
        {'U', -1, 1, 3, -2}, // N < 0
        {'L', 3, -1, 3, -3}, // NRHS < 0
        {'u', 3, 1, 2, -6},  // LDB < max(1, N)
        {'l', 0, 1, 0, -6},  // LDB < 1 even for N = 0
    };
    for (const Bad& bad : cases) {
        std::vector<double> ap(16, 5.0), b(16, 6.0);
        int info = 99;
        const auto reports = blactest::CaptureReports([&] {
            BLAC_DPPSV(&bad.uplo, &bad.n, &bad.nrhs, ap.data(), b.data(), &bad.ldb, &info);
        });
        SCOPED_TRACE("expected INFO " + std::to_string(bad.info));
        EXPECT_EQ(info, bad.info);
        EXPECT_ONE_REPORT(reports, "DPPSV ", -bad.info);
        EXPECT_EQ(ap, std::vector<double>(16, 5.0));
        EXPECT_EQ(b, std::vector<double>(16, 6.0));
    }
}

TEST(BlacDppsv, ReturnsTheOrderOfTheFailingMinorOfAnIndefiniteMatrix)
{
    // [[1, 2], [2, 1]] has eigenvalues 3 and -1: the 2 x 2 minor fails.
    const char uplo = 'U';
    const int n = 2, nrhs = 1;
    double ap[3] = {1.0, 2.0, 1.0};
    double b[2] = {1.0, 1.0};
    int info = 99;
    const auto reports =
        blactest::CaptureReports([&] { BLAC_DPPSV(&uplo, &n, &nrhs, ap, b, &n, &info); });
    EXPECT_TRUE(reports.empty());
    EXPECT_EQ(info, 2);
    EXPECT_EQ(b[0], 1.0);
    EXPECT_EQ(b[1], 1.0);
}
