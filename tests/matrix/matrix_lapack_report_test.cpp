// How ZylSrvMatrix turns LAPACK's INFO into errors, for the answers that
// well-formed calls cannot provoke (an illegal argument, no convergence), and
// the exact arguments it hands to LAPACK and to DGEMV.
//
// This program defines its own BLAC_DGETRF, BLAC_DSYTRF, BLAC_DGETRS,
// BLAC_DSYTRS, BLAC_DSYGV, BLAC_ILAENV and BLAC_DGEMV. They interpose the
// library's entry points of the same name (the executable's definitions come
// first in symbol lookup), forward to them through dlsym(RTLD_NEXT, ...),
// record the arguments of the last call with the INFO that LAPACK itself
// answered, and, when a test asks, replace INFO (or ILAENV's answer) with a
// chosen value afterwards. The real operations run unchanged; only LAPACK's
// answer is forced.
#include "MatrixTestSupport.h"

#include <blac/blac.h>
#include <platform/mem.h>

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

using namespace matrix_test;

namespace {

struct Forced {
    bool active = false;
    int info = 0;
    int calls = 0;
};
Forced g_getrf, g_sytrf, g_getrs, g_sytrs, g_sygv, g_ilaenv;

// Arguments of the last call of each routine; options as characters, sizes
// as values, and INFO as LAPACK answered it before any forcing.
struct Seen {
    char option1 = 0, option2 = 0;
    int itype = 0, m = 0, n = 0, nrhs = 0, lda = 0, ldb = 0, lwork = 0, lapackInfo = 0;
};
Seen s_getrf, s_sytrf, s_getrs, s_sytrs, s_sygv;

struct IlaenvCall {
    int ispec, n1, n2, n3, n4;
    std::string name, opts;
    size_t nameLength, optsLength;
    int answer; // what the real ILAENV answered
};
std::vector<IlaenvCall> s_ilaenv;

struct GemvCall {
    char trans;
    int m, n, lda, incx, incy;
    double alpha, beta;
    const double* a;
    const double* x;
    double* y;
    std::vector<double> xValues; // X as it was handed over
};
bool g_recordGemv = false;
std::vector<GemvCall> s_gemv;

template <typename F>
F Next(const char* name)
{
    void* symbol = dlsym(RTLD_NEXT, name);
    if (symbol == nullptr)
        std::abort();
    return reinterpret_cast<F>(symbol);
}

void Apply(Forced& f, int* info)
{
    ++f.calls;
    if (f.active)
        *info = f.info;
}

} // namespace

extern "C" {

void BLAC_DGETRF(const int* M, const int* N, double* A, const int* LDA, int* IPIV, int* INFO)
{
    static auto next = Next<decltype(&BLAC_DGETRF)>("BLAC_DGETRF");
    next(M, N, A, LDA, IPIV, INFO);
    s_getrf = Seen();
    s_getrf.m = *M;
    s_getrf.n = *N;
    s_getrf.lda = *LDA;
    s_getrf.lapackInfo = *INFO;
    Apply(g_getrf, INFO);
}

void BLAC_DSYTRF(const char* UPLO, const int* N, double* A, const int* LDA, int* IPIV, double* WORK,
                 const int* LWORK, int* INFO)
{
    static auto next = Next<decltype(&BLAC_DSYTRF)>("BLAC_DSYTRF");
    next(UPLO, N, A, LDA, IPIV, WORK, LWORK, INFO);
    s_sytrf = Seen();
    s_sytrf.option1 = *UPLO;
    s_sytrf.n = *N;
    s_sytrf.lda = *LDA;
    s_sytrf.lwork = *LWORK;
    s_sytrf.lapackInfo = *INFO;
    Apply(g_sytrf, INFO);
}

void BLAC_DGETRS(const char* TRANS, const int* N, const int* NRHS, const double* A, const int* LDA,
                 const int* IPIV, double* B, const int* LDB, int* INFO)
{
    static auto next = Next<decltype(&BLAC_DGETRS)>("BLAC_DGETRS");
    next(TRANS, N, NRHS, A, LDA, IPIV, B, LDB, INFO);
    s_getrs = Seen();
    s_getrs.option1 = *TRANS;
    s_getrs.n = *N;
    s_getrs.nrhs = *NRHS;
    s_getrs.lda = *LDA;
    s_getrs.ldb = *LDB;
    s_getrs.lapackInfo = *INFO;
    Apply(g_getrs, INFO);
}

void BLAC_DSYTRS(const char* UPLO, const int* N, const int* NRHS, const double* A, const int* LDA,
                 const int* IPIV, double* B, const int* LDB, int* INFO)
{
    static auto next = Next<decltype(&BLAC_DSYTRS)>("BLAC_DSYTRS");
    next(UPLO, N, NRHS, A, LDA, IPIV, B, LDB, INFO);
    s_sytrs = Seen();
    s_sytrs.option1 = *UPLO;
    s_sytrs.n = *N;
    s_sytrs.nrhs = *NRHS;
    s_sytrs.lda = *LDA;
    s_sytrs.ldb = *LDB;
    s_sytrs.lapackInfo = *INFO;
    Apply(g_sytrs, INFO);
}

void BLAC_DSYGV(const int* ITYPE, const char* JOBZ, const char* UPLO, const int* N, double* A,
                const int* LDA, double* B, const int* LDB, double* W, double* WORK, const int* LWORK,
                int* INFO)
{
    static auto next = Next<decltype(&BLAC_DSYGV)>("BLAC_DSYGV");
    next(ITYPE, JOBZ, UPLO, N, A, LDA, B, LDB, W, WORK, LWORK, INFO);
    s_sygv = Seen();
    s_sygv.itype = *ITYPE;
    s_sygv.option1 = *JOBZ;
    s_sygv.option2 = *UPLO;
    s_sygv.n = *N;
    s_sygv.lda = *LDA;
    s_sygv.ldb = *LDB;
    s_sygv.lwork = *LWORK;
    s_sygv.lapackInfo = *INFO;
    Apply(g_sygv, INFO);
}

// Forced, the answer becomes g_ilaenv.info.
int BLAC_ILAENV(const int* ISPEC, const char* NAME, const char* OPTS, const int* N1, const int* N2,
                const int* N3, const int* N4, size_t NAME_LEN, size_t OPTS_LEN)
{
    static auto next = Next<decltype(&BLAC_ILAENV)>("BLAC_ILAENV");
    const int answer = next(ISPEC, NAME, OPTS, N1, N2, N3, N4, NAME_LEN, OPTS_LEN);
    s_ilaenv.push_back({*ISPEC, *N1, *N2, *N3, *N4, std::string(NAME, NAME_LEN), std::string(OPTS, OPTS_LEN),
                        NAME_LEN, OPTS_LEN, answer});
    ++g_ilaenv.calls;
    return g_ilaenv.active ? g_ilaenv.info : answer;
}

void BLAC_DGEMV(const char* TRANS, const int* M, const int* N, const double* ALPHA, const double* A,
                const int* LDA, const double* X, const int* INCX, const double* BETA, double* Y,
                const int* INCY)
{
    static auto next = Next<decltype(&BLAC_DGEMV)>("BLAC_DGEMV");
    if (g_recordGemv) {
        const int length = *TRANS == 'N' ? *N : *M;
        s_gemv.push_back({*TRANS, *M, *N, *LDA, *INCX, *INCY, *ALPHA, *BETA, A, X, Y,
                          std::vector<double>(X, X + std::max(length, 0))});
    }
    next(TRANS, M, N, ALPHA, A, LDA, X, INCX, BETA, Y, INCY);
}

} // extern "C"

namespace {

class ForcedInfo : public testing::Test {
protected:
    void TearDown() override
    {
        for (Forced* f : {&g_getrf, &g_sytrf, &g_getrs, &g_sytrs, &g_sygv, &g_ilaenv})
            *f = Forced();
        s_ilaenv.clear();
        s_gemv.clear();
        g_recordGemv = false;
    }
};

void Force(Forced& f, int info)
{
    f.active = true;
    f.info = info;
    f.calls = 0;
}

ZylSrvMatrix SpdPair(int n, unsigned seed, bool symmetric)
{
    Dense r = Random(n, n, seed);
    Dense s(n, n);
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i)
            s(i, j) = 0.5 * (r(i, j) + r(j, i)) + (i == j ? 2.0 * n : 0.0);
    return MatrixOf(s, symmetric);
}

} // namespace

TEST_F(ForcedInfo, EigenproblemMapsEveryInfoClassToItsError)
{
    const int n = 4;
    const ZylSrvMatrix a = SpdPair(n, 1, false), b = SpdPair(n, 2, false);
    ZylSrvMatrix values(n, 1), vectors(n, n);
    const long live = mem_LiveBlocks();

    // The untouched answer: no error, and the interposed entry was reached.
    g_sygv.calls = 0;
    a.SolveEigenproblemSymmetric(b, values, vectors);
    ASSERT_EQ(g_sygv.calls, 1) << "BLAC_DSYGV was not interposed; the forced answers below would not be tested";

    const int illegal[] = {-1, -4, -11};
    for (int info : illegal) {
        Force(g_sygv, info);
        ExpectError<ZylSrvMtxSolveIllegalArg>(
            [&] { a.SolveEigenproblemSymmetric(b, values, vectors); }, 213,
            "ZylSrvMatrix::SolveEigenproblemSymmetric - Illegal function argument " + std::to_string(-info) + ".");
        EXPECT_EQ(g_sygv.calls, 1);
        EXPECT_EQ(mem_LiveBlocks(), live) << "INFO " << info << ": work space released";
    }
    try {
        Force(g_sygv, -6);
        a.SolveEigenproblemSymmetric(b, values, vectors);
        FAIL();
    } catch (const ZylSrvMtxSolveIllegalArg& e) {
        EXPECT_EQ(e.ArgumentNumber(), 6);
    }

    for (int info : {1, n}) { // 0 < INFO <= n
        Force(g_sygv, info);
        ExpectError<ZylSrvMtxSolveNotConverge>(
            [&] { a.SolveEigenproblemSymmetric(b, values, vectors); }, 214,
            "ZylSrvMatrix::SolveEigenproblemSymmetric - Eigensolver did not converge.");
        EXPECT_EQ(mem_LiveBlocks(), live);
    }
    for (int info : {n + 1, 2 * n}) { // INFO > n
        Force(g_sygv, info);
        ExpectError<ZylSrvMtxSolveNotPositive>(
            [&] { a.SolveEigenproblemSymmetric(b, values, vectors); }, 215,
            "ZylSrvMatrix::SolveEigenproblemSymmetric - Matrix B is not positive-definite.");
        EXPECT_EQ(mem_LiveBlocks(), live);
    }
}

TEST_F(ForcedInfo, FactorizeReportsOnlyANegativeInfo)
{
    const int n = 5;
    std::vector<int> pivots(n, 0);
    ZylSrvMatrix lu = SpdPair(n, 3, false);
    ZylSrvMatrix sym = SpdPair(n, 4, true);
    const long live = mem_LiveBlocks();

    Force(g_getrf, -4);
    ExpectIllegalInput([&] { lu.Factorize(pivots.data()); }, "Factorize");
    EXPECT_EQ(g_getrf.calls, 1);
    lu = SpdPair(n, 3, false);
    Force(g_getrf, 2); // a zero pivot is not reported
    EXPECT_NO_THROW(lu.Factorize(pivots.data()));

    Force(g_sytrf, -7);
    ExpectIllegalInput([&] { sym.Factorize(pivots.data()); }, "Factorize");
    EXPECT_EQ(g_sytrf.calls, 1);
    EXPECT_EQ(mem_LiveBlocks(), live) << "the work array is released on the error path";
    sym = SpdPair(n, 4, true);
    Force(g_sytrf, 3);
    EXPECT_NO_THROW(sym.Factorize(pivots.data()));
    EXPECT_EQ(mem_LiveBlocks(), live);
}

TEST_F(ForcedInfo, ForwardBackwardPassReportsANegativeInfo)
{
    const int n = 4;
    std::vector<int> pivots(n, 0);
    ZylSrvMatrix lu = SpdPair(n, 5, false);
    lu.Factorize(pivots.data());
    ZylSrvMatrix rhs = MatrixOf(Random(n, 2, 6));
    Force(g_getrs, -8);
    ExpectIllegalInput([&] { lu.ForwardBackwardPass(pivots.data(), rhs, true); }, "ForwardBackwardPass");
    EXPECT_EQ(g_getrs.calls, 1);

    ZylSrvMatrix sym = SpdPair(n, 7, true);
    sym.Factorize(pivots.data());
    Force(g_sytrs, -3);
    ExpectIllegalInput([&] { sym.ForwardBackwardPass(pivots.data(), rhs, false); }, "ForwardBackwardPass");
    EXPECT_EQ(g_sytrs.calls, 1);
    EXPECT_EQ(g_getrs.calls, 1) << "the declared-symmetric matrix takes DSYTRS";
}

namespace {

// The same interposers, read for the arguments of each call.
class LapackCalls : public ForcedInfo {
};

} // namespace

TEST_F(LapackCalls, FactorizeHandsLapackTheLowerTriangleAndASquareWorkArray)
{
    for (int n : {1, 5, 12}) {
        std::vector<int> pivots(n, 0);
        ZylSrvMatrix sym = SpdPair(n, 20 + n, true);
        g_sytrf.calls = 0;
        sym.Factorize(pivots.data());
        ASSERT_EQ(g_sytrf.calls, 1);
        EXPECT_EQ(s_sytrf.option1, 'L');
        EXPECT_EQ(s_sytrf.n, n);
        EXPECT_EQ(s_sytrf.lda, n);
        EXPECT_EQ(s_sytrf.lwork, n * n) << "n = " << n;
        EXPECT_EQ(s_sytrf.lapackInfo, 0);
    }

    // LU of a tall matrix: M rows, N columns, leading dimension M.
    ZylSrvMatrix tall = MatrixOf(Random(4, 3, 30));
    std::vector<int> pivots(4, 0);
    g_getrf.calls = 0;
    tall.Factorize(pivots.data());
    ASSERT_EQ(g_getrf.calls, 1);
    EXPECT_EQ(s_getrf.m, 4);
    EXPECT_EQ(s_getrf.n, 3);
    EXPECT_EQ(s_getrf.lda, 4);
}

TEST_F(LapackCalls, EmptyAndNegativeSizesAreRefusedByLapackItself)
{
    // The refusals raised for empty matrices and negative rhs counts are
    // LAPACK's own answers, not forced ones.
    std::vector<int> pivots(4, 0);
    ZylSrvMatrix noRows(0, 3);
    g_getrf.calls = 0;
    ExpectIllegalInput([&] { noRows.Factorize(pivots.data()); }, "Factorize");
    ASSERT_EQ(g_getrf.calls, 1);
    EXPECT_EQ(s_getrf.lapackInfo, -4) << "LDA = 0 is below max(1, M)";

    ZylSrvMatrix emptySym(0, 0, nullptr, true, false);
    g_sytrf.calls = 0;
    ExpectIllegalInput([&] { emptySym.Factorize(pivots.data()); }, "Factorize");
    ASSERT_EQ(g_sytrf.calls, 1);
    EXPECT_EQ(s_sytrf.lapackInfo, -4);
    EXPECT_EQ(s_sytrf.lwork, 0);

    const int n = 3;
    ZylSrvMatrix lu = SpdPair(n, 31, false);
    ZylSrvMatrix sym = SpdPair(n, 32, true);
    lu.Factorize(pivots.data());
    std::vector<int> symPivots(n, 0);
    sym.Factorize(symPivots.data());
    double buffer[n] = {1.0, 2.0, 3.0};
    ZylSrvMatrix negative(n, -1, buffer);
    g_getrs.calls = 0;
    ExpectIllegalInput([&] { lu.ForwardBackwardPass(pivots.data(), negative, false); }, "ForwardBackwardPass");
    ASSERT_EQ(g_getrs.calls, 1);
    EXPECT_EQ(s_getrs.nrhs, -1);
    // OpenBLAS's DGETRS reports NRHS through XERBLA and leaves INFO as it
    // was handed over, which must then already read as a refusal.
    EXPECT_LT(s_getrs.lapackInfo, 0);
    g_sytrs.calls = 0;
    ExpectIllegalInput([&] { sym.ForwardBackwardPass(symPivots.data(), negative, false); }, "ForwardBackwardPass");
    ASSERT_EQ(g_sytrs.calls, 1);
    EXPECT_EQ(s_sytrs.nrhs, -1);
    EXPECT_EQ(s_sytrs.lapackInfo, -3);

    // A rhs without columns does not reach LAPACK.
    ZylSrvMatrix none(n, 0);
    g_getrs.calls = 0;
    g_sytrs.calls = 0;
    lu.ForwardBackwardPass(pivots.data(), none, true);
    sym.ForwardBackwardPass(symPivots.data(), none, true);
    EXPECT_EQ(g_getrs.calls, 0);
    EXPECT_EQ(g_sytrs.calls, 0);
}

TEST_F(LapackCalls, SolveNamesItsOrientationAndLeadingDimensions)
{
    const int n = 4;
    std::vector<int> pivots(n, 0);
    ZylSrvMatrix lu = SpdPair(n, 40, false);
    lu.Factorize(pivots.data());
    ZylSrvMatrix rhs = MatrixOf(Random(n, 3, 41));
    for (bool transpose : {false, true}) {
        g_getrs.calls = 0;
        lu.ForwardBackwardPass(pivots.data(), rhs, transpose);
        ASSERT_EQ(g_getrs.calls, 1);
        EXPECT_EQ(s_getrs.option1, transpose ? 'T' : 'N');
        EXPECT_EQ(s_getrs.n, n);
        EXPECT_EQ(s_getrs.nrhs, 3);
        EXPECT_EQ(s_getrs.lda, n);
        EXPECT_EQ(s_getrs.ldb, n);
    }

    ZylSrvMatrix sym = SpdPair(n, 42, true);
    sym.Factorize(pivots.data());
    for (bool transpose : {false, true}) {
        g_sytrs.calls = 0;
        g_getrs.calls = 0;
        sym.ForwardBackwardPass(pivots.data(), rhs, transpose);
        ASSERT_EQ(g_sytrs.calls, 1);
        EXPECT_EQ(g_getrs.calls, 0);
        EXPECT_EQ(s_sytrs.option1, 'L') << "transpose is not consulted";
        EXPECT_EQ(s_sytrs.n, n);
        EXPECT_EQ(s_sytrs.nrhs, 3);
        EXPECT_EQ(s_sytrs.lda, n);
        EXPECT_EQ(s_sytrs.ldb, n);
    }
}

TEST_F(LapackCalls, EigenproblemAsksIlaenvForTheBlockSizeAndSizesItsWorkArray)
{
    for (int n : {1, 4, 40}) {
        // The block size as LAPACK gives it to anyone who asks directly.
        const int ispec = 1, unused = -1;
        const int nb = BLAC_ILAENV(&ispec, "DSYTRD", "L", &n, &unused, &unused, &unused, 6, 1);
        ASSERT_GE(nb, 1);

        const ZylSrvMatrix a = SpdPair(n, 50 + n, false), b = SpdPair(n, 60 + n, false);
        ZylSrvMatrix values(n, 1), vectors(n, n);
        s_ilaenv.clear();
        g_sygv.calls = 0;
        a.SolveEigenproblemSymmetric(b, values, vectors);
        ASSERT_EQ(s_ilaenv.size(), 1u);
        const IlaenvCall& q = s_ilaenv[0];
        EXPECT_EQ(q.ispec, 1);
        EXPECT_EQ(q.name, "DSYTRD");
        EXPECT_EQ(q.opts, "L");
        EXPECT_EQ(q.nameLength, 6u);
        EXPECT_EQ(q.optsLength, 1u);
        EXPECT_EQ(q.n1, n);
        EXPECT_EQ(q.n2, -1);
        EXPECT_EQ(q.n3, -1);
        EXPECT_EQ(q.n4, -1);
        EXPECT_EQ(q.answer, nb);

        ASSERT_EQ(g_sygv.calls, 1);
        EXPECT_EQ(s_sygv.itype, 1);
        EXPECT_EQ(s_sygv.option1, 'V');
        EXPECT_EQ(s_sygv.option2, 'L');
        EXPECT_EQ(s_sygv.n, n);
        EXPECT_EQ(s_sygv.lda, n);
        EXPECT_EQ(s_sygv.ldb, n);
        EXPECT_EQ(s_sygv.lwork, std::max((nb + 2) * n, 3 * n - 1)) << "n = " << n;
        if (n == 1) {
            EXPECT_EQ(s_sygv.lwork, std::max(nb + 2, 2));
        }
        EXPECT_EQ(s_sygv.lapackInfo, 0);
    }

    // Small block sizes, forced: the work array never falls below 3n - 1.
    struct Case {
        int nb, n, lwork;
    };
    for (const Case c : {Case{0, 4, 11}, Case{1, 4, 12}, Case{0, 1, 2}, Case{-1, 1, 2}, Case{2, 1, 4}}) {
        const ZylSrvMatrix a = SpdPair(c.n, 70, false), b = SpdPair(c.n, 71, false);
        ZylSrvMatrix values(c.n, 1), vectors(c.n, c.n);
        Force(g_ilaenv, c.nb);
        a.SolveEigenproblemSymmetric(b, values, vectors);
        EXPECT_EQ(s_sygv.lwork, c.lwork) << "NB = " << c.nb << ", n = " << c.n;
        EXPECT_EQ(s_sygv.lapackInfo, 0);
    }
}

TEST_F(LapackCalls, ColumnTimesFullMatrixIsOneGemvIntoTheColumn)
{
    const int n = 3;
    const Dense m = Random(n, n, 80), x = Random(n, 1, 81);
    const ZylSrvMatrix other = MatrixOf(m);
    ZylSrvMatrix column = MatrixOf(x);
    g_recordGemv = true;
    column *= other;
    g_recordGemv = false;
    ASSERT_EQ(s_gemv.size(), 1u);
    const GemvCall& call = s_gemv[0];
    EXPECT_EQ(call.trans, 'N');
    EXPECT_EQ(call.m, n);
    EXPECT_EQ(call.n, n);
    EXPECT_EQ(call.lda, column.NumberOfRows());
    EXPECT_EQ(call.incx, 1);
    EXPECT_EQ(call.incy, 1);
    EXPECT_EQ(call.alpha, 1.0);
    EXPECT_EQ(call.beta, 0.0);
    EXPECT_EQ(call.a, other.Values());
    EXPECT_EQ(call.y, column.Values());
    EXPECT_NE(call.x, static_cast<const double*>(column.Values())) << "X is a copy of the column";
    EXPECT_EQ(call.xValues, x.v);

    // A diagonal other scales element by element without BLAS.
    ZylSrvMatrix d(n, n, nullptr, false, true);
    d = 2.0;
    g_recordGemv = true;
    column *= d;
    g_recordGemv = false;
    EXPECT_EQ(s_gemv.size(), 1u);
}
