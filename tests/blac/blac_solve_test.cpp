// The composed drivers BLAC_DGESV and BLAC_DPPSV: solutions checked by their
// residual against the original matrix, and the positive INFO of a failed
// factorization; every argument check of the bridge with its INFO and report.
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

// The bridge's own argument checks, which must answer as reference LAPACK
// does: the composed drivers, and DGETRS, whose OpenBLAS routine neither
// writes INFO for a bad argument nor refuses TRANS = 'R'.
TEST(BlacArguments, TheFirstBadArgumentSetsLapacksInfoIsReportedAndTouchesNothing)
{
    struct Args {
        char c; // UPLO or TRANS
        int n, nrhs, lda, ldb;
    };
    using Call = void (*)(const Args&, double*, int*, double*, int*);
    const Call gesv = [](const Args& x, double* a, int* p, double* b, int* info) {
        BLAC_DGESV(&x.n, &x.nrhs, a, &x.lda, p, b, &x.ldb, info);
    };
    const Call ppsv = [](const Args& x, double* a, int*, double* b, int* info) {
        BLAC_DPPSV(&x.c, &x.n, &x.nrhs, a, b, &x.ldb, info);
    };
    const Call getrs = [](const Args& x, double* a, int* p, double* b, int* info) {
        BLAC_DGETRS(&x.c, &x.n, &x.nrhs, a, &x.lda, p, b, &x.ldb, info);
    };
    const struct {
        const char* routine;
        Call call;
        Args args;
        int info;
    } rows[] = {
        {"DGESV ", gesv, {0, -1, 1, 3, 3}, -1},   // N < 0
        {"DGESV ", gesv, {0, -1, -1, 0, 0}, -1},  // the first bad argument wins
        {"DGESV ", gesv, {0, 3, -1, 3, 3}, -2},   // NRHS < 0
        {"DGESV ", gesv, {0, 3, 1, 2, 3}, -4},    // LDA < max(1, N)
        {"DGESV ", gesv, {0, 0, 1, 0, 1}, -4},    // LDA < 1 even for N = 0
        {"DGESV ", gesv, {0, 3, 1, 3, 2}, -7},    // LDB < max(1, N)
        {"DGESV ", gesv, {0, 0, 1, 1, 0}, -7},
        {"DPPSV ", ppsv, {'x', 3, 1, 0, 3}, -1},  // UPLO neither U nor L
        {"DPPSV ", ppsv, {'N', -1, -1, 0, 0}, -1},
        {"DPPSV ", ppsv, {'U', -1, 1, 0, 3}, -2}, // N < 0
        {"DPPSV ", ppsv, {'L', 3, -1, 0, 3}, -3}, // NRHS < 0
        {"DPPSV ", ppsv, {'u', 3, 1, 0, 2}, -6},  // LDB < max(1, N)
        {"DPPSV ", ppsv, {'l', 0, 1, 0, 0}, -6},  // LDB < 1 even for N = 0
        {"DGETRS", getrs, {'R', 3, 1, 3, 3}, -1}, // TRANS neither N, T nor C
        {"DGETRS", getrs, {'x', -1, -1, 0, 0}, -1},
        {"DGETRS", getrs, {'c', -1, 1, 3, 3}, -2}, // N < 0
        {"DGETRS", getrs, {'n', 3, -1, 3, 3}, -3}, // NRHS < 0
        {"DGETRS", getrs, {'T', 3, 1, 2, 3}, -5},  // LDA < max(1, N)
        {"DGETRS", getrs, {'N', 0, 1, 0, 1}, -5},  // LDA < 1 even for N = 0
        {"DGETRS", getrs, {'N', 3, 1, 3, 2}, -8},  // LDB < max(1, N)
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << row.routine << " INFO " << row.info);
        std::vector<double> a(16, 5.0), b(16, 6.0);
        std::vector<int> ipiv(4, 1);
        int info = 99;
        const std::string printed = CaptureStdout([&] { row.call(row.args, a.data(), ipiv.data(), b.data(), &info); });
        EXPECT_EQ(printed, blactest::Report(row.routine, -row.info));
        EXPECT_EQ(info, row.info);
        EXPECT_EQ(a, std::vector<double>(16, 5.0));
        EXPECT_EQ(b, std::vector<double>(16, 6.0));
        EXPECT_EQ(ipiv, std::vector<int>(4, 1));
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
    EXPECT_EQ(std::vector<double>(b, b + 2), (std::vector<double>{1.0, -1.0})) << "nothing solved";

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
