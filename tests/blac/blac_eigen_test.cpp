// Symmetric eigensolvers through the bridge: the tridiagonal 1-D Laplacian
// (2 on the diagonal, -1 beside it) has the eigenvalues
// 2 - 2 cos(k pi / (n + 1)), k = 1..n, and the eigenvectors
// v_k(i) = sin(i k pi / (n + 1)).
#include <blac/blac.h>

#include "BlacTestSupport.h"

#include <algorithm>
#include <cmath>

using blactest::Matrix;

namespace {

const double kPi = 3.14159265358979323846;

std::vector<double> LaplacianEigenvalues(int n)
{
    std::vector<double> w;
    for (int k = 1; k <= n; ++k)
        w.push_back(2.0 - 2.0 * std::cos(k * kPi / (n + 1)));
    return w; // ascending
}

Matrix LaplacianMatrix(int n, int ld)
{
    Matrix a(n, n, ld);
    for (int i = 0; i < n; ++i) {
        a(i, i) = 2.0;
        if (i + 1 < n) {
            a(i, i + 1) = -1.0;
            a(i + 1, i) = -1.0;
        }
    }
    return a;
}

// max over columns k < m of |T z_k - w_k z_k| for the Laplacian T, and the
// deviation of the columns from orthonormality.
void ExpectEigenpairs(int n, int m, const double* w, const double* z, int ldz)
{
    double worst = 0.0, worstOrtho = 0.0;
    for (int k = 0; k < m; ++k) {
        const double* v = z + static_cast<size_t>(k) * ldz;
        for (int i = 0; i < n; ++i) {
            double tv = 2.0 * v[i];
            if (i > 0)
                tv -= v[i - 1];
            if (i + 1 < n)
                tv -= v[i + 1];
            worst = std::max(worst, std::fabs(tv - w[k] * v[i]));
        }
        for (int l = 0; l < m; ++l) {
            const double* u = z + static_cast<size_t>(l) * ldz;
            double dot = 0.0;
            for (int i = 0; i < n; ++i)
                dot += u[i] * v[i];
            worstOrtho = std::max(worstOrtho, std::fabs(dot - (k == l ? 1.0 : 0.0)));
        }
    }
    EXPECT_LT(worst, 1e-12);
    EXPECT_LT(worstOrtho, 1e-12);
}

void ExpectEigenvalues(const double* got, const std::vector<double>& want, int first,
                       int count)
{
    for (int k = 0; k < count; ++k)
        EXPECT_NEAR(got[k], want[first + k], 1e-13) << "eigenvalue " << first + k + 1;
}

} // namespace

TEST(BlacEigen, DsyevFindsTheLaplacianSpectrum)
{
    const int n = 17, lda = 20;
    const std::vector<double> want = LaplacianEigenvalues(n);
    for (char jobz : {'N', 'V'}) {
        for (char uplo : {'U', 'l'}) {
            Matrix a = LaplacianMatrix(n, lda);
            std::vector<double> w(n);
            // Workspace query first, then the solve.
            double optimal = 0.0;
            int lwork = -1, info = 99;
            BLAC_DSYEV(&jobz, &uplo, &n, a.data(), &lda, w.data(), &optimal, &lwork, &info);
            ASSERT_EQ(info, 0);
            lwork = static_cast<int>(optimal);
            ASSERT_GE(lwork, 3 * n - 1);
            std::vector<double> work(lwork);
            BLAC_DSYEV(&jobz, &uplo, &n, a.data(), &lda, w.data(), work.data(), &lwork, &info);
            SCOPED_TRACE(std::string("JOBZ=") + jobz + " UPLO=" + uplo);
            ASSERT_EQ(info, 0);
            ExpectEigenvalues(w.data(), want, 0, n);
            if (jobz == 'V')
                ExpectEigenpairs(n, n, w.data(), a.data(), lda);
            EXPECT_TRUE(a.PaddingIntact());
        }
    }
}

TEST(BlacEigen, DstevrFindsAllOrSomeOfTheLaplacianSpectrum)
{
    const int n = 23;
    const std::vector<double> want = LaplacianEigenvalues(n);
    const int ldz = n + 2;
    const double vl = 0.0, vu = 0.0, abstol = 0.0;

    struct Case {
        char jobz, range;
        int il, iu, first, count;
    };
    const Case cases[] = {{'V', 'A', 0, 0, 0, n}, {'N', 'A', 0, 0, 0, n},
                          {'V', 'I', 3, 7, 2, 5}, {'v', 'i', 1, 1, 0, 1}};
    for (const Case& c : cases) {
        std::vector<double> d(n, 2.0), e(n, -1.0);
        std::vector<double> w(n, 0.0), z(static_cast<size_t>(ldz) * n, 0.0);
        std::vector<int> isuppz(2 * n);
        const int lwork = 20 * n, liwork = 10 * n;
        std::vector<double> work(lwork);
        std::vector<int> iwork(liwork);
        int m = -1, info = 99;
        BLAC_DSTEVR(&c.jobz, &c.range, &n, d.data(), e.data(), &vl, &vu, &c.il, &c.iu, &abstol,
                    &m, w.data(), z.data(), &ldz, isuppz.data(), work.data(), &lwork,
                    iwork.data(), &liwork, &info);
        SCOPED_TRACE(std::string("JOBZ=") + c.jobz + " RANGE=" + c.range);
        ASSERT_EQ(info, 0);
        ASSERT_EQ(m, c.count);
        ExpectEigenvalues(w.data(), want, c.first, c.count);
        if (c.jobz == 'V' || c.jobz == 'v')
            ExpectEigenpairs(n, m, w.data(), z.data(), ldz);
    }
}

TEST(BlacEigen, DstemrFindsTheLaplacianSpectrumAfterAWorkspaceQuery)
{
    const int n = 31;
    const std::vector<double> want = LaplacianEigenvalues(n);
    const int ldz = n + 1;
    const double vl = 0.0, vu = 0.0;
    const int il = 0, iu = 0;
    for (char jobz : {'V', 'N'}) {
        const char range = 'A';
        std::vector<double> d(n, 2.0), e(n, -1.0);
        std::vector<double> w(n, 0.0), z(static_cast<size_t>(ldz) * n, 0.0);
        std::vector<int> isuppz(2 * n);
        int m = -1, info = 99, tryrac = 1;

        // Query: LWORK = LIWORK = -1 returns the workspace sizes.
        double optimalWork = 0.0;
        int optimalIwork = 0;
        const int query = -1;
        const int nzc = n;
        BLAC_DSTEMR(&jobz, &range, &n, d.data(), e.data(), &vl, &vu, &il, &iu, &m, w.data(),
                    z.data(), &ldz, &nzc, isuppz.data(), &tryrac, &optimalWork, &query,
                    &optimalIwork, &query, &info);
        ASSERT_EQ(info, 0);
        const int lwork = static_cast<int>(optimalWork);
        const int liwork = optimalIwork;
        ASSERT_GT(lwork, 0);
        ASSERT_GT(liwork, 0);
        std::vector<double> work(lwork);
        std::vector<int> iwork(liwork);

        BLAC_DSTEMR(&jobz, &range, &n, d.data(), e.data(), &vl, &vu, &il, &iu, &m, w.data(),
                    z.data(), &ldz, &nzc, isuppz.data(), &tryrac, work.data(), &lwork,
                    iwork.data(), &liwork, &info);
        SCOPED_TRACE(std::string("JOBZ=") + jobz);
        ASSERT_EQ(info, 0);
        ASSERT_EQ(m, n);
        ExpectEigenvalues(w.data(), want, 0, n);
        if (jobz == 'V')
            ExpectEigenpairs(n, m, w.data(), z.data(), ldz);
    }
}

TEST(BlacEigen, ReferenceSolversReportBadArgumentsUnderTheirOwnNames)
{
    const int n = 4, ldz = 4, lwork = 80, liwork = 40, nzc = 4;
    const double vl = 0.0, vu = 1.0, abstol = 0.0;
    const int il = 1, iu = 1;
    std::vector<double> d(n, 2.0), e(n, -1.0), w(n), z(16), work(lwork);
    std::vector<int> isuppz(2 * n), iwork(liwork);
    int m = 0, info = 0, tryrac = 1;
    const char bad = 'X', all = 'A', vectors = 'V';

    auto reports = blactest::CaptureReports([&] {
        BLAC_DSTEVR(&bad, &all, &n, d.data(), e.data(), &vl, &vu, &il, &iu, &abstol, &m,
                    w.data(), z.data(), &ldz, isuppz.data(), work.data(), &lwork, iwork.data(),
                    &liwork, &info);
    });
    EXPECT_EQ(info, -1);
    EXPECT_ONE_REPORT(reports, "DSTEVR", 1);

    reports = blactest::CaptureReports([&] {
        BLAC_DSTEMR(&vectors, &bad, &n, d.data(), e.data(), &vl, &vu, &il, &iu, &m, w.data(),
                    z.data(), &ldz, &nzc, isuppz.data(), &tryrac, work.data(), &lwork,
                    iwork.data(), &liwork, &info);
    });
    EXPECT_EQ(info, -2);
    EXPECT_ONE_REPORT(reports, "DSTEMR", 2);
}

TEST(BlacEigen, DsygvSolvesAGeneralizedProblemWithADiagonalMetric)
{
    // A x = lambda B x with A the Laplacian and B = 4 I: lambda = eig(A) / 4.
    const int n = 9, ld = 10, itype = 1;
    const char jobz = 'V', uplo = 'U';
    Matrix a = LaplacianMatrix(n, ld);
    Matrix b(n, n, ld);
    for (int i = 0; i < n; ++i)
        b(i, i) = 4.0;
    std::vector<double> w(n);
    const int lwork = 64 * n;
    std::vector<double> work(lwork);
    int info = 99;
    BLAC_DSYGV(&itype, &jobz, &uplo, &n, a.data(), &ld, b.data(), &ld, w.data(), work.data(),
               &lwork, &info);
    ASSERT_EQ(info, 0);
    const std::vector<double> want = LaplacianEigenvalues(n);
    for (int k = 0; k < n; ++k)
        EXPECT_NEAR(w[k], want[k] / 4.0, 1e-14);
}
