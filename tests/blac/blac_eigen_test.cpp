// Symmetric eigensolvers and reductions through the bridge. The oracle is a
// known spectrum: the 1-D Laplacian (2 on the diagonal, -1 beside it) of
// order n has the eigenvalues 2 - 2 cos(k pi / (n + 1)), k = 1..n.
#include <blac/blac.h>

#include "BlacTestSupport.h"

#include <algorithm>
#include <cmath>

using blactest::Pack;
using blactest::Padded;
using zyltest::NaiveProduct;
using zyltest::RefMatrix;

namespace {

double Eigenvalue(int k, int n) // k counted from 1, ascending
{
    return 2.0 - 2.0 * std::cos(k * 3.14159265358979323846 / (n + 1));
}

RefMatrix Laplacian(int n)
{
    RefMatrix a(n, n);
    for (int i = 0; i < n; ++i) {
        a(i, i) = 2.0;
        if (i + 1 < n)
            a(i, i + 1) = a(i + 1, i) = -1.0;
    }
    return a;
}

// w(0..m-1) are eigenvalues first..first+m-1 of the Laplacian and, when z is
// given, its columns (leading dimension ldz) are orthonormal eigenvectors.
void ExpectLaplacianPairs(int n, int first, int m, const double* w, const double* z = nullptr, int ldz = 0)
{
    for (int k = 0; k < m; ++k)
        EXPECT_NEAR(w[k], Eigenvalue(first + k, n), 1e-13) << "eigenvalue " << first + k;
    if (z == nullptr)
        return;
    RefMatrix v(n, m);
    for (int k = 0; k < m; ++k)
        for (int i = 0; i < n; ++i)
            v(i, k) = z[i + static_cast<std::size_t>(ldz) * k];
    const RefMatrix lv = NaiveProduct(Laplacian(n), false, v), vtv = NaiveProduct(v, true, v);
    for (int k = 0; k < m; ++k)
        for (int i = 0; i < n; ++i)
            EXPECT_NEAR(lv(i, k), w[k] * v(i, k), 1e-12);
    for (int k = 0; k < m; ++k)
        for (int l = 0; l < m; ++l)
            EXPECT_NEAR(vtv(l, k), l == k ? 1.0 : 0.0, 1e-12);
}

} // namespace

TEST(BlacEigen, DenseAndPackedSolversFindTheLaplacianSpectrum)
{
    const int n = 9, il = 2, iu = 4;
    const double vl = 0.0, vu = 0.0, abstol = 0.0;
    std::vector<double> w(n), z(static_cast<std::size_t>(n + 2) * n);
    std::vector<int> iwork(5 * n), ifail(n);
    int info = 99, m = -1;

    // DSYEV: a workspace query first, then all pairs from the lower triangle.
    Padded a(Laplacian(n), 3);
    double optimal = 0.0;
    int lwork = -1;
    BLAC_DSYEV("V", "L", &n, a.data(), &a.ld, w.data(), &optimal, &lwork, &info);
    ASSERT_EQ(info, 0);
    lwork = static_cast<int>(optimal);
    ASSERT_GE(lwork, 3 * n - 1);
    std::vector<double> work(std::max(lwork, 8 * n));
    BLAC_DSYEV("V", "L", &n, a.data(), &a.ld, w.data(), work.data(), &lwork, &info);
    ASSERT_EQ(info, 0);
    ExpectLaplacianPairs(n, 1, n, w.data(), a.data(), a.ld);
    EXPECT_TRUE(a.Intact());

    // DSYEVX and DSPEVX: eigenvalues il..iu by index, with vectors.
    const int ldz = n + 2;
    lwork = static_cast<int>(work.size());
    Padded b(Laplacian(n), 2);
    BLAC_DSYEVX("V", "I", "U", &n, b.data(), &b.ld, &vl, &vu, &il, &iu, &abstol, &m, w.data(), z.data(), &ldz,
                work.data(), &lwork, iwork.data(), ifail.data(), &info);
    ASSERT_EQ(info, 0);
    ASSERT_EQ(m, iu - il + 1);
    ExpectLaplacianPairs(n, il, m, w.data(), z.data(), ldz);

    std::vector<double> ap = Pack(Laplacian(n), 'L');
    m = -1;
    BLAC_DSPEVX("V", "I", "L", &n, ap.data(), &vl, &vu, &il, &iu, &abstol, &m, w.data(), z.data(), &ldz,
                work.data(), iwork.data(), ifail.data(), &info);
    ASSERT_EQ(info, 0);
    ASSERT_EQ(m, iu - il + 1);
    ExpectLaplacianPairs(n, il, m, w.data(), z.data(), ldz);
}

TEST(BlacEigen, TridiagonalSolversFindTheLaplacianSpectrum)
{
    const int n = 23, ldz = n + 2, il = 3, iu = 7;
    const double vl = 0.0, vu = 0.0, abstol = 0.0;
    std::vector<double> d(n, 2.0), e(n, -1.0), w(n), z(static_cast<std::size_t>(ldz) * n);
    std::vector<int> isuppz(2 * n), iwork(10 * n);
    int m = -1, info = 99, tryrac = 1;

    // DSTEVR, eigenvalues il..iu by index.
    const int lwork = 20 * n, liwork = 10 * n;
    std::vector<double> work(lwork);
    BLAC_DSTEVR("V", "I", &n, d.data(), e.data(), &vl, &vu, &il, &iu, &abstol, &m, w.data(), z.data(), &ldz,
                isuppz.data(), work.data(), &lwork, iwork.data(), &liwork, &info);
    ASSERT_EQ(info, 0);
    ASSERT_EQ(m, iu - il + 1);
    ExpectLaplacianPairs(n, il, m, w.data(), z.data(), ldz);

    // DSTEMR: the workspace query (LWORK = LIWORK = -1), then all pairs.
    std::fill(d.begin(), d.end(), 2.0);
    std::fill(e.begin(), e.end(), -1.0);
    double optimalWork = 0.0;
    int optimalIwork = 0;
    const int query = -1, nzc = n;
    BLAC_DSTEMR("V", "A", &n, d.data(), e.data(), &vl, &vu, &il, &iu, &m, w.data(), z.data(), &ldz, &nzc,
                isuppz.data(), &tryrac, &optimalWork, &query, &optimalIwork, &query, &info);
    ASSERT_EQ(info, 0);
    const int lw = static_cast<int>(optimalWork), liw = optimalIwork;
    ASSERT_GT(lw, 0);
    ASSERT_GT(liw, 0);
    std::vector<double> work2(lw);
    std::vector<int> iwork2(liw);
    BLAC_DSTEMR("V", "A", &n, d.data(), e.data(), &vl, &vu, &il, &iu, &m, w.data(), z.data(), &ldz, &nzc,
                isuppz.data(), &tryrac, work2.data(), &lw, iwork2.data(), &liw, &info);
    ASSERT_EQ(info, 0);
    ASSERT_EQ(m, n);
    ExpectLaplacianPairs(n, 1, n, w.data(), z.data(), ldz);
}

TEST(BlacEigen, TridiagonalReductionRebuildsTheMatrix)
{
    // DSYTRD: A = Q T Q**T; DORMTR applies Q from the left and Q**T from the
    // right, so Q T Q**T must rebuild A.
    const int n = 7, lwork = 64 * n;
    RefMatrix s = zyltest::RandomMatrix(n, n, 41);
    s = NaiveProduct(s, false, s, true); // symmetric
    Padded a(s, 2);
    std::vector<double> d(n), e(n - 1), tau(n - 1), work(lwork);
    int info = 99;
    BLAC_DSYTRD("L", &n, a.data(), &a.ld, d.data(), e.data(), tau.data(), work.data(), &lwork, &info);
    ASSERT_EQ(info, 0);
    RefMatrix t(n, n);
    for (int i = 0; i < n; ++i) {
        t(i, i) = d[i];
        if (i + 1 < n)
            t(i, i + 1) = t(i + 1, i) = e[i];
    }
    Padded c(t, 1);
    BLAC_DORMTR("L", "L", "N", &n, &n, a.data(), &a.ld, tau.data(), c.data(), &c.ld, work.data(), &lwork, &info);
    ASSERT_EQ(info, 0);
    BLAC_DORMTR("R", "L", "T", &n, &n, a.data(), &a.ld, tau.data(), c.data(), &c.ld, work.data(), &lwork, &info);
    ASSERT_EQ(info, 0);
    zyltest::ExpectMatrixNear(s, c.Ref(), "Q T Q**T", 1e-12);
}

TEST(BlacEigen, GeneralizedProblemDirectlyAndThroughDsygst)
{
    // A x = lambda B x with A the Laplacian and B = 4 I: lambda = eig(A) / 4.
    const int n = 9, itype = 1, lwork = 64 * n;
    std::vector<double> w(n), w2(n), work(lwork);
    int info = 99;
    RefMatrix four(n, n);
    for (int i = 0; i < n; ++i)
        four(i, i) = 4.0;
    Padded a(Laplacian(n), 1), b(four, 3);
    BLAC_DSYGV(&itype, "V", "L", &n, a.data(), &a.ld, b.data(), &b.ld, w.data(), work.data(), &lwork, &info);
    ASSERT_EQ(info, 0);
    for (int k = 0; k < n; ++k)
        EXPECT_NEAR(4.0 * w[k], Eigenvalue(k + 1, n), 1e-13);

    // With a full metric B = L L**T, DSYGST forms inv(L) A inv(L)**T, whose
    // eigenvalues are those DSYGV finds for A x = lambda B x.
    RefMatrix g = zyltest::RandomMatrix(n, n, 42);
    RefMatrix metric = NaiveProduct(g, false, g, true);
    for (int i = 0; i < n; ++i)
        metric(i, i) += n;
    Padded a1(Laplacian(n), 1), b1(metric, 3), a2(Laplacian(n), 2), b2(metric, 1);
    BLAC_DSYGV(&itype, "N", "U", &n, a1.data(), &a1.ld, b1.data(), &b1.ld, w.data(), work.data(), &lwork, &info);
    ASSERT_EQ(info, 0);
    BLAC_DPOTRF("U", &n, b2.data(), &b2.ld, &info);
    ASSERT_EQ(info, 0);
    BLAC_DSYGST(&itype, "U", &n, a2.data(), &a2.ld, b2.data(), &b2.ld, &info);
    ASSERT_EQ(info, 0);
    BLAC_DSYEV("N", "U", &n, a2.data(), &a2.ld, w2.data(), work.data(), &lwork, &info);
    ASSERT_EQ(info, 0);
    for (int k = 0; k < n; ++k)
        EXPECT_NEAR(w2[k], w[k], 1e-13);
}
