// Every plain forwarder of the bridge reaches its routine with the arguments
// in the right places (character arguments included): each is checked
// against naive loops or against a property of its result.
#include <blac/blac.h>

#include "BlacTestSupport.h"

#include <algorithm>
#include <cmath>

using blactest::Matrix;

namespace {

// Dense n x n matrix product, both column-major with their own ld.
Matrix Multiply(const Matrix& a, const Matrix& b, bool ta = false, bool tb = false)
{
    const int m = ta ? a.cols : a.rows;
    const int k = ta ? a.rows : a.cols;
    const int n = tb ? b.rows : b.cols;
    Matrix c(m, n, m);
    for (int i = 0; i < m; ++i)
        for (int j = 0; j < n; ++j) {
            double sum = 0.0;
            for (int l = 0; l < k; ++l)
                sum += (ta ? a(l, i) : a(i, l)) * (tb ? b(j, l) : b(l, j));
            c(i, j) = sum;
        }
    return c;
}

void ExpectNear(const Matrix& got, const Matrix& want, double tol)
{
    ASSERT_EQ(got.rows, want.rows);
    ASSERT_EQ(got.cols, want.cols);
    for (int j = 0; j < got.cols; ++j)
        for (int i = 0; i < got.rows; ++i)
            EXPECT_NEAR(got(i, j), want(i, j), tol) << "at (" << i << ", " << j << ")";
}

Matrix Symmetric(int n, int ld, std::mt19937& gen)
{
    Matrix a(n, n, ld);
    a.FillRandom(gen);
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < j; ++i)
            a(j, i) = a(i, j);
    return a;
}

Matrix Spd(int n, int ld, std::mt19937& gen)
{
    Matrix a = Symmetric(n, ld, gen);
    for (int i = 0; i < n; ++i)
        a(i, i) += n;
    return a;
}

bool IsUpper(char uplo)
{
    return uplo == 'U' || uplo == 'u';
}

// The full matrix of the triangle that a triangular routine sees: the other
// triangle zero, a unit diagonal when DIAG is 'U'.
Matrix TriangleOf(const Matrix& a, char uplo, char diag)
{
    Matrix t(a.rows, a.cols, a.rows);
    for (int j = 0; j < a.cols; ++j)
        for (int i = 0; i < a.rows; ++i) {
            const bool in = IsUpper(uplo) ? i <= j : i >= j;
            t(i, j) = in ? a(i, j) : 0.0;
        }
    if (diag == 'U')
        for (int i = 0; i < a.rows; ++i)
            t(i, i) = 1.0;
    return t;
}

// Full symmetric matrix from the referenced triangle of a.
Matrix SymmetricFrom(const Matrix& a, char uplo)
{
    Matrix s(a.rows, a.cols, a.rows);
    for (int j = 0; j < a.cols; ++j)
        for (int i = 0; i < a.rows; ++i) {
            const bool in = IsUpper(uplo) ? i <= j : i >= j;
            s(i, j) = in ? a(i, j) : a(j, i);
        }
    return s;
}

Matrix Column(const std::vector<double>& x, int n, int inc)
{
    Matrix c(n, 1, n);
    for (int i = 0; i < n; ++i)
        c(i, 0) = x[static_cast<size_t>(i) * inc];
    return c;
}

std::vector<double> Strided(const Matrix& column, int inc, double filler)
{
    std::vector<double> x(static_cast<size_t>(column.rows) * inc, filler);
    for (int i = 0; i < column.rows; ++i)
        x[static_cast<size_t>(i) * inc] = column(i, 0);
    return x;
}

} // namespace

TEST(BlacForwarders, Level1RoutinesMatchNaiveLoopsWithStrides)
{
    std::mt19937 gen(31);
    const int n = 7, incx = 2, incy = 3;
    Matrix xc(n, 1, n), yc(n, 1, n);
    xc.FillRandom(gen);
    yc.FillRandom(gen);
    xc(4, 0) = -5.0; // the largest magnitude
    const std::vector<double> x = Strided(xc, incx, 99.0);
    const std::vector<double> y = Strided(yc, incy, 77.0);

    double asum = 0.0, dot = 0.0, sq = 0.0;
    for (int i = 0; i < n; ++i) {
        asum += std::fabs(xc(i, 0));
        dot += xc(i, 0) * yc(i, 0);
        sq += xc(i, 0) * xc(i, 0);
    }
    EXPECT_NEAR(BLAC_DASUM(&n, x.data(), &incx), asum, 1e-14);
    EXPECT_NEAR(BLAC_DDOT(&n, x.data(), &incx, y.data(), &incy), dot, 1e-14);
    EXPECT_NEAR(BLAC_DNRM2(&n, x.data(), &incx), std::sqrt(sq), 1e-14);
    EXPECT_EQ(BLAC_IDAMAX(&n, x.data(), &incx), 5); // counted from 1

    const double a = -1.5;
    std::vector<double> z = y;
    BLAC_DAXPY(&n, &a, x.data(), &incx, z.data(), &incy);
    for (int i = 0; i < n; ++i)
        EXPECT_NEAR(z[static_cast<size_t>(i) * incy], yc(i, 0) + a * xc(i, 0), 1e-15);
    EXPECT_EQ(z[1], 77.0);

    z = y;
    BLAC_DCOPY(&n, x.data(), &incx, z.data(), &incy);
    for (int i = 0; i < n; ++i)
        EXPECT_EQ(z[static_cast<size_t>(i) * incy], xc(i, 0));
    EXPECT_EQ(z[1], 77.0);

    std::vector<double> s = x;
    BLAC_DSCAL(&n, &a, s.data(), &incx);
    for (int i = 0; i < n; ++i)
        EXPECT_EQ(s[static_cast<size_t>(i) * incx], a * xc(i, 0));
    EXPECT_EQ(s[1], 99.0);

    std::vector<double> u = x, v = y;
    BLAC_DSWAP(&n, u.data(), &incx, v.data(), &incy);
    for (int i = 0; i < n; ++i) {
        EXPECT_EQ(u[static_cast<size_t>(i) * incx], yc(i, 0));
        EXPECT_EQ(v[static_cast<size_t>(i) * incy], xc(i, 0));
    }

    const double c = 0.6, sn = 0.8;
    u = x;
    v = y;
    BLAC_DROT(&n, u.data(), &incx, v.data(), &incy, &c, &sn);
    for (int i = 0; i < n; ++i) {
        EXPECT_NEAR(u[static_cast<size_t>(i) * incx], c * xc(i, 0) + sn * yc(i, 0), 1e-15);
        EXPECT_NEAR(v[static_cast<size_t>(i) * incy], c * yc(i, 0) - sn * xc(i, 0), 1e-15);
    }
}

TEST(BlacForwarders, Level2RoutinesMatchNaiveLoops)
{
    std::mt19937 gen(32);
    const int m = 6, n = 5, lda = 9, inc = 2;
    const double alpha = 1.25, beta = -0.5;
    Matrix a(m, n, lda);
    a.FillRandom(gen);

    // DGEMV, both transposes.
    for (char trans : {'N', 't'}) {
        const bool t = trans != 'N';
        const int lx = t ? m : n, ly = t ? n : m;
        Matrix xc(lx, 1, lx), yc(ly, 1, ly);
        xc.FillRandom(gen);
        yc.FillRandom(gen);
        std::vector<double> x = Strided(xc, inc, 0.0), y = Strided(yc, inc, 0.0);
        BLAC_DGEMV(&trans, &m, &n, &alpha, a.data(), &lda, x.data(), &inc, &beta, y.data(),
                   &inc);
        const Matrix ax = Multiply(a, xc, t);
        for (int i = 0; i < ly; ++i)
            EXPECT_NEAR(y[static_cast<size_t>(i) * inc], alpha * ax(i, 0) + beta * yc(i, 0),
                        1e-14);
    }

    // DGER: A := alpha x y**T + A.
    {
        Matrix xc(m, 1, m), yc(n, 1, n);
        xc.FillRandom(gen);
        yc.FillRandom(gen);
        const std::vector<double> x = Strided(xc, inc, 0.0), y = Strided(yc, inc, 0.0);
        Matrix b = a;
        BLAC_DGER(&m, &n, &alpha, x.data(), &inc, y.data(), &inc, b.data(), &lda);
        for (int j = 0; j < n; ++j)
            for (int i = 0; i < m; ++i)
                EXPECT_NEAR(b(i, j), a(i, j) + alpha * xc(i, 0) * yc(j, 0), 1e-15);
        EXPECT_TRUE(b.PaddingIntact());
    }

    // Symmetric, full and packed.
    const int ns = 6, lds = 8;
    const Matrix s = Symmetric(ns, lds, gen);
    Matrix xc(ns, 1, ns), yc(ns, 1, ns);
    xc.FillRandom(gen);
    yc.FillRandom(gen);
    const std::vector<double> x = Strided(xc, inc, 0.0), y0 = Strided(yc, inc, 0.0);
    const Matrix sx = Multiply(s, xc);
    for (char uplo : {'U', 'L'}) {
        SCOPED_TRACE(std::string("UPLO=") + uplo);
        std::vector<double> y = y0;
        BLAC_DSYMV(&uplo, &ns, &alpha, s.data(), &lds, x.data(), &inc, &beta, y.data(), &inc);
        for (int i = 0; i < ns; ++i)
            EXPECT_NEAR(y[static_cast<size_t>(i) * inc], alpha * sx(i, 0) + beta * yc(i, 0),
                        1e-14);
        std::vector<double> ap = blactest::Pack(s, uplo);
        y = y0;
        BLAC_DSPMV(&uplo, &ns, &alpha, ap.data(), x.data(), &inc, &beta, y.data(), &inc);
        for (int i = 0; i < ns; ++i)
            EXPECT_NEAR(y[static_cast<size_t>(i) * inc], alpha * sx(i, 0) + beta * yc(i, 0),
                        1e-14);

        // Rank-1 and rank-2 updates: compare the referenced triangle.
        Matrix want1(ns, ns, ns), want2(ns, ns, ns);
        for (int j = 0; j < ns; ++j)
            for (int i = 0; i < ns; ++i) {
                want1(i, j) = s(i, j) + alpha * xc(i, 0) * xc(j, 0);
                want2(i, j) = s(i, j) + alpha * (xc(i, 0) * yc(j, 0) + yc(i, 0) * xc(j, 0));
            }
        Matrix r1 = s, r2 = s;
        BLAC_DSYR(&uplo, &ns, &alpha, x.data(), &inc, r1.data(), &lds);
        BLAC_DSYR2(&uplo, &ns, &alpha, x.data(), &inc, y0.data(), &inc, r2.data(), &lds);
        ExpectNear(SymmetricFrom(r1, uplo), want1, 1e-14);
        ExpectNear(SymmetricFrom(r2, uplo), want2, 1e-14);
        std::vector<double> p1 = blactest::Pack(s, uplo), p2 = p1;
        BLAC_DSPR(&uplo, &ns, &alpha, x.data(), &inc, p1.data());
        BLAC_DSPR2(&uplo, &ns, &alpha, x.data(), &inc, y0.data(), &inc, p2.data());
        const std::vector<double> w1 = blactest::Pack(want1, uplo);
        const std::vector<double> w2 = blactest::Pack(want2, uplo);
        for (size_t i = 0; i < p1.size(); ++i) {
            EXPECT_NEAR(p1[i], w1[i], 1e-14);
            EXPECT_NEAR(p2[i], w2[i], 1e-14);
        }
    }
}

TEST(BlacForwarders, TriangularLevel2RoutinesMatchNaiveLoops)
{
    std::mt19937 gen(33);
    const int n = 7, lda = 10, inc = 2;
    Matrix a(n, n, lda);
    a.FillRandom(gen);
    for (int i = 0; i < n; ++i)
        a(i, i) += 4.0; // well conditioned for the solves
    Matrix xc(n, 1, n);
    xc.FillRandom(gen);
    const std::vector<double> x0 = Strided(xc, inc, 0.0);
    for (char uplo : {'U', 'L'})
        for (char trans : {'N', 'T'})
            for (char diag : {'N', 'U'}) {
                SCOPED_TRACE(std::string("UPLO=") + uplo + " TRANS=" + trans + " DIAG=" + diag);
                const Matrix t = TriangleOf(a, uplo, diag);
                const Matrix tx = Multiply(t, xc, trans == 'T');
                const std::vector<double> ap = blactest::Pack(a, uplo);

                std::vector<double> x = x0;
                BLAC_DTRMV(&uplo, &trans, &diag, &n, a.data(), &lda, x.data(), &inc);
                ExpectNear(Column(x, n, inc), tx, 1e-14);
                x = x0;
                BLAC_DTPMV(&uplo, &trans, &diag, &n, ap.data(), x.data(), &inc);
                ExpectNear(Column(x, n, inc), tx, 1e-14);

                // Solving with op(T) brings op(T) x back to x.
                x = Strided(tx, inc, 0.0);
                BLAC_DTRSV(&uplo, &trans, &diag, &n, a.data(), &lda, x.data(), &inc);
                ExpectNear(Column(x, n, inc), xc, 1e-13);
                x = Strided(tx, inc, 0.0);
                BLAC_DTPSV(&uplo, &trans, &diag, &n, ap.data(), x.data(), &inc);
                ExpectNear(Column(x, n, inc), xc, 1e-13);
            }
}

TEST(BlacForwarders, Level3RoutinesMatchNaiveLoops)
{
    std::mt19937 gen(34);
    const int m = 5, n = 4, ldb = 7, ldc = 8;
    const double alpha = 0.75, beta = -1.25;
    Matrix b(m, n, ldb), c(m, n, ldc);
    b.FillRandom(gen);
    c.FillRandom(gen);

    // DSYMM: C := alpha S B + beta C (left) or alpha B S + beta C (right).
    for (char side : {'L', 'R'})
        for (char uplo : {'U', 'L'}) {
            SCOPED_TRACE(std::string("SIDE=") + side + " UPLO=" + uplo);
            const int ns = side == 'L' ? m : n;
            const Matrix s = Symmetric(ns, ns + 2, gen);
            const Matrix sb = side == 'L' ? Multiply(s, b) : Multiply(b, s);
            Matrix r = c;
            BLAC_DSYMM(&side, &uplo, &m, &n, &alpha, s.data(), &s.ld, b.data(), &ldb, &beta,
                       r.data(), &ldc);
            Matrix want(m, n, m);
            for (int j = 0; j < n; ++j)
                for (int i = 0; i < m; ++i)
                    want(i, j) = alpha * sb(i, j) + beta * c(i, j);
            ExpectNear(r, want, 1e-14);
            EXPECT_TRUE(r.PaddingIntact());
        }

    // DSYRK and DSYR2K: the referenced triangle of an n x n result.
    for (char uplo : {'U', 'L'})
        for (char trans : {'N', 'T'}) {
            SCOPED_TRACE(std::string("UPLO=") + uplo + " TRANS=" + trans);
            const int k = 3, nn = 5;
            const bool t = trans == 'T';
            Matrix a1(t ? k : nn, t ? nn : k, (t ? k : nn) + 1);
            Matrix a2 = a1;
            a1.FillRandom(gen);
            a2.FillRandom(gen);
            const Matrix s = Symmetric(nn, nn + 3, gen);
            // op(A) op(A)**T with op(A) = A (n x k) or A**T.
            const Matrix aat = Multiply(a1, a1, t, !t);
            const Matrix abt = Multiply(a1, a2, t, !t);
            const Matrix bat = Multiply(a2, a1, t, !t);
            Matrix w1(nn, nn, nn), w2(nn, nn, nn);
            for (int j = 0; j < nn; ++j)
                for (int i = 0; i < nn; ++i) {
                    w1(i, j) = alpha * aat(i, j) + beta * s(i, j);
                    w2(i, j) = alpha * (abt(i, j) + bat(i, j)) + beta * s(i, j);
                }
            Matrix r1 = s, r2 = s;
            BLAC_DSYRK(&uplo, &trans, &nn, &k, &alpha, a1.data(), &a1.ld, &beta, r1.data(),
                       &r1.ld);
            BLAC_DSYR2K(&uplo, &trans, &nn, &k, &alpha, a1.data(), &a1.ld, a2.data(), &a2.ld,
                        &beta, r2.data(), &r2.ld);
            ExpectNear(SymmetricFrom(r1, uplo), w1, 1e-14);
            ExpectNear(SymmetricFrom(r2, uplo), w2, 1e-14);
        }

    // DTRMM and DTRSM: B := alpha op(T) B or alpha B op(T), and back.
    for (char side : {'L', 'R'})
        for (char uplo : {'U', 'L'})
            for (char transa : {'N', 'T'})
                for (char diag : {'N', 'U'}) {
                    SCOPED_TRACE(std::string("SIDE=") + side + " UPLO=" + uplo +
                                 " TRANSA=" + transa + " DIAG=" + diag);
                    const int nt = side == 'L' ? m : n;
                    Matrix a(nt, nt, nt + 1);
                    a.FillRandom(gen);
                    for (int i = 0; i < nt; ++i)
                        a(i, i) += 4.0;
                    const Matrix t = TriangleOf(a, uplo, diag);
                    const bool tt = transa == 'T';
                    const Matrix tb = side == 'L' ? Multiply(t, b, tt) : Multiply(b, t, false, tt);
                    Matrix r = b;
                    BLAC_DTRMM(&side, &uplo, &transa, &diag, &m, &n, &alpha, a.data(), &a.ld,
                               r.data(), &ldb);
                    Matrix want(m, n, m);
                    for (int j = 0; j < n; ++j)
                        for (int i = 0; i < m; ++i)
                            want(i, j) = alpha * tb(i, j);
                    ExpectNear(r, want, 1e-14);
                    EXPECT_TRUE(r.PaddingIntact());

                    const double inverse = 1.0 / alpha;
                    BLAC_DTRSM(&side, &uplo, &transa, &diag, &m, &n, &inverse, a.data(), &a.ld,
                               r.data(), &ldb);
                    ExpectNear(r, b, 1e-13);
                }
}

TEST(BlacForwarders, FactorizationsAndTheirSolvesReproduceTheRightHandSide)
{
    std::mt19937 gen(35);
    const int n = 6, lda = 8, nrhs = 2, ldb = 7;
    Matrix rhs(n, nrhs, ldb);
    rhs.FillRandom(gen);
    int info = 99;

    // DGETRF + DGETRS with A**T.
    {
        Matrix a0(n, n, lda);
        a0.FillRandom(gen);
        for (int i = 0; i < n; ++i)
            a0(i, i) += n;
        Matrix a = a0, x = rhs;
        std::vector<int> ipiv(n);
        BLAC_DGETRF(&n, &n, a.data(), &lda, ipiv.data(), &info);
        ASSERT_EQ(info, 0);
        const char trans = 'T';
        BLAC_DGETRS(&trans, &n, &nrhs, a.data(), &lda, ipiv.data(), x.data(), &ldb, &info);
        ASSERT_EQ(info, 0);
        ExpectNear(Multiply(a0, x, true), rhs, 1e-12);
    }

    for (char uplo : {'U', 'L'}) {
        SCOPED_TRACE(std::string("UPLO=") + uplo);
        const Matrix s = Spd(n, lda, gen);

        // DPOTRF: the factor reproduces A.
        Matrix f = s;
        BLAC_DPOTRF(&uplo, &n, f.data(), &lda, &info);
        ASSERT_EQ(info, 0);
        const Matrix t = TriangleOf(f, uplo, 'N');
        ExpectNear(IsUpper(uplo) ? Multiply(t, t, true) : Multiply(t, t, false, true),
                   SymmetricFrom(s, 'U'), 1e-12);

        // DPPTRF + DPPTRS, then DPPTRI gives the inverse.
        std::vector<double> ap = blactest::Pack(s, uplo);
        BLAC_DPPTRF(&uplo, &n, ap.data(), &info);
        ASSERT_EQ(info, 0);
        Matrix x = rhs;
        BLAC_DPPTRS(&uplo, &n, &nrhs, ap.data(), x.data(), &ldb, &info);
        ASSERT_EQ(info, 0);
        ExpectNear(Multiply(s, x), rhs, 1e-12);
        BLAC_DPPTRI(&uplo, &n, ap.data(), &info);
        ASSERT_EQ(info, 0);
        Matrix inv(n, n, n);
        {
            size_t p = 0;
            for (int j = 0; j < n; ++j)
                for (int i = IsUpper(uplo) ? 0 : j; IsUpper(uplo) ? i <= j : i < n; ++i)
                    inv(i, j) = ap[p++];
        }
        Matrix identity(n, n, n);
        for (int i = 0; i < n; ++i)
            identity(i, i) = 1.0;
        ExpectNear(Multiply(s, SymmetricFrom(inv, uplo)), identity, 1e-12);

        // DSYTRF + DSYTRS on a symmetric indefinite matrix.
        Matrix sym = Symmetric(n, lda, gen);
        const Matrix sym0 = sym;
        std::vector<int> ipiv(n);
        const int lwork = 64 * n;
        std::vector<double> work(lwork);
        BLAC_DSYTRF(&uplo, &n, sym.data(), &lda, ipiv.data(), work.data(), &lwork, &info);
        ASSERT_EQ(info, 0);
        x = rhs;
        BLAC_DSYTRS(&uplo, &n, &nrhs, sym.data(), &lda, ipiv.data(), x.data(), &ldb, &info);
        ASSERT_EQ(info, 0);
        ExpectNear(Multiply(SymmetricFrom(sym0, uplo), x), rhs, 1e-11);

        // DTPTRI: the packed triangular inverse.
        for (char diag : {'N', 'U'}) {
            Matrix tri(n, n, n);
            tri.FillRandom(gen);
            for (int i = 0; i < n; ++i)
                tri(i, i) += 3.0;
            std::vector<double> tp = blactest::Pack(tri, uplo);
            BLAC_DTPTRI(&uplo, &diag, &n, tp.data(), &info);
            ASSERT_EQ(info, 0);
            Matrix ti(n, n, n);
            size_t p = 0;
            for (int j = 0; j < n; ++j)
                for (int i = IsUpper(uplo) ? 0 : j; IsUpper(uplo) ? i <= j : i < n; ++i)
                    ti(i, j) = tp[p++];
            ExpectNear(Multiply(TriangleOf(tri, uplo, diag), TriangleOf(ti, uplo, diag)),
                       identity, 1e-12);
        }
    }
}

TEST(BlacForwarders, TridiagonalReductionAndSelectedEigenvalues)
{
    std::mt19937 gen(36);
    const int n = 7, lda = 9;
    const Matrix s = Symmetric(n, lda, gen);
    const int lwork = 64 * n;
    std::vector<double> work(lwork);
    int info = 99;

    // Reference spectrum from DSYEV.
    std::vector<double> all(n);
    {
        Matrix a = s;
        const char jobz = 'N', uplo = 'U';
        BLAC_DSYEV(&jobz, &uplo, &n, a.data(), &lda, all.data(), work.data(), &lwork, &info);
        ASSERT_EQ(info, 0);
    }

    for (char uplo : {'U', 'L'}) {
        SCOPED_TRACE(std::string("UPLO=") + uplo);
        // DSYTRD: A = Q T Q**T; DORMTR applies Q, so Q T Q**T rebuilds A.
        Matrix a = s;
        std::vector<double> d(n), e(n - 1), tau(n - 1);
        BLAC_DSYTRD(&uplo, &n, a.data(), &lda, d.data(), e.data(), tau.data(), work.data(),
                    &lwork, &info);
        ASSERT_EQ(info, 0);
        Matrix t(n, n, n);
        for (int i = 0; i < n; ++i) {
            t(i, i) = d[i];
            if (i + 1 < n)
                t(i, i + 1) = t(i + 1, i) = e[i];
        }
        const char left = 'L', right = 'R', notrans = 'N', trans = 'T';
        BLAC_DORMTR(&left, &uplo, &notrans, &n, &n, a.data(), &lda, tau.data(), t.data(), &t.ld,
                    work.data(), &lwork, &info);
        ASSERT_EQ(info, 0);
        BLAC_DORMTR(&right, &uplo, &trans, &n, &n, a.data(), &lda, tau.data(), t.data(), &t.ld,
                    work.data(), &lwork, &info);
        ASSERT_EQ(info, 0);
        ExpectNear(t, SymmetricFrom(s, 'U'), 1e-13);

        // DSYEVX and DSPEVX, eigenvalues 2..4 by index, with vectors.
        const char jobz = 'V', range = 'I';
        const int il = 2, iu = 4, ldz = n;
        const double vl = 0.0, vu = 0.0, abstol = 0.0;
        std::vector<double> w(n), z(static_cast<size_t>(n) * n);
        std::vector<int> iwork(5 * n), ifail(n);
        int m = -1;
        Matrix ax = s;
        BLAC_DSYEVX(&jobz, &range, &uplo, &n, ax.data(), &lda, &vl, &vu, &il, &iu, &abstol, &m,
                    w.data(), z.data(), &ldz, work.data(), &lwork, iwork.data(), ifail.data(),
                    &info);
        ASSERT_EQ(info, 0);
        ASSERT_EQ(m, 3);
        for (int k = 0; k < m; ++k)
            EXPECT_NEAR(w[k], all[il - 1 + k], 1e-13);

        std::vector<double> ap = blactest::Pack(s, uplo);
        std::vector<double> wp(n), zp(static_cast<size_t>(n) * n);
        m = -1;
        BLAC_DSPEVX(&jobz, &range, &uplo, &n, ap.data(), &vl, &vu, &il, &iu, &abstol, &m,
                    wp.data(), zp.data(), &ldz, work.data(), iwork.data(), ifail.data(), &info);
        ASSERT_EQ(info, 0);
        ASSERT_EQ(m, 3);
        for (int k = 0; k < m; ++k) {
            EXPECT_NEAR(wp[k], all[il - 1 + k], 1e-13);
            // S z = w z for the returned vector.
            for (int i = 0; i < n; ++i) {
                double sz = 0.0;
                for (int j = 0; j < n; ++j)
                    sz += s(i, j) * zp[static_cast<size_t>(k) * n + j];
                EXPECT_NEAR(sz, wp[k] * zp[static_cast<size_t>(k) * n + i], 1e-12);
            }
        }
    }
}

TEST(BlacForwarders, DsygstReducesAGeneralizedProblemToStandardForm)
{
    // With B = L L**T, DSYGST(ITYPE 1) forms C = inv(L) A inv(L)**T, whose
    // eigenvalues are those of A x = lambda B x (checked through DSYGV).
    std::mt19937 gen(37);
    const int n = 5, ld = 6, itype = 1;
    const Matrix a = Symmetric(n, ld, gen);
    const Matrix b = Spd(n, ld, gen);
    const int lwork = 64 * n;
    std::vector<double> work(lwork), wgv(n), wst(n);
    int info = 99;
    for (char uplo : {'U', 'L'}) {
        SCOPED_TRACE(std::string("UPLO=") + uplo);
        Matrix a1 = a, b1 = b;
        const char jobz = 'N';
        BLAC_DSYGV(&itype, &jobz, &uplo, &n, a1.data(), &ld, b1.data(), &ld, wgv.data(),
                   work.data(), &lwork, &info);
        ASSERT_EQ(info, 0);

        Matrix a2 = a, b2 = b;
        BLAC_DPOTRF(&uplo, &n, b2.data(), &ld, &info);
        ASSERT_EQ(info, 0);
        BLAC_DSYGST(&itype, &uplo, &n, a2.data(), &ld, b2.data(), &ld, &info);
        ASSERT_EQ(info, 0);
        BLAC_DSYEV(&jobz, &uplo, &n, a2.data(), &ld, wst.data(), work.data(), &lwork, &info);
        ASSERT_EQ(info, 0);
        for (int k = 0; k < n; ++k)
            EXPECT_NEAR(wst[k], wgv[k], 1e-13);
    }
}
