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
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i)
            a(i, j) = i == j ? 2.0 : (i - j == 1 || j - i == 1 ? -1.0 : 0.0);
    return a;
}

// w(0..m-1) are eigenvalues first..first+m-1 of the Laplacian and the
// columns of z (leading dimension ldz) are unit eigenvectors.
void ExpectLaplacianPairs(int n, int first, int m, const double* w, const double* z, int ldz)
{
    for (int k = 0; k < m; ++k) {
        EXPECT_NEAR(w[k], Eigenvalue(first + k, n), 1e-13) << "eigenvalue " << first + k;
        const double* v = z + static_cast<std::size_t>(ldz) * k;
        double norm = 0.0;
        for (int i = 0; i < n; ++i) {
            EXPECT_NEAR(2.0 * v[i] - (i > 0 ? v[i - 1] : 0.0) - (i + 1 < n ? v[i + 1] : 0.0), w[k] * v[i], 1e-12);
            norm += v[i] * v[i];
        }
        EXPECT_NEAR(norm, 1.0, 1e-12);
    }
}

} // namespace

TEST(BlacEigen, SolversFindTheLaplacianSpectrum)
{
    const int n = 9, il = 2, iu = 4, ldz = n + 2, lwork = 64 * n, liwork = 10 * n, itype = 1;
    const double vl = 0.0, vu = 0.0, abstol = 0.0;
    std::vector<double> w(n), z(static_cast<std::size_t>(ldz) * n), work(lwork), d(n, 2.0), e(n, -1.0);
    std::vector<int> iwork(liwork), ifail(n), isuppz(2 * n);
    int info = 99, m = -1, tryrac = 1;
    const auto expect = [&](int first, int count, const double* vectors, int ld) {
        EXPECT_EQ(info, 0);
        ASSERT_EQ(m, count);
        ExpectLaplacianPairs(n, first, count, w.data(), vectors, ld);
        info = 99; // nothing of this call may pass for the next one
        m = -1;
        w.assign(w.size(), 0.0);
        z.assign(z.size(), 0.0);
    };

    // DSYEV: all pairs from the lower triangle.
    Padded a(Laplacian(n), 3);
    BLAC_DSYEV("V", "L", &n, a.data(), &a.ld, w.data(), work.data(), &lwork, &info);
    m = n;
    expect(1, n, a.data(), a.ld);
    EXPECT_TRUE(a.Intact());

    // DSYEVX, DSPEVX and DSTEVR: eigenvalues il..iu by index, with vectors.
    Padded b(Laplacian(n), 2);
    BLAC_DSYEVX("V", "I", "U", &n, b.data(), &b.ld, &vl, &vu, &il, &iu, &abstol, &m, w.data(), z.data(), &ldz,
                work.data(), &lwork, iwork.data(), ifail.data(), &info);
    expect(il, iu - il + 1, z.data(), ldz);
    std::vector<double> ap = Pack(Laplacian(n), 'L');
    BLAC_DSPEVX("V", "I", "L", &n, ap.data(), &vl, &vu, &il, &iu, &abstol, &m, w.data(), z.data(), &ldz,
                work.data(), iwork.data(), ifail.data(), &info);
    expect(il, iu - il + 1, z.data(), ldz);
    BLAC_DSTEVR("V", "I", &n, d.data(), e.data(), &vl, &vu, &il, &iu, &abstol, &m, w.data(), z.data(), &ldz,
                isuppz.data(), work.data(), &lwork, iwork.data(), &liwork, &info);
    expect(il, iu - il + 1, z.data(), ldz);

    // DSTEMR: all pairs (DSTEVR overwrote D and E).
    std::fill(d.begin(), d.end(), 2.0);
    std::fill(e.begin(), e.end(), -1.0);
    BLAC_DSTEMR("V", "A", &n, d.data(), e.data(), &vl, &vu, &il, &iu, &m, w.data(), z.data(), &ldz, &n,
                isuppz.data(), &tryrac, work.data(), &lwork, iwork.data(), &liwork, &info);
    expect(1, n, z.data(), ldz);

    // A x = lambda B x with B = 4 I: lambda = eig(A) / 4, directly by DSYGV,
    // and by DPOTRF + DSYGST (C = inv(L) A inv(L)**T) + DSYEV.
    RefMatrix four(n, n);
    for (int i = 0; i < n; ++i)
        four(i, i) = 4.0;
    Padded a1(Laplacian(n), 1), b1(four, 3), a2(Laplacian(n), 2), b2(four, 1);
    std::vector<double> w2(n);
    BLAC_DSYGV(&itype, "V", "L", &n, a1.data(), &a1.ld, b1.data(), &b1.ld, w.data(), work.data(), &lwork, &info);
    EXPECT_EQ(info, 0);
    BLAC_DPOTRF("U", &n, b2.data(), &b2.ld, &info);
    BLAC_DSYGST(&itype, "U", &n, a2.data(), &a2.ld, b2.data(), &b2.ld, &info);
    BLAC_DSYEV("N", "U", &n, a2.data(), &a2.ld, w2.data(), work.data(), &lwork, &info);
    EXPECT_EQ(info, 0);
    for (int k = 0; k < n; ++k) {
        EXPECT_NEAR(4.0 * w[k], Eigenvalue(k + 1, n), 1e-13);
        EXPECT_NEAR(4.0 * w2[k], Eigenvalue(k + 1, n), 1e-13);
    }
}

TEST(BlacEigen, TridiagonalReductionRebuildsTheMatrix)
{
    // DSYTRD: A = Q T Q**T; DORMTR applies Q from the left and Q**T from the
    // right, so Q T Q**T must rebuild A.
    const int n = 7, lwork = 64 * n;
    const RefMatrix g = zyltest::RandomMatrix(n, n, 41), s = NaiveProduct(g, false, g, true);
    Padded a(s, 2);
    std::vector<double> d(n), e(n - 1), tau(n - 1), work(lwork);
    int info[3] = {99, 99, 99};
    BLAC_DSYTRD("L", &n, a.data(), &a.ld, d.data(), e.data(), tau.data(), work.data(), &lwork, &info[0]);
    RefMatrix t(n, n);
    for (int i = 0; i < n; ++i) {
        t(i, i) = d[i];
        if (i + 1 < n)
            t(i, i + 1) = t(i + 1, i) = e[i];
    }
    Padded c(t, 1);
    BLAC_DORMTR("L", "L", "N", &n, &n, a.data(), &a.ld, tau.data(), c.data(), &c.ld, work.data(), &lwork, &info[1]);
    BLAC_DORMTR("R", "L", "T", &n, &n, a.data(), &a.ld, tau.data(), c.data(), &c.ld, work.data(), &lwork, &info[2]);
    EXPECT_EQ(info[0] + info[1] + info[2], 0);
    zyltest::ExpectMatrixNear(s, c.Ref(), "Q T Q**T", 1e-12);
}
