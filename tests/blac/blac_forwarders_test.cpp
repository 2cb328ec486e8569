// Every plain forwarder of the bridge, one call each: non-square shapes,
// leading dimensions above the row counts, distinct strides, distinct alpha
// and beta and non-default character options, so that an argument in the
// wrong place changes the result. Each row of the table is {call through
// BLAC_, naive oracle}.
#include <blac/blac.h>

#include "BlacTestSupport.h"

#include <cmath>
#include <functional>

using blactest::Pack;
using blactest::Padded;
using zyltest::NaiveProduct;
using zyltest::RandomMatrix;
using zyltest::RefMatrix;

namespace {

RefMatrix Scalar(double x)
{
    return RefMatrix(1, 1, x);
}

// x(0), x(inc), ... as a column, and a column spread out with stride inc.
RefMatrix Gather(const std::vector<double>& x, int n, int inc)
{
    RefMatrix c(n, 1);
    for (int i = 0; i < n; ++i)
        c(i, 0) = x[static_cast<std::size_t>(i) * inc];
    return c;
}

std::vector<double> Scatter(const RefMatrix& c, int inc)
{
    std::vector<double> x(static_cast<std::size_t>(c.rows) * inc, 99.0);
    for (int i = 0; i < c.rows; ++i)
        x[static_cast<std::size_t>(i) * inc] = c(i, 0);
    return x;
}

// alpha x + beta y, entry by entry.
RefMatrix Lin(double alpha, const RefMatrix& x, double beta, const RefMatrix& y)
{
    RefMatrix r = x;
    for (std::size_t p = 0; p < r.v.size(); ++p)
        r.v[p] = alpha * x.v[p] + beta * y.v[p];
    return r;
}

RefMatrix Beside(const RefMatrix& a, const RefMatrix& b)
{
    RefMatrix r(a.rows, a.cols + b.cols);
    r.v = a.v;
    r.v.insert(r.v.end(), b.v.begin(), b.v.end());
    return r;
}

// The symmetric matrix of the referenced triangle of g.
RefMatrix Sym(const RefMatrix& g, char uplo)
{
    RefMatrix s(g.rows, g.rows);
    for (int j = 0; j < g.rows; ++j)
        for (int i = 0; i < g.rows; ++i)
            s(i, j) = (uplo == 'U') == (i <= j) ? g(i, j) : g(j, i);
    return s;
}

// The triangle of g that a triangular routine sees (unit diagonal for 'U').
RefMatrix Tri(const RefMatrix& g, char uplo, char diag)
{
    RefMatrix t(g.rows, g.rows);
    for (int j = 0; j < g.rows; ++j)
        for (int i = 0; i < g.rows; ++i)
            t(i, j) = i == j ? (diag == 'U' ? 1.0 : g(i, i)) : ((uplo == 'U') == (i < j) ? g(i, j) : 0.0);
    return t;
}

// The packed triangle ap back in a full matrix, the other triangle zero.
RefMatrix Unpack(const std::vector<double>& ap, int n, char uplo)
{
    RefMatrix m(n, n);
    std::size_t p = 0;
    for (int j = 0; j < n; ++j)
        for (int i = uplo == 'U' ? 0 : j; uplo == 'U' ? i <= j : i < n; ++i)
            m(i, j) = ap[p++];
    return m;
}

RefMatrix Identity(int n)
{
    RefMatrix m(n, n);
    for (int i = 0; i < n; ++i)
        m(i, i) = 1.0;
    return m;
}

// A random square matrix with a dominant diagonal, so that every triangle
// and the whole matrix are well conditioned.
RefMatrix Dominant(int n, unsigned seed)
{
    RefMatrix g = RandomMatrix(n, n, seed);
    for (int i = 0; i < n; ++i)
        g(i, i) += n;
    return g;
}

struct Row {
    const char* name;
    std::function<RefMatrix()> call;
    std::function<RefMatrix()> oracle;
};

void RunTable(const std::vector<Row>& rows, double tolerance)
{
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const RefMatrix got = row.call();
        zyltest::ExpectMatrixNear(row.oracle(), got, row.name, tolerance);
    }
}

} // namespace

TEST(BlacForwarders, BlasRoutinesMatchNaiveLoops)
{
    const int n = 5, incx = 2, incy = 3, m = 6, k = 4;
    const double alpha = 1.25, beta = -0.5, c = 0.6, s = 0.8;
    RefMatrix xc = RandomMatrix(n, 1, 1);
    const RefMatrix yc = RandomMatrix(n, 1, 2);
    xc(3, 0) = -5.0; // the largest magnitude
    const std::vector<double> x = Scatter(xc, incx), y = Scatter(yc, incy);
    const RefMatrix a = RandomMatrix(m, k, 3), x6 = RandomMatrix(m, 1, 4), y4 = RandomMatrix(k, 1, 5);
    const RefMatrix g = Dominant(n, 6), b = RandomMatrix(n, 3, 7), c53 = RandomMatrix(n, 3, 8);
    const RefMatrix g3 = RandomMatrix(3, 3, 9), a35 = RandomMatrix(3, n, 10), c55 = RandomMatrix(n, n, 11);
    const std::vector<double> x6s = Scatter(x6, incx), y4s = Scatter(y4, incy);
    Padded pa(a, 2), pg(g, 2), pb(b, 3), pc(c53, 1), pg3(g3, 2), pa35(a35, 1), pc55(c55, 2);
    const auto oracle = [](double v) { return [v] { return Scalar(v); }; };
    double asum = 0, dot = 0, sq = 0;
    for (int i = 0; i < n; ++i) {
        asum += std::fabs(xc(i, 0));
        dot += xc(i, 0) * yc(i, 0);
        sq += xc(i, 0) * xc(i, 0);
    }
    const std::vector<Row> rows = {
        {"DASUM", [&] { return Scalar(BLAC_DASUM(&n, x.data(), &incx)); }, oracle(asum)},
        {"DDOT", [&] { return Scalar(BLAC_DDOT(&n, x.data(), &incx, y.data(), &incy)); }, oracle(dot)},
        {"DNRM2", [&] { return Scalar(BLAC_DNRM2(&n, x.data(), &incx)); }, oracle(std::sqrt(sq))},
        {"IDAMAX", [&] { return Scalar(BLAC_IDAMAX(&n, x.data(), &incx)); }, oracle(4.0)},
        {"DAXPY",
         [&] {
             std::vector<double> z = y;
             BLAC_DAXPY(&n, &alpha, x.data(), &incx, z.data(), &incy);
             return Gather(z, n, incy);
         },
         [&] { return Lin(alpha, xc, 1.0, yc); }},
        {"DCOPY",
         [&] {
             std::vector<double> z = y;
             BLAC_DCOPY(&n, x.data(), &incx, z.data(), &incy);
             return Beside(Gather(z, n, incy), Scalar(z[1]));
         },
         [&] { return Beside(xc, Scalar(99.0)); }},
        {"DSCAL",
         [&] {
             std::vector<double> z = x;
             BLAC_DSCAL(&n, &beta, z.data(), &incx);
             return Gather(z, n, incx);
         },
         [&] { return Lin(beta, xc, 0.0, xc); }},
        {"DSWAP",
         [&] {
             std::vector<double> u = x, v = y;
             BLAC_DSWAP(&n, u.data(), &incx, v.data(), &incy);
             return Beside(Gather(u, n, incx), Gather(v, n, incy));
         },
         [&] { return Beside(yc, xc); }},
        {"DROT",
         [&] {
             std::vector<double> u = x, v = y;
             BLAC_DROT(&n, u.data(), &incx, v.data(), &incy, &c, &s);
             return Beside(Gather(u, n, incx), Gather(v, n, incy));
         },
         [&] { return Beside(Lin(c, xc, s, yc), Lin(c, yc, -s, xc)); }},
        {"DGEMV T",
         [&] {
             std::vector<double> z = y4s;
             BLAC_DGEMV("T", &m, &k, &alpha, pa.data(), &pa.ld, x6s.data(), &incx, &beta, z.data(), &incy);
             return Gather(z, k, incy);
         },
         [&] { return Lin(alpha, NaiveProduct(a, true, x6), beta, y4); }},
        {"DGER",
         [&] {
             Padded r = pa;
             BLAC_DGER(&m, &k, &alpha, x6s.data(), &incx, y4s.data(), &incy, r.data(), &r.ld);
             EXPECT_TRUE(r.Intact());
             return r.Ref();
         },
         [&] { return Lin(alpha, NaiveProduct(x6, false, y4, true), 1.0, a); }},
        {"DSYMV L",
         [&] {
             std::vector<double> z = y;
             BLAC_DSYMV("L", &n, &alpha, pg.data(), &pg.ld, x.data(), &incx, &beta, z.data(), &incy);
             return Gather(z, n, incy);
         },
         [&] { return Lin(alpha, NaiveProduct(Sym(g, 'L'), false, xc), beta, yc); }},
        {"DSPMV U",
         [&] {
             std::vector<double> z = y, ap = Pack(g, 'U');
             BLAC_DSPMV("U", &n, &alpha, ap.data(), x.data(), &incx, &beta, z.data(), &incy);
             return Gather(z, n, incy);
         },
         [&] { return Lin(alpha, NaiveProduct(Sym(g, 'U'), false, xc), beta, yc); }},
        {"DSYR L",
         [&] {
             Padded r = pg;
             BLAC_DSYR("L", &n, &alpha, x.data(), &incx, r.data(), &r.ld);
             return Sym(r.Ref(), 'L');
         },
         [&] { return Lin(alpha, NaiveProduct(xc, false, xc, true), 1.0, Sym(g, 'L')); }},
        {"DSPR U",
         [&] {
             std::vector<double> ap = Pack(g, 'U');
             BLAC_DSPR("U", &n, &alpha, x.data(), &incx, ap.data());
             return Sym(Unpack(ap, n, 'U'), 'U');
         },
         [&] { return Lin(alpha, NaiveProduct(xc, false, xc, true), 1.0, Sym(g, 'U')); }},
        {"DSYR2 U",
         [&] {
             Padded r = pg;
             BLAC_DSYR2("U", &n, &alpha, x.data(), &incx, y.data(), &incy, r.data(), &r.ld);
             return Sym(r.Ref(), 'U');
         },
         [&] {
             return Lin(alpha, Lin(1.0, NaiveProduct(xc, false, yc, true), 1.0, NaiveProduct(yc, false, xc, true)),
                        1.0, Sym(g, 'U'));
         }},
        {"DSPR2 L",
         [&] {
             std::vector<double> ap = Pack(g, 'L');
             BLAC_DSPR2("L", &n, &alpha, x.data(), &incx, y.data(), &incy, ap.data());
             return Sym(Unpack(ap, n, 'L'), 'L');
         },
         [&] {
             return Lin(alpha, Lin(1.0, NaiveProduct(xc, false, yc, true), 1.0, NaiveProduct(yc, false, xc, true)),
                        1.0, Sym(g, 'L'));
         }},
        {"DTRMV L T U",
         [&] {
             std::vector<double> z = x;
             BLAC_DTRMV("L", "T", "U", &n, pg.data(), &pg.ld, z.data(), &incx);
             return Gather(z, n, incx);
         },
         [&] { return NaiveProduct(Tri(g, 'L', 'U'), true, xc); }},
        {"DTPMV U N N",
         [&] {
             std::vector<double> z = x, ap = Pack(g, 'U');
             BLAC_DTPMV("U", "N", "N", &n, ap.data(), z.data(), &incx);
             return Gather(z, n, incx);
         },
         [&] { return NaiveProduct(Tri(g, 'U', 'N'), false, xc); }},
        {"DTRSV U T N",
         [&] {
             std::vector<double> z = x;
             BLAC_DTRSV("U", "T", "N", &n, pg.data(), &pg.ld, z.data(), &incx);
             return NaiveProduct(Tri(g, 'U', 'N'), true, Gather(z, n, incx));
         },
         [&] { return xc; }},
        {"DTPSV L N U",
         [&] {
             std::vector<double> z = x, ap = Pack(g, 'L');
             BLAC_DTPSV("L", "N", "U", &n, ap.data(), z.data(), &incx);
             return NaiveProduct(Tri(g, 'L', 'U'), false, Gather(z, n, incx));
         },
         [&] { return xc; }},
        {"DSYMM R L",
         [&] {
             Padded r = pc;
             const int three = 3;
             BLAC_DSYMM("R", "L", &n, &three, &alpha, pg3.data(), &pg3.ld, pb.data(), &pb.ld, &beta, r.data(),
                        &r.ld);
             EXPECT_TRUE(r.Intact());
             return r.Ref();
         },
         [&] { return Lin(alpha, NaiveProduct(b, false, Sym(g3, 'L')), beta, c53); }},
        {"DSYRK U T",
         [&] {
             Padded r = pc55;
             const int three = 3;
             BLAC_DSYRK("U", "T", &n, &three, &alpha, pa35.data(), &pa35.ld, &beta, r.data(), &r.ld);
             return Sym(r.Ref(), 'U');
         },
         [&] { return Lin(alpha, NaiveProduct(a35, true, a35), beta, Sym(c55, 'U')); }},
        {"DSYR2K L N",
         [&] {
             Padded r = pc55;
             const int three = 3;
             BLAC_DSYR2K("L", "N", &n, &three, &alpha, pb.data(), &pb.ld, pc.data(), &pc.ld, &beta, r.data(),
                         &r.ld);
             return Sym(r.Ref(), 'L');
         },
         [&] {
             return Lin(alpha, Lin(1.0, NaiveProduct(b, false, c53, true), 1.0, NaiveProduct(c53, false, b, true)),
                        beta, Sym(c55, 'L'));
         }},
        {"DTRMM L U T U",
         [&] {
             Padded r = pb;
             const int three = 3;
             BLAC_DTRMM("L", "U", "T", "U", &n, &three, &alpha, pg.data(), &pg.ld, r.data(), &r.ld);
             EXPECT_TRUE(r.Intact());
             return r.Ref();
         },
         [&] { return Lin(alpha, NaiveProduct(Tri(g, 'U', 'U'), true, b), 0.0, b); }},
        {"DTRSM R L N N",
         [&] {
             Padded r = pb;
             const int three = 3;
             const RefMatrix t3 = Dominant(3, 12);
             Padded pt(t3, 1);
             BLAC_DTRSM("R", "L", "N", "N", &n, &three, &alpha, pt.data(), &pt.ld, r.data(), &r.ld);
             return NaiveProduct(r.Ref(), false, Tri(t3, 'L', 'N'));
         },
         [&] { return Lin(alpha, b, 0.0, b); }},
    };
    RunTable(rows, 1e-12);
}

TEST(BlacForwarders, LapackFactorizationsReproduceTheirMatrix)
{
    const int n = 5, nrhs = 2;
    const RefMatrix g = Dominant(n, 21), rhs = RandomMatrix(n, nrhs, 22);
    // Symmetric positive definite: the symmetric part of a dominant matrix.
    const RefMatrix spd = Lin(0.5, g, 0.5, g.Transposed());
    // Symmetric indefinite: random, no dominant diagonal.
    const RefMatrix ind = Sym(RandomMatrix(n, n, 23), 'L');
    Padded prhs(rhs, 3);
    int info = 99;
    const std::vector<Row> rows = {
        {"DGETRF + DGETRS T",
         [&] {
             Padded a(g, 2), x = prhs;
             std::vector<int> ipiv(n);
             BLAC_DGETRF(&n, &n, a.data(), &a.ld, ipiv.data(), &info);
             EXPECT_EQ(info, 0);
             BLAC_DGETRS("T", &n, &nrhs, a.data(), &a.ld, ipiv.data(), x.data(), &x.ld, &info);
             EXPECT_EQ(info, 0);
             return NaiveProduct(g, true, x.Ref());
         },
         [&] { return rhs; }},
        {"DPOTRF L",
         [&] {
             Padded a(spd, 1);
             BLAC_DPOTRF("L", &n, a.data(), &a.ld, &info);
             EXPECT_EQ(info, 0);
             const RefMatrix l = Tri(a.Ref(), 'L', 'N');
             return NaiveProduct(l, false, l, true);
         },
         [&] { return spd; }},
        {"DPPTRF + DPPTRS U",
         [&] {
             std::vector<double> ap = Pack(spd, 'U');
             Padded x = prhs;
             BLAC_DPPTRF("U", &n, ap.data(), &info);
             EXPECT_EQ(info, 0);
             BLAC_DPPTRS("U", &n, &nrhs, ap.data(), x.data(), &x.ld, &info);
             EXPECT_EQ(info, 0);
             return NaiveProduct(spd, false, x.Ref());
         },
         [&] { return rhs; }},
        {"DPPTRF + DPPTRI L",
         [&] {
             std::vector<double> ap = Pack(spd, 'L');
             BLAC_DPPTRF("L", &n, ap.data(), &info);
             BLAC_DPPTRI("L", &n, ap.data(), &info);
             EXPECT_EQ(info, 0);
             return NaiveProduct(spd, false, Sym(Unpack(ap, n, 'L'), 'L'));
         },
         [&] { return Identity(n); }},
        {"DSYTRF + DSYTRS L",
         [&] {
             Padded a(ind, 2), x = prhs;
             std::vector<int> ipiv(n);
             const int lwork = 64 * n;
             std::vector<double> work(lwork);
             BLAC_DSYTRF("L", &n, a.data(), &a.ld, ipiv.data(), work.data(), &lwork, &info);
             EXPECT_EQ(info, 0);
             BLAC_DSYTRS("L", &n, &nrhs, a.data(), &a.ld, ipiv.data(), x.data(), &x.ld, &info);
             EXPECT_EQ(info, 0);
             return NaiveProduct(ind, false, x.Ref());
         },
         [&] { return rhs; }},
        {"DTPTRI U U",
         [&] {
             std::vector<double> tp = Pack(g, 'U');
             BLAC_DTPTRI("U", "U", &n, tp.data(), &info);
             EXPECT_EQ(info, 0);
             return NaiveProduct(Tri(g, 'U', 'U'), false, Tri(Unpack(tp, n, 'U'), 'U', 'U'));
         },
         [&] { return Identity(n); }},
    };
    RunTable(rows, 1e-10);
}
