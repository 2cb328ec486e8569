// Every plain forwarder of the bridge, one call each: non-square shapes,
// leading dimensions above the row counts, distinct strides, distinct alpha
// and beta and non-default character options, so that an argument in the
// wrong place changes the result. Each row is {result of the call through
// BLAC_, naive oracle}.
#include <blac/blac.h>

#include "BlacTestSupport.h"

#include <cmath>

using blactest::Pack;
using blactest::Padded;
using zyltest::NaiveProduct;
using zyltest::RandomMatrix;
using zyltest::RefMatrix;

namespace {

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

// A random n x n matrix with a dominant diagonal: every triangle of it, and
// its symmetric part, are well conditioned (and positive definite).
RefMatrix Dominant(int n, unsigned seed)
{
    RefMatrix g = RandomMatrix(n, n, seed);
    for (int i = 0; i < n; ++i)
        g(i, i) += n;
    return g;
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

struct Row {
    const char* name;
    RefMatrix got, want;
};

void ExpectRows(const std::vector<Row>& rows, double tolerance)
{
    for (const Row& row : rows)
        zyltest::ExpectMatrixNear(row.want, row.got, row.name, tolerance);
}

} // namespace

TEST(BlacForwarders, BlasRoutinesMatchNaiveLoops)
{
    const int n = 5, incx = 2, incy = 3, m = 6, k = 4, three = 3;
    const double al = 1.25, be = -0.5, c = 0.6, s = 0.8;
    RefMatrix xc = RandomMatrix(n, 1, 1);
    xc(3, 0) = -5.0; // the largest magnitude
    const RefMatrix yc = RandomMatrix(n, 1, 2), a = RandomMatrix(m, k, 3), x6 = RandomMatrix(m, 1, 4);
    const RefMatrix y4 = RandomMatrix(k, 1, 5), g = Dominant(n, 6), b = RandomMatrix(n, 3, 7);
    const RefMatrix c53 = RandomMatrix(n, 3, 8), g3 = Dominant(3, 9), a35 = RandomMatrix(3, n, 10);
    const RefMatrix c55 = RandomMatrix(n, n, 11);
    const std::vector<double> x = Scatter(xc, incx), y = Scatter(yc, incy), x6s = Scatter(x6, incx);
    const std::vector<double> gU = Pack(g, 'U'), gL = Pack(g, 'L');
    double asum = 0;
    for (double v : xc.v)
        asum += std::fabs(v);
    RefMatrix got(1, 4), want(1, 4);
    got.v = {BLAC_DASUM(&n, x.data(), &incx), BLAC_DDOT(&n, x.data(), &incx, y.data(), &incy),
             BLAC_DNRM2(&n, x.data(), &incx), static_cast<double>(BLAC_IDAMAX(&n, x.data(), &incx))};
    want.v = {asum, NaiveProduct(xc, true, yc)(0, 0), std::sqrt(NaiveProduct(xc, true, xc)(0, 0)), 4.0};

    // Vectors: each call on its own copy.
    std::vector<double> axpy = y, copy = y, scal = x, swapX = x, swapY = y, rotX = x, rotY = y;
    std::vector<double> gemv = Scatter(y4, incy), symv = y, spmv = y, trmv = x, tpmv = x;
    std::vector<double> trsv = Scatter(NaiveProduct(Tri(g, 'U', 'N'), true, xc), incx);
    std::vector<double> tpsv = Scatter(NaiveProduct(Tri(g, 'L', 'U'), false, xc), incx), spr = gU, spr2 = gL;
    BLAC_DAXPY(&n, &al, x.data(), &incx, axpy.data(), &incy);
    BLAC_DCOPY(&n, x.data(), &incx, copy.data(), &incy);
    BLAC_DSCAL(&n, &be, scal.data(), &incx);
    BLAC_DSWAP(&n, swapX.data(), &incx, swapY.data(), &incy);
    BLAC_DROT(&n, rotX.data(), &incx, rotY.data(), &incy, &c, &s);
    Padded pa(a, 2), pg(g, 2);
    BLAC_DGEMV("T", &m, &k, &al, pa.data(), &pa.ld, x6s.data(), &incx, &be, gemv.data(), &incy);
    BLAC_DSYMV("L", &n, &al, pg.data(), &pg.ld, x.data(), &incx, &be, symv.data(), &incy);
    BLAC_DSPMV("U", &n, &al, gU.data(), x.data(), &incx, &be, spmv.data(), &incy);
    BLAC_DSPR("U", &n, &al, x.data(), &incx, spr.data());
    BLAC_DSPR2("L", &n, &al, x.data(), &incx, y.data(), &incy, spr2.data());
    BLAC_DTRMV("L", "T", "U", &n, pg.data(), &pg.ld, trmv.data(), &incx);
    BLAC_DTPMV("U", "N", "N", &n, gU.data(), tpmv.data(), &incx);
    BLAC_DTRSV("U", "T", "N", &n, pg.data(), &pg.ld, trsv.data(), &incx); // op(T) z = op(T) x gives x
    BLAC_DTPSV("L", "N", "U", &n, gL.data(), tpsv.data(), &incx);

    // Matrices: each call on its own padded copy.
    Padded ger(a, 2), syr(g, 1), syr2(g, 3), symm(c53, 1), syrk(c55, 2), syr2k(c55, 1), trmm(b, 3);
    Padded trsm(zyltest::Combine(1 / al, NaiveProduct(b, false, Tri(g3, 'L', 'N')), 0, b), 2);
    const Padded pb(b, 3), pc(c53, 1), pg3(g3, 2), pa35(a35, 1);
    BLAC_DGER(&m, &k, &al, x6s.data(), &incx, gemv.data(), &incy, ger.data(), &ger.ld);
    BLAC_DSYR("L", &n, &al, x.data(), &incx, syr.data(), &syr.ld);
    BLAC_DSYR2("U", &n, &al, x.data(), &incx, y.data(), &incy, syr2.data(), &syr2.ld);
    BLAC_DSYMM("R", "L", &n, &three, &al, pg3.data(), &pg3.ld, pb.data(), &pb.ld, &be, symm.data(), &symm.ld);
    BLAC_DSYRK("U", "T", &n, &three, &al, pa35.data(), &pa35.ld, &be, syrk.data(), &syrk.ld);
    BLAC_DSYR2K("L", "N", &n, &three, &al, pb.data(), &pb.ld, pc.data(), &pc.ld, &be, syr2k.data(), &syr2k.ld);
    BLAC_DTRMM("L", "U", "T", "U", &n, &three, &al, pg.data(), &pg.ld, trmm.data(), &trmm.ld);
    BLAC_DTRSM("R", "L", "N", "N", &n, &three, &al, pg3.data(), &pg3.ld, trsm.data(), &trsm.ld); // b back
    for (const Padded* p : {&ger, &syr, &syr2, &symm, &syrk, &syr2k, &trmm, &trsm})
        EXPECT_TRUE(p->Intact());

    const RefMatrix gemvY = zyltest::Combine(al, NaiveProduct(a, true, x6), be, y4), xxt = NaiveProduct(xc, false, xc, true);
    const RefMatrix xyt = zyltest::Combine(1, NaiveProduct(xc, false, yc, true), 1, NaiveProduct(yc, false, xc, true));
    const RefMatrix bct = zyltest::Combine(1, NaiveProduct(b, false, c53, true), 1, NaiveProduct(c53, false, b, true));
    ExpectRows({{"DASUM DDOT DNRM2 IDAMAX", got, want},
                {"DAXPY", Gather(axpy, n, incy), zyltest::Combine(al, xc, 1, yc)},
                {"DCOPY", Gather(copy, n * incy, 1), Gather(Scatter(xc, incy), n * incy, 1)}, // gaps untouched
                {"DSCAL", Gather(scal, n, incx), zyltest::Combine(be, xc, 0, xc)},
                {"DSWAP x", Gather(swapX, n, incx), yc},
                {"DSWAP y", Gather(swapY, n, incy), xc},
                {"DROT x", Gather(rotX, n, incx), zyltest::Combine(c, xc, s, yc)},
                {"DROT y", Gather(rotY, n, incy), zyltest::Combine(c, yc, -s, xc)},
                {"DGEMV T", Gather(gemv, k, incy), gemvY},
                {"DSYMV L", Gather(symv, n, incy), zyltest::Combine(al, NaiveProduct(Sym(g, 'L'), false, xc), be, yc)},
                {"DSPMV U", Gather(spmv, n, incy), zyltest::Combine(al, NaiveProduct(Sym(g, 'U'), false, xc), be, yc)},
                {"DSPR U", Sym(Unpack(spr, n, 'U'), 'U'), zyltest::Combine(al, xxt, 1, Sym(g, 'U'))},
                {"DSPR2 L", Sym(Unpack(spr2, n, 'L'), 'L'), zyltest::Combine(al, xyt, 1, Sym(g, 'L'))},
                {"DTRMV L T U", Gather(trmv, n, incx), NaiveProduct(Tri(g, 'L', 'U'), true, xc)},
                {"DTPMV U N N", Gather(tpmv, n, incx), NaiveProduct(Tri(g, 'U', 'N'), false, xc)},
                {"DTRSV U T N", Gather(trsv, n, incx), xc},
                {"DTPSV L N U", Gather(tpsv, n, incx), xc},
                {"DGER", ger.Ref(), zyltest::Combine(al, NaiveProduct(x6, false, gemvY, true), 1, a)},
                {"DSYR L", Sym(syr.Ref(), 'L'), zyltest::Combine(al, xxt, 1, Sym(g, 'L'))},
                {"DSYR2 U", Sym(syr2.Ref(), 'U'), zyltest::Combine(al, xyt, 1, Sym(g, 'U'))},
                {"DSYMM R L", symm.Ref(), zyltest::Combine(al, NaiveProduct(b, false, Sym(g3, 'L')), be, c53)},
                {"DSYRK U T", Sym(syrk.Ref(), 'U'), zyltest::Combine(al, NaiveProduct(a35, true, a35), be, Sym(c55, 'U'))},
                {"DSYR2K L N", Sym(syr2k.Ref(), 'L'), zyltest::Combine(al, bct, be, Sym(c55, 'L'))},
                {"DTRMM L U T U", trmm.Ref(), zyltest::Combine(al, NaiveProduct(Tri(g, 'U', 'U'), true, b), 0, b)},
                {"DTRSM R L N N", trsm.Ref(), b}},
               1e-12);
}

TEST(BlacForwarders, LapackFactorizationsReproduceTheirMatrix)
{
    const int n = 5, nrhs = 2, lwork = 64 * n;
    const RefMatrix g = Dominant(n, 21), rhs = RandomMatrix(n, nrhs, 22);
    const RefMatrix spd = zyltest::Combine(0.5, g, 0.5, g.Transposed()), ind = Sym(RandomMatrix(n, n, 23), 'L');
    Padded lu(g, 2), ldl(ind, 1), chol(spd, 3), x1(rhs, 3), x2(rhs, 1), x3(rhs, 2);
    std::vector<double> apU = Pack(spd, 'U'), apL = Pack(spd, 'L'), tp = Pack(g, 'U'), work(lwork);
    std::vector<int> ipiv(n), ipiv2(n);
    int info[10] = {99, 99, 99, 99, 99, 99, 99, 99, 99, 99};
    BLAC_DGETRF(&n, &n, lu.data(), &lu.ld, ipiv.data(), &info[0]);
    BLAC_DGETRS("c", &n, &nrhs, lu.data(), &lu.ld, ipiv.data(), x1.data(), &x1.ld, &info[1]);
    BLAC_DPOTRF("L", &n, chol.data(), &chol.ld, &info[2]);
    BLAC_DPPTRF("U", &n, apU.data(), &info[3]);
    BLAC_DPPTRS("U", &n, &nrhs, apU.data(), x2.data(), &x2.ld, &info[4]);
    BLAC_DPPTRF("L", &n, apL.data(), &info[5]);
    BLAC_DPPTRI("L", &n, apL.data(), &info[6]);
    BLAC_DSYTRF("L", &n, ldl.data(), &ldl.ld, ipiv2.data(), work.data(), &lwork, &info[7]);
    BLAC_DSYTRS("L", &n, &nrhs, ldl.data(), &ldl.ld, ipiv2.data(), x3.data(), &x3.ld, &info[8]);
    BLAC_DTPTRI("U", "U", &n, tp.data(), &info[9]);
    for (int i : info)
        EXPECT_EQ(i, 0);
    const RefMatrix identity = Tri(RefMatrix(n, n), 'U', 'U');
    const RefMatrix l = Tri(chol.Ref(), 'L', 'N');
    ExpectRows({{"DGETRF + DGETRS c", NaiveProduct(g, true, x1.Ref()), rhs},
                {"DPOTRF L", NaiveProduct(l, false, l, true), spd},
                {"DPPTRF + DPPTRS U", NaiveProduct(spd, false, x2.Ref()), rhs},
                {"DPPTRF + DPPTRI L", NaiveProduct(spd, false, Sym(Unpack(apL, n, 'L'), 'L')), identity},
                {"DSYTRF + DSYTRS L", NaiveProduct(ind, false, x3.Ref()), rhs},
                {"DTPTRI U U", NaiveProduct(Tri(g, 'U', 'U'), false, Tri(Unpack(tp, n, 'U'), 'U', 'U')), identity}},
               1e-10);
}
